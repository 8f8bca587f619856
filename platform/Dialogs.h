// Modal boxes and the save dialog, behind a seam that tests replace so that
// nothing modal ever blocks them.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

struct DialogHooks {
    // The plain message box with an OK button.
    std::function<void(const QString& text)> showMessage;
    // The error box for a command that failed.
    std::function<void(const QString& text)> showError;
    // Asks for a file name to save to; nullopt when the user cancels.
    // `previous` is the name chosen last, offered again.
    std::function<std::optional<QString>(QWidget* parent, const QString& previous)> askSaveFileName;
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

void ShowMessage(const QString& text);
void ShowErrorBox(const QString& text);
bool AskYesNo(const QString& text);

// The window's save dialog: remembers the name chosen last.
class TSaveTextFileDialog {
public:
    explicit TSaveTextFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
    // Shows the dialog; true when the user confirmed a name.
    bool Execute();
    QString GetFileName() const { return fileName_; }

private:
    QWidget* parent_;
    QString fileName_;
};
