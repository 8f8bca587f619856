#include "AppCore.h"
#include "Conversions.h"
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "QtBridge.h"
#include "ui_Kelvarounit1.h"

#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QString kRejected = QStringLiteral("Parametrit virheellisiä, Laskenta peruttu");
const QString kSuitable = QStringLiteral(
    "Aika-askel sopiva suhteessa pörssiarvon askeleeseen Muutostodennäköisyys askeleella = ");

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The worked example's valuation moment: Wednesday 1 March 2006, 10:00.
void SetMarch1(TForm1& form) {
    form.ui->DateNow->setDate(QDate(2006, 3, 1));
    form.ui->DateNow->setTime(QTime(10, 0));
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    QStringList messages_;
    QStringList errors_;
    std::optional<QString> saveAnswer_;
    QTemporaryDir dir_;

    std::unique_ptr<TForm1> NewForm() {
        messages_.clear();
        errors_.clear();
        return std::make_unique<TForm1>();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        DialogHooks hooks;
        hooks.showMessage = [this](const QString& text) { messages_ << text; };
        hooks.showError = [this](const QString& text) { errors_ << text; };
        hooks.askSaveFileName = [this](QWidget*, const QString&) { return saveAnswer_; };
        InstallDialogHooks(hooks);
    }

    void init() { SetDecimalSeparator(','); }
    void cleanupTestCase() { ResetDecimalSeparator(); }

    void startupState_data() {
        QTest::addColumn<char>("separator");
        QTest::newRow("comma") << ',';
        QTest::newRow("point") << '.';
    }

    void startupState() {
        QFETCH(char, separator);
        SetDecimalSeparator(separator);
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        const QList<QPair<QLineEdit*, QString>> texts = {
            {ui.EditStrike, "15,00"},   {ui.EditMultiplier, "0,2"}, {ui.EditSGMarg, "0,50"},
            {ui.EditDivid, "0,00"},     {ui.EditPriceMin, "2,00"},  {ui.EditPriceMax, "50,00"},
            {ui.EditPriceSteps, "1000"}, {ui.EditTimeSteps, "100"}, {ui.EditVolat, "30,0"},
            {ui.EditRate, "3,0"},       {ui.EditXOpen, "100"},      {ui.EditWeekEnd, "2,0"},
            {ui.EditShare, "10,00"},    {ui.EditWarrant, "0,50"}};
        for (const auto& [edit, text] : texts)
            QCOMPARE(edit->text(), QString(text).replace(',', QChar::fromLatin1(separator)));
        for (QLineEdit* output : {ui.EditPriceMin, ui.EditPriceMax, ui.EditPriceSteps}) {
            QVERIFY(output->isReadOnly());
            QVERIFY(!output->isEnabled());
        }
        QCOMPARE(ui.RadioGroupType->ItemIndex(), 0);
        QCOMPARE(ui.RadioGroupCallPut->ItemIndex(), 0);
        QVERIFY(ui.Memo1->toPlainText().isEmpty());
        for (QWidget* hidden : {static_cast<QWidget*>(ui.GroupBox1), static_cast<QWidget*>(ui.Button1)}) {
            QVERIFY(hidden->isHidden());
            QVERIFY(!hidden->isEnabled());
        }
        QCOMPARE(ui.DateNow->date(), QDate::currentDate());
        QCOMPARE(ui.DateNow->time(), QTime(10, 0));

        // The defaults read back as the record expects them.
        ui.RadioGroupType->SetItemIndex(kTurboSG);
        form->ReadInputs();
        const CGrid& grid = form->Grid();
        QCOMPARE(grid.Warrant.Expiry, 38828.76388888889);
        QCOMPARE(grid.Warrant.DividendDate, 38807.76388888889);
        QCOMPARE(grid.ValuationTime, Today() + 10.0 / 24.0);
        QCOMPARE(grid.Warrant.Strike, 15.0);
        QCOMPARE(grid.Warrant.Multiplier, 0.2);
        QCOMPARE(grid.Warrant.Volatility, 0.3);
        QCOMPARE(grid.Warrant.Dividend, 0.0);
        QCOMPARE(grid.Warrant.KnockOutMargin, 0.5);
        QCOMPARE(grid.Warrant.IsCall, true);
        QCOMPARE(grid.StepsPerDay, 100);
        QCOMPARE(grid.OpenFraction, 1.0);
        QCOMPARE(grid.WeekendWeight, 1.0);
        QCOMPARE(grid.Rate, 0.03);
        QVERIFY(errors_.isEmpty());
    }

    void windowFrame() {
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->objectName(), QStringLiteral("Form1"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Kelvarolaskuri"));
        QCOMPARE(form->centralWidget()->size(), QSize(564, 539));
        QCOMPARE(ui.iedosto1->title(), QStringLiteral("&Tiedosto"));
        QVERIFY(ui.iedosto1->actions() == (QList<QAction*>{ui.allennatulokset1, ui.Poistu1}));
        QCOMPARE(ui.allennatulokset1->text(), QStringLiteral("&Tallenna tulokset"));
        QCOMPARE(ui.Poistu1->text(), QStringLiteral("&Poistu"));
        QVERIFY(QFontInfo(ui.Memo1->font()).fixedPitch());
        QCOMPARE(ui.Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(ui.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(ui.DateNow->displayFormat(), QStringLiteral("dd.MM.yyyy  HH:mm"));
        QVERIFY(ui.DateExpiry->displayFormat().contains("yyyy"));
        QVERIFY(ui.DateExpiry->calendarPopup());

        // Memo1 on the right, the inputs in two columns on the left.
        const int memoLeft = ui.Memo1->geometry().left();
        QVERIFY(ui.EditWeekEnd->geometry().right() < memoLeft);
        QVERIFY(ui.EditStrike->x() < ui.RadioGroupCallPut->x());
        QVERIFY(ui.EditPriceMin->y() > ui.EditDivid->y());
        QVERIFY(ui.ButtonCalculate->y() > ui.EditXOpen->y());

        // Tab order of the visible inputs, the radio groups by their buttons.
        const QList<QWidget*> expected = {
            ui.DateNow,       ui.DateExpiry,    ui.RadioGroupType, ui.EditStrike,
            ui.RadioGroupCallPut, ui.EditMultiplier, ui.EditSGMarg, ui.DateDivid,
            ui.EditDivid,     ui.EditPriceMin,  ui.EditPriceMax,  ui.EditPriceSteps,
            ui.EditTimeSteps, ui.EditVolat,     ui.EditRate,      ui.EditXOpen,
            ui.EditWeekEnd,   ui.ButtonCalculate, ui.Memo1};
        QList<QWidget*> chain;
        QWidget* w = ui.DateNow;
        do {
            QWidget* owner = w;
            while (owner && !expected.contains(owner)) owner = owner->parentWidget();
            if (owner && (chain.isEmpty() || chain.last() != owner) && !chain.contains(owner))
                chain << owner;
            w = w->nextInFocusChain();
        } while (w != ui.DateNow);
        auto names = [](const QList<QWidget*>& widgets) {
            QStringList result;
            for (const QWidget* widget : widgets) result << widget->objectName();
            return result;
        };
        QCOMPARE(names(chain), names(expected));
    }

    void calculateListsEveryNode() {
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        SetMarch1(*form);
        form->ButtonCalculateClick();
        QCOMPARE(messages_, QStringList());
        QCOMPARE(errors_, QStringList());
        const CGrid& grid = form->Grid();
        QCOMPARE(grid.NodeCount, 1021);
        QCOMPARE(ui.EditPriceSteps->text(), QStringLiteral("1021"));
        QCOMPARE(ui.EditPriceMax->text(), QStringLiteral("46,54"));
        QCOMPARE(ui.EditPriceMin->text(), QStringLiteral("4,834"));

        const QString listing = ui.Memo1->toPlainText();
        const QStringList lines = listing.split('\n');
        QCOMPARE(lines.size(), grid.NodeCount);
        QCOMPARE(lines.first(), QStringLiteral("   1     4.834     0.000"));
        double previous = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList fields = lines[i].split(' ', Qt::SkipEmptyParts);
            QCOMPARE(fields.size(), 3);
            QCOMPARE(fields[0].toInt(), i + 1);
            bool ok = false;
            const double price = fields[1].toDouble(&ok);
            QVERIFY2(ok && price >= previous, qPrintable(lines[i]));
            previous = price;
        }
        QCOMPARE(previous, 46.544);

        // Again: the listing is replaced, not appended to.
        form->ButtonCalculateClick();
        QCOMPARE(ui.Memo1->toPlainText(), listing);

        // A rejected range afterwards leaves every output as it was.
        ui.DateNow->setDate(QDate(2006, 4, 22));
        form->ButtonCalculateClick();
        QCOMPARE(messages_, QStringList{kRejected});
        QCOMPARE(ui.Memo1->toPlainText(), listing);
        QCOMPARE(ui.EditPriceSteps->text(), QStringLiteral("1021"));
        QCOMPARE(form->Grid().NodeCount, 1021);
    }

    void defaultsAreRejected() {
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        form->ButtonCalculateClick();
        QCOMPARE(messages_, QStringList{kRejected});
        QCOMPARE(ui.EditPriceMin->text(), QStringLiteral("2,00"));
        QCOMPARE(ui.EditPriceMax->text(), QStringLiteral("50,00"));
        QCOMPARE(ui.EditPriceSteps->text(), QStringLiteral("1000"));
        QVERIFY(ui.Memo1->toPlainText().isEmpty());
        QVERIFY(!form->Grid().Allocated);

        messages_.clear();
        form->Button1Click();
        QCOMPARE(messages_, QStringList{QStringLiteral("Parametrit virheellisiä.")});
        QCOMPARE(errors_, QStringList());
    }

    void conversionErrors_data() {
        QTest::addColumn<int>("productType");
        QTest::addColumn<QString>("editName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("fieldsRead");  // of the 14, before the failure
        QTest::newRow("strike empty") << 0 << "EditStrike" << ""
                                      << "Virheellinen luku kentässä \"Toteutushinta\": \"\"" << 2;
        QTest::newRow("SG margin") << 2 << "EditSGMarg" << "abc"
                                   << "Virheellinen luku kentässä \"SG:n knock-out marg\": \"abc\"" << 8;
        QTest::newRow("time steps with decimals")
            << 0 << "EditTimeSteps" << "100,5"
            << "Virheellinen kokonaisluku kentässä \"Aika-askelia päivässä\": \"100,5\"" << 10;
        QTest::newRow("point under comma") << 0 << "EditRate" << "3.0"
                                           << "Virheellinen luku kentässä \"Riskitön korko %\": \"3.0\"" << 13;
    }

    void conversionErrors() {
        QFETCH(int, productType);
        QFETCH(QString, editName);
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(int, fieldsRead);
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        ui.RadioGroupType->SetItemIndex(productType);
        ui.RadioGroupCallPut->SetItemIndex(1);
        ui.EditStrike->setText("12,5");
        form->findChild<QLineEdit*>(editName)->setText(text);

        // Marks in every field, to see which ones the command overwrote.
        CGrid& grid = form->Grid();
        grid.Warrant.ProductType = -9;
        grid.Warrant.IsCall = true;
        for (double* field : {&grid.Warrant.Strike, &grid.Warrant.Expiry, &grid.Warrant.Multiplier,
                              &grid.Warrant.Volatility, &grid.Warrant.DividendDate,
                              &grid.Warrant.Dividend, &grid.Warrant.KnockOutMargin,
                              &grid.ValuationTime, &grid.OpenFraction, &grid.WeekendWeight,
                              &grid.Rate})
            *field = -9;
        grid.StepsPerDay = -9;

        form->ButtonCalculateClick();
        QCOMPARE(errors_, QStringList{error});
        QCOMPARE(messages_, QStringList());
        QVERIFY(!grid.Allocated);
        QCOMPARE(ui.EditPriceSteps->text(), QStringLiteral("1000"));

        const bool written[14] = {
            grid.Warrant.ProductType == productType, !grid.Warrant.IsCall,
            grid.Warrant.Strike == 12.5,             grid.Warrant.Expiry == 38828.76388888889,
            grid.Warrant.Multiplier == 0.2,          grid.Warrant.Volatility == 0.3,
            grid.Warrant.DividendDate == 38807.76388888889, grid.Warrant.Dividend == 0.0,
            grid.Warrant.KnockOutMargin != -9,       grid.ValuationTime != -9,
            grid.StepsPerDay == 100,                 grid.OpenFraction == 1.0,
            grid.WeekendWeight == 1.0,               grid.Rate == 0.03};
        for (int i = 0; i < 14; ++i)
            QVERIFY2(written[i] == (i < fieldsRead), qPrintable(QString("field %1").arg(i + 1)));
    }

    void knockOutMarginOnlyForTurboSG() {
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        ui.EditSGMarg->setText("ei luku");
        for (int type : {kNormal, kTurboSHB}) {
            ui.RadioGroupType->SetItemIndex(type);
            form->Grid().Warrant.KnockOutMargin = 7;
            form->ButtonCalculateClick();  // the 2006 expiry is refused after reading
            QCOMPARE(errors_, QStringList());
            QCOMPARE(form->Grid().Warrant.KnockOutMargin, 0.0);
        }
        ui.RadioGroupType->SetItemIndex(kTurboSG);
        ui.EditSGMarg->setText("0,75");
        form->ButtonCalculateClick();
        QCOMPARE(form->Grid().Warrant.KnockOutMargin, 0.75);
        QCOMPARE(errors_, QStringList());
    }

    void engineErrorIsShown() {
        auto form = NewForm();
        SetMarch1(*form);
        form->ui->EditStrike->setText("0");
        form->ButtonCalculateClick();
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].startsWith("Laskenta keskeytyi: ") && errors_[0].size() > 20,
                 qPrintable(errors_[0]));
        QCOMPARE(messages_, QStringList());
        QVERIFY(form->ui->Memo1->toPlainText().isEmpty());
    }

    void timeStepCheck() {
        auto form = NewForm();
        SetMarch1(*form);
        form->Button1Click();
        QCOMPARE(messages_, QStringList{kSuitable + "0,5002"});
        QVERIFY(form->ui->Memo1->toPlainText().isEmpty());
    }

    void pickedDatesKeepTheirTime() {
        auto form = NewForm();
        form->ui->DateExpiry->setDate(QDate(2006, 5, 15));
        form->ReadInputs();
        QCOMPARE(form->Grid().Warrant.Expiry, 38852.76388888889);
        QCOMPARE(SerialToDateTime(form->Grid().Warrant.Expiry).time(), QTime(18, 20));
    }

    void saveResults() {
        auto form = NewForm();
        const QString path = dir_.filePath("tulokset.txt");

        saveAnswer_.reset();
        form->Tallennatulokset1Click();
        QVERIFY(!QFile::exists(path));

        saveAnswer_ = path;
        form->Tallennatulokset1Click();
        QCOMPARE(ReadAll(path), QByteArray("Share\tPresent\t"));

        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4 << 20, 'x'));
        junk.close();
        SetMarch1(*form);
        form->ButtonCalculateClick();
        form->Tallennatulokset1Click();
        const QByteArray saved = ReadAll(path);
        QCOMPARE(saved, QByteArray::fromStdString(ResultsFileText(form->Grid(), ',')));
        QCOMPARE(saved.count("\r\n"), form->Grid().NodeCount + 1);
        QVERIFY(saved.startsWith("Share\tPresent\t38777,41667\t38778,76389\t"));
        QCOMPARE(errors_, QStringList());

        const QString bad = dir_.filePath("puuttuu/tulokset.txt");
        saveAnswer_ = bad;
        form->Tallennatulokset1Click();
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains("\"" + bad + "\""), qPrintable(errors_[0]));
        QCOMPARE(ReadAll(path), saved);
    }

    void exitCloses() {
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->ui->Poistu1->trigger();
        QVERIFY(!form->isVisible());
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
