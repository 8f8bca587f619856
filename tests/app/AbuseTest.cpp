// The window under abuse: bad inputs one after another in one window, then
// files that cannot be written. Every failure is one box, nothing crashes, and
// the window still calculates and saves exactly as a fresh one.
#include "Conversions.h"
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "ui_Kelvarounit1.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <unistd.h>

namespace {

// Turbo (SG), so that every edit box is read, and an expiry after the
// valuation moment, so that only the bad input fails.
void SetGoodInputs(TForm1& form) {
    form.ui->DateNow->setDate(QDate(2006, 3, 1));
    form.ui->DateNow->setTime(QTime(10, 0));
    form.ui->DateExpiry->setDate(QDate(2006, 4, 21));
    form.ui->RadioGroupType->SetItemIndex(2);
}

} // namespace

class AbuseTest : public QObject {
    Q_OBJECT

    QStringList boxes_;
    std::optional<QString> saveAnswer_;
    QTemporaryDir dir_;

    // Calculates with one edit box holding `text`, then puts its text back;
    // the one box shown, or an empty text when there were none or several.
    QString Press(TForm1& form, const char* name, const char* text) {
        QLineEdit* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name));
        if (edit == nullptr) return QString();
        const QString good = edit->text();
        boxes_.clear();
        edit->setText(QString::fromLatin1(text));
        form.ButtonCalculateClick();
        edit->setText(good);
        return boxes_.size() == 1 ? boxes_.front() : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        SetDecimalSeparator(',');
        const auto box = [this](const QString& text) { boxes_ << text; };
        InstallDialogHooks({box, box, [this](QWidget*, const QString&) { return saveAnswer_; }});
    }
    void cleanupTestCase() { ResetDecimalSeparator(); }

    void badInputsThenGoodOnes() {
        TForm1 form;
        SetGoodInputs(form);
        for (const char* name : {"EditStrike", "EditMultiplier", "EditVolat", "EditDivid",
                                 "EditSGMarg", "EditTimeSteps", "EditXOpen", "EditRate",
                                 "EditWeekEnd"})
            for (const char* text : {"", "   ", "abc", "1,2,3", "1e400", "-1e400"}) {
                const QString box = Press(form, name, text);
                QVERIFY2(!box.isEmpty() && box.contains(QString::fromLatin1(text)),
                         qPrintable(QStringLiteral("%1 = '%2'").arg(name, text)));
            }
        for (const char* text : {"99999999999", "100,5"})
            QVERIFY2(!Press(form, "EditTimeSteps", text).isEmpty(), text);

        // Numbers that read well but have no valuation: refused by the engine.
        const QList<QPair<const char*, const char*>> refused = {
            {"EditStrike", "0"},        {"EditStrike", "-15"},      {"EditStrike", "1e308"},
            {"EditMultiplier", "0"},    {"EditMultiplier", "-0,2"}, {"EditVolat", "0"},
            {"EditVolat", "-30"},       {"EditVolat", "1e200"},     {"EditTimeSteps", "0"},
            {"EditTimeSteps", "-100"},  {"EditTimeSteps", "2000000000"}, {"EditXOpen", "0"},
            {"EditXOpen", "-10"},       {"EditXOpen", "150"},       {"EditRate", "-100"},
            {"EditRate", "-250"},       {"EditWeekEnd", "-2"},      {"EditWeekEnd", "1e300"}};
        for (const auto& [name, text] : refused) {
            const QString box = Press(form, name, text);
            QVERIFY2(box.startsWith(QStringLiteral("Laskenta keskeytyi: ")),
                     qPrintable(QStringLiteral("%1 = '%2': %3").arg(name, text, box)));
        }

        boxes_.clear();
        form.ButtonCalculateClick();
        QCOMPARE(boxes_, QStringList());
        TForm1 fresh;
        SetGoodInputs(fresh);
        fresh.ButtonCalculateClick();
        QCOMPARE(form.ui->Memo1->toPlainText(), fresh.ui->Memo1->toPlainText());
        QCOMPARE(form.ui->Memo1->document()->blockCount(), fresh.Grid().NodeCount);
    }

    void unwritableFilesAreReportedAndLaterSavesWork() {
        TForm1 form;
        SetGoodInputs(form);
        form.ButtonCalculateClick();

        const QString readOnly = dir_.filePath("readonly.txt");
        QFile(readOnly).open(QIODevice::WriteOnly);
        const bool root = geteuid() == 0; // root writes through permission bits
        const bool immutable = root && QProcess::execute("chattr", {"+i", readOnly}) == 0;
        if (!root) QFile::setPermissions(readOnly, QFile::ReadOwner);
        QStringList names = {dir_.filePath("missing/folder/out.txt"), dir_.path(), "/dev/full"};
        if (immutable || !root) names << readOnly;
        for (const QString& name : names) {
            boxes_.clear();
            saveAnswer_ = name;
            form.Tallennatulokset1Click();
            QVERIFY2(boxes_.size() == 1, qPrintable(name));
            QVERIFY(boxes_.front().contains(QStringLiteral("\"%1\"").arg(name)));
        }
        if (immutable) QProcess::execute("chattr", {"-i", readOnly});

        boxes_.clear();
        saveAnswer_ = dir_.filePath("good.txt");
        form.Tallennatulokset1Click();
        QCOMPARE(boxes_, QStringList());
        QFile good(*saveAnswer_);
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray bytes = good.readAll();
        QCOMPARE(bytes.count("\r\n"), form.Grid().NodeCount + 1);
        QVERIFY(bytes.startsWith("Share\tPresent\t"));
    }
};

QTEST_MAIN(AbuseTest)
#include "AbuseTest.moc"
