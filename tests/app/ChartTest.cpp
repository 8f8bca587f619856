// The chart and scenario windows on the worked example: the curves are the
// grid's own nodes, what is drawn is a subset of them cut to the plot's width,
// pictures are written at the requested size, the table's CSV and edits.
#include "ChartWindow.h"
#include "Conversions.h"
#include "ScenarioText.h"
#include "ScenarioWindow.h"
#include "TestGrids.h"
#include "ValueChart.h"

#include <QBuffer>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <cmath>

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

// The save dialog answers with one path; errors are recorded.
struct Hooks {
    QString answer;
    int filter = -1; // the type chosen; -1 keeps the one offered
    QStringList errors, filters;
    DialogHooks previous;
    Hooks() {
        previous = InstallDialogHooks({{}, [this](const QString& t) { errors << t; },
                                       [this](const SaveRequest& r) {
                                           filters = r.filters;
                                           return std::optional(SaveAnswer{answer, filter < 0 ? r.filter : filter});
                                       },
                                       {}});
    }
    ~Hooks() { InstallDialogHooks(previous); }
};

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
    QTemporaryDir dir_;

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

    void renderedAndSavedAtTheRequestedSize() {
        const QImage image = RenderValueChart(grid_, std::nullopt, QSize(1200, 800));
        int drawn = 0;
        for (int y = 0; y < 800; y += 4)
            for (int x = 0; x < 1200; x += 4) drawn += image.pixel(x, y) != qRgb(255, 255, 255);
        QVERIFY(drawn > 1000);

        ChartWindow window;
        window.SetGrid(grid_, std::nullopt);
        Hooks hooks;
        hooks.answer = dir_.filePath("chart.png");
        window.SaveImage();
        QCOMPARE(QImage(hooks.answer).size(), QSize(1200, 800));
        QCOMPARE(hooks.filters, QStringList({"PNG-kuva (*.png)", "SVG-kuva (*.svg)"}));
        // No extension typed: the chosen type's is added and decides the format.
        hooks.answer = dir_.filePath("chart");
        hooks.filter = 1;
        window.SaveImage();
        QFile svg(hooks.answer + ".svg");
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("<svg"));
        QVERIFY(hooks.errors.isEmpty());
        // Another extension: one box naming the file, and no file.
        hooks.answer = dir_.filePath("chart.jpg");
        window.SaveImage();
        QCOMPARE(hooks.errors.size(), 1);
        QVERIFY2(hooks.errors[0].contains('"' + hooks.answer + '"'), qPrintable(hooks.errors[0]));
        QVERIFY(!QFile::exists(hooks.answer));
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

    // Picking a day adds its curve in a colour of its own, recolouring
    // none; a new grid drops it again.
    void pickedDayAddsItsCurve() {
        ChartWindow window;
        window.SetGrid(grid_, std::nullopt);
        const int before = window.Chart()->CurveCount();
        const auto colours = [&window] {
            QMap<QString, QRgb> byName;
            for (int c = 0; c < window.Chart()->CurveCount(); ++c)
                byName[window.Chart()->CurveName(c)] = window.Chart()->CurveColor(c).rgb();
            return byName;
        };
        const QMap<QString, QRgb> defaults = colours();
        window.PickDay(2);
        QCOMPARE(window.Chart()->CurveCount(), before + 1);
        QCOMPARE(window.Chart()->CurvePoints(1).at(7).y(), grid_.DayValues[2][7]);
        const QMap<QString, QRgb> picked = colours();
        for (auto it = defaults.begin(); it != defaults.end(); ++it) QCOMPARE(picked.value(it.key()), it.value());
        const QList<QRgb> all = picked.values();
        QCOMPARE(QSet<QRgb>(all.begin(), all.end()).size(), all.size());
        window.SetGrid(grid_, std::nullopt);
        QCOMPARE(window.Chart()->CurveCount(), before);
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

    // State: a table with the user's rows, mode and ticked dates. Action: a
    // new valuation a week later. Expected: all kept, the dates the new grid
    // no longer trades dropped with a note; untouched windows get defaults.
    void scenarioKeepsTheUsersChoices() {
        ScenarioWindow window;
        window.SetGrid(grid_, std::nullopt);
        window.EditFirst->setText(QStringLiteral("14"));
        window.EditLast->setText(QStringLiteral("16"));
        window.EditStep->setText(QStringLiteral("1"));
        window.CellChoice->setCurrentIndex(2);
        // Ticks 2 March (a user's tick) and keeps 8 March (a default) and the ends.
        window.DateList->item(1)->setCheckState(Qt::Checked);
        const QString march2 = window.DateList->item(1)->text();
        window.Apply();
        const std::vector<int32_t> before = window.Table().Days;
        QCOMPARE(before.size(), std::size_t{5});

        CGrid later = WorkedExample();
        later.ValuationTime += 7;  // 8 March
        later = Valued(later);
        window.SetGrid(later, 15.0);
        QCOMPARE(window.Table().Prices, (std::vector<double>{14, 15, 16}));
        QCOMPARE(window.Cell(), ScenarioCell::ChangePercent);
        QCOMPARE(window.EditStep->text(), QStringLiteral("1"));
        // 2 March is gone; the valuation moment, 8 March (now day 0) and
        // 3 April and the expiry remain.
        std::vector<QString> dates;
        for (const double d : window.Table().Dates) dates.push_back(QString::fromStdString(SerialDateText(d)));
        QCOMPARE(dates, (std::vector<QString>{"2006-03-08", "2006-04-03", "2006-04-21"}));
        QVERIFY(!window.Note->isHidden() && window.Note->text().endsWith(": " + march2));

        ScenarioWindow fresh;
        fresh.SetGrid(grid_, std::nullopt);
        fresh.SetGrid(later, 16.0);
        QCOMPARE(fresh.Table().Prices, DefaultScenarioPrices(16.0));
        QCOMPARE(fresh.Table().Days, DefaultScenarioDays(later));
        QVERIFY(fresh.Note->isHidden());
    }

    void scenarioDefaultsEditsAndCsv() {
        ScenarioWindow window;
        window.SetGrid(grid_, std::nullopt);
        QVERIFY(window.CsvText().startsWith(QStringLiteral("Hinta;2006-03-01;2006-03-08;")));
        QVERIFY(window.ClipboardText().contains(QStringLiteral("\t0,14155779751117264\t")));

        Hooks hooks;
        window.EditFirst->setText(QStringLiteral("14"));
        window.EditLast->setText(QStringLiteral("16"));
        window.EditStep->setText(QStringLiteral("0,5"));
        window.Apply();
        QCOMPARE(window.Table().Prices, (std::vector<double>{14, 14.5, 15, 15.5, 16}));
        window.EditStep->setText(QStringLiteral("0.5"));
        window.Apply();
        QCOMPARE(hooks.errors.size(), 1);
        QVERIFY(hooks.errors[0].contains(QStringLiteral("Hinnan askel")));
        QCOMPARE(window.Table().Prices.size(), std::size_t{5});

        hooks.answer = dir_.filePath("table");
        window.SaveCsv();
        QCOMPARE(hooks.filters, QStringList({"CSV-tiedosto (*.csv)", "Kaikki tiedostot (*)"}));
        QFile csv(hooks.answer + ".csv");
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(csv.readAll()), window.CsvText());
        csv.close();
        // Saved in "Muutos %" mode, the file says so in its corner.
        window.CellChoice->setCurrentIndex(2);
        window.SaveCsv();
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(csv.readLine().startsWith("Hinta (muutos %);2006-03-01;"));
    }
};

QTEST_MAIN(ChartTest)
#include "ChartTest.moc"
