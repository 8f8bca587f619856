// The dialog seam: installed hooks answer instead of modal dialogs, and the
// default hooks show real ones (answered here by a watchdog, never left open).
#include "Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct HooksGuard {
    explicit HooksGuard(DialogHooks hooks) : previous(InstallDialogHooks(std::move(hooks))) {}
    ~HooksGuard() { InstallDialogHooks(std::move(previous)); }
    DialogHooks previous;
};

// Answers the next modal dialog. Whatever the answer does, nothing stays open
// longer than a few seconds: a dialog still open then is rejected and the
// test fails.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> answer) : answer_(std::move(answer))
    {
        clock_.start();
        poll_.setInterval(10);
        QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
        poll_.start();
    }
    bool Answered() const { return answered_; }

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && !answered_) {
            answered_ = true;
            answer_(modal);
        } else if (clock_.elapsed() > 5000) {
            poll_.stop();
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                ADD_FAILURE() << "dialog left open";
                dialog->reject();
            }
        }
    }

    std::function<void(QWidget*)> answer_;
    QTimer poll_;
    QElapsedTimer clock_;
    bool answered_ = false;
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
    // State: hooks answer in turn. Action: four Executes. Expected: the name
    // chosen last is offered and kept through a cancel; an empty name counts.
    QWidget window;
    std::vector<std::optional<QString>> answers = {"/tmp/a.tsv", std::nullopt, "/tmp/b.tsv", QString()};
    std::vector<QString> offered;
    std::size_t next = 0;
    HooksGuard guard({nullptr, nullptr, [&](QWidget* parent, const QString& previous) {
                          EXPECT_EQ(parent, &window);
                          offered.push_back(previous);
                          return answers.at(next++);
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

TEST(DefaultDialogs, MessageAndErrorBoxesAreModalWithOk)
{
    struct Seen { QString title, text; QMessageBox::Icon icon; QMessageBox::StandardButtons buttons; };
    auto answerBox = [](Seen& seen) {
        return [&seen](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
            box->button(QMessageBox::Ok)->click();
        };
    };
    Seen message{}, error{};
    {
        ModalAnswerer answerer(answerBox(message));
        ShowMessage("Aika-askel sopiva");
        EXPECT_TRUE(answerer.Answered());
    }
    {
        ModalAnswerer answerer(answerBox(error));
        ShowErrorBox("Virhe");
        EXPECT_TRUE(answerer.Answered());
    }
    EXPECT_EQ(message.title, "Kelvarolaskuri");
    EXPECT_EQ(message.text, "Aika-askel sopiva");
    EXPECT_EQ(message.icon, QMessageBox::NoIcon);
    EXPECT_EQ(message.buttons, QMessageBox::Ok);
    EXPECT_EQ(error.title, "Kelvarolaskuri");
    EXPECT_EQ(error.text, "Virhe");
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    EXPECT_EQ(error.buttons, QMessageBox::Ok);
}

TEST(DefaultDialogs, SaveDialogReturnsTheChosenNameOrNothingOnCancel)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = dir.filePath("edellinen.txt");
    const QString chosen = dir.filePath("tulokset.txt");
    TSaveTextFileDialog dialog;
    {
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* files = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(files, nullptr);
            EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
            files->selectFile(chosen);
            static_cast<QDialog*>(files)->accept(); // protected in QFileDialog
        });
        EXPECT_TRUE(dialog.Execute());
        EXPECT_TRUE(answerer.Answered());
        EXPECT_EQ(QDir::cleanPath(dialog.GetFileName()), QDir::cleanPath(chosen));
    }
    {
        QString offeredDir;
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* files = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(files, nullptr);
            offeredDir = files->directory().absolutePath();
            files->reject();
        });
        EXPECT_FALSE(dialog.Execute());
        EXPECT_TRUE(answerer.Answered());
        EXPECT_EQ(QDir::cleanPath(offeredDir), QDir::cleanPath(dir.path()));
        EXPECT_EQ(QDir::cleanPath(dialog.GetFileName()), QDir::cleanPath(chosen));
    }
    (void)previous;
}
