// Calculation documents in the window: opened, saved and reopened to the same
// inputs and valuation as kelvaro's reader gives, bad files refused with the
// window unchanged, unsaved changes asked about, and the preferences kept in
// a scratch settings folder (never the user's).
#include "CalculationDocument.h"
#include "Conversions.h"
#include "Lattice.h"
#include "Listing.h"
#include "RollBack.h"
#include "ScenarioWindow.h"
#include "WindowFixture.h"

#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QtTest>

#include <memory>

using namespace kelvaro;

namespace {

// Every input but the share search, some at other than their defaults.
constexpr const char* kDocument = R"({
  "format": "kelvarolaskuri", "version": 1,
  "type": "turbo-sg", "side": "put", "strike": 16.35, "multiplier": 0.1, "margin": 0.7,
  "valuation": "2026-12-07 09:15", "expiry": "2027-01-29",
  "dividend-date": "2027-01-04 12:00", "dividend": 0.21,
  "dividends": [{"date": "2027-01-11", "amount": 0.3}, {"date": "2027-01-18", "amount": 0.125}],
  "steps-per-day": 20, "volatility": 27.3, "rate": 2.9, "open": 35, "weekend": 1.5,
  "holidays": "helsinki",
  "scenario": {"first": 14, "last": 18, "step": 0.5, "cell": "percent"}
})";

} // namespace

class DocumentWindowTest : public QObject {
    Q_OBJECT

    DialogRecorder boxes_;
    QTemporaryDir dir_, settings_;

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid() && settings_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
        boxes_.Install();
    }
    // The form's own separator is a comma; documents hold a point.
    void init() {
        SetDecimalSeparator(',');
        boxes_.Clear();
        boxes_.questions.clear();
        boxes_.yesAnswer = true;
        QSettings(QStringLiteral("kelvarolaskuri"), QStringLiteral("kelvarolaskuri")).clear();
    }

    void cleanupTestCase() { ResetDecimalSeparator(); }

    // No document and no preference: the window as it always opened.
    void opensAsDefinedWithoutDocument() {
        TForm1 plain;
        TForm1 withSettings;
        withSettings.UseSettings();
        const InputTexts inputs = withSettings.FormDocument().Inputs;
        QCOMPARE(inputs, plain.FormDocument().Inputs);
        QCOMPARE(inputs.at("expiry"), std::string("2006-04-21"));
        QCOMPARE(inputs.at("dividend-date"), std::string("2006-03-31"));
        QCOMPARE(inputs.at("type"), std::string("normal"));
        QCOMPARE(withSettings.geometry(), plain.geometry());
        QCOMPARE(withSettings.windowTitle(), QStringLiteral("Kelvarolaskuri"));
        QVERIFY(!withSettings.ui->Viimeisimmat1->isEnabled());
        QVERIFY(withSettings.ui->GroupBox1->isHidden());
        QCOMPARE(withSettings.StartDaysAhead(), 0);
    }

    // Opened, saved again it holds the same inputs and scenario settings, and
    // it values as the record kelvaro's reader makes of the document, listing
    // byte for byte.
    void roundTripThroughWindow() {
        const QString path = Write("every.kelvaro", kDocument);
        TForm1 form;
        QVERIFY(form.OpenCalculation(path));
        QVERIFY(boxes_.Boxes().isEmpty());
        QCOMPARE(form.windowTitle(), QStringLiteral("every.kelvaro[*] – Kelvarolaskuri"));
        QVERIFY(!form.isWindowModified());
        QVERIFY(form.statusBar()->currentMessage().contains(QStringLiteral("Laske laskee")));
        QVERIFY(form.ui->Memo1->toPlainText().isEmpty()); // opening does not calculate

        const CalculationDocument read = ReadDocumentFile(path.toStdString());
        CGrid reader = ReadWarrant(read.Inputs);
        const QString again = dir_.filePath("again.kelvaro");
        QVERIFY(form.SaveCalculation(again));
        QCOMPARE(ReadDocumentFile(again.toStdString()).Inputs, read.Inputs);
        QCOMPARE(ReadDocumentFile(again.toStdString()).Scenario, read.Scenario);
        QCOMPARE(form.windowTitle(), QStringLiteral("again.kelvaro[*] – Kelvarolaskuri"));

        RunCommand(form, &TForm1::ButtonCalculateClick);
        QVERIFY(boxes_.Boxes().isEmpty());
        QVERIFY(BuildLattice(reader));
        RollBack(reader);
        QCOMPARE(ListingText(form.Grid()), ListingText(reader));

        // The scenario table opens on the document's rows and cells.
        form.OpenScenarios();
        const auto* window = form.findChild<ScenarioWindow*>();
        QVERIFY(window != nullptr);
        QCOMPARE(window->Table().Prices.size(), std::size_t{9});
        QCOMPARE(window->Table().Prices.front(), 14.0);
        QCOMPARE(window->Cell(), ScenarioCell::ChangePercent);
    }

    // Each kind of bad file: one box saying what is wrong, nothing changed.
    void badFilesRefusedWindowUnchanged() {
        const struct {
            const char* bytes;
            const char* message;
        } cases[] = {
            {"{\"format\": \"kelvarolaskuri\", \"vers", "tiedosto päättyy kesken"},
            {R"({"format": "kelvarolaskuri", "version": 3})", "uudemmalla versiolla"},
            {R"({"format": "kelvarolaskuri", "version": 1, "strike": 15, "rate": [3]})",
             "kentän \"rate\" arvon pitää olla luku"},
        };
        TForm1 form;
        const QString path = Write("good.kelvaro", kDocument);
        QVERIFY(form.OpenCalculation(path));
        const InputTexts before = form.FormDocument().Inputs;
        for (const auto& c : cases) {
            const QString bad = Write(QStringLiteral("bad.kelvaro"), c.bytes);
            boxes_.Clear();
            QVERIFY(!form.OpenCalculation(bad));
            QCOMPARE(boxes_.errors.size(), 1);
            QVERIFY2(boxes_.errors[0].contains(QString::fromUtf8(c.message)),
                     qPrintable(boxes_.errors[0]));
            QCOMPARE(form.FormDocument().Inputs, before);
            QCOMPARE(form.DocumentPath(), path);
        }
        // A missing field takes the form's default, not the last document's.
        QVERIFY(form.OpenCalculation(
            Write("strike.kelvaro", R"({"format": "kelvarolaskuri", "version": 1, "strike": 12})")));
        TForm1 plain;
        InputTexts expected = plain.FormDocument().Inputs;
        expected["strike"] = "12";
        expected["valuation"] = form.FormDocument().Inputs.at("valuation");
        QCOMPARE(form.FormDocument().Inputs, expected);
    }

    // Changes mark the title; closing or opening another asks before
    // dropping them, and No keeps the window and its inputs.
    void unsavedChangesAsk() {
        TForm1 form;
        form.show();
        const QString path = Write("a.kelvaro", kDocument);
        QVERIFY(form.OpenCalculation(path));
        const QString strike = form.ui->EditStrike->text();
        form.ui->EditStrike->setText(QStringLiteral("17"));
        QVERIFY(form.isWindowModified());
        form.ui->EditStrike->setText(strike);
        QVERIFY(!form.isWindowModified());
        form.ui->Vapaapaivat1->setChecked(false);
        QVERIFY(form.isWindowModified());

        boxes_.yesAnswer = false;
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QVERIFY(!form.OpenCalculation(path));
        QVERIFY(!form.ui->Vapaapaivat1->isChecked());
        QCOMPARE(boxes_.questions.size(), 2);
        QVERIFY(boxes_.questions[0].contains(QStringLiteral("\"a.kelvaro\"")));
        boxes_.yesAnswer = true;
        QVERIFY(form.close());
    }

    // Recent documents, the Näytä items, the window's size and the start
    // preference come back in the next window.
    void preferencesRemembered() {
        {
            TForm1 form;
            form.UseSettings();
            for (int i = 0; i < 6; ++i)
                QVERIFY(form.OpenCalculation(Write(QStringLiteral("r%1.kelvaro").arg(i), kDocument)));
            QCOMPARE(form.RecentDocuments().size(), TForm1::kRecentDocuments);
            form.ShowVolatilitySearch(true);
            form.resize(900, 700);
            form.ui->Aloitapaivamaarilla1->actions()[1]->trigger(); // 30 days
            QVERIFY(form.close());
        }
        TForm1 form;
        form.UseSettings();
        QCOMPARE(form.RecentDocuments().size(), TForm1::kRecentDocuments);
        QCOMPARE(form.RecentDocuments().front(), dir_.filePath("r5.kelvaro"));
        QCOMPARE(form.RecentDocuments().back(), dir_.filePath("r1.kelvaro"));
        QCOMPARE(form.ui->Viimeisimmat1->actions().size(), TForm1::kRecentDocuments);
        QVERIFY(!form.ui->GroupBox1->isHidden());
        QCOMPARE(form.size(), QSize(900, 700));
        QCOMPARE(form.StartDaysAhead(), 30);
        // 30 days on, or the Friday before when that is a weekend day.
        QDate expiry = QDate::currentDate().addDays(30);
        if (expiry.dayOfWeek() == 6) expiry = expiry.addDays(-1);
        if (expiry.dayOfWeek() == 7) expiry = expiry.addDays(-2);
        QCOMPARE(form.ui->DateExpiry->date(), expiry);
        QVERIFY(form.ui->Aloitapaivamaarilla1->actions()[1]->isChecked());

        // A recent document opens from the menu.
        form.ui->Viimeisimmat1->actions()[2]->trigger();
        QCOMPARE(form.DocumentPath(), dir_.filePath("r3.kelvaro"));
        QCOMPARE(form.RecentDocuments().front(), dir_.filePath("r3.kelvaro"));
    }
};

QTEST_MAIN(DocumentWindowTest)
#include "DocumentWindowTest.moc"
