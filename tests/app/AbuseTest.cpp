// The window under abuse: bad inputs one after another in one window, then
// files that cannot be written. Every failure is one box, nothing crashes, and
// the window still calculates and saves exactly as a fresh one.
#include "AppCore.h"
#include "Conversions.h"
#include "WindowFixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <tuple>
#include <unistd.h>

class AbuseTest : public QObject {
    Q_OBJECT

    DialogRecorder boxes_;
    QTemporaryDir dir_;

    // Turbo (SG), so that every edit box is read, and an expiry after the
    // valuation moment, so that only the bad input fails.
    static void SetGoodInputs(TForm1& form) {
        SetMarch1(form);
        form.ui->RadioGroupType->SetItemIndex(kTurboSG);
    }

    // Calculates with one edit box holding `text`, then puts its text back;
    // the one box shown, or an empty text when there were none or several.
    QString Press(TForm1& form, const char* name, const QString& text) {
        QLineEdit* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name));
        if (edit == nullptr) return QString();
        const QString good = edit->text();
        boxes_.Clear();
        edit->setText(text);
        RunCommand(form, &TForm1::ButtonCalculateClick);
        edit->setText(good);
        return boxes_.Boxes().size() == 1 ? boxes_.Boxes().front() : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        SetDecimalSeparator(',');
        boxes_.Install();
    }
    void cleanupTestCase() { ResetDecimalSeparator(); }

    void badInputsThenGoodOnes() {
        TForm1 form;
        SetGoodInputs(form);
        // Texts that are no number of the edit's kind, quoted in the box; then
        // numbers that read well but have no valuation, refused by the engine:
        // at the edge of each range, negative and huge.
        const QStringList junk = {"", "   ", "abc", "1,2,3", "1e400", "-1e400"};
        const std::tuple<const char*, QStringList, QStringList> cases[] = {
            {"EditStrike", junk, {"0", "-15", "1e308"}}, {"EditMultiplier", junk, {"0"}},
            {"EditVolat", junk, {"0", "1e200"}}, {"EditDivid", junk, {}}, {"EditSGMarg", junk, {}},
            {"EditTimeSteps", junk + QStringList{"99999999999", "100,5"}, {"0", "2000000000"}},
            {"EditXOpen", junk, {"0", "150"}}, {"EditRate", junk, {"-100"}},
            {"EditWeekEnd", junk, {"-2", "1e300"}}};
        for (const auto& [name, unreadable, refused] : cases) {
            for (const QString& text : unreadable)
                QVERIFY2(Press(form, name, text).contains('"' + text + '"'),
                         qPrintable(QStringLiteral("%1 = '%2'").arg(name, text)));
            for (const QString& text : refused) {
                const QString box = Press(form, name, text);
                QVERIFY2(box.startsWith(QStringLiteral("Laskenta keskeytyi: ")),
                         qPrintable(QStringLiteral("%1 = '%2': %3").arg(name, text, box)));
            }
        }

        boxes_.Clear();
        RunCommand(form, &TForm1::ButtonCalculateClick);
        QCOMPARE(boxes_.Boxes(), QStringList());
        TForm1 fresh;
        SetGoodInputs(fresh);
        RunCommand(fresh, &TForm1::ButtonCalculateClick);
        QCOMPARE(form.ui->Memo1->toPlainText(), fresh.ui->Memo1->toPlainText());
    }

    void unwritableFilesAreReportedAndLaterSavesWork() {
        TForm1 form;
        SetGoodInputs(form);
        RunCommand(form, &TForm1::ButtonCalculateClick);

        const QString readOnly = dir_.filePath("readonly.txt");
        QFile(readOnly).open(QIODevice::WriteOnly);
        const bool root = geteuid() == 0; // root writes through permission bits
        const bool immutable = root && QProcess::execute("chattr", {"+i", readOnly}) == 0;
        if (!root) QFile::setPermissions(readOnly, QFile::ReadOwner);
        QStringList names = {dir_.filePath("missing/folder/out.txt"), dir_.path(), "/dev/full"};
        if (immutable || !root) names << readOnly;
        for (const QString& name : names) {
            boxes_.Clear();
            boxes_.saveAnswer = name;
            RunCommand(form, &TForm1::Tallennatulokset1Click);
            QVERIFY2(boxes_.Boxes().size() == 1, qPrintable(name));
            QVERIFY(boxes_.Boxes().front().contains(QStringLiteral("\"%1\"").arg(name)));
        }
        if (immutable) QProcess::execute("chattr", {"-i", readOnly});

        boxes_.Clear();
        boxes_.saveAnswer = dir_.filePath("good.txt");
        RunCommand(form, &TForm1::Tallennatulokset1Click);
        QCOMPARE(boxes_.Boxes(), QStringList());
        QCOMPARE(ReadAll(*boxes_.saveAnswer),
                 QByteArray::fromStdString(ResultsFileText(form.Grid(), ',')));
    }
};

QTEST_MAIN(AbuseTest)
#include "AbuseTest.moc"
