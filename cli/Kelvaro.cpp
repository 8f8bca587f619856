#include "Kelvaro.h"

#include "Batch.h"
#include "CalculationDocument.h"
#include "Conversions.h"
#include "Grid.h"
#include "GridCsv.h"
#include "InputScaling.h"
#include "Listing.h"
#include "MemoryCheck.h"
#include "Options.h"
#include "Output.h"
#include "QtBridge.h"
#include "Refusals.h"
#include "ResultsFile.h"
#include "ScenarioOutput.h"
#include "ScenarioText.h"
#include "ShareOutput.h"
#include "TerminalLine.h"
#include "Utf8Text.h"
#include "Verdict.h"
#include "WarrantValuation.h"
#include "Workload.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#ifndef KELVARO_VERSION
#define KELVARO_VERSION "0.0.0"
#endif

namespace kelvaro {

namespace {

// The results file or standard output could not be written.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Linear between the two nodes around the price, a node's own value on it.
double ValueAt(const CGrid& grid, double price, char separator) {
    const std::optional<double> value = ValueAtPrice(grid, price);
    if (!value) throw InputError(OffLatticeMessage(grid, price, separator));
    return *value;
}

// Progress of a job of more than a few seconds on the terminal line: the
// trading days of the valuation, the solve's valuations and the figures'
// revaluations. Off for a shorter job, or when the line is off.
class JobProgress {
public:
    JobProgress(TerminalLine* line, const CGrid& inputs, bool withFigures) {
        CWorkload work;
        CLatticeSize size;
        if (!line || !line->On() || !WorkloadOf(inputs, withFigures, work) ||
            !LatticeSize(inputs, size))
            return;
        // Below this not even the plainest kernel takes seconds: no need to time it.
        constexpr double kUpdatesOfAFewSeconds = 1e9;
        constexpr double kShowAboveSeconds = 3;
        if (work.Updates * (1 + work.Revaluations) < kUpdatesOfAFewSeconds ||
            EstimatedSeconds(work, MeasureKernelSpeed()) < kShowAboveSeconds)
            return;
        line_ = line;
        days_ = std::to_string(size.DayCount);
    }

    DayObserver Days() const {
        if (!line_) return {};
        return [this](int32_t done) {
            line_->Show("kelvaro: päiviä " + std::to_string(done) + "/" + days_);
            return true;
        };
    }

    SolveObserver Solve() const {
        if (!line_) return {};
        return [this](int32_t valuations) {
            line_->Show("kelvaro: volatiliteettihaku, arvostuksia " + std::to_string(valuations));
            return true;
        };
    }

    RevaluationObserver Figures() const {
        if (!line_) return {};
        return [this](const CRevaluationProgress& p) {
            line_->Show("kelvaro: tunnusluvut " + std::to_string(p.Finished) + "/" +
                        std::to_string(kFigureRevaluations) + ", päiviä " +
                        std::to_string(p.DaysDone) + "/" + std::to_string(p.DaysTotal));
            return true;
        };
    }

private:
    TerminalLine* line_ = nullptr;
    std::string days_;
};

// What the command asks for, its options checked against each other.
struct Command {
    bool Check = false, Json = false, ValueAt = false, Scenario = false, AtShare = false;
    bool Solve = false;
    std::optional<ChartFormat> Chart;
    // The figures alone need no day rows but theta's; the listing, the
    // record, the files and the scenario need the whole grid.
    bool ValueOnly = false;
    double ValueAtPrice = 0; // read with the inputs
};

Command ReadCommand(const ParsedArgs& parsed, const InputTexts& texts) {
    Command c;
    c.Check = parsed.Has("--check");
    c.Json = parsed.Has("--json");
    c.ValueAt = parsed.Has("--value-at");
    c.Scenario = parsed.Has("--scenario") || parsed.Has("--scenario-prices") ||
                 parsed.Has("--scenario-dates");
    if (c.Check + (c.Json || c.Scenario) + c.ValueAt > 1)
        throw InputError(
            "valitsimista --check, --json/--scenario ja --value-at voi antaa vain yhden");
    if (c.Check && parsed.Has("--chart"))
        throw InputError("valitsimia --check ja --chart ei voi käyttää yhdessä");
    for (std::string_view file : {"--results", "--grid"})
        if (c.Check && parsed.Has(file))
            throw InputError("valitsimia --check ja " + std::string(file) +
                             " ei voi käyttää yhdessä: tarkastus ei laske arvoja tallennettaviksi");
    // A document's share and price count as given.
    c.AtShare = texts.contains("share");
    c.Solve = texts.contains("price");
    RequireShareForPrice(texts);
    if (c.AtShare && (c.Check || c.ValueAt))
        throw InputError(
            "valitsinta --share ei voi käyttää yhdessä valitsimien --check ja --value-at kanssa");
    for (std::string_view name : {"--batch-format", "--jobs"})
        if (parsed.Has(name))
            throw InputError("valitsin " + std::string(name) + " tarvitsee valitsimen --batch");
    RequireInput(texts, "expiry");
    if (parsed.Has("--chart")) {
        c.Chart = ChartFormatOfName(parsed.Text("--chart"));
        if (!c.Chart)
            ThrowBadValue("--chart", parsed.Text("--chart"), "tiedostonimen pääte .png tai .svg");
    }
    // A name no save can take is refused before a long valuation.
    for (std::string_view name : {"--results", "--chart", "--grid", "--save-inputs"}) {
        if (!parsed.Has(name)) continue;
        const SaveStatus status = CheckSaveName(parsed.Text(name));
        if (status != SaveStatus::Ok) throw FileError(SaveFailureText(status, parsed.Text(name)));
    }
    c.ValueOnly = c.AtShare && !c.Scenario && !parsed.Has("--results") && !parsed.Has("--chart") &&
                  !parsed.Has("--grid");
    return c;
}

// The grid valued as the command needs it: solved first with --price, then
// rolled back, keeping day rows unless only the figures are asked for.
struct Valuation {
    CImpliedVolatility Solved;
    std::vector<double> Close, NextDay; // the only day rows of a valuation without rows
};

Valuation Value(CGrid& grid, const Command& c, const SharePrices& prices, char separator,
                const JobProgress& progress) {
    Valuation v;
    if (c.Solve)
        v.Solved = SolveVolatility(grid, *prices.Share, *prices.Price, separator, progress.Solve());
    if (c.ValueOnly) {
        ValueWithNextDay(grid, v.Close, v.NextDay, progress.Days());
    } else {
        BuildLattice(grid);
        RollBack(grid, progress.Days());
    }
    return v;
}

std::string ScenarioOutputText(const ParsedArgs& parsed, const CGrid& grid, const Command& c,
                               std::optional<double> share, char separator) {
    const std::string prices = parsed.Text("--scenario-prices"),
                      dates = parsed.Text("--scenario-dates");
    const ScenarioTable table = ScenarioFromOptions(
        grid, parsed.Has("--scenario-prices") ? &prices : nullptr,
        parsed.Has("--scenario-dates") ? &dates : nullptr, share.value_or(grid.Warrant.Strike));
    if (!c.Json)
        return ScenarioText(table, ScenarioCell::Value, separator, CsvFieldSeparator(separator));
    std::string text = JsonText(grid);
    text.resize(text.size() - 3); // "\n}\n"
    return text + ",\n  " + ScenarioJson(table) + "\n}\n";
}

std::string FiguresOutputText(const CGrid& grid, const Command& c, const SharePrices& prices,
                              const Valuation& v, char separator, const JobProgress& progress) {
    const double share = *prices.Share;
    const CShareFigures figures =
        c.ValueOnly ? FiguresAt(grid, v.Close, v.NextDay, share, true, progress.Figures())
                    : FiguresAt(grid, share, true, progress.Figures());
    RequireOnLattice(figures, grid, separator);
    if (c.Json)
        return "{\n" + (c.Solve ? VolatilityJson(v.Solved, *prices.Price) + ",\n" : std::string()) +
               FiguresJson(figures) + "\n}\n";
    return (c.Solve ? VolatilityText(v.Solved, separator) : std::string()) +
           FiguresText(figures, separator);
}

// What goes to standard output for a valued grid.
std::string OutputText(const ParsedArgs& parsed, const CGrid& grid, const Command& c,
                       const SharePrices& prices, const Valuation& v, char separator,
                       const JobProgress& progress) {
    if (c.Scenario) return ScenarioOutputText(parsed, grid, c, prices.Share, separator);
    if (c.AtShare) return FiguresOutputText(grid, c, prices, v, separator, progress);
    if (c.ValueAt) return DoubleText(ValueAt(grid, c.ValueAtPrice, separator)) + "\n";
    if (c.Json) return JsonText(grid);
    std::string text = ListingText(grid);
    if (!text.empty()) text += '\n';
    return text;
}

// The files the command names: results, grid and chart.
void WriteFiles(const ParsedArgs& parsed, const CGrid& grid, const Command& c,
                std::optional<double> share, char separator) {
    const auto save = [&parsed](std::string_view option, auto write) {
        if (!parsed.Has(option)) return;
        const std::string path = parsed.Text(option);
        const SaveStatus status = write(path);
        if (status != SaveStatus::Ok) throw FileError(SaveFailureText(status, path));
    };
    save("--results",
         [&](const std::string& path) { return WriteResultsFile(path, grid, separator); });
    save("--grid", [&](const std::string& path) {
        return SaveFile(path, [&grid](const SaveSink& sink) { return ProduceGridCsv(grid, sink); });
    });
    // The share price is marked on the chart.
    save("--chart",
         [&](const std::string& path) { return WriteChart(grid, share, path, *c.Chart); });
}

void SaveInputs(const std::string& path, const InputTexts& texts) {
    const SaveStatus status = SaveDocument(path, {texts, {}});
    if (status != SaveStatus::Ok) throw FileError(SaveFailureText(status, path));
}

// The whole command; returns what goes to standard output. Progress goes to
// `line` for a long job.
std::string Run(const std::vector<std::string>& args, TerminalLine* line = nullptr) {
    if (std::find(args.begin(), args.end(), "--help") != args.end()) return HelpText();
    if (std::find(args.begin(), args.end(), "--version") != args.end())
        return "kelvaro " KELVARO_VERSION "\n";

    const ParsedArgs parsed(args);
    const InputTexts texts = InputTextsOf(parsed);
    Command command = ReadCommand(parsed, texts);
    CGrid grid = ReadWarrant(texts);
    const char separator =
        parsed.Has("--decimal-separator") ? ReadSeparator(parsed) : DecimalSeparator();
    if (command.ValueAt) command.ValueAtPrice = ReadPrice("--value-at", parsed.Text("--value-at"));
    const SharePrices prices = ReadSharePrices(texts);
    // The inputs are kept once they read, whatever the valuation then says.
    if (parsed.Has("--save-inputs")) SaveInputs(parsed.Text("--save-inputs"), texts);

    // The builds below refuse nothing else: past this they succeed or throw.
    RequireUsableDateRange(grid, command.Check ? RefusedCommand::Check : RefusedCommand::Calculate);
    if (command.Check) {
        // The verdict needs the branch weights only.
        BuildWithoutRows(grid);
        return TimeStepVerdict(grid.PMid, separator) + "\n";
    }
    if (const std::string refusal = MemoryRefusal(grid, !command.ValueOnly, DecimalSeparator());
        !refusal.empty())
        throw ServiceRefusal(refusal);
    const JobProgress progress(line, grid, command.AtShare && !command.Scenario);
    const Valuation valuation = Value(grid, command, prices, separator, progress);
    const std::string text =
        OutputText(parsed, grid, command, prices, valuation, separator, progress);
    WriteFiles(parsed, grid, command, prices.Share, separator);
    return text;
}

// Runs `body`; on failure returns its exit status and sets `message`.
int Guarded(const std::function<void()>& body, std::string& message) {
    try {
        body();
        return kExitOk;
    } catch (const FileError& e) {
        message = e.what();
        return kExitFile;
    } catch (...) {
        return StatusOfCurrentException(message);
    }
}

} // namespace

int RunKelvaro(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    UseQtLocaleSeparator(); // the regional separator as the window reads it
    if (IsBatchCommand(args)) return RunBatchCommand(args, out, err);
    std::string message;
    TerminalLine line(err, IsTerminalStderr(err));
    const int status = Guarded(
        [&] {
            const std::string text = Run(args, &line);
            line.End(false);
            out << text;
            out.flush();
            if (!out) throw FileError("vakiotulosteeseen kirjoittaminen epäonnistui");
        },
        message);
    line.End(false);
    if (status == kExitOk) return kExitOk;
    err << "kelvaro: " << VisibleText(message) << '\n';
    err.flush();
    return status;
}

} // namespace kelvaro
