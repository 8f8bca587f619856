// The dialog seam: installed hooks answer instead of modal dialogs; the
// default hooks show real ones, answered here by a watchdog.
#include "Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct HooksGuard {
    explicit HooksGuard(DialogHooks hooks) : previous(InstallDialogHooks(std::move(hooks))) {}
    ~HooksGuard() { InstallDialogHooks(std::move(previous)); }
    DialogHooks previous;
};

// Hands the next modal dialog to `answer`; one still open after 5 s is
// rejected and fails the test, so nothing can hang.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> answer)
    {
        clock_.start();
        QObject::connect(&poll_, &QTimer::timeout, [this, answer] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (modal != nullptr && !answered_) {
                answered_ = true;
                answer(modal);
            } else if (clock_.elapsed() > 5000) {
                poll_.stop();
                if (modal != nullptr) {
                    ADD_FAILURE() << "dialog left open";
                    modal->reject();
                }
            }
        });
        poll_.start(10);
    }
    bool answered_ = false;

private:
    QTimer poll_;
    QElapsedTimer clock_;
};

} // namespace

TEST(DialogHooks, InstalledHooksReceiveMessagesAndErrors)
{
    std::vector<QString> messages, errors;
    HooksGuard guard({[&](const QString& t) { messages.push_back(t); },
                      [&](const QString& t) { errors.push_back(t); }, nullptr});
    ShowMessage("Parametrit virheellisiä, Laskenta peruttu");
    ShowErrorBox("'abc' ei ole kelvollinen liukuluku");
    EXPECT_EQ(messages, std::vector<QString>{"Parametrit virheellisiä, Laskenta peruttu"});
    EXPECT_EQ(errors, std::vector<QString>{"'abc' ei ole kelvollinen liukuluku"});
}

TEST(SaveTextFileDialog, OffersTheLastNameAndKeepsItOnCancel)
{
    // State: the hook answers a name, cancel, a name, an empty name.
    // Expected: the name chosen last is offered again and survives a cancel.
    QWidget window;
    const std::vector<std::optional<QString>> answers = {"/tmp/a.tsv", std::nullopt, "/tmp/b.tsv",
                                                         QString()};
    std::vector<QString> offered;
    HooksGuard guard({nullptr, nullptr, [&](QWidget* parent, const QString& previous) {
                          EXPECT_EQ(parent, &window);
                          offered.push_back(previous);
                          return answers.at(offered.size() - 1);
                      }});
    TSaveTextFileDialog dialog(&window);
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.GetFileName(), "/tmp/a.tsv");
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.GetFileName(), "/tmp/a.tsv");
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.GetFileName(), "");
    EXPECT_EQ(offered, (std::vector<QString>{"", "/tmp/a.tsv", "/tmp/a.tsv", "/tmp/b.tsv"}));
}

TEST(DefaultDialogs, MessageAndErrorBoxesCarryTheCaptionAndOk)
{
    struct Case { void (*show)(const QString&); QMessageBox::Icon icon; };
    const Case cases[] = {{ShowMessage, QMessageBox::NoIcon},
                          {ShowErrorBox, QMessageBox::Critical}};
    for (const Case& c : cases) {
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), "Kelvarolaskuri");
            EXPECT_EQ(box->text(), "Aika-askel sopiva");
            EXPECT_EQ(box->icon(), c.icon);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        });
        c.show("Aika-askel sopiva");
        EXPECT_TRUE(answerer.answered_);
    }
}

TEST(DefaultDialogs, SaveDialogGivesTheChosenNameOrNothingOnCancel)
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath("tulokset.txt");
    TSaveTextFileDialog dialog;
    ModalAnswerer save([&](QWidget* modal) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
        files->selectFile(chosen);
        static_cast<QDialog*>(files)->accept(); // protected in QFileDialog
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(QDir::cleanPath(dialog.GetFileName()), QDir::cleanPath(chosen));

    QString offeredDir;
    ModalAnswerer cancel([&](QWidget* modal) {
        offeredDir = static_cast<QFileDialog*>(modal)->directory().absolutePath();
        static_cast<QDialog*>(modal)->reject();
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(QDir::cleanPath(offeredDir), QDir::cleanPath(dir.path()));
    EXPECT_EQ(QDir::cleanPath(dialog.GetFileName()), QDir::cleanPath(chosen));
}
