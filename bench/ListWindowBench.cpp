// Warranttilista: 200 one-year warrants (Normal, Turbo (SHB), Turbo (SG),
// calls and puts, each priced 3 % above its value at 30 %) opened in the
// window: how soon the first row shows and how many rows a second fill in,
// on 1 and 2 threads at 100 and 25 steps a day.
#include "Dialogs.h"
#include "WarrantListModel.h"
#include "WarrantListWindow.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

using namespace kelvaro;

namespace {

constexpr int kRows = 200;

// The list's rows without prices: strikes on the live side of a share at 15.
QString ListText(const char* stepsPerDay, const std::vector<double>& prices) {
    QDate expiry = QDate::currentDate().addYears(1);
    while (expiry.dayOfWeek() > 5) expiry = expiry.addDays(-1);
    static const char* const kTypes[] = {"normal", "turbo-shb", "turbo-sg"};
    QString text = QStringLiteral("name;underlying;type;side;strike;margin;expiry;steps-per-day;"
                                  "share;price\n");
    for (int i = 0; i < kRows; ++i) {
        const bool call = (i / 3) % 2 == 0;
        const double step = (i / 6) % 10 * 0.5; // 0 … 4,5
        // A Turbo (SG)'s stop-loss level, 0,5 inside the strike, stays off 15.
        const double strike = call ? 14 - step : 16 + step;
        text += QStringLiteral("W%1;Osake;%2;%3;%4;0,5;%5;%6;15;%7\n")
                    .arg(i, 3, 10, QLatin1Char('0'))
                    .arg(QLatin1String(kTypes[i % 3]),
                         call ? QStringLiteral("call") : QStringLiteral("put"))
                    .arg(strike)
                    .arg(expiry.toString(Qt::ISODate), QLatin1String(stepsPerDay))
                    .arg(prices.empty() ? QString() : QString::number(prices[i] * 1.03, 'g', 6));
    }
    return text;
}

QString Write(const QTemporaryDir& dir, const QString& name, const QString& text) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(text.toUtf8());
    return path;
}

void OpenList(benchmark::State& state) {
    const char* steps = state.range(0) == 100 ? "100" : "25";
    DialogHooks hooks;
    bool failed = false;
    hooks.showError = hooks.showMessage = [&](const QString&) { failed = true; };
    const DialogHooks previous = InstallDialogHooks(hooks);
    const QTemporaryDir dir;
    WarrantListWindow list;
    list.SetJobs(static_cast<int>(state.range(1)));
    // The values at 30 % price the list; not timed.
    list.OpenList(Write(dir, QStringLiteral("values.csv"), ListText(steps, {})));
    list.WaitUntilIdle();
    std::vector<double> prices;
    for (int row = 0; row < list.Model()->rowCount(); ++row) {
        const WarrantRun& run = list.Model()->At(row).Run;
        prices.push_back(run.Figures && run.Figures->Value ? *run.Figures->Value : 1.0);
    }
    const QString path = Write(dir, QStringLiteral("list.csv"), ListText(steps, prices));
    double firstMs = 0, totalMs = 0;
    int unsolved = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        bool first = false;
        const auto connection = QObject::connect(
            list.Model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& from) {
                if (first || list.Model()->At(from.row()).Status != WarrantListModel::State::Valued)
                    return;
                first = true;
                firstMs = clock.nsecsElapsed() / 1e6;
            });
        clock.start();
        list.OpenList(path);
        list.WaitUntilIdle();
        totalMs = clock.nsecsElapsed() / 1e6;
        QObject::disconnect(connection);
    }
    for (int row = 0; row < list.Model()->rowCount(); ++row) {
        const WarrantRun& run = list.Model()->At(row).Run;
        if (run.Status != kValued) failed = true;
        unsolved += run.Solved && !run.HasVolatility();
    }
    InstallDialogHooks(previous);
    if (failed) state.SkipWithError("a row failed");
    state.counters["first_row_ms"] = firstMs;
    state.counters["whole_list_s"] = totalMs / 1000;
    state.counters["rows_per_s"] = kRows / (totalMs / 1000);
    state.counters["without_volatility"] = unsolved;
}

} // namespace

// {steps per day, threads}
BENCHMARK(OpenList)
    ->Args({100, 1})
    ->Args({100, 2})
    ->Args({25, 1})
    ->Args({25, 2})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
