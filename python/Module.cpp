// The Python module's native part: the service layer's valuations over
// input texts, with the GIL released while they run. The package around it
// (kelvaro/__init__.py) turns Python values into texts and builds frames.
#include "BatchFile.h"
#include "BatchOutput.h"
#include "CalculationDocument.h"
#include "Csv.h"
#include "Figures.h"
#include "Grid.h"
#include "ImpliedVolatility.h"
#include "KernelThreads.h"
#include "Lattice.h"
#include "ListValuation.h"
#include "MemoryCheck.h"
#include "NumberText.h"
#include "Refusals.h"
#include "RollBack.h"
#include "ShareOutput.h"
#include "WarrantInputs.h"
#include "WarrantValuation.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace kelvaro {

namespace {

// A failed call: the message and exit status kelvaro gives, raised in
// Python as kelvaro.InputError.
struct Failure {
    int Status;
    std::string Message;
};

// Runs `body` without the GIL; every failure becomes a Failure once the GIL
// is held again.
template <class Body> void WithoutGil(Body&& body) {
    Failure failure{kValued, {}};
    {
        py::gil_scoped_release released;
        try {
            body();
        } catch (...) {
            failure.Status = StatusOfCurrentException(failure.Message);
        }
    }
    if (failure.Status != kValued) throw failure;
}

// One valuation with every day row, as kelvaro --json values it. The rows
// lie in one block, row after row, so that numpy can view them as they are.
struct Valuation {
    CGrid Grid;
    std::unique_ptr<double[]> Days;
};

std::unique_ptr<Valuation> Value(const InputTexts& texts) {
    auto v = std::make_unique<Valuation>();
    WithoutGil([&] {
        RequireInput(texts, "expiry");
        CGrid& grid = v->Grid;
        grid = ReadWarrant(texts);
        RequireUsableDateRange(grid, RefusedCommand::Calculate);
        if (const std::string refusal = MemoryRefusal(grid, true, '.'); !refusal.empty())
            throw ServiceRefusal(refusal);
        BuildLattice(grid);
        RollBack(grid);
        // Each row moves into the block and is freed at once: the grid's
        // memory never doubles. new[] leaves the pages untouched until written.
        const auto nodes = static_cast<std::size_t>(grid.NodeCount);
        v->Days.reset(new double[grid.DayValues.size() * nodes]);
        for (std::size_t d = 0; d < grid.DayValues.size(); ++d) {
            std::copy(grid.DayValues[d].begin(), grid.DayValues[d].end(), &v->Days[d * nodes]);
            std::vector<double>().swap(grid.DayValues[d]);
        }
        grid.DayValues.clear();
    });
    return v;
}

// A read-only numpy view of memory that `owner` keeps alive.
template <class T>
py::array ReadOnlyView(std::vector<py::ssize_t> shape, const T* data, py::handle owner) {
    py::array_t<T> array(std::move(shape), data, owner);
    array.attr("setflags")(py::arg("write") = false);
    return array;
}

// Trading-day serials as numpy days.
py::array DayNumbers(const std::vector<double>& serials) {
    constexpr double kSerialOf1970 = 25569; // 1970-01-01 as a date-time serial
    py::array_t<int64_t> days(static_cast<py::ssize_t>(serials.size()));
    auto out = days.mutable_unchecked<1>();
    for (std::size_t i = 0; i < serials.size(); ++i)
        out(static_cast<py::ssize_t>(i)) =
            static_cast<int64_t>(std::floor(serials[i]) - kSerialOf1970);
    return days.attr("view")("datetime64[D]");
}

py::dict FiguresDict(const CShareFigures& figures) {
    py::dict out;
    for (const auto& [key, value] : FigureFields(figures))
        out[py::str(std::string(key))] = value ? py::object(py::float_(*value)) : py::none();
    return out;
}

WarrantRun RunWarrant(const InputTexts& texts) {
    WarrantRun run;
    {
        py::gil_scoped_release released;
        run = ValueWarrant(texts);
    }
    if (run.Status != kValued) throw Failure{run.Status, run.Error};
    return run;
}

py::dict Figures(const InputTexts& texts) {
    return FiguresDict(*RunWarrant(texts).Figures);
}

// A price no volatility gives is a result (solved false, with the solve's
// outcome, cause and range, and the figures at the input's own volatility),
// never an error: the batch's row keeps it the same way.
py::dict ImpliedVolatility(const InputTexts& texts) {
    const WarrantRun run = RunWarrant(texts);
    const CImpliedVolatility& solve = *run.Solved;
    py::dict out;
    out["solved"] = run.HasVolatility();
    out["price"] = run.Price;
    out["valuations"] = solve.Valuations;
    out["figures"] = FiguresDict(*run.Figures);
    if (run.HasVolatility()) {
        out["volatility"] = solve.VolatilityPercent;
        return out;
    }
    out["outcome"] = std::string(VolatilityOutcomeName(solve.Outcome));
    out["cause"] = run.VolatilityCause;
    out["lowest_volatility"] = solve.LowestVolatility * 100;
    out["highest_volatility"] = kHighestVolatility * 100;
    out["value_at_lowest"] = solve.ValueAtLowest;
    out["value_at_highest"] = solve.ValueAtHighest;
    return out;
}

// The frame's rows valued on the batch's pool and formatted by the batch's
// CSV formatter; each output column comes back as numpy array or list by
// its kind: whole numbers (Line, Status), numbers (NaN where the batch
// leaves the cell empty) or texts.
py::list ValueRows(const std::vector<std::string>& columns, const std::vector<std::string>& inputs,
                   const std::vector<std::vector<std::string>>& cells, std::size_t rowCount,
                   InputTexts shared, int jobs) {
    // The columns checked as a list file's header is: known, none twice.
    std::string header;
    for (const std::string& name : inputs) AppendCsvCell(header, name, ',');
    std::istringstream headerLine(header.empty() ? std::string()
                                                 : header.substr(0, header.size() - 1));
    LineReader headerReader(headerLine);
    try {
        ReadBatchHeader(headerReader, "DataFrame");
    } catch (const BatchError& e) {
        throw Failure{e.Status, e.Message};
    }
    BatchFormat format;
    format.Csv = true;
    format.Columns = columns; // the header as the frame names its columns
    const BatchOutput output(format);
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> table(rowCount);
    WithoutGil([&] {
        if (const auto error =
                SplitFields(output.Header().substr(0, output.Header().size() - 1), ',', names))
            throw std::logic_error(*error);
        std::size_t next = 0;
        std::optional<std::string> malformed;
        ListValuation list(inputs, std::move(shared), jobs,
                           [&](const ListRow& row, const WarrantRun& run) {
                               std::string line = output.Format(row, run);
                               line.pop_back();
                               malformed = SplitFields(line, ',', table[next++]);
                               return !malformed;
                           });
        for (std::size_t r = 0; r < rowCount; ++r) {
            ListRow row;
            row.Line = static_cast<int64_t>(r) + 2; // as in a CSV file under its header
            for (const std::vector<std::string>& column : cells) row.Fields.push_back(column[r]);
            if (!list.Submit(std::move(row))) break;
        }
        list.Finish();
        if (malformed) throw std::logic_error(*malformed);
    });
    py::list out;
    for (std::size_t c = 0; c < names.size(); ++c) {
        const std::string& name = names[c];
        // The figures and the solve's numbers are numbers; every other column
        // (the inputs, Error, the solve's outcome and cause) is text, so that
        // a column added later is never misread.
        const bool input = std::find(columns.begin(), columns.end(), name) != columns.end();
        const bool number =
            name.starts_with("AtShare.") || name == "ImpliedVolatility.Volatility" ||
            name == "ImpliedVolatility.Valuations" || name == "ImpliedVolatility.Price";
        const bool text = input || !(number || name == "Line" || name == "Status");
        const auto n = static_cast<py::ssize_t>(rowCount);
        if (text) {
            py::list values(n);
            for (std::size_t r = 0; r < rowCount; ++r) values[r] = py::str(table[r][c]);
            out.append(py::make_tuple(name, values));
        } else if (name == "Line" || name == "Status") {
            py::array_t<int64_t> values(n);
            auto v = values.mutable_unchecked<1>();
            for (std::size_t r = 0; r < rowCount; ++r)
                v(static_cast<py::ssize_t>(r)) = std::stoll(table[r][c]);
            out.append(py::make_tuple(name, values));
        } else {
            py::array_t<double> values(n);
            auto v = values.mutable_unchecked<1>();
            for (std::size_t r = 0; r < rowCount; ++r) {
                const std::string& cell = table[r][c];
                // The shortest round-trip text reads back to its double.
                v(static_cast<py::ssize_t>(r)) =
                    cell.empty() ? NAN : std::strtod(cell.c_str(), nullptr);
            }
            out.append(py::make_tuple(name, values));
        }
    }
    return out;
}

} // namespace

} // namespace kelvaro

PYBIND11_MODULE(_kelvaro, m) {
    using namespace kelvaro;
    m.doc() = "Kelvarolaskuri's valuations (see the kelvaro package)";

    // Failures become kelvaro.InputError(message, status).
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Failure& f) {
            const py::object error = py::module_::import("kelvaro").attr("InputError");
            PyErr_SetObject(error.ptr(), error(f.Message, f.Status).ptr());
        }
    });

    py::class_<Valuation>(m, "Valuation")
        .def_property_readonly("day_count", [](const Valuation& v) { return v.Grid.DayCount; })
        .def_property_readonly("total_steps", [](const Valuation& v) { return v.Grid.TotalSteps; })
        .def_property_readonly("steps_per_year",
                               [](const Valuation& v) { return v.Grid.StepsPerYear; })
        .def_property_readonly("steps_per_day",
                               [](const Valuation& v) { return v.Grid.StepsPerDay; })
        .def_property_readonly("closed_steps",
                               [](const Valuation& v) { return v.Grid.ClosedSteps; })
        .def_property_readonly("weekend_day_steps",
                               [](const Valuation& v) { return v.Grid.WeekendDaySteps; })
        .def_property_readonly("dividend_day",
                               [](const Valuation& v) { return v.Grid.Warrant.DividendDay; })
        .def_property_readonly("dividend_days",
                               [](const Valuation& v) {
                                   std::vector<int32_t> days{v.Grid.Warrant.DividendDay};
                                   const auto& more = v.Grid.Warrant.MoreDividendDays;
                                   days.insert(days.end(), more.begin(), more.end());
                                   return days;
                               })
        .def_property_readonly("node_count", [](const Valuation& v) { return v.Grid.NodeCount; })
        .def_property_readonly("price_min", [](const Valuation& v) { return v.Grid.PriceMin; })
        .def_property_readonly("price_max", [](const Valuation& v) { return v.Grid.PriceMax; })
        .def_property_readonly("p_up", [](const Valuation& v) { return v.Grid.PUp; })
        .def_property_readonly("p_mid", [](const Valuation& v) { return v.Grid.PMid; })
        .def_property_readonly("p_down", [](const Valuation& v) { return v.Grid.PDown; })
        .def_property_readonly("growth_per_step",
                               [](const Valuation& v) { return v.Grid.GrowthPerStep; })
        .def_property_readonly("residual_value",
                               [](const Valuation& v) { return v.Grid.Warrant.ResidualValue; })
        .def_property_readonly("prices",
                               [](py::object self) {
                                   const CGrid& g = self.cast<const Valuation&>().Grid;
                                   return ReadOnlyView<double>({g.NodeCount}, g.Prices.data(),
                                                               self);
                               })
        .def_property_readonly("values",
                               [](py::object self) {
                                   const CGrid& g = self.cast<const Valuation&>().Grid;
                                   return ReadOnlyView<double>({g.NodeCount}, g.Values.data(),
                                                               self);
                               })
        .def_property_readonly("day_values",
                               [](py::object self) {
                                   const Valuation& v = self.cast<const Valuation&>();
                                   return ReadOnlyView<double>({v.Grid.DayCount, v.Grid.NodeCount},
                                                               v.Days.get(), self);
                               })
        .def_property_readonly("day_dates",
                               [](const Valuation& v) { return DayNumbers(v.Grid.DayDates); })
        .def_property_readonly("closure_days", [](const Valuation& v) {
            // The closures from the valuation day to expiry, as --json lists them.
            std::vector<double> days;
            for (const int32_t day : v.Grid.Closures)
                if (day >= std::trunc(v.Grid.ValuationTime) &&
                    day <= std::trunc(v.Grid.Warrant.Expiry))
                    days.push_back(day);
            return DayNumbers(days);
        });

    m.def("_value", &Value, py::arg("texts"));
    m.def("_figures", &Figures, py::arg("texts"));
    m.def("_implied_volatility", &ImpliedVolatility, py::arg("texts"));
    m.def("_value_rows", &ValueRows, py::arg("columns"), py::arg("inputs"), py::arg("cells"),
          py::arg("rows"), py::arg("shared"), py::arg("jobs"));
    m.def("_read_document", [](const std::string& path) {
        CalculationDocument document;
        WithoutGil([&] { document = ReadDocumentFile(path); });
        return document.Inputs;
    });
    m.def("_number_text", [](double x) {
        std::string text;
        AppendShortest(text, x);
        return text;
    });
    m.def("_is_input", [](const std::string& name) { return IsInput(name); });
    m.def("_input_names", [] {
        std::vector<std::string> names;
        for (const InputInfo& input : kInputs) names.emplace_back(input.Name);
        return names;
    });
    m.def("_usable_cpus", [] { return static_cast<int>(UsableCpus()); });
}
