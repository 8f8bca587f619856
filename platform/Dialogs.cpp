#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace kelvaro {

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

// The extension of a type list entry: "PNG-kuva (*.png)" gives "png".
QString FilterExtension(const QString& filter) {
    const qsizetype star = filter.lastIndexOf(QStringLiteral("(*."));
    if (star < 0 || !filter.endsWith(')')) return {};
    return filter.mid(star + 3, filter.size() - star - 4);
}

std::optional<SaveAnswer> DefaultAskSaveFileName(const SaveRequest& request) {
    QFileDialog dialog(request.parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.filters.isEmpty()) {
        dialog.setNameFilters(request.filters);
        const QString chosen = request.filters.value(request.filter, request.filters.front());
        dialog.selectNameFilter(chosen);
        // The dialog adds it itself, so that it asks before replacing the
        // file of the full name.
        dialog.setDefaultSuffix(FilterExtension(chosen));
        QObject::connect(
            &dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog](const QString& filter) { dialog.setDefaultSuffix(FilterExtension(filter)); });
    }
    if (!request.previous.isEmpty()) dialog.selectFile(request.previous);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString name = dialog.selectedFiles().front();
    // The dialog gives an empty name only when cancelled.
    if (name.isEmpty()) return std::nullopt;
    return SaveAnswer{name, static_cast<int>(std::max<qsizetype>(
                                0, request.filters.indexOf(dialog.selectedNameFilter())))};
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

namespace {

OpenFileHook& OpenHook() {
    static OpenFileHook hook;
    return hook;
}

} // namespace

OpenFileHook InstallOpenFileHook(OpenFileHook hook) {
    return std::exchange(OpenHook(), std::move(hook));
}

std::optional<QString> AskOpenFileName(const OpenRequest& request) {
    const FocusKeeper focus;
    if (OpenHook()) return OpenHook()(request);
    const QString name = QFileDialog::getOpenFileName(request.parent, request.title, request.folder,
                                                      request.filters.join(QStringLiteral(";;")));
    if (name.isEmpty()) return std::nullopt;
    return name;
}

QString SentenceOf(std::string_view message) {
    QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    if (text.isEmpty()) return text;
    text[0] = text[0].toUpper();
    return text + '.';
}

bool TSaveTextFileDialog::Execute() {
    const FocusKeeper focus;
    const SaveRequest request{parent_, fileName_, filters_, filter_};
    auto& hook = Dialogs().askSaveFileName;
    const std::optional<SaveAnswer> chosen = hook ? hook(request) : DefaultAskSaveFileName(request);
    if (!chosen) return false;
    fileName_ = chosen->name;
    if (chosen->filter >= 0 && chosen->filter < filters_.size()) {
        filter_ = chosen->filter;
        // Only a name without any extension gets one: "kuva" becomes
        // "kuva.png", "kuva.v2" and "" stay as typed.
        const QString leaf = fileName_.section('/', -1);
        const QString extension = FilterExtension(filters_[filter_]);
        if (!leaf.isEmpty() && !leaf.contains('.') && !extension.isEmpty())
            fileName_ += '.' + extension;
    }
    return true;
}

} // namespace kelvaro
