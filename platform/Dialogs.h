// Modal boxes and the save dialog, behind a seam that tests replace so that
// nothing modal ever blocks them.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

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
