#include "ValueChart.h"

#include "ClosedForms.h"
#include "Conversions.h"
#include "FloatFormat.h"
#include "QtBridge.h"
#include "Scenario.h"

#include <QAreaSeries>
#include <QBuffer>
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
#include <tuple>

namespace kelvaro {

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
    return QString::fromStdString(ReadableNumber(value, precision, DecimalSeparator()));
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

// Ticks at round numbers (1, 2 or 5 times a power of ten apart, on
// multiples of that step) whatever the view, not at fifths of the range.
void RoundTicks(QValueAxis& axis) {
    const double span = axis.max() - axis.min();
    if (!(span > 0) || !std::isfinite(span)) return;
    const double rough = span / 6;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {2.0, 5.0, 10.0})
        if (step < rough) step = factor * power;
    axis.setTickType(QValueAxis::TicksDynamic);
    axis.setTickAnchor(0);
    axis.setTickInterval(step);
    // As many decimals as the step has, no more.
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    axis.setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

// A curve with fewer nodes in view than this many per pixel column is drawn
// whole; more would only repaint the same pixels.
constexpr std::size_t kWholeNodesPerColumn = 2;

// The nodes of one curve that are drawn over the prices low ... high on
// `columns` pixel columns: the nodes in view and the one beyond each edge
// (so that the line reaches the border), all of them when they are few,
// else per column the first, lowest, highest and last node in price order.
// Only the grid's own nodes, never a resampled value. O(nodes in view).
void DrawnNodes(const std::vector<double>& prices, const std::vector<double>& row, double low,
                double high, int columns, QList<QPointF>& out) {
    out.clear();
    const auto begin = prices.begin();
    const auto inFirst =
        static_cast<std::size_t>(std::lower_bound(begin, prices.end(), low) - begin);
    const auto inPast =
        static_cast<std::size_t>(std::upper_bound(begin, prices.end(), high) - begin);
    const std::size_t first = inFirst > 0 ? inFirst - 1 : 0;
    const std::size_t past = std::min(inPast + 1, prices.size());
    const auto add = [&](std::size_t i) { out.append(QPointF(prices[i], row[i])); };
    const auto perColumn = static_cast<std::size_t>(columns);
    if (inPast <= inFirst || inPast - inFirst <= kWholeNodesPerColumn * perColumn) {
        out.reserve(static_cast<qsizetype>(past - first));
        for (std::size_t i = first; i < past; ++i) add(i);
        return;
    }
    out.reserve(static_cast<qsizetype>(4 * perColumn + 2));
    if (first < inFirst) add(first);
    const double scale = columns / (high - low);
    const auto column = [&](std::size_t i) {
        return std::min(columns - 1, static_cast<int>((prices[i] - low) * scale));
    };
    std::size_t added = first; // the last node appended, to add each once
    const auto addOnce = [&](std::size_t i) {
        if (out.isEmpty() || i > added) add(i), added = i;
    };
    for (std::size_t i = inFirst; i < inPast;) {
        const int c = column(i);
        std::size_t lowest = i, highest = i, j = i + 1;
        for (; j < inPast && column(j) == c; ++j) {
            if (row[j] < row[lowest]) lowest = j;
            if (row[j] > row[highest]) highest = j;
        }
        addOnce(i);
        addOnce(std::min(lowest, highest));
        addOnce(std::max(lowest, highest));
        addOnce(j - 1);
        i = j;
    }
    if (past > inPast) add(inPast);
}

// The parts of a polyline inside `box` (Liang-Barsky per segment): a new
// part wherever the line comes back in.
std::vector<QList<QPointF>> PiecesInside(const QList<QPointF>& line, const QRectF& box) {
    std::vector<QList<QPointF>> pieces;
    bool open = false; // the last piece ends where the next segment starts
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QPointF a = line[i], b = line[i + 1];
        const double dx = b.x() - a.x(), dy = b.y() - a.y();
        double t0 = 0, t1 = 1;
        const auto keep = [&](double p, double q) {
            if (p == 0) return q >= 0;
            const double t = q / p;
            if (p < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            return t0 <= t1;
        };
        if (!(keep(-dx, a.x() - box.left()) && keep(dx, box.right() - a.x()) &&
              keep(-dy, a.y() - box.top()) && keep(dy, box.bottom() - a.y()))) {
            open = false;
            continue;
        }
        if (!open || t0 > 0) pieces.push_back({a + t0 * (b - a)});
        pieces.back().append(t1 < 1 ? a + t1 * (b - a) : b);
        open = t1 == 1;
    }
    return pieces;
}

// A curve's legend name: its date, the ends marked.
QString DayCurveName(const CGrid& grid, int32_t day) {
    QString name = ShortDate(grid.DayDates[day]);
    if (day == 0)
        name += QStringLiteral(" (nyt)");
    else if (day == grid.DayCount - 1)
        name += QStringLiteral(" (erääntyminen)");
    return name;
}

// A day between now and expiry has the colour of its place among the
// default days, and any other day one of its own, so that picking a day
// recolours nothing and no two curves look alike. None of them is the
// blue of now or a marker's colour.
QPen CurvePen(int32_t day, int32_t last, const std::vector<int32_t>& defaults) {
    static const QColor kBetween[] = {QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                                      QColor(0xe3, 0x77, 0xc2), QColor(0xbc, 0xbd, 0x22),
                                      QColor(0x17, 0xbe, 0xcf)};
    static const QColor kPicked(0x2a, 0x2a, 0x6a);
    if (day == last) return QPen(Qt::black, 2, Qt::DashLine);
    if (day == 0) return QPen(QColor(0x1f, 0x5f, 0xbf), 2.5);
    const auto place = std::find(defaults.begin(), defaults.end(), day) - defaults.begin();
    if (place < std::ssize(defaults)) return QPen(kBetween[(place - 1) % std::size(kBetween)], 1.5);
    return QPen(kPicked, 2, Qt::DashDotLine);
}

// The default view's prices: the nodes on both sides of the strike whose
// delta lies strictly between 1 % and 99 % of the multiplier (neither
// worthless nor pure intrinsic value), walking outwards so that the bend of
// the upper boundary's extrapolation stays out; with the strike, the
// knock-out level and the share price, and 10 % to spare.
std::pair<double, double> DefaultView(const CGrid& grid, std::optional<double> share) {
    const CWarrant& w = grid.Warrant;
    const std::vector<double>& now = grid.Values;
    const auto bends = [&](int32_t i) {
        const double delta = (now[i + 1] - now[i]) / (grid.Prices[i + 1] - grid.Prices[i]);
        const double fraction = std::fabs(delta) / w.Multiplier;
        return fraction > 0.01 && fraction < 0.99;
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
    return {std::max(grid.PriceMin, lo - spare), std::min(grid.PriceMax, hi + spare)};
}

} // namespace

struct ValueChart::Impl {
    QChart* chart = new QChart;
    View* view = nullptr;
    QValueAxis* axisX = new QValueAxis;
    QValueAxis* axisY = new QValueAxis;
    std::vector<QLineSeries*> curves;
    // The vertical markers: legend name (empty for the unnamed upper range
    // limit) and share price.
    QList<std::pair<QString, double>> markers;
    // The curves in full, for the readout, the views and what is drawn.
    std::vector<double> prices;
    std::vector<std::vector<double>> values;
    double viewMin = 0, viewMax = 1;
    // The prices and the plot width the series were last cut for; 0 columns
    // when they must be cut again.
    double drawnLow = 0, drawnHigh = 0;
    int drawnColumns = 0;

    void AddSeries(QAbstractSeries* series) {
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
        AddSeries(line);
        markers.append({name, price});
        return line;
    }

    // One curve per day of `days`; the highest value on any of them.
    double AddCurves(const CGrid& grid, const std::vector<int32_t>& days) {
        const std::vector<int32_t> defaults = DefaultChartDays(grid);
        double top = 0;
        for (const int32_t day : days) {
            const std::vector<double>& row = DayRowValues(grid, day);
            top = std::max(top, *std::max_element(row.begin(), row.end()));
            auto* series = new QLineSeries;
            // Its nodes come once the view is known (CutCurves).
            series->setName(DayCurveName(grid, day));
            series->setPen(CurvePen(day, grid.DayCount - 1, defaults));
            AddSeries(series);
            curves.push_back(series);
            values.push_back(row);
        }
        return top;
    }

    // The range limits first: a strike or level on a limit (a Turbo (SG)
    // put's lattice ends at its strike) is drawn over it, in its own colour.
    void AddMarkers(const CGrid& grid, std::optional<double> share, double top) {
        VerticalLine(grid.PriceMin, top, QStringLiteral("Hinta-alueen rajat"), Qt::gray,
                     Qt::DashLine);
        QLineSeries* high = VerticalLine(grid.PriceMax, top, QString(), Qt::gray, Qt::DashLine);
        for (QLegendMarker* marker : chart->legend()->markers(high)) marker->setVisible(false);
        const CWarrant& w = grid.Warrant;
        VerticalLine(w.Strike, top, QStringLiteral("Toteutushinta"), Qt::darkGreen, Qt::DotLine);
        const std::optional<double> level = KnockOutLevel(w);
        if (level)
            VerticalLine(*level, top, QStringLiteral("Knock-out-taso"), Qt::red, Qt::DashDotLine);
        if (w.ProductType == kTurboSG)
            AddStopLossZone(std::min(w.Strike, *level), std::max(w.Strike, *level), top);
        if (share)
            VerticalLine(*share, top, QStringLiteral("Osakkeen hinta"), QColor(0x80, 0x00, 0x80),
                         Qt::SolidLine);
    }

    // A Turbo (SG)'s stop-loss zone between the strike and the level.
    void AddStopLossZone(double low, double high, double top) {
        auto* upper = new QLineSeries;
        auto* lower = new QLineSeries;
        upper->append(low, top);
        upper->append(high, top);
        lower->append(low, 0);
        lower->append(high, 0);
        auto* zone = new QAreaSeries(upper, lower);
        zone->setName(QStringLiteral("Stop-loss-alue"));
        zone->setBrush(QColor(255, 0, 0, 40));
        zone->setPen(Qt::NoPen);
        AddSeries(zone);
        // An area series does not own its bounding lines: without this they
        // would outlive every Clear().
        upper->setParent(zone);
        lower->setParent(zone);
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
        RoundTicks(*axisX);
        RoundTicks(*axisY);
    }

    // Pixel columns of the plot; before the first layout, the widget's width.
    int Columns() const {
        const double width = chart->plotArea().width();
        return std::max(1, static_cast<int>(std::ceil(width > 0 ? width : view->width())));
    }

    // Cuts the series again when the view or the plot's width has changed.
    void CutCurves() {
        const double low = axisX->min(), high = axisX->max();
        const int columns = Columns();
        if (columns == drawnColumns && low == drawnLow && high == drawnHigh) return;
        drawnLow = low, drawnHigh = high, drawnColumns = columns;
        QList<QPointF> points;
        for (std::size_t c = 0; c < curves.size(); ++c) {
            DrawnNodes(prices, values[c], low, high, columns, points);
            // One replace() instead of thousands of append() signals.
            curves[c]->replace(points);
        }
    }

    // Lays the chart out at `size` and paints the scene, so that no window
    // needs to be shown; the curves are cut for that width. `clipHere` cuts
    // every series to the plot area first, for painters that drop clipping.
    void Paint(QPainter& painter, QSize size, bool clipHere = false) {
        LayOut(size);
        CutCurves();
        std::vector<std::pair<QXYSeries*, QList<QPointF>>> saved;
        std::vector<QLineSeries*> extra;
        if (clipHere) {
            ClipSeries(saved, extra);
            QCoreApplication::sendPostedEvents();
        }
        painter.setRenderHint(QPainter::Antialiasing);
        chart->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)),
                               QRectF(chart->pos(), QSizeF(size)));
        for (QLineSeries* piece : extra) {
            chart->removeSeries(piece);
            delete piece;
        }
        for (auto& [series, points] : saved) series->replace(points);
    }

    // Cuts every series to the shown prices and values: the lines to their
    // pieces inside (a piece beyond the first goes into a series of its own
    // in `extra`, without a legend entry), the stop-loss zone's bounds into
    // the range. `saved` gets the points to put back.
    void ClipSeries(std::vector<std::pair<QXYSeries*, QList<QPointF>>>& saved,
                    std::vector<QLineSeries*>& extra) {
        const QRectF view(QPointF(axisX->min(), axisY->min()), QPointF(axisX->max(), axisY->max()));
        const auto clamp = [&](QPointF p) {
            return QPointF(std::clamp(p.x(), view.left(), view.right()),
                           std::clamp(p.y(), view.top(), view.bottom()));
        };
        for (QAbstractSeries* series : chart->series()) {
            if (auto* zone = qobject_cast<QAreaSeries*>(series)) {
                for (QLineSeries* bound : {zone->upperSeries(), zone->lowerSeries()}) {
                    saved.emplace_back(bound, bound->points());
                    QList<QPointF> points = bound->points();
                    for (QPointF& p : points) p = clamp(p);
                    bound->replace(points);
                }
                continue;
            }
            auto* line = qobject_cast<QLineSeries*>(series);
            if (!line) continue;
            saved.emplace_back(line, line->points());
            const std::vector<QList<QPointF>> pieces = PiecesInside(line->points(), view);
            line->replace(pieces.empty() ? QList<QPointF>() : pieces.front());
            for (std::size_t k = 1; k < pieces.size(); ++k) {
                auto* piece = new QLineSeries;
                piece->setPen(line->pen());
                piece->replace(pieces[k]);
                AddSeries(piece);
                for (QLegendMarker* marker : chart->legend()->markers(piece))
                    marker->setVisible(false);
                extra.push_back(piece);
            }
        }
        // A series added may have widened the axes.
        axisX->setRange(view.left(), view.right());
        axisY->setRange(view.top(), view.bottom());
    }

    // The chart laid out at `size` at once, without a shown window.
    void LayOut(QSize size) {
        chart->resize(QSizeF(size));
        QCoreApplication::sendPostedEvents();
        chart->layout()->activate();
    }

    // Back to the window's size after a picture.
    void Restore(QSizeF size) {
        chart->resize(size);
        chart->layout()->activate();
        CutCurves();
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
    // Every change of view (wheel, rubber band, reset) and of size cuts the
    // curves again for what is shown.
    connect(d_->axisX, &QValueAxis::rangeChanged, this, [this] { d_->CutCurves(); });
    connect(d_->chart, &QChart::plotAreaChanged, this, [this] { d_->CutCurves(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d_->view);
}

ValueChart::~ValueChart() {
    // The chart lives in the view, a child widget that outlives d_.
    d_->axisX->disconnect(this);
    d_->chart->disconnect(this);
}

void ValueChart::Clear() {
    d_->chart->removeAllSeries();
    d_->curves.clear();
    d_->markers.clear();
    d_->prices.clear();
    d_->values.clear();
    d_->drawnColumns = 0;
}

void ValueChart::SetGrid(const CGrid& grid, std::optional<double> share,
                         const std::vector<int32_t>& days) {
    Clear();
    if (!grid.Allocated || grid.NodeCount < 2) return;
    d_->prices = grid.Prices;
    const double top = d_->AddCurves(grid, days);
    d_->AddMarkers(grid, share, top);
    std::tie(d_->viewMin, d_->viewMax) = DefaultView(grid, share);
    ResetZoom();
}

void ValueChart::ResetZoom() {
    d_->chart->zoomReset();
    d_->ShowPrices(d_->viewMin, d_->viewMax);
    // The same view as before still needs the new curves.
    d_->CutCurves();
}

void ValueChart::ZoomTo(double low, double high) {
    d_->ShowPrices(low, high);
}

int ValueChart::CurveCount() const {
    return static_cast<int>(d_->curves.size());
}
QString ValueChart::CurveName(int curve) const {
    return d_->curves.at(curve)->name();
}
QList<QPointF> ValueChart::CurvePoints(int curve) const {
    const std::vector<double>& row = d_->values.at(curve);
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) points.append(QPointF(d_->prices[i], row[i]));
    return points;
}
QList<QPointF> ValueChart::DrawnPoints(int curve) const {
    return d_->curves.at(curve)->points();
}
std::pair<double, double> ValueChart::TickSteps() const {
    return {d_->axisX->tickInterval(), d_->axisY->tickInterval()};
}
QColor ValueChart::CurveColor(int curve) const {
    return d_->curves.at(curve)->pen().color();
}
QList<std::pair<QString, double>> ValueChart::Markers() const {
    return d_->markers;
}
std::pair<double, double> ValueChart::PriceView() const {
    return {d_->axisX->min(), d_->axisX->max()};
}

QImage ValueChart::RenderImage(QSize size) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    const QSizeF before = d_->chart->size();
    {
        QPainter painter(&image);
        d_->Paint(painter, size);
    }
    d_->Restore(before);
    return image;
}

bool ValueChart::WriteSvg(QIODevice& device, QSize size) {
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Arvokäyrä"));
    const QSizeF before = d_->chart->size();
    // The same dots per inch as an image, so that the fonts, given in
    // points, come out as large as in the PNG.
    svg.setResolution(QImage(1, 1, QImage::Format_ARGB32).logicalDpiX());
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    // The SVG keeps no clip paths: what the plot area would clip is cut.
    d_->Paint(painter, size, true);
    const bool ok = painter.end();
    d_->Restore(before);
    return ok;
}

QByteArray ValueChart::FileBytes(ChartFormat format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const bool drawn = format == ChartFormat::Svg ? WriteSvg(buffer, kImageSize)
                                                  : RenderImage(kImageSize).save(&buffer, "PNG");
    return drawn ? bytes : QByteArray();
}

QRectF ValueChart::PlotArea(QSize size) {
    const QSizeF before = d_->chart->size();
    d_->LayOut(size);
    const QRectF area = d_->chart->plotArea();
    d_->Restore(before);
    return area;
}

} // namespace kelvaro
