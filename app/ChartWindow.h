// The window of the value chart ("Arvokäyrä"): the chart, a trading day to
// add by slider or date list, the view reset, the hover readout and saving
// the picture.
#pragma once

#include "Dialogs.h"
#include "Grid.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace kelvaro {
class ValueChart;

class ChartWindow : public QWidget {
    Q_OBJECT

public:
    explicit ChartWindow(QWidget* parent = nullptr);
    ~ChartWindow() override;

    // Shows a rolled-back grid; call again after every calculation. The grid
    // is kept by reference for the picked day's curve and must stay alive and
    // unchanged until the next SetGrid (the main window builds into a record
    // of its own and hands a completed valuation over at once).
    void SetGrid(const CGrid& grid, std::optional<double> share);

    // Adds the curve of one trading day (nullopt: none).
    void PickDay(std::optional<int32_t> day);
    // Asks for a file name (PNG or SVG, the extension added when none is
    // typed) and saves the chart in the format of the name's extension. Any
    // other extension or a failure is shown in the error box.
    void SaveImage();

    ValueChart* Chart() const { return chart_; }
    QLabel* Readout() const { return readout_; }
    QSlider* DaySlider() const { return slider_; }

private:
    void Redraw();

    const CGrid* grid_ = nullptr;
    std::optional<double> share_;
    std::optional<int32_t> picked_;
    ValueChart* chart_;
    QSlider* slider_;
    QComboBox* dates_;
    QLabel* readout_;
    QPushButton* reset_;
    QPushButton* save_;
    TSaveTextFileDialog saveDialog_;
};

} // namespace kelvaro
