#include "ValueChart.h"

#include "Conversions.h"
#include "FloatFormat.h"
#include "QtBridge.h"
#include "Scenario.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>

std::vector<int32_t> DefaultChartDays(const CGrid& grid) {
    if (!grid.Allocated || grid.DayCount < 1) return {};
    const int32_t last = grid.DayCount - 1;
    std::vector<int32_t> days{0};
    constexpr int kBetween = 5;
    for (int k = 1; k <= kBetween; ++k) {
        const auto d =
            static_cast<int32_t>(std::lround(static_cast<double>(last) * k / (kBetween + 1)));
        if (d > days.back() && d < last) days.push_back(d);
    }
    if (last > 0) days.push_back(last);
    return days;
}

namespace {

QString Number(double value, int precision) {
    return QString::fromStdString(FloatToStrF(value, TFloatFormat::ffGeneral, precision, 3));
}

QString ShortDate(double serial) {
    return QLocale().toString(SerialToDateTime(serial).date(), QLocale::ShortFormat);
}

// Wheel zoom about the cursor and the hover readout; everything else is Qt's.
class View : public QChartView {
public:
    using QChartView::QChartView;
    std::function<void(QPointF value, bool inside)> onHover;
    std::function<void(double price, double factor)> onWheel;

protected:
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPointF pos = event->position();
        if (onHover) onHover(chart()->mapToValue(pos), chart()->plotArea().contains(pos));
        QChartView::mouseMoveEvent(event);
    }
    void wheelEvent(QWheelEvent* event) override {
        const QPointF pos = event->position();
        if (onWheel && chart()->plotArea().contains(pos) && event->angleDelta().y() != 0)
            onWheel(chart()->mapToValue(pos).x(), event->angleDelta().y() > 0 ? 0.8 : 1.25);
        event->accept();
    }
};

} // namespace

struct ValueChart::Impl {
    QChart* chart = new QChart;
    View* view = nullptr;
    QValueAxis* axisX = new QValueAxis;
    QValueAxis* axisY = new QValueAxis;
    std::vector<QLineSeries*> curves;
    // Copies of the curves for the readout and the views.
    std::vector<double> prices;
    std::vector<std::vector<double>> values;
    double viewMin = 0, viewMax = 1;

    void AddMarker(QAbstractSeries* series) {
        chart->addSeries(series);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }

    QLineSeries* VerticalLine(double price, double top, const QString& name, const QColor& color,
                              Qt::PenStyle style) {
        auto* line = new QLineSeries;
        line->setName(name);
        line->append(price, 0);
        line->append(price, top);
        line->setPen(QPen(color, 1.5, style));
        AddMarker(line);
        return line;
    }

    // The highest value of any curve between two prices, for the value axis.
    double TopBetween(double low, double high) const {
        double top = 0;
        for (const std::vector<double>& row : values)
            for (std::size_t i = 0; i < prices.size(); ++i)
                if (prices[i] >= low && prices[i] <= high) top = std::max(top, row[i]);
        return top;
    }

    void ShowPrices(double low, double high) {
        if (!(high > low)) return;
        axisX->setRange(low, high);
        const double top = TopBetween(low, high);
        axisY->setRange(0, top > 0 ? top * 1.05 : 1.0);
    }
};

ValueChart::ValueChart(QWidget* parent) : QWidget(parent), d_(std::make_unique<Impl>()) {
    d_->chart->addAxis(d_->axisX, Qt::AlignBottom);
    d_->chart->addAxis(d_->axisY, Qt::AlignLeft);
    d_->axisX->setTitleText(QStringLiteral("Osakkeen hinta"));
    d_->axisY->setTitleText(QStringLiteral("Warrantin arvo"));
    d_->chart->legend()->setAlignment(Qt::AlignRight);
    // Axis labels with the regional decimal separator.
    d_->chart->setLocale(DecimalSeparator() == ',' ? QLocale(QLocale::Finnish, QLocale::Finland)
                                                   : QLocale::c());
    d_->chart->setLocalizeNumbers(true);
    d_->view = new View(d_->chart, this);
    d_->view->setRenderHint(QPainter::Antialiasing);
    d_->view->setRubberBand(QChartView::RectangleRubberBand);
    d_->view->setMouseTracking(true);
    d_->view->onHover = [this](QPointF value, bool inside) {
        if (!inside || d_->prices.empty()) return;
        const double price = value.x();
        QString text = QStringLiteral("Hinta %1").arg(Number(price, 5));
        for (std::size_t c = 0; c < d_->curves.size(); ++c) {
            const std::optional<double> v = ValueOnRow(d_->prices, d_->values[c], price);
            text += QStringLiteral("   %1: %2")
                        .arg(d_->curves[c]->name(), v ? Number(*v, 5) : QStringLiteral("–"));
        }
        emit Hovered(text);
    };
    d_->view->onWheel = [this](double price, double factor) {
        const double low = price - (price - d_->axisX->min()) * factor;
        const double high = price + (d_->axisX->max() - price) * factor;
        d_->ShowPrices(low, high);
    };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d_->view);
}

ValueChart::~ValueChart() = default;

void ValueChart::Clear() {
    d_->chart->removeAllSeries();
    d_->curves.clear();
    d_->prices.clear();
    d_->values.clear();
}

void ValueChart::SetGrid(const CGrid& grid, std::optional<double> share,
                         const std::vector<int32_t>& days) {
    Clear();
    if (!grid.Allocated || grid.NodeCount < 2) return;
    Impl& d = *d_;
    d.prices = grid.Prices;
    const int32_t last = grid.DayCount - 1;
    double top = 0;
    for (const int32_t day : days) {
        const std::vector<double>& row = DayRowValues(grid, day);
        QList<QPointF> points;
        points.reserve(grid.NodeCount);
        for (int32_t i = 0; i < grid.NodeCount; ++i) points.append(QPointF(grid.Prices[i], row[i]));
        top = std::max(top, *std::max_element(row.begin(), row.end()));
        auto* series = new QLineSeries;
        QString name = ShortDate(grid.DayDates[day]);
        if (day == 0)
            name += QStringLiteral(" (nyt)");
        else if (day == last)
            name += QStringLiteral(" (erääntyminen)");
        series->setName(name);
        // One replace() instead of thousands of append() signals.
        series->replace(points);
        if (day == last) series->setPen(QPen(Qt::black, 2, Qt::DashLine));
        if (day == 0) series->setPen(QPen(QColor(0x1f, 0x5f, 0xbf), 2.5));
        d.AddMarker(series);
        d.curves.push_back(series);
        d.values.push_back(row);
    }

    const CWarrant& w = grid.Warrant;
    d.VerticalLine(w.Strike, top, QStringLiteral("Toteutushinta"), Qt::darkGreen, Qt::DotLine);
    if (w.ProductType == kTurboSHB)
        d.VerticalLine(w.Strike, top, QStringLiteral("Knock-out-taso"), Qt::red, Qt::DashDotLine);
    if (w.ProductType == kTurboSG) {
        const double level = w.IsCall ? w.Strike + w.KnockOutMargin : w.Strike - w.KnockOutMargin;
        d.VerticalLine(level, top, QStringLiteral("Knock-out-taso"), Qt::red, Qt::DashDotLine);
        auto* upper = new QLineSeries;
        auto* lower = new QLineSeries;
        upper->append(std::min(w.Strike, level), top);
        upper->append(std::max(w.Strike, level), top);
        lower->append(std::min(w.Strike, level), 0);
        lower->append(std::max(w.Strike, level), 0);
        auto* zone = new QAreaSeries(upper, lower);
        zone->setName(QStringLiteral("Stop-loss-alue"));
        zone->setBrush(QColor(255, 0, 0, 40));
        zone->setPen(Qt::NoPen);
        d.AddMarker(zone);
    }
    if (share)
        d.VerticalLine(*share, top, QStringLiteral("Osakkeen hinta"), QColor(0x80, 0x00, 0x80),
                       Qt::SolidLine);
    d.VerticalLine(grid.PriceMin, top, QStringLiteral("Hinta-alueen rajat"), Qt::gray,
                   Qt::DashLine);
    QLineSeries* high = d.VerticalLine(grid.PriceMax, top, QString(), Qt::gray, Qt::DashLine);
    for (QLegendMarker* marker : d.chart->legend()->markers(high)) marker->setVisible(false);

    // Default view: the nodes on both sides of the strike whose delta lies
    // strictly between 1 % and 99 % of the multiplier (neither worthless nor
    // pure intrinsic value), walking outwards so that the bend of the upper
    // boundary's extrapolation stays out; with the strike, the knock-out
    // level and the share price, and 10 % to spare.
    const std::vector<double>& now = grid.Values;
    const auto bends = [&](int32_t i) {
        const double delta = (now[i + 1] - now[i]) / (grid.Prices[i + 1] - grid.Prices[i]);
        const double share = std::fabs(delta) / w.Multiplier;
        return share > 0.01 && share < 0.99;
    };
    const int32_t nodes = grid.NodeCount;
    int32_t first = static_cast<int32_t>(
        std::lower_bound(grid.Prices.begin(), grid.Prices.end(), w.Strike) - grid.Prices.begin());
    first = std::min(first, nodes - 2);
    int32_t past = first + 1;
    while (first > 0 && bends(first - 1)) --first;
    while (past < nodes - 1 && bends(past)) ++past;
    double lo = std::min(w.Strike, grid.Prices[first]), hi = std::max(w.Strike, grid.Prices[past]);
    if (share) lo = std::min(lo, *share), hi = std::max(hi, *share);
    if (w.ProductType == kTurboSG)
        lo = std::min(lo, w.Strike - w.KnockOutMargin),
        hi = std::max(hi, w.Strike + w.KnockOutMargin);
    // At least the scenario table's default range around the centre.
    const double centre = share.value_or(w.Strike);
    lo = std::min(lo, centre * 0.8);
    hi = std::max(hi, centre * 1.2);
    const double spare = 0.1 * (hi - lo);
    d.viewMin = std::max(grid.PriceMin, lo - spare);
    d.viewMax = std::min(grid.PriceMax, hi + spare);
    ResetZoom();
}

void ValueChart::ResetZoom() {
    d_->chart->zoomReset();
    d_->ShowPrices(d_->viewMin, d_->viewMax);
}

int ValueChart::CurveCount() const {
    return static_cast<int>(d_->curves.size());
}
QString ValueChart::CurveName(int curve) const {
    return d_->curves.at(curve)->name();
}
QList<QPointF> ValueChart::CurvePoints(int curve) const {
    return d_->curves.at(curve)->points();
}
std::pair<double, double> ValueChart::PriceView() const {
    return {d_->axisX->min(), d_->axisX->max()};
}

namespace {

// Lays the chart out at `size` and paints the scene, so that no window needs
// to be shown.
void PaintChart(QChart* chart, QPainter& painter, QSize size) {
    chart->resize(QSizeF(size));
    QCoreApplication::sendPostedEvents();
    chart->layout()->activate();
    painter.setRenderHint(QPainter::Antialiasing);
    chart->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)),
                           QRectF(chart->pos(), QSizeF(size)));
}

} // namespace

QImage ValueChart::RenderImage(QSize size) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    const QSizeF before = d_->chart->size();
    {
        QPainter painter(&image);
        PaintChart(d_->chart, painter, size);
    }
    d_->chart->resize(before);
    return image;
}

bool ValueChart::WriteSvg(QIODevice& device, QSize size) {
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Arvokäyrä"));
    const QSizeF before = d_->chart->size();
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    PaintChart(d_->chart, painter, size);
    const bool ok = painter.end();
    d_->chart->resize(before);
    return ok;
}

QImage RenderValueChart(const CGrid& grid, std::optional<double> share, QSize size) {
    ValueChart chart;
    chart.resize(size);
    chart.SetGrid(grid, share, DefaultChartDays(grid));
    return chart.RenderImage(size);
}
