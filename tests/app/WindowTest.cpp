// The window and its commands, with the dialogs answered by hooks.
#include "AppCore.h"
#include "Conversions.h"
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "QtBridge.h"
#include "ui_Kelvarounit1.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace {


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

    QStringList messages_, errors_;
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
        InstallDialogHooks({[this](const QString& text) { messages_ << text; },
                            [this](const QString& text) { errors_ << text; },
                            [this](QWidget*, const QString&) { return saveAnswer_; }});
    }
    void init() { SetDecimalSeparator(','); }
    void cleanupTestCase() { ResetDecimalSeparator(); }

    void startupState() {
        for (const char separator : {',', '.'}) {
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
            QCOMPARE(ui.RadioGroupType->ItemIndex(), 0);
            QCOMPARE(ui.RadioGroupCallPut->ItemIndex(), 0);
            QVERIFY(ui.GroupBox1->isHidden() && !ui.GroupBox1->isEnabled());
            QVERIFY(ui.Button1->isHidden() && !ui.Button1->isEnabled());
            QCOMPARE(ui.DateNow->date(), QDate::currentDate());
            QCOMPARE(ui.DateNow->time(), QTime(10, 0));

            // The defaults, the point ones included, read without an error.
            ui.RadioGroupType->SetItemIndex(kTurboSG);
            form->ReadInputs();
            QCOMPARE(form->Grid().Warrant.Expiry, 38828.76388888889);
            QCOMPARE(form->Grid().ValuationTime, Today() + 10.0 / 24.0);
            QVERIFY(errors_.isEmpty());
        }
    }

    void calculateListsEveryNode() {
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        SetMarch1(*form);
        form->ButtonCalculateClick();
        QCOMPARE(messages_ + errors_, QStringList());
        QCOMPARE(form->Grid().NodeCount, 1021);
        QCOMPARE(ui.EditPriceSteps->text(), QStringLiteral("1021"));
        QCOMPARE(ui.EditPriceMax->text(), QStringLiteral("46,54"));
        QCOMPARE(ui.EditPriceMin->text(), QStringLiteral("4,834"));

        const QString listing = ui.Memo1->toPlainText();
        const QStringList lines = listing.split('\n');
        QCOMPARE(lines.size(), 1021);
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
        QCOMPARE(messages_, QStringList{"Parametrit virheellisiä, Laskenta peruttu"});
        QCOMPARE(ui.Memo1->toPlainText(), listing);
        QCOMPARE(ui.EditPriceSteps->text(), QStringLiteral("1021"));
        QCOMPARE(form->Grid().NodeCount, 1021);
        form->Button1Click();
        QCOMPARE(messages_.last(), QStringLiteral("Parametrit virheellisiä."));
    }

    void conversionErrors() {
        struct Case { int productType; const char* edit; QString text, error; int fieldsRead; };
        const Case cases[] = {  // fieldsRead: of the 14, before the failure
            {kNormal, "EditStrike", "", "Virheellinen luku kentässä \"Toteutushinta\": \"\"", 2},
            {kTurboSG, "EditSGMarg", "abc",
             "Virheellinen luku kentässä \"SG:n knock-out marg\": \"abc\"", 8},
            {kNormal, "EditTimeSteps", "100,5",
             "Virheellinen kokonaisluku kentässä \"Aika-askelia päivässä\": \"100,5\"", 10}};
        for (const auto& [productType, editName, text, error, fieldsRead] : cases) {
            auto form = NewForm();
            Ui::TForm1& ui = *form->ui;
            ui.RadioGroupType->SetItemIndex(productType);
            ui.RadioGroupCallPut->SetItemIndex(1);
            ui.EditStrike->setText("12,5");
            form->findChild<QLineEdit*>(QString::fromLatin1(editName))->setText(text);

            // Marks in every field, to see which ones the command overwrote.
            CGrid& grid = form->Grid();
            grid.Warrant.ProductType = -9;
            grid.Warrant.IsCall = true;
            for (double* field : {&grid.Warrant.Strike, &grid.Warrant.Expiry,
                                  &grid.Warrant.Multiplier, &grid.Warrant.Volatility,
                                  &grid.Warrant.DividendDate, &grid.Warrant.Dividend,
                                  &grid.Warrant.KnockOutMargin, &grid.ValuationTime,
                                  &grid.OpenFraction, &grid.WeekendWeight, &grid.Rate})
                *field = -9;
            grid.StepsPerDay = -9;

            form->ButtonCalculateClick();
            QCOMPARE(errors_, QStringList{error});
            QCOMPARE(messages_, QStringList());
            QVERIFY(!grid.Allocated);

            const bool written[14] = {
                grid.Warrant.ProductType == productType, !grid.Warrant.IsCall,
                grid.Warrant.Strike == 12.5,             grid.Warrant.Expiry == 38828.76388888889,
                grid.Warrant.Multiplier == 0.2,          grid.Warrant.Volatility == 0.3,
                grid.Warrant.DividendDate == 38807.76388888889, grid.Warrant.Dividend == 0.0,
                grid.Warrant.KnockOutMargin != -9,       grid.ValuationTime != -9,
                grid.StepsPerDay == 100,                 grid.OpenFraction == 1.0,
                grid.WeekendWeight == 1.0,               grid.Rate == 0.03};
            for (int i = 0; i < 14; ++i)
                QVERIFY2(written[i] == (i < fieldsRead),
                         qPrintable(QStringLiteral("%1: field %2").arg(editName).arg(i + 1)));
        }
    }

    void knockOutMarginOnlyForTurboSG() {
        auto form = NewForm();
        Ui::TForm1& ui = *form->ui;
        ui.EditSGMarg->setText("ei luku");
        for (int type : {kNormal, kTurboSHB, kTurboSG}) {
            ui.RadioGroupType->SetItemIndex(type);
            form->Grid().Warrant.KnockOutMargin = 7;
            form->ButtonCalculateClick();  // the 2006 expiry is refused after reading
            QCOMPARE(errors_.size(), type == kTurboSG ? 1 : 0);
            QCOMPARE(form->Grid().Warrant.KnockOutMargin, type == kTurboSG ? 7.0 : 0.0);
        }
        ui.EditSGMarg->setText("0,75");
        form->ButtonCalculateClick();
        QCOMPARE(form->Grid().Warrant.KnockOutMargin, 0.75);
    }

    void timeStepCheck() {
        auto form = NewForm();
        SetMarch1(*form);
        form->Button1Click();
        QCOMPARE(messages_, QStringList{QStringLiteral(
            "Aika-askel sopiva suhteessa pörssiarvon askeleeseen Muutostodennäköisyys "
            "askeleella = 0,5002")});
        QVERIFY(form->ui->Memo1->toPlainText().isEmpty());
    }

    // Run by ctest in a zone with summer time too.
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

        // Over a longer file, nothing of it is left behind.
        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4 << 20, 'x'));
        junk.close();
        SetMarch1(*form);
        form->ButtonCalculateClick();
        form->Tallennatulokset1Click();
        const QByteArray saved = ReadAll(path);
        QCOMPARE(saved, QByteArray::fromStdString(ResultsFileText(form->Grid(), ',')));
        QVERIFY(saved.startsWith("Share\tPresent\t38777,41667\t38778,76389\t"));
        QCOMPARE(errors_, QStringList());
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
