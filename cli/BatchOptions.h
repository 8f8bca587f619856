// kelvaro --batch's command line: which of kelvaro's options a batch uses and
// how, the batch's own settings, and its paragraph of --help.
#pragma once

#include "BatchOutput.h"
#include "WarrantInputs.h"

#include <string>
#include <vector>

namespace kelvaro {

// With the output format (its separator and columns from the header).
struct BatchSettings : BatchFormat {
    std::string Path; // --batch's value, "-" for standard input
    int Jobs = 1;
    InputTexts Shared; // every row's inputs from the command line and the defaults
};

// --batch is given (and neither --help nor --version, which win).
bool IsBatchCommand(const std::vector<std::string>& args);

// The command line's options: batch settings apart, options a batch does not
// use refused (BatchError), the rest as every row's defaults.
BatchSettings ReadBatchSettings(const std::vector<std::string>& args);

// The paragraph of kelvaro --help on the batch format.
std::string BatchHelpText();

} // namespace kelvaro
