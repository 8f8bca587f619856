#include "BatchOptions.h"

#include "Csv.h"
#include "Kelvaro.h"
#include "KernelThreads.h"
#include "ListValuation.h"
#include "Options.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

namespace kelvaro {

namespace {

// What a batch does with each of kelvaro's options on its command line that
// is not an input (a row's input is its column named without the dashes; the
// command line's value is every row's default). An option missing here is
// refused (and the batch tests name it until it is classified).
enum class BatchUse {
    Column,  // an input
    Setting, // the batch's own
    Wins,    // shown instead of running the batch
    Refused, // each row gives only its figures: no listing, file, chart or other text
};
constexpr std::pair<std::string_view, BatchUse> kBatchUses[] = {
    {"--batch", BatchUse::Setting},
    {"--batch-format", BatchUse::Setting},
    {"--jobs", BatchUse::Setting},
    {"--help", BatchUse::Wins},
    {"--version", BatchUse::Wins},
    {"--results", BatchUse::Refused},
    {"--decimal-separator", BatchUse::Refused},
    {"--check", BatchUse::Refused},
    {"--value-at", BatchUse::Refused},
    {"--json", BatchUse::Refused},
    {"--scenario", BatchUse::Refused},
    {"--scenario-prices", BatchUse::Refused},
    {"--scenario-dates", BatchUse::Refused},
    {"--chart", BatchUse::Refused},
    {"--grid", BatchUse::Refused},
};

BatchUse BatchUseOf(std::string_view option) {
    if (option.starts_with("--") && IsInput(option.substr(2))) return BatchUse::Column;
    for (const auto& [name, use] : kBatchUses)
        if (name == option) return use;
    return BatchUse::Refused;
}

constexpr int kMaxJobs = 256;

int ReadJobs(const std::string& value) {
    int jobs = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), jobs);
    if (ec != std::errc() || end != value.data() + value.size() || jobs < 1 || jobs > kMaxJobs)
        throw BatchError{kExitUsage, "virheellinen arvo valitsimelle --jobs: " + Quoted(value) +
                                         " (kokonaisluku 1–" + std::to_string(kMaxJobs) + ")"};
    return jobs;
}

// The refused options for the help, wrapped at 79 columns.
std::string RefusedOptionsText() {
    std::vector<std::string_view> names;
    for (const auto& [name, use] : kBatchUses)
        if (use == BatchUse::Refused) names.push_back(name);
    std::string refused, line = " ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string piece = std::string(names[i]) + (i + 1 < names.size() ? "," : "");
        if (line.size() > 1 && line.size() + 1 + piece.size() > 79) {
            refused.append(line).append("\n");
            line.assign(1, ' ');
        }
        line.append(" ").append(piece);
    }
    return refused.append(line).append("\n");
}

} // namespace

bool IsBatchCommand(const std::vector<std::string>& args) {
    bool batch = false;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "--version") return false;
        batch = batch || arg == "--batch" || arg.starts_with("--batch=");
    }
    return batch;
}

BatchSettings ReadBatchSettings(const std::vector<std::string>& args) {
    BatchSettings s;
    try {
        const kelvaro::ParsedArgs parsed(args);
        s.Jobs = static_cast<int>(std::clamp(UsableCpus(), 1u, static_cast<unsigned>(kMaxJobs)));
        for (const auto& [name, value] : parsed.All()) {
            const BatchUse use = BatchUseOf(name);
            if (use != BatchUse::Column && use != BatchUse::Setting)
                throw BatchError{kExitUsage,
                                 "valitsinta " + std::string(name) +
                                     " ei voi käyttää yhdessä valitsimen --batch kanssa"};
            if (name == "--batch") {
                s.Path = value;
            } else if (name == "--batch-format") {
                if (value != "json" && value != "csv")
                    throw BatchError{kExitUsage, "virheellinen arvo valitsimelle --batch-format: " +
                                                     Quoted(value) + " (json tai csv)"};
                s.Csv = value == "csv";
            } else if (name == "--jobs") {
                s.Jobs = ReadJobs(value);
            }
        }
        s.Shared = kelvaro::InputTextsOf(parsed);
    } catch (const InputError& e) {
        throw BatchError{kExitUsage, e.what()};
    }
    return s;
}

std::string BatchHelpText() {
    std::string columns;
    for (std::size_t i = 0; i < std::size(kInputs); ++i)
        columns.append(i == 0 ? "" : i == 8 ? ",\n  " : ",").append(kInputs[i].Name);
    return "--batch lukee CSV-tiedoston, jonka otsikkorivillä ovat sarakkeiden nimet\n"
           "missä tahansa järjestyksessä (" +
           std::to_string(std::size(kInputs)) + " mahdollista):\n  " + columns +
           "\n"
           "Sarakkeet name (warrantin nimi) ja underlying (osakkeen nimi) ovat vapaita:\n"
           "niitä ei lueta syötteiksi, ja ne tulostuvat muiden sarakkeiden tapaan.\n"
           "Erotin on ; tai , otsikkorivin mukaan. Puuttuva sarake tai tyhjä kenttä saa\n"
           "komentorivin arvon tai oletuksen; pilkkuerotellussa tiedostossa desimaalipilkku\n"
           "kirjoitetaan lainausmerkkeihin (\"15,5\"). Jokaisesta rivistä tulostuu\n"
           "JSON-rivi: Line, Inputs, Status ja joko Error (sama viesti ja paluuarvo kuin\n"
           "yhdellä warrantilla) tai ImpliedVolatility ja AtShare kuten\n"
           "--share --price --json. Jos hinnasta ei löydy volatiliteettia, rivi ei ole\n"
           "virheellinen: AtShare lasketaan rivin omalla volatiliteetilla, ja\n"
           "ImpliedVolatility kertoo syyn (Outcome, Cause).\n"
           "Virheellinen rivi ei keskeytä ajoa; rivi saa olla\n"
           "enintään " +
           std::to_string(kMaxLineBytes) +
           " tavua. Nämä valitsimet eivät käy yhdessä valitsimen --batch\n"
           "kanssa:\n" +
           RefusedOptionsText();
}

} // namespace kelvaro
