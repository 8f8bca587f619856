// A calculation document (.kelvaro): a warrant's inputs kept as a JSON file
// that the window, kelvaro --inputs and a batch all read with the same
// readers as typed inputs. Keys are the inputs' names (kInputs), numbers are
// JSON numbers and dates ISO text, so that no locale's text is ever stored.
#pragma once

#include "Save.h"
#include "WarrantInputs.h"

#include <string>
#include <string_view>

namespace kelvaro {

inline constexpr std::string_view kDocumentFormat = "kelvarolaskuri";
inline constexpr int kDocumentVersion = 1;

// The scenario table's settings by name: "first", "last" and "step" (number
// texts) and "cell" ("value", "change" or "percent").
inline constexpr std::string_view kScenarioKeys[] = {"first", "last", "step", "cell"};

struct CalculationDocument {
    InputTexts Inputs;   // as kelvaro's options would give them; a missing one is not given
    InputTexts Scenario; // kScenarioKeys; empty when the table was never set
};

// A document that cannot be read or written; the message (UTF-8, lower case,
// kelvaro's form) names the file and the field.
class DocumentError : public InputError {
public:
    using InputError::InputError;
};

// The document's JSON text. A number input's text (a point or a comma) must
// be a number: otherwise DocumentError naming the input.
std::string DocumentText(const CalculationDocument& document);

// Reads a document's bytes, `name` standing for it in messages. Every field is
// checked on its own through ReadWarrant's readers, so that the first bad one
// is named; a missing field is simply not given. Refused (DocumentError): not
// JSON or cut short, not an object, a "format" other than kDocumentFormat, a
// "version" above kDocumentVersion (its own message) or not a positive whole
// number, an unknown key, a field of the wrong JSON type or a bad value.
CalculationDocument ParseDocument(std::string_view bytes, std::string_view name);

// The largest document read (bytes); a larger file is refused unread.
inline constexpr std::size_t kMostDocumentBytes = 1 << 20;

// Reads and parses the file; one that cannot be read is a DocumentError.
CalculationDocument ReadDocumentFile(const std::string& path);

// Writes the document through SaveFile; DocumentError for a bad number text
// before anything is written.
SaveStatus SaveDocument(const std::string& path, const CalculationDocument& document);

} // namespace kelvaro
