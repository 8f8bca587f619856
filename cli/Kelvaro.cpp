#include "Kelvaro.h"

#include "Batch.h"
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
#include "Verdict.h"
#include "Workload.h"

#include <algorithm>
#include <functional>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#ifndef KELVARO_VERSION
#define KELVARO_VERSION "0.0.0"
#endif

using namespace kelvaro;

namespace {

// The calculation was done but has no answer: its cause as it stands.
class RefusedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The results file or standard output could not be written.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Linear between the two nodes around the price, a node's own value on it.
double ValueAt(const CGrid& grid, double price, char separator) {
    const std::optional<double> value = ValueAtPrice(grid, price);
    if (!value) throw UsageError(OffLatticeMessage(grid, price, separator));
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

// The whole command; returns what goes to standard output. A batch row
// (`row` set) is valued without day rows and its figures go to `row`.
// Progress goes to `line` for a long job.
std::string Run(const std::vector<std::string>& args, ShareRun* row = nullptr,
                TerminalLine* line = nullptr) {
    if (std::find(args.begin(), args.end(), "--help") != args.end()) return HelpText();
    if (std::find(args.begin(), args.end(), "--version") != args.end())
        return "kelvaro " KELVARO_VERSION "\n";

    const ParsedArgs parsed(args);
    const bool check = parsed.Has("--check");
    const bool json = parsed.Has("--json");
    const bool valueAt = parsed.Has("--value-at");
    const bool scenario = parsed.Has("--scenario") || parsed.Has("--scenario-prices") ||
                          parsed.Has("--scenario-dates");
    if (check + (json || scenario) + valueAt > 1)
        throw UsageError(
            "valitsimista --check, --json/--scenario ja --value-at voi antaa vain yhden");
    if (check && parsed.Has("--chart"))
        throw UsageError("valitsimia --check ja --chart ei voi käyttää yhdessä");
    for (std::string_view file : {"--results", "--grid"})
        if (check && parsed.Has(file))
            throw UsageError("valitsimia --check ja " + std::string(file) +
                             " ei voi käyttää yhdessä: tarkastus ei laske arvoja tallennettaviksi");
    const bool atShare = parsed.Has("--share");
    const bool solve = parsed.Has("--price");
    if (solve && !atShare) throw UsageError("valitsin --price tarvitsee valitsimen --share");
    if (atShare && (check || valueAt))
        throw UsageError(
            "valitsinta --share ei voi käyttää yhdessä valitsimien --check ja --value-at kanssa");
    for (std::string_view name : {"--batch-format", "--jobs"})
        if (parsed.Has(name))
            throw UsageError("valitsin " + std::string(name) + " tarvitsee valitsimen --batch");
    if (!parsed.Has("--expiry")) throw UsageError("valitsin --expiry puuttuu");
    const std::optional<ChartFormat> chartFormat =
        parsed.Has("--chart") ? ChartFormatOfName(parsed.Text("--chart")) : std::nullopt;
    if (parsed.Has("--chart") && !chartFormat)
        ThrowBadValue("--chart", parsed.Text("--chart"), "tiedostonimen pääte .png tai .svg");
    // A name no save can take is refused before a long valuation.
    for (std::string_view name : {"--results", "--chart", "--grid"}) {
        if (!parsed.Has(name)) continue;
        const SaveStatus status = CheckSaveName(parsed.Text(name));
        if (status != SaveStatus::Ok) throw FileError(SaveFailureText(status, parsed.Text(name)));
    }

    CGrid grid = ReadInputs(parsed);
    const char separator =
        parsed.Has("--decimal-separator") ? ReadSeparator(parsed) : DecimalSeparator();
    const double price = valueAt ? ReadPrice(parsed) : 0.0;
    const double share = atShare ? PositivePrice(parsed, "--share") : 0.0;
    const double marketPrice = solve ? PositivePrice(parsed, "--price") : 0.0;

    // The window's box text with its cause, on one line. The builds below
    // refuse nothing else: past this they succeed or throw.
    const std::string refusal = DateRangeRefusalText(
        grid, check ? RefusedCommand::Check : RefusedCommand::Calculate, RefusalForm::Line);
    if (!refusal.empty()) throw UsageError(refusal);
    if (check) {
        // The verdict needs the branch weights only.
        BuildWithoutRows(grid);
        return TimeStepVerdict(grid.PMid, separator) + "\n";
    }

    // The figures alone need no day rows but theta's; the listing, the
    // record, the files and the scenario need the whole grid.
    const bool valueOnly = row || (atShare && !scenario && !parsed.Has("--results") &&
                                   !parsed.Has("--chart") && !parsed.Has("--grid"));
    // A batch row's three node arrays are not worth reading the limits for.
    if (const std::string refusal = row ? "" : MemoryRefusal(grid, !valueOnly, DecimalSeparator());
        !refusal.empty())
        throw ServiceRefusal(refusal);
    const JobProgress progress(line, grid, atShare && !scenario);

    CImpliedVolatility solved;
    if (solve) {
        // Refuses what the valuation would before the solve starts.
        BuildWithoutRows(grid);
        solved = SolveImpliedVolatility(grid, share, marketPrice, progress.Solve());
        // A share price off every lattice is the input's fault, as without --price.
        if (solved.Outcome == VolatilityOutcome::OffLattice)
            throw UsageError(VolatilityRefusal(solved, marketPrice, separator));
        if (solved.Outcome != VolatilityOutcome::Solved)
            throw RefusedError(VolatilityRefusal(solved, marketPrice, separator));
        // As if the two decimals were typed into the volatility.
        grid.Warrant.Volatility = FromPercent(StrToFloat(VolatilityPercentText(solved, '.'), '.'));
    }
    std::vector<double> close, nextDay; // the only day rows of a valuation without rows
    if (valueOnly) {
        ValueWithNextDay(grid, close, nextDay, progress.Days());
    } else {
        BuildLattice(grid);
        RollBack(grid, progress.Days());
    }

    // The share price marked on the chart and centring the scenario.
    const std::optional<double> marker = atShare ? std::optional<double>(share) : std::nullopt;

    std::string text;
    if (scenario) {
        const std::string prices = parsed.Text("--scenario-prices"),
                          dates = parsed.Text("--scenario-dates");
        const ScenarioTable table =
            ScenarioFromOptions(grid, parsed.Has("--scenario-prices") ? &prices : nullptr,
                                parsed.Has("--scenario-dates") ? &dates : nullptr,
                                marker.value_or(grid.Warrant.Strike));
        if (json) {
            text = JsonText(grid);
            text.resize(text.size() - 3); // "\n}\n"
            text += ",\n  " + ScenarioJson(table) + "\n}\n";
        } else {
            text =
                ScenarioText(table, ScenarioCell::Value, separator, CsvFieldSeparator(separator));
        }
    } else if (atShare) {
        const CShareFigures figures =
            valueOnly ? FiguresAt(grid, close, nextDay, share, true, progress.Figures())
                      : FiguresAt(grid, share, true, progress.Figures());
        if (figures.OffLattice) throw UsageError(OffLatticeMessage(grid, share, separator));
        if (row) {
            row->Figures = figures;
            if (solve) row->Solved = solved, row->Price = marketPrice;
            return {};
        }
        if (json)
            text = "{\n" + (solve ? VolatilityJson(solved, marketPrice) + ",\n" : std::string()) +
                   FiguresJson(figures) + "\n}\n";
        else
            text = (solve ? VolatilityText(solved, separator) : std::string()) +
                   FiguresText(figures, separator);
    } else if (row) {
        return {};
    } else if (valueAt) {
        text = DoubleText(ValueAt(grid, price, separator)) + "\n";
    } else if (json) {
        text = JsonText(grid);
    } else {
        text = ListingText(grid);
        if (!text.empty()) text += '\n';
    }

    if (parsed.Has("--results")) {
        const std::string path = parsed.Text("--results");
        const SaveStatus status = WriteResultsFile(path, grid, separator);
        if (status != SaveStatus::Ok) throw FileError(SaveFailureText(status, path));
    }
    if (parsed.Has("--grid")) {
        const std::string path = parsed.Text("--grid");
        const SaveStatus status =
            SaveFile(path, [&grid](const SaveSink& sink) { return ProduceGridCsv(grid, sink); });
        if (status != SaveStatus::Ok) throw FileError(SaveFailureText(status, path));
    }
    if (chartFormat) {
        const std::string path = parsed.Text("--chart");
        const SaveStatus status = WriteChart(grid, marker, path, *chartFormat);
        if (status != SaveStatus::Ok) throw FileError(SaveFailureText(status, path));
    }
    return text;
}

} // namespace

namespace {

// Runs `body`; on failure returns its exit status and sets `message`.
int Guarded(const std::function<void()>& body, std::string& message) {
    try {
        body();
        return kExitOk;
    } catch (const UsageError& e) {
        message = e.what();
        return kExitUsage;
    } catch (const RefusedError& e) {
        message = e.what();
        return kExitEngine;
    } catch (const ScenarioArgumentError& e) {
        message = e.what();
        return kExitUsage;
    } catch (const FileError& e) {
        message = e.what();
        return kExitFile;
    } catch (const EngineError& e) {
        message = "laskenta keskeytyi: " + RefusalText(e);
    } catch (const ServiceRefusal& e) {
        message = std::string("laskenta keskeytyi: ") + e.what();
    } catch (const std::bad_alloc&) {
        message = "muisti ei riitä laskentaan";
    } catch (const std::exception& e) {
        message = std::string("odottamaton virhe: ") + e.what();
    } catch (...) {
        message = "odottamaton virhe";
    }
    return kExitEngine;
}

} // namespace

ShareRun RunShare(const std::vector<std::string>& args) {
    ShareRun row;
    row.Status = Guarded([&] { Run(args, &row); }, row.Error);
    return row;
}

bool ReadOptions(const std::vector<std::string>& args,
                 std::vector<std::pair<std::string, std::string>>& options, std::string& message) {
    options.clear();
    const auto read = [&] {
        const ParsedArgs parsed(args);
        for (const auto& [name, value] : parsed.All()) options.emplace_back(name, value);
    };
    return Guarded(read, message) == kExitOk;
}

int RunKelvaro(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    UseQtLocaleSeparator(); // the regional separator as the window reads it
    if (IsBatchCommand(args)) return RunBatchCommand(args, out, err);
    std::string message;
    TerminalLine line(err, IsTerminalStderr(err));
    const int status = Guarded(
        [&] {
            const std::string text = Run(args, nullptr, &line);
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
