// kelvaro --batch's output: a row per line, as JSON Lines or as CSV with the
// same fields.
#pragma once

#include "BatchOptions.h"
#include "ListValuation.h"

#include <string>

namespace kelvaro {

class BatchOutput {
public:
    explicit BatchOutput(const BatchSettings& settings) : s_(settings) {}

    // The CSV's header line; nothing for JSON Lines.
    std::string Header() const;

    // The row's line. Its error is the message kelvaro prints for a single
    // run, bytes and all.
    std::string Format(const ListRow& row, const WarrantRun& run) const;

private:
    std::string Json(const ListRow& row, const WarrantRun& run) const;
    std::string Csv(const ListRow& row, const WarrantRun& run) const;

    const BatchSettings& s_;
};

} // namespace kelvaro
