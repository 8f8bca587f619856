#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <utility>

namespace {

QString Caption() {
    return QStringLiteral("Kelvarolaskuri");
}

void DefaultShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, Caption(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void DefaultShowError(const QString& text) {
    QMessageBox::critical(QApplication::activeWindow(), Caption(), text);
}

std::optional<QString> DefaultAskSaveFileName(QWidget* parent, const QString& previous) {
    const QString name = QFileDialog::getSaveFileName(parent, QString(), previous);
    // The dialog gives an empty name only when cancelled.
    if (name.isEmpty()) return std::nullopt;
    return name;
}

bool DefaultAskYesNo(const QString& text) {
    return QMessageBox::question(QApplication::activeWindow(), Caption(), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

DialogHooks DefaultHooks() {
    return DialogHooks{DefaultShowMessage, DefaultShowError, DefaultAskSaveFileName,
                       DefaultAskYesNo};
}

} // namespace

DialogHooks& Dialogs() {
    static DialogHooks hooks = DefaultHooks();
    return hooks;
}

DialogHooks InstallDialogHooks(DialogHooks hooks) {
    return std::exchange(Dialogs(), std::move(hooks));
}

// A hook left empty keeps the real dialog, so a test may replace just one.
void ShowMessage(const QString& text) {
    auto& hook = Dialogs().showMessage;
    hook ? hook(text) : DefaultShowMessage(text);
}

void ShowErrorBox(const QString& text) {
    auto& hook = Dialogs().showError;
    hook ? hook(text) : DefaultShowError(text);
}

bool AskYesNo(const QString& text) {
    auto& hook = Dialogs().askYesNo;
    return hook ? hook(text) : DefaultAskYesNo(text);
}

bool TSaveTextFileDialog::Execute() {
    auto& hook = Dialogs().askSaveFileName;
    const std::optional<QString> chosen =
        hook ? hook(parent_, fileName_) : DefaultAskSaveFileName(parent_, fileName_);
    if (!chosen) return false;
    fileName_ = *chosen;
    return true;
}
