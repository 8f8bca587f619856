// The value chart on the worked example: the curves are the grid's own nodes,
// what is drawn is a subset of them cut to the plot's width, the SVG drawn as
// the PNG. (A file of 1200 x 800: WindowTest and CliScenario.)
#include "Conversions.h"
#include "TestGrids.h"
#include "ValueChart.h"

#include <QBuffer>
#include <QChartView>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace kelvaro;

namespace {

// A one-day lattice of 20000 nodes from 1 to 31 whose curve waves and spikes,
// so that a pixel column's extremes lie inside it, not at its ends.
CGrid Wavy() {
    constexpr int kNodes = 20000;
    std::vector<double> prices(kNodes), values(kNodes);
    for (int i = 0; i < kNodes; ++i) {
        prices[i] = 1 + 30.0 * i / (kNodes - 1);
        values[i] = 5 + std::sin(i * 0.37) * (1 + i % 7) + (i % 101 == 50 ? 20 : 0);
    }
    CGrid g = SmallLattice(std::move(prices), std::move(values));
    g.Warrant.Strike = 15, g.Warrant.Multiplier = 1, g.PriceMin = 1, g.PriceMax = 31;
    return g;
}

// The nodes of `full` shown between low and high, with the one beyond each edge.
QList<QPointF> InView(const QList<QPointF>& full, double low, double high) {
    const auto first = std::find_if(full.begin(), full.end(), [low](QPointF p) { return p.x() >= low; });
    const auto past = std::find_if(first, full.end(), [high](QPointF p) { return p.x() > high; });
    return QList<QPointF>(first == full.begin() ? first : first - 1, past == full.end() ? past : past + 1);
}

// Each drawn point is a node of the full curve, exactly and in price order;
// the curve's lowest and highest value in view are among them, and the line
// reaches both edges of the view.
void CheckDrawn(const ValueChart& chart) {
    const auto [low, high] = chart.PriceView();
    for (int c = 0; c < chart.CurveCount(); ++c) {
        const QList<QPointF> full = chart.CurvePoints(c), drawn = chart.DrawnPoints(c);
        const QList<QPointF> shown = InView(full, low, high);
        QVERIFY2(!drawn.isEmpty(), qPrintable(chart.CurveName(c)));
        auto node = full.begin();
        for (const QPointF& p : drawn) {
            node = std::find_if(node, full.end(), [&p](QPointF q) { return q.x() == p.x(); });
            QVERIFY2(node != full.end() && node->y() == p.y(), qPrintable(QString::number(p.x(), 'g', 17)));
            ++node;
        }
        QCOMPARE(drawn.front(), shown.front());
        QCOMPARE(drawn.back(), shown.back());
        const auto [lowest, highest] = std::minmax_element(shown.begin() + 1, shown.end() - 1,
                                                           [](QPointF a, QPointF b) { return a.y() < b.y(); });
        QVERIFY(drawn.contains(*lowest) && drawn.contains(*highest));
    }
}

// The shapes of every path and polyline of a QSvgGenerator SVG placed at the
// plot area's corner (where the chart puts its series), in picture
// coordinates.
QList<QPolygonF> SeriesShapes(const QByteArray& svg, QPointF corner) {
    QList<QPolygonF> shapes;
    QXmlStreamReader xml(svg);
    QTransform group;
    const auto numbers = [](QString text) {
        QList<double> out;
        static const QRegularExpression number(QStringLiteral("-?[0-9.]+(e-?[0-9]+)?"));
        for (auto m = number.globalMatch(text); m.hasNext();) out.append(m.next().captured().toDouble());
        return out;
    };
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"g") {
            const QList<double> m = numbers(a.value(QLatin1String("transform")).toString());
            group = m.size() == 6 ? QTransform(m[0], m[1], m[2], m[3], m[4], m[5]) : QTransform();
        }
        if (xml.name() != u"polyline" && xml.name() != u"path") continue;
        const QList<double> xy = numbers(a.value(xml.name() == u"path" ? QLatin1String("d") : QLatin1String("points")).toString());
        if (QLineF(QPointF(group.dx(), group.dy()), corner).length() > 0.01) continue;
        QPolygonF shape;
        for (qsizetype i = 0; i + 1 < xy.size(); i += 2) shape.append(group.map(QPointF(xy[i], xy[i + 1])));
        shapes.append(shape);
    }
    return shapes;
}

// Dark pixels in an area: the ink of text and lines.
int Ink(const QImage& image, const QRect& area) {
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) ink += qGray(image.pixel(x, y)) < 160;
    return ink;
}

} // namespace

class ChartTest : public QObject {
    Q_OBJECT

    CGrid grid_ = Valued(WorkedExample());

private slots:
    void init() { SetDecimalSeparator(','); }
    void cleanupTestCase() { ResetDecimalSeparator(); }

    // State: a rolled-back grid. Action: draw it. Expected: every curve is
    // the day's row node for node, not a resampled copy.
    void curvesHoldTheGridsNodes() {
        ValueChart chart;
        const std::vector<int32_t> days = DefaultChartDays(grid_);
        QCOMPARE(days.front(), 0);
        QCOMPARE(days.back(), grid_.DayCount - 1);
        chart.SetGrid(grid_, 16.0, days);
        QCOMPARE(chart.CurveCount(), static_cast<int>(days.size()));
        for (int c = 0; c < chart.CurveCount(); ++c) {
            const QList<QPointF> points = chart.CurvePoints(c);
            const std::vector<double>& row = c == 0 ? grid_.Values : grid_.DayValues[days[c]];
            QCOMPARE(points.size(), static_cast<qsizetype>(grid_.NodeCount));
            for (int i = 0; i < grid_.NodeCount; ++i) {
                QCOMPARE(points[i].x(), grid_.Prices[i]);
                QCOMPARE(points[i].y(), row[i]);
            }
        }
        QVERIFY(chart.CurveName(0).endsWith(QStringLiteral("(nyt)")));
        // Ticks at round steps (the axis read 22,8 / 25,6 and 0,32 / 0,65 / 0,97).
        for (const double step : {chart.TickSteps().first, chart.TickSteps().second}) {
            const double power = std::pow(10.0, std::floor(std::log10(step)));
            const double mantissa = std::round(step / power);
            QVERIFY2((mantissa == 1 || mantissa == 2 || mantissa == 5 || mantissa == 10) &&
                         std::fabs(step / power - mantissa) < 1e-9,
                     qPrintable(QString::number(step)));
        }
        // Default view: around the strike and the share, well inside the lattice.
        const auto [low, high] = chart.PriceView();
        QVERIFY(low > grid_.PriceMin && low < 15 * 0.8);
        QVERIFY(high < grid_.PriceMax && high > 16 * 1.2);
        // Fewer nodes in view than pixel columns are all drawn: the zoom below.
    }

    // State: 20000 wavy nodes in a shown chart. Action: draw, narrow the
    // window, zoom into a few nodes, reset. Expected: never more than four
    // nodes a pixel column, each an exact node, the extremes in view kept;
    // a narrow view draws every node in it.
    void drawnNodesFollowTheWidthAndTheView() {
        const CGrid wavy = Wavy();
        ValueChart chart;
        chart.resize(800, 500);
        chart.SetGrid(wavy, std::nullopt, {0});
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        const auto [low, high] = chart.PriceView();
        QVERIFY(InView(chart.CurvePoints(0), low, high).size() > 4 * 800);
        const qsizetype wide = chart.DrawnPoints(0).size();
        QVERIFY(wide <= 4 * 800 + 2);
        CheckDrawn(chart);

        chart.resize(300, 500);
        QTRY_VERIFY(chart.DrawnPoints(0).size() < wide / 2);
        CheckDrawn(chart);

        chart.ZoomTo(15, 15.1); // 67 nodes
        QCOMPARE(chart.DrawnPoints(0), InView(chart.CurvePoints(0), 15, 15.1));

        chart.ResetZoom();
        QCOMPARE(chart.PriceView(), std::make_pair(low, high));
        QVERIFY(chart.DrawnPoints(0).size() <= 4 * 300 + 2);
        CheckDrawn(chart);
    }

    // The SVG looks like the PNG: its texts and curves as large (rasterised
    // with rsvg-convert, the ink of the legend, the price axis and the plot
    // against the PNG's), and nothing of the series outside the plot area:
    // zoomed in so that the markers and the curves' ends lie beyond the view,
    // and onto a band that a wavy curve leaves and enters again and again.
    void svgLooksLikeThePng() {
        const QSize size(1200, 800);
        const QString rsvg = QStandardPaths::findExecutable(QStringLiteral("rsvg-convert"));
        const CGrid sg = Valued(WorkedExample(kTurboSG, true)), wavy = Wavy();
        for (const int view : {0, 1, 2}) {
            const QString trace = QStringList{"default view", "zoomed", "band"}.at(view);
            ValueChart chart;
            chart.resize(900, 500);
            if (view < 2)
                chart.SetGrid(sg, 15.5, DefaultChartDays(grid_));
            else
                chart.SetGrid(wavy, std::nullopt, {0});
            if (view == 1) chart.ZoomTo(15.2, 15.6);
            if (view == 2) {
                chart.show();
                QVERIFY(QTest::qWaitForWindowExposed(&chart));
                QChart* qchart = chart.findChild<QChartView*>()->chart();
                const QRectF area = qchart->plotArea();
                qchart->zoomIn(QRectF(area.left(), area.center().y() - 10, area.width() / 3, 20));
            }
            const QRectF plot = chart.PlotArea(size);
            QBuffer svg;
            QVERIFY(svg.open(QIODevice::WriteOnly));
            QVERIFY(chart.WriteSvg(svg, size));
            const QList<QPolygonF> shapes = SeriesShapes(svg.data(), plot.topLeft());
            QVERIFY2(shapes.size() > 20, qPrintable(trace));
            const QRectF allowed = plot.adjusted(-0.01, -0.01, 0.01, 0.01);
            for (const QPolygonF& shape : shapes)
                for (const QPointF& p : shape)
                    QVERIFY2(allowed.contains(p), qPrintable(trace + QStringLiteral(": %1, %2 outside").arg(p.x()).arg(p.y())));
            if (rsvg.isEmpty()) continue;
            // rsvg-convert reads the SVG from its standard input.
            QProcess convert;
            convert.start(rsvg, {"-w", QString::number(size.width()), "-h", QString::number(size.height()), "-b", "white"});
            convert.write(svg.data());
            convert.closeWriteChannel();
            QVERIFY(convert.waitForFinished(60000) && convert.exitCode() == 0);
            const QImage fromSvg = QImage::fromData(convert.readAllStandardOutput());
            const QImage png = chart.RenderImage(size);
            QCOMPARE(fromSvg.size(), size);
            const QRect legend(QPoint(int(plot.right()) + 10, 0), QPoint(size.width() - 1, size.height() - 1));
            const QRect prices(QPoint(int(plot.left()), int(plot.bottom()) + 3),
                               QPoint(int(plot.right()), size.height() - 1));
            // Inside the plot: the curves' pieces, as the PNG clips them.
            for (const QRect& area : {legend, prices, plot.toRect()}) {
                const double ratio = double(Ink(fromSvg, area)) / Ink(png, area);
                QVERIFY2(ratio > 1 / 1.3 && ratio < 1.3, qPrintable(QStringLiteral("%1: ink %2").arg(trace).arg(ratio)));
            }
        }
    }

    // The markers stand where the terms put them: a Turbo (SG) call knocks
    // out above its strike, a put below it (worked example, margin 0,5).
    void markersOnTheirSides() {
        for (const bool isCall : {true, false}) {
            const CGrid sg = Valued(WorkedExample(kTurboSG, isCall));
            ValueChart chart;
            chart.SetGrid(sg, 15.5, {0});
            QList<std::pair<QString, double>> expected = {
                {QStringLiteral("Hinta-alueen rajat"), sg.PriceMin},
                {QString(), sg.PriceMax},
                {QStringLiteral("Toteutushinta"), 15},
                {QStringLiteral("Knock-out-taso"), isCall ? 15.5 : 14.5},
                {QStringLiteral("Osakkeen hinta"), 15.5}};
            QCOMPARE(chart.Markers(), expected);
        }
    }
};

QTEST_MAIN(ChartTest)
#include "ChartTest.moc"
