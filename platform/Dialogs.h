// Modal boxes and the save dialog, behind a seam that tests replace so that
// nothing modal ever blocks them.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QWidget;

// One entry of a save dialog's type list: its text ("PNG-kuva (*.png)") and
// the extension added to a name typed without one ("" adds none).
struct SaveFilter {
    QString text;
    QString extension;
};

// What the save dialog is asked: the name chosen last is offered again, with
// the type list and the entry chosen last (an index into `filters`, which
// may be empty).
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

void ShowMessage(const QString& text);
void ShowErrorBox(const QString& text);
bool AskYesNo(const QString& text);

// A save dialog: offers its file types and remembers the name and type
// chosen last. A name typed without an extension gets the chosen type's.
class TSaveTextFileDialog {
public:
    explicit TSaveTextFileDialog(QWidget* parent = nullptr, std::vector<SaveFilter> filters = {})
        : parent_(parent), filters_(std::move(filters)) {}
    // Shows the dialog; true when the user confirmed a name.
    bool Execute();
    QString GetFileName() const { return fileName_; }
    // The index of the type chosen last.
    int GetFilter() const { return filter_; }

private:
    QWidget* parent_;
    std::vector<SaveFilter> filters_;
    QString fileName_;
    int filter_ = 0;
};
