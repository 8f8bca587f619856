// The window's dividends table: opened beside Osinko without blocking, a bad
// row named, and the accepted rows in the valuation as kelvaro reads them.
#include "DividendsDialog.h"
#include "Lattice.h"
#include "RollBack.h"
#include "WarrantInputs.h"
#include "WindowFixture.h"

#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

using namespace kelvaro;

class DividendsWindowTest : public QObject {
    Q_OBJECT

    DialogRecorder boxes_;

private slots:
    void initTestCase() { boxes_.Install(); }

    void TableReachesTheValuation() {
        TForm1 form;
        SetMarch1(form);
        QCOMPARE(form.ui->ButtonDividends->text(), QStringLiteral("Lisää…"));
        form.ui->ButtonDividends->click();
        auto* dialog = form.findChild<DividendsDialog*>();
        QVERIFY(dialog != nullptr && dialog->isVisible());
        auto* add = dialog->findChild<QPushButton*>(QStringLiteral("ButtonAddDividend"));
        add->click();
        QTableWidget* table = dialog->Table();
        table->item(0, 0)->setText(QStringLiteral("2006-03-31"));
        table->item(0, 1)->setText(QStringLiteral("0,25"));
        dialog->AddRow(QStringLiteral("2006-04-10"), QStringLiteral("0.5"));
        dialog->AddRow(QStringLiteral("2006-04-31"), QStringLiteral("0,1"));
        dialog->AddRow(QString(), QString()); // blank: skipped
        table->setCurrentCell(2, 0);
        boxes_.Clear();
        dialog->accept();
        QCOMPARE(boxes_.Boxes().size(), 1);
        QVERIFY2(boxes_.Boxes()[0].startsWith(QStringLiteral(
                     "Virheellinen osinko rivillä 3: \"2006-04-31:0,1\"")),
                 qPrintable(boxes_.Boxes()[0]));
        QVERIFY(dialog->isVisible());
        dialog->findChild<QPushButton*>(QStringLiteral("ButtonRemoveDividend"))->click();
        dialog->accept();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(form.ui->ButtonDividends->text(), QStringLiteral("Lisää… (2)"));

        RunCommand(form, &TForm1::ButtonCalculateClick);
        CGrid want = ReadWarrant({{"valuation", "2006-03-01 10:00"},
                                  {"expiry", "2006-04-21"},
                                  {"dividends", "2006-03-31:0,25;2006-04-10:0,5"}});
        QVERIFY(BuildLattice(want));
        RollBack(want);
        QCOMPARE(form.Grid().Warrant.MoreDividendDays, (std::vector<int32_t>{22, 28}));
        QVERIFY(form.Grid().Values == want.Values);

        // Opened again, the table shows what was taken.
        form.ui->ButtonDividends->click();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("2006-04-10"));
        QCOMPARE(table->item(1, 1)->text(), QStringLiteral("0,5"));
        dialog->reject();
    }
};

QTEST_MAIN(DividendsWindowTest)
#include "DividendsWindowTest.moc"
