// The value chart ("Arvokäyrä"): the warrant's value against the share price,
// one curve per trading day, straight from the grid's nodes. Every Qt Charts
// call of the program lives in ValueChart.cpp, so that another plotting
// library would replace this unit only.
#pragma once

#include "ChartFormat.h"
#include "Grid.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QIODevice;

namespace kelvaro {

// The valuation moment, the expiry day and about five trading days spread
// evenly between them; ascending, each once.
std::vector<int32_t> DefaultChartDays(const CGrid& grid);

class ValueChart : public QWidget {
    Q_OBJECT

public:
    explicit ValueChart(QWidget* parent = nullptr);
    ~ValueChart() override;

    // Redraws from a rolled-back grid: one curve per day of `days` (0 is the
    // valuation moment, DayCount - 1 the payoff), the markers (strike,
    // knock-out level, SG stop-loss zone, `share`, the price range limits),
    // and the default view. The grid is read here only; nothing of it is kept
    // but the curves.
    void SetGrid(const CGrid& grid, std::optional<double> share, const std::vector<int32_t>& days);
    // Empties the chart.
    void Clear();
    // Back to the default view: the prices where the value is neither 0 nor
    // pure intrinsic value, with the strike and the share price.
    void ResetZoom();
    // Shows the share prices low ... high, as the wheel does.
    void ZoomTo(double low, double high);

    // The curves: their legend names and points (every node of the grid).
    int CurveCount() const;
    QString CurveName(int curve) const;
    QList<QPointF> CurvePoints(int curve) const;
    // What a curve draws: the grid's nodes in view and one beyond each edge,
    // all of them when they are few, else per pixel column of the plot the
    // first, lowest, highest and last of them.
    QList<QPointF> DrawnPoints(int curve) const;
    QColor CurveColor(int curve) const;
    // The vertical markers drawn, as legend name and share price.
    QList<std::pair<QString, double>> Markers() const;
    // The distance between ticks of the price and the value axis.
    std::pair<double, double> TickSteps() const;
    // The shown price range.
    std::pair<double, double> PriceView() const;

    // The chart drawn at `size`, in pixels or SVG units.
    QImage RenderImage(QSize size);
    bool WriteSvg(QIODevice& device, QSize size);
    // The size of a saved picture.
    static constexpr QSize kImageSize{1200, 800};
    // The chart drawn at kImageSize as the bytes of a file in `format`;
    // empty if it could not be drawn.
    QByteArray FileBytes(ChartFormat format);
    // Where the curves go in a picture of `size`: the plot area.
    QRectF PlotArea(QSize size);

signals:
    // The price under the mouse and each curve's value there, regional separator.
    void Hovered(const QString& readout);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace kelvaro
