// A whole Calculate in the window: the default inputs with an expiry one
// year ahead, the listing into Memo1 included.
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "Memory.h"
#include "ui_Kelvarounit1.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

void Calculate(benchmark::State& state) {
    TForm1 form;
    form.ui->DateExpiry->setDate(form.ui->DateNow->date().addYears(1));
    bool failed = false;
    DialogHooks hooks;
    hooks.showMessage = [&](const QString&) { failed = true; };
    hooks.showError = [&](const QString&) { failed = true; };
    const DialogHooks previous = InstallDialogHooks(hooks);
    for (auto _ : state) {
        form.ButtonCalculateClick();
        form.WaitUntilIdle();
    }
    InstallDialogHooks(previous);
    if (failed) state.SkipWithError("the command reported a failure");
    state.counters["nodes"] = form.Grid().NodeCount;
    state.counters["steps"] = form.Grid().TotalSteps;
}

BENCHMARK(Calculate)->Unit(benchmark::kMillisecond)->UseRealTime();

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
