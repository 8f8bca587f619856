#include "ChartFile.h"

#include "ValueChart.h"

#include <QApplication>

#include <memory>

namespace kelvaro {

std::string RenderChartFile(const CGrid& grid, std::optional<double> share, ChartFormat format) {
    static int argc = 1;
    static char name[] = "kelvaro";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        // A picture to a file needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QApplication>(argc, argv);
    }
    ValueChart chart;
    chart.resize(ValueChart::kImageSize);
    chart.SetGrid(grid, share, DefaultChartDays(grid));
    return chart.FileBytes(format).toStdString();
}

} // namespace kelvaro
