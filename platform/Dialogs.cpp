#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

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

FocusKeeper::FocusKeeper() : widget_(QApplication::focusWidget()) {}

// Without a window manager nobody hands the focus back when a modal box
// closes, and typing would go wherever Qt happens to put it.
FocusKeeper::~FocusKeeper() {
    QWidget* widget = widget_.data();
    if (!widget || QApplication::focusWidget() == widget) return;
    if (!widget->isVisible() || !widget->isEnabled()) return;
    QWidget* window = widget->window();
    if (QApplication::activeWindow() != window) {
        window->activateWindow();
        QApplication::setActiveWindow(window);
    }
    widget->setFocus(Qt::PopupFocusReason);
}

DialogHooks& Dialogs() {
    static DialogHooks hooks = DefaultHooks();
    return hooks;
}

DialogHooks InstallDialogHooks(DialogHooks hooks) {
    return std::exchange(Dialogs(), std::move(hooks));
}

// A hook left empty keeps the real dialog, so a test may replace just one.
void ShowMessage(const QString& text) {
    const FocusKeeper focus;
    auto& hook = Dialogs().showMessage;
    hook ? hook(text) : DefaultShowMessage(text);
}

void ShowErrorBox(const QString& text) {
    const FocusKeeper focus;
    auto& hook = Dialogs().showError;
    hook ? hook(text) : DefaultShowError(text);
}

bool AskYesNo(const QString& text) {
    const FocusKeeper focus;
    auto& hook = Dialogs().askYesNo;
    return hook ? hook(text) : DefaultAskYesNo(text);
}

bool TSaveTextFileDialog::Execute() {
    const FocusKeeper focus;
    auto& hook = Dialogs().askSaveFileName;
    const std::optional<QString> chosen =
        hook ? hook(parent_, fileName_) : DefaultAskSaveFileName(parent_, fileName_);
    if (!chosen) return false;
    fileName_ = *chosen;
    return true;
}
