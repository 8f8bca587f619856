#include "Listing.h"

#include "FloatFormat.h"

#include <stdexcept>

namespace kelvaro {

std::string ListingText(const CGrid& grid) {
    std::string text;
    if (!grid.Allocated || grid.NodeCount <= 0) return text;
    if (grid.Prices.size() != static_cast<std::size_t>(grid.NodeCount) ||
        grid.Values.size() != static_cast<std::size_t>(grid.NodeCount))
        throw std::logic_error("Arvotaulukon koot eivät täsmää");
    text.reserve(static_cast<std::size_t>(grid.NodeCount) * 25);
    for (int i = 0; i < grid.NodeCount; ++i) {
        if (i > 0) text += '\n';
        AppendListingLine(text, i + 1, grid.Prices[i], grid.Values[i]);
    }
    return text;
}

} // namespace kelvaro
