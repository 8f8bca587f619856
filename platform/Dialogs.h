// Modal boxes and the save dialog, behind a seam that tests replace so that
// nothing modal ever blocks them.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

namespace kelvaro {

// What the save dialog is asked: the name chosen last is offered again, with
// the type list ("PNG-kuva (*.png)", "Kaikki tiedostot (*)"; may be empty)
// and the entry chosen last, an index into it.
struct SaveRequest {
    QWidget* parent = nullptr;
    QString previous;
    QStringList filters;
    int filter = 0;
};
// The name as the user typed or picked it and the type chosen.
struct SaveAnswer {
    QString name;
    int filter = 0;
};

struct DialogHooks {
    // The plain message box with an OK button.
    std::function<void(const QString& text)> showMessage;
    // The error box for a command that failed.
    std::function<void(const QString& text)> showError;
    // Asks for a file name to save to; nullopt when the user cancels.
    std::function<std::optional<SaveAnswer>(const SaveRequest& request)> askSaveFileName;
    // A question with Yes and No; true for Yes.
    std::function<bool(const QString& text)> askYesNo;
};

// The hooks in force; by default real modal Qt dialogs.
DialogHooks& Dialogs();
// Replaces the hooks (tests); returns the previous ones.
DialogHooks InstallDialogHooks(DialogHooks hooks);

// Remembers the widget that has the keyboard focus and gives the focus back
// to it when destroyed, unless the widget has gone or hidden meanwhile. Every
// box below keeps one around its modal loop.
class FocusKeeper {
public:
    FocusKeeper();
    ~FocusKeeper();
    FocusKeeper(const FocusKeeper&) = delete;
    FocusKeeper& operator=(const FocusKeeper&) = delete;

private:
    QPointer<QWidget> widget_;
};

// What the open dialog is asked: an existing file to read.
struct OpenRequest {
    QWidget* parent = nullptr;
    QString title;
    QStringList filters;
    QString folder; // where the dialog starts; empty for the current folder
};
using OpenFileHook = std::function<std::optional<QString>(const OpenRequest& request)>;
// Replaces the open dialog (tests; empty for the real one); returns the
// previous hook.
OpenFileHook InstallOpenFileHook(OpenFileHook hook);
// Asks for a file to read; nullopt when the user cancels.
std::optional<QString> AskOpenFileName(const OpenRequest& request);

void ShowMessage(const QString& text);
void ShowErrorBox(const QString& text);
bool AskYesNo(const QString& text);

// A message in kelvaro's form (UTF-8, starting in lower case, no full stop,
// as SaveFailureText gives it) as a sentence for a box.
QString SentenceOf(std::string_view message);

// A save dialog: offers its file types and remembers the name and type
// chosen last. A name typed without an extension gets the chosen type's
// ("kuva" under "PNG-kuva (*.png)" becomes "kuva.png"; "(*)" adds none).
class TSaveTextFileDialog {
public:
    explicit TSaveTextFileDialog(QWidget* parent = nullptr, QStringList filters = {})
        : parent_(parent), filters_(std::move(filters)) {}
    // Shows the dialog; true when the user confirmed a name.
    bool Execute();
    QString GetFileName() const { return fileName_; }
    // The name (or a folder ending in '/') the next Execute offers.
    void SetFileName(const QString& name) { fileName_ = name; }
    // The index of the type chosen last.
    int GetFilter() const { return filter_; }

private:
    QWidget* parent_;
    QStringList filters_;
    QString fileName_;
    int filter_ = 0;
};

} // namespace kelvaro
