// Warranttilista offscreen: the example list valued as kelvaro --batch values
// it (run in process), sorted and filtered by number and text, a share price
// edited per row and per underlying re-valuing just those rows, bad edits
// refused, cancel and close, a row into the form, save and reopen.
#include "Batch.h"
#include "Csv.h"
#include "FiguresWindow.h"
#include "FloatFormat.h"
#include "WarrantListModel.h"
#include "WarrantListWindow.h"
#include "WindowFixture.h"
#include "Conversions.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include <sstream>

using namespace kelvaro;

namespace {

const QString kExample = QStringLiteral(KELVARO_SOURCE_DIR "/docs/batch-example.csv");
using Model = WarrantListModel;

// kelvaro --batch FILE --batch-format csv, in process; `vegaRho` false
// blanks the two the list leaves to the selected row.
std::string BatchCsv(const QString& path, bool vegaRho = true) {
    std::ostringstream out, err;
    RunBatchCommand({"--batch", path.toStdString(), "--batch-format", "csv"}, out, err);
    if (vegaRho) return out.str();
    std::istringstream lines(out.str());
    std::string text;
    std::vector<std::string> header;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        SplitFields(line, ';', cells);
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == "AtShare.Vega" || header[i] == "AtShare.Rho") cells[i].clear();
        if (header.empty()) header = cells;
        for (const std::string& cell : cells) AppendCsvCell(text, cell, ';');
        text.back() = '\n';
    }
    return text;
}

QString Cell(const WarrantListWindow& list, int row, int column) {
    return list.Model()->index(row, column).data().toString();
}

// The example's rows by their names, valued.
int RowNamed(const WarrantListWindow& list, const char* name) {
    for (int row = 0; row < list.Model()->rowCount(); ++row)
        if (list.Model()->Field(row, "name") == name) return row;
    return -1;
}

QString Local(QString number) {
    return number.replace(QLatin1Char('.'), QLatin1Char(DecimalSeparator()));
}

} // namespace

class WarrantListTest : public QObject {
    Q_OBJECT

    DialogRecorder boxes_;
    QTemporaryDir dir_;

    void Open(WarrantListWindow& list, const QString& path = kExample) {
        list.SetJobs(2);
        QVERIFY(list.OpenList(path));
        list.WaitUntilIdle();
    }

private slots:
    void initTestCase() {
        boxes_.Install();
        // The preferences of a scratch folder.
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    }

    // Every row's results are the batch's, bit for bit (the export is the
    // batch's CSV), with the worked row shown in the regional format.
    void ExampleAsTheBatchValuesIt() {
        WarrantListWindow list;
        Open(list);
        QCOMPARE(list.Model()->rowCount(), 8);
        const QString exported = dir_.filePath(QStringLiteral("export.csv"));
        QVERIFY(list.ExportResults(exported));
        QCOMPARE(ReadAll(exported).toStdString(), BatchCsv(kExample, false));

        // README's row: 0.15001244585075188 at 15, solved at 31.88 %.
        QCOMPARE(Cell(list, 0, Model::kValue), Local(QStringLiteral("0.150012")));
        QCOMPARE(Cell(list, 0, Model::kVolatility), Local(QStringLiteral("31.88")));
        // Typed "0,15" and "15,2": shown with the regional separator.
        QCOMPARE(Cell(list, 0, Model::kPrice), Local(QStringLiteral("0.15")));
        QCOMPARE(Cell(list, 1, Model::kShare), Local(QStringLiteral("15.2")));
        QCOMPARE(Cell(list, 0, Model::kType), QStringLiteral("Normal"));
        QCOMPARE(Cell(list, 3, Model::kType), QStringLiteral("Turbo (SHB)"));
        QCOMPARE(Cell(list, 3, Model::kSide), QStringLiteral("Put/short"));
        // Value − price 0.15001244585075188 − 0.15 = 1.2446e-5 (at most 8
        // decimals shown); in % of 0.15, 0.0082972.
        QCOMPARE(Cell(list, 0, Model::kGain), Local(QStringLiteral("0.00001245")));
        QCOMPARE(Cell(list, 0, Model::kGainPercent), Local(QStringLiteral("0.00829723")));
        // No volatility gives 3.10: the row keeps its figures at its own 35 %
        // and says why; value − price 0.5749942854448182 − 3.1.
        QVERIFY2(Cell(list, 3, Model::kVolatility).startsWith(Local(QStringLiteral("Hinnalla 3.10 ei löydy"))),
                 qPrintable(Cell(list, 3, Model::kVolatility)));
        QCOMPARE(Cell(list, 3, Model::kValue), Local(QStringLiteral("0.574994")));
        QCOMPARE(Cell(list, 3, Model::kGain), Local(QStringLiteral("-2.52501")));
        // A failed row shows its error in the row, the others go on.
        QVERIFY(Cell(list, 6, Model::kValue).contains(QStringLiteral("Päättymispäivä osuu viikonloppuun")));
        QVERIFY(Cell(list, 7, Model::kValue).contains(QStringLiteral("Laskentavolatiliteetin")));
        QVERIFY(!Cell(list, 5, Model::kDelta).isEmpty());

        // Vega and rho of the selected row only, off the thread: the batch's.
        list.Table()->setCurrentIndex(list.Proxy()->index(0, 0));
        list.WaitUntilIdle();
        QStringList cells = QString::fromStdString(BatchCsv(kExample)).split('\n')[1].split(';');
        const QStringList header = QString::fromStdString(BatchCsv(kExample)).split('\n')[0].split(';');
        const double vega = cells[header.indexOf(QStringLiteral("AtShare.Vega"))].toDouble();
        QVERIFY2(list.SelectedFigures()->text().contains(
                     QString::fromStdString(ReadableNumber(vega, 6, DecimalSeparator()))),
                 qPrintable(list.SelectedFigures()->text()));
    }

    // Numbers sort as numbers (9 before 12), text as text; the filter finds
    // any column's text.
    void SortAndFilter() {
        WarrantListWindow list;
        Open(list);
        QVERIFY(list.Model()->setData(list.Model()->index(RowNamed(list, "NOK6X15"), Model::kStrike),
                                      QStringLiteral("9")));
        list.WaitUntilIdle();
        const struct {
            int column;
            Qt::SortOrder order;
            const char* first;
        } sorts[] = {
            {Model::kStrike, Qt::AscendingOrder, "NOK6X15"},   // 9 < 12 < ...
            {Model::kStrike, Qt::DescendingOrder, "UPMTS18"},  // 18
            {Model::kName, Qt::AscendingOrder, "FUM6F16"},
            {Model::kValue, Qt::DescendingOrder, "UPMTL12"},   // 0,619; failed rows last
            {Model::kValue, Qt::AscendingOrder, "NOK6D15"},    // 0,150
            {Model::kLeverage, Qt::DescendingOrder, "NOK6D15"},
        };
        for (const auto& sort : sorts) {
            list.Table()->sortByColumn(sort.column, sort.order);
            const QString first = list.Proxy()->index(0, Model::kName).data().toString();
            QVERIFY2(first == QString::fromUtf8(sort.first),
                     qPrintable(QStringLiteral("column %1: %2").arg(sort.column).arg(first)));
        }
        const struct {
            const char* text;
            int rows;
        } filters[] = {{"upm", 4}, {"Nokia", 3}, {"turbo (sg)", 2}, {"NOK6D", 1}, {"xyz", 0}, {"", 8}};
        for (const auto& filter : filters) {
            list.Filter()->setText(QString::fromUtf8(filter.text));
            QVERIFY2(list.Proxy()->rowCount() == filter.rows, filter.text);
        }
        // Poista rivit takes the rows selected through the filter and sort.
        list.Filter()->setText(QStringLiteral("turbo (s"));
        list.Table()->selectAll();
        list.findChild<QPushButton*>(QStringLiteral("ButtonRemoveRows"))->click();
        list.Filter()->clear();
        QCOMPARE(list.Model()->rowCount(), 4);
        QVERIFY(list.Model()->Underlyings() == (std::vector<std::string>{"Nokia", "Fortum"}));
        QVERIFY(list.Model()->Modified());
    }

    // A share price per row or per underlying re-values those rows only;
    // a bad edit is refused with the reader's message and changes nothing.
    void EditsRevalueJustTheirRows() {
        WarrantListWindow list;
        Open(list);
        const auto valuations = [&] {
            QList<int> counts;
            for (int row = 0; row < list.Model()->rowCount(); ++row) counts << list.Model()->At(row).Valuations;
            return counts;
        };
        QCOMPARE(valuations(), QList<int>(8, 1));
        QLineEdit* upm = list.ShareField("UPM");
        QVERIFY(upm != nullptr && list.ShareField("Nokia") && list.ShareField("Fortum"));
        QCOMPARE(upm->text(), QStringLiteral("15"));
        upm->setText(QStringLiteral("16"));
        emit upm->editingFinished();
        list.WaitUntilIdle();
        QCOMPARE(valuations(), (QList<int>{1, 1, 2, 2, 2, 2, 1, 1}));
        QCOMPARE(list.Model()->At(2).Run.Figures->Share, 16.0);

        QVERIFY(list.Model()->setData(list.Model()->index(1, Model::kShare), QStringLiteral("15,5")));
        list.WaitUntilIdle();
        QCOMPARE(valuations(), (QList<int>{1, 2, 2, 2, 2, 2, 1, 1}));
        QCOMPARE(list.Model()->At(1).Run.Figures->Share, 15.5);

        const struct {
            int row, column;
            const char* text;
            const char* message;
        } bad[] = {
            {0, Model::kStrike, "abc", "Toteutushinta: Virheellinen arvo valitsimelle --strike: \"abc\""},
            {0, Model::kExpiry, "2006-13-01", "--expiry: \"2006-13-01\""},
            {0, Model::kType, "warrant", "--type: \"warrant\""},
            {0, Model::kShare, "-1", "--share: \"-1\""},
            {0, Model::kShare, "", "--price"},  // a price without a share price
            {0, Model::kSide, "long", "--side: \"long\""},
        };
        for (const auto& edit : bad) {
            boxes_.Clear();
            const QModelIndex index = list.Model()->index(edit.row, edit.column);
            const QString before = index.data().toString();
            QVERIFY2(!list.Model()->setData(index, QString::fromUtf8(edit.text)), edit.text);
            QCOMPARE(boxes_.errors.size(), 1);
            QVERIFY2(boxes_.errors[0].contains(QString::fromUtf8(edit.message)), qPrintable(boxes_.errors[0]));
            QCOMPARE(index.data().toString(), before);
        }
        QVERIFY(list.Model()->setData(list.Model()->index(0, Model::kType), QStringLiteral("Turbo (SG)")));
        QCOMPARE(list.Model()->Field(0, "type"), std::string("turbo-sg"));
        list.WaitUntilIdle();
        QCOMPARE(valuations()[0], 2);
        // A refused underlying price leaves every row.
        boxes_.Clear();
        upm->setText(QStringLiteral("x"));
        emit upm->editingFinished();
        QCOMPARE(boxes_.errors.size(), 1);
        QCOMPARE(upm->text(), QStringLiteral("16"));
    }

    // Keskeytä leaves the rows not yet valued so; closing cancels too.
    void CancelAndClose() {
        WarrantListWindow list;
        list.SetJobs(1);
        list.show();
        QVERIFY(list.OpenList(kExample));
        QTRY_VERIFY(list.Running());
        list.Cancel();
        list.WaitUntilIdle();
        int stopped = 0;
        for (int row = 0; row < list.Model()->rowCount(); ++row)
            if (list.Model()->At(row).Status == Model::State::Stopped) {
                ++stopped;
                QCOMPARE(Cell(list, row, Model::kValue), QStringLiteral("Keskeytetty"));
            }
        QVERIFY(stopped > 0);
        QVERIFY(list.Progress()->isHidden());
        list.Revalue();
        list.WaitUntilIdle();
        for (int row = 0; row < list.Model()->rowCount(); ++row)
            QVERIFY(list.Model()->At(row).Status == Model::State::Valued);
        list.Revalue();
        QTRY_VERIFY(list.Running());
        list.close();
        QVERIFY(!list.Running());
        QVERIFY(!list.isVisible());
        QVERIFY(list.Model()->QueuedRows().empty());
    }

    // Lisää listaan takes the form's search prices; a double-click brings a
    // row back into the form, which solves and calculates it the same.
    void FormAndListAgree() {
        TForm1 form;
        SetMarch1(form);
        form.ShowVolatilitySearch(true);
        form.ui->EditShare->setText(Local(QStringLiteral("16")));
        form.ui->EditWarrant->setText(Local(QStringLiteral("1.2")));
        form.ui->EditRate->setText(Local(QStringLiteral("4.5"))); // a column the example lacks
        WarrantListWindow* list = form.OpenList(kExample);
        QVERIFY(list != nullptr && list->isVisible());
        QTRY_VERIFY(list->Running());
        form.AddToList(); // while the example's rows are being valued
        list->WaitUntilIdle();
        RunCommand(form, &TForm1::ButtonSolveClick);
        const int added = list->Model()->rowCount() - 1;
        QCOMPARE(list->Model()->Field(added, "share"), Local(QStringLiteral("16")).toStdString());
        QCOMPARE(Cell(*list, added, Model::kVolatility), form.ui->EditVolat->text());

        list->OpenList(kExample);
        list->WaitUntilIdle();
        form.ShowVolatilitySearch(false);
        auto* figures = form.findChild<FiguresWindow*>();
        const struct {
            int row;
            double strike;
            const char* volatility;
        } rows[] = {
            {0, 15, "31.88"}, // solved at its price
            {1, 16, "25.5"},  // no price: its own
            {3, 18, "35"},    // no volatility gives 3,10: its own, as in the list
        };
        for (const auto& row : rows) {
            emit list->Table()->doubleClicked(list->Proxy()->mapFromSource(list->Model()->index(row.row, 0)));
            form.WaitUntilIdle();
            QCOMPARE(form.Grid().Warrant.Strike, row.strike);
            QCOMPARE(form.ui->EditVolat->text(), Local(QString::fromUtf8(row.volatility)));
            QVERIFY(figures != nullptr);
            QCOMPARE(figures->Table()->findItems(Cell(*list, row.row, Model::kValue), Qt::MatchExactly).size(), 1);
        }
        QVERIFY(!form.Grid().Warrant.IsCall);
        QCOMPARE(form.ui->EditShare->text(), Local(QStringLiteral("15")));
        emit list->Table()->doubleClicked(list->Proxy()->mapFromSource(list->Model()->index(1, 0)));
        form.WaitUntilIdle();
        QCOMPARE(form.ui->EditDivid->text(), Local(QStringLiteral("0.4")));
        QCOMPARE(form.ui->EditShare->text(), Local(QStringLiteral("15.2")));
    }

    // Saved in the batch format, remembered, read back the same; closing
    // with unsaved edits asks.
    void SaveAndReopen() {
        const QString path = dir_.filePath(QStringLiteral("lista.csv"));
        std::string results;
        {
            WarrantListWindow list;
            Open(list);
            list.show();
            QVERIFY(list.Model()->setData(list.Model()->index(0, Model::kName), QStringLiteral("Oma; \"nimi\"")));
            list.WaitUntilIdle();
            boxes_.questions.clear();
            boxes_.yesAnswer = false;
            list.close();
            QCOMPARE(boxes_.questions.size(), 1);
            QVERIFY(list.isVisible());
            QVERIFY(list.SaveList(path));
            QCOMPARE(WarrantListWindow::LastList(), path);
            list.close();
            QCOMPARE(boxes_.questions.size(), 1);
            boxes_.yesAnswer = true;
            const QString exported = dir_.filePath(QStringLiteral("saved-export.csv"));
            QVERIFY(list.ExportResults(exported));
            results = ReadAll(exported).toStdString();
        }
        QCOMPARE(BatchCsv(path, false), results);
        // The list last saved comes back with the window.
        TForm1 form;
        WarrantListWindow& again = *form.OpenList();
        again.WaitUntilIdle();
        QCOMPARE(again.Model()->Field(0, "name"), std::string("Oma; \"nimi\""));
        const QString exported = dir_.filePath(QStringLiteral("reopened.csv"));
        QVERIFY(again.ExportResults(exported));
        QCOMPARE(ReadAll(exported).toStdString(), results);
    }
};

QTEST_MAIN(WarrantListTest)
#include "WarrantListTest.moc"
