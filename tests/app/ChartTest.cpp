// The chart and scenario windows on the worked example: the curves are the
// grid's own nodes, pictures are written at the requested size, the table's
// CSV and edits.
#include "ChartWindow.h"
#include "Conversions.h"
#include "ScenarioWindow.h"
#include "TestGrids.h"
#include "ValueChart.h"

#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The save dialog answers with one path; errors are recorded.
struct Hooks {
    QString answer;
    QStringList errors;
    DialogHooks previous;
    Hooks() {
        previous = InstallDialogHooks({{}, [this](const QString& t) { errors << t; },
                                       [this](QWidget*, const QString&) { return std::optional(answer); }, {}});
    }
    ~Hooks() { InstallDialogHooks(previous); }
};

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
        // Default view: around the strike and the share, well inside the lattice.
        const auto [low, high] = chart.PriceView();
        QVERIFY(low > grid_.PriceMin && low < 15 * 0.8);
        QVERIFY(high < grid_.PriceMax && high > 16 * 1.2);
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
        hooks.answer = dir_.filePath("chart.svg");
        window.SaveImage();
        QFile svg(hooks.answer);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("<svg"));
        QVERIFY(hooks.errors.isEmpty());
        hooks.answer = dir_.filePath("missing/chart.png");
        window.SaveImage();
        QCOMPARE(hooks.errors.size(), 1);
    }

    // Picking a day adds its curve; a new grid drops it again.
    void pickedDayAddsItsCurve() {
        ChartWindow window;
        window.SetGrid(grid_, std::nullopt);
        const int before = window.Chart()->CurveCount();
        window.PickDay(2);
        QCOMPARE(window.Chart()->CurveCount(), before + 1);
        QCOMPARE(window.Chart()->CurvePoints(1).at(7).y(), grid_.DayValues[2][7]);
        window.SetGrid(grid_, std::nullopt);
        QCOMPARE(window.Chart()->CurveCount(), before);
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

        hooks.answer = dir_.filePath("table.csv");
        window.SaveCsv();
        QFile csv(hooks.answer);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(csv.readAll()), window.CsvText());
    }
};

QTEST_MAIN(ChartTest)
#include "ChartTest.moc"
