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

#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// A later expiry than the valuation moment, so that only the bad input fails.
void SetGoodDates(TForm1& form) {
    form.ui->DateNow->setDate(QDate(2006, 3, 1));
    form.ui->DateNow->setTime(QTime(10, 0));
    form.ui->DateExpiry->setDate(QDate(2006, 4, 21));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class AbuseTest : public QObject {
    Q_OBJECT

    QStringList boxes_;
    std::optional<QString> saveAnswer_;
    QTemporaryDir dir_;

    QLineEdit* Edit(TForm1& form, const char* name) {
        return form.findChild<QLineEdit*>(QString::fromLatin1(name));
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        SetDecimalSeparator(',');
        DialogHooks hooks;
        hooks.showMessage = [this](const QString& text) { boxes_ << text; };
        hooks.showError = [this](const QString& text) { boxes_ << text; };
        hooks.askSaveFileName = [this](QWidget*, const QString&) { return saveAnswer_; };
        InstallDialogHooks(hooks);
    }

    void cleanupTestCase() { ResetDecimalSeparator(); }

    void badInputsThenGoodOnes() {
        TForm1 form;
        SetGoodDates(form);
        form.ui->RadioGroupType->SetItemIndex(2); // Turbo (SG): every edit box is read
        const char* const edits[] = {"EditStrike", "EditMultiplier", "EditVolat",  "EditDivid",
                                     "EditSGMarg", "EditTimeSteps",  "EditXOpen", "EditRate",
                                     "EditWeekEnd"};
        const char* const texts[] = {"", "   ", "abc", "1,2,3", "1e400", "-1e400"};
        for (const char* name : edits) {
            QLineEdit* edit = Edit(form, name);
            QVERIFY2(edit != nullptr, name);
            const QString good = edit->text();
            for (const char* text : texts) {
                boxes_.clear();
                edit->setText(QString::fromLatin1(text));
                form.ButtonCalculateClick();
                QVERIFY2(boxes_.size() == 1, qPrintable(QStringLiteral("%1 = '%2'").arg(name, text)));
                QVERIFY(boxes_.front().contains(edit->text()));
            }
            edit->setText(good);
        }

        for (const char* text : {"99999999999", "100,5"}) {
            boxes_.clear();
            form.ui->EditTimeSteps->setText(QString::fromLatin1(text));
            form.ButtonCalculateClick();
            QCOMPARE(boxes_.size(), 1);
        }
        form.ui->EditTimeSteps->setText("100");

        // Numbers that read well but have no valuation: refused by the engine.
        const QList<QPair<const char*, const char*>> refused = {
            {"EditStrike", "0"},        {"EditStrike", "-15"},      {"EditStrike", "1e308"},
            {"EditMultiplier", "0"},    {"EditMultiplier", "-0,2"}, {"EditVolat", "0"},
            {"EditVolat", "-30"},       {"EditVolat", "1e200"},     {"EditTimeSteps", "0"},
            {"EditTimeSteps", "-100"},  {"EditTimeSteps", "2000000000"}, {"EditXOpen", "0"},
            {"EditXOpen", "-10"},       {"EditXOpen", "150"},       {"EditRate", "-100"},
            {"EditRate", "-250"},       {"EditWeekEnd", "-2"},      {"EditWeekEnd", "1e300"}};
        for (const auto& [name, text] : refused) {
            QLineEdit* edit = Edit(form, name);
            const QString good = edit->text();
            boxes_.clear();
            edit->setText(QString::fromLatin1(text));
            form.ButtonCalculateClick();
            QVERIFY2(boxes_.size() == 1, qPrintable(QStringLiteral("%1 = '%2'").arg(name, text)));
            QVERIFY2(boxes_.front().startsWith(QStringLiteral("Laskenta keskeytyi: ")),
                     qPrintable(boxes_.front()));
            edit->setText(good);
        }

        boxes_.clear();
        form.ButtonCalculateClick();
        QCOMPARE(boxes_, QStringList());
        TForm1 fresh;
        SetGoodDates(fresh);
        fresh.ui->RadioGroupType->SetItemIndex(2);
        fresh.ButtonCalculateClick();
        QCOMPARE(form.ui->Memo1->toPlainText(), fresh.ui->Memo1->toPlainText());
        QCOMPARE(form.ui->Memo1->document()->blockCount(), fresh.Grid().NodeCount);
    }

    void unwritableFilesAreReportedAndLaterSavesWork() {
        TForm1 form;
        SetGoodDates(form);
        form.ButtonCalculateClick();

        const QString readOnly = dir_.filePath("readonly.txt");
        QFile(readOnly).open(QIODevice::WriteOnly);
        bool immutable = false;
        if (geteuid() == 0) // root writes through permission bits
            immutable = QProcess::execute("chattr", {"+i", readOnly}) == 0;
        else
            QFile::setPermissions(readOnly, QFile::ReadOwner);

        QStringList names = {dir_.filePath("missing/folder/out.txt"), dir_.path(), "/dev/full"};
        if (immutable || geteuid() != 0) names << readOnly;
        for (const QString& name : names) {
            boxes_.clear();
            saveAnswer_ = name;
            form.Tallennatulokset1Click();
            QVERIFY2(boxes_.size() == 1, qPrintable(name));
            QVERIFY(boxes_.front().contains(QStringLiteral("\"%1\"").arg(name)));
        }
        if (immutable) QProcess::execute("chattr", {"-i", readOnly});

        boxes_.clear();
        const QString good = dir_.filePath("good.txt");
        saveAnswer_ = good;
        form.Tallennatulokset1Click();
        QCOMPARE(boxes_, QStringList());
        const QByteArray bytes = ReadAll(good);
        QCOMPARE(bytes.count("\r\n"), form.Grid().NodeCount + 1);
        QVERIFY(bytes.startsWith("Share\tPresent\t"));
    }
};

QTEST_MAIN(AbuseTest)
#include "AbuseTest.moc"
