// The chart and scenario windows on the worked example: saving the picture,
// a picked day's curve, the table's defaults, edits, CSV and the user's
// choices across valuations.
#include "ChartWindow.h"
#include "Conversions.h"
#include "ScenarioWindow.h"
#include "TestGrids.h"
#include "ValueChart.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

class GridWindowsTest : public QObject {
    Q_OBJECT

    CGrid grid_ = Valued(WorkedExample());
    QTemporaryDir dir_;
    DialogRecorder boxes_;

private slots:
    void initTestCase() { boxes_.Install(); }
    void init() {
        SetDecimalSeparator(',');
        boxes_.Clear();
        boxes_.saveFilter = -1;
    }
    void cleanupTestCase() { ResetDecimalSeparator(); }

    // Tallenna kuva: the picture at its size, in the format of the extension
    // (typed, or added from the chosen type); any other is refused.
    void chartSavedInTheFormatOfItsName() {
        ChartWindow window;
        window.SetGrid(grid_, std::nullopt);
        boxes_.saveAnswer = dir_.filePath("chart.png");
        window.SaveImage();
        QCOMPARE(QImage(*boxes_.saveAnswer).size(), QSize(1200, 800));
        QCOMPARE(boxes_.saveAsked.filters, QStringList({"PNG-kuva (*.png)", "SVG-kuva (*.svg)"}));
        // No extension typed: the chosen type's is added and decides the format.
        boxes_.saveAnswer = dir_.filePath("chart");
        boxes_.saveFilter = 1;
        window.SaveImage();
        QFile svg(*boxes_.saveAnswer + ".svg");
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("<svg"));
        QVERIFY(boxes_.errors.isEmpty());
        // Another extension: one box naming the file, and no file.
        boxes_.saveAnswer = dir_.filePath("chart.jpg");
        window.SaveImage();
        QCOMPARE(boxes_.errors.size(), 1);
        QVERIFY2(boxes_.errors[0].contains('"' + *boxes_.saveAnswer + '"'), qPrintable(boxes_.errors[0]));
        QVERIFY(!QFile::exists(*boxes_.saveAnswer));
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

        window.EditFirst->setText(QStringLiteral("14"));
        window.EditLast->setText(QStringLiteral("16"));
        window.EditStep->setText(QStringLiteral("0,5"));
        window.Apply();
        QCOMPARE(window.Table().Prices, (std::vector<double>{14, 14.5, 15, 15.5, 16}));
        window.EditStep->setText(QStringLiteral("0.5"));
        window.Apply();
        QCOMPARE(boxes_.errors.size(), 1);
        QVERIFY(boxes_.errors[0].contains(QStringLiteral("Hinnan askel")));
        QCOMPARE(window.Table().Prices.size(), std::size_t{5});

        boxes_.saveAnswer = dir_.filePath("table");
        window.SaveCsv();
        QCOMPARE(boxes_.saveAsked.filters, QStringList({"CSV-tiedosto (*.csv)", "Kaikki tiedostot (*)"}));
        QFile csv(*boxes_.saveAnswer + ".csv");
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

QTEST_MAIN(GridWindowsTest)
#include "GridWindowsTest.moc"
