// The window's Calculate: whole valuations with the listing, how long the
// window's thread is blocked meanwhile, and how soon Peruuta takes effect.
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "Memory.h"
#include "ui_Kelvarounit1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include <benchmark/benchmark.h>

using namespace kelvaro;

namespace {

// The default inputs with the expiry `days` calendar days ahead, moved back
// to a weekday; failures recorded instead of shown.
struct Window {
    TForm1 form;
    bool failed = false;
    DialogHooks previous;

    explicit Window(int days, const char* stepsPerDay = "100") {
        QDate expiry = form.ui->DateNow->date().addDays(days);
        while (expiry.dayOfWeek() > 5) expiry = expiry.addDays(-1);
        form.ui->DateExpiry->setDate(expiry);
        form.ui->EditTimeSteps->setText(QString::fromLatin1(stepsPerDay));
        DialogHooks hooks;
        hooks.showMessage = [this](const QString&) { failed = true; };
        hooks.showError = [this](const QString&) { failed = true; };
        hooks.askYesNo = [](const QString&) { return true; };
        previous = InstallDialogHooks(hooks);
    }
    ~Window() { InstallDialogHooks(previous); }
};

// A whole Calculate, and the longest time the window's thread went without
// handling an event meanwhile (a 1 ms timer's largest gap).
void Calculate(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    double longest = 0;
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.nsecsElapsed() / 1e6);
        clock.restart();
    });
    for (auto _ : state) {
        clock.start();
        ticker.start();
        w.form.ButtonCalculateClick();
        w.form.WaitUntilIdle();
        QCoreApplication::processEvents(); // the listing's first paint
        longest = std::max(longest, clock.nsecsElapsed() / 1e6);
        ticker.stop();
    }
    if (w.failed) state.SkipWithError("the command reported a failure");
    state.counters["nodes"] = w.form.Grid().NodeCount;
    state.counters["steps"] = w.form.Grid().TotalSteps;
    state.counters["longest_blocked_ms"] = longest;
}

// From Peruuta (or Poistu) to the window being idle again, 100 ms into the
// largest valuation with 1000 steps a day.
void CancelLatency(benchmark::State& state) {
    Window w(1999, "1000");
    for (auto _ : state) {
        w.form.ButtonCalculateClick();
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const auto start = std::chrono::steady_clock::now();
        w.form.CancelWork();
        w.form.WaitUntilIdle();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

BENCHMARK(Calculate)
    ->Arg(365)
    ->Arg(1999)
    ->ArgName("days")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(CancelLatency)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    KeepFreedMemoryForReuse(); // as the window's start-up does
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
