// A valued list's rows as lines, as JSON Lines or as CSV with the same
// fields: kelvaro --batch writes them, and the other front ends give the same
// columns.
#pragma once

#include "BatchFile.h"
#include "ListValuation.h"

#include <string>
#include <vector>

namespace kelvaro {

// How the list's rows were read and are to be written.
// The input's separator, kept in the output, and its columns.
struct BatchFormat : BatchHeader {
    bool Csv = false;
};

class BatchOutput {
public:
    explicit BatchOutput(const BatchFormat& format) : s_(format) {}

    // The CSV's header line; nothing for JSON Lines.
    std::string Header() const;

    // The row's line. Its error is the message kelvaro prints for a single
    // run, bytes and all.
    std::string Format(const ListRow& row, const WarrantRun& run) const;

private:
    std::string Json(const ListRow& row, const WarrantRun& run) const;
    std::string Csv(const ListRow& row, const WarrantRun& run) const;

    const BatchFormat& s_;
};

} // namespace kelvaro
