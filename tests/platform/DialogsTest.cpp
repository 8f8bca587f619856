// The save dialog behind its seam: an installed hook answers instead of a
// modal dialog. The message boxes' hooks serve every window test.
#include "Dialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

TEST(DialogHooks, SaveDialogRemembersTheNameChosenLast)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 0;
    QApplication app(argc, nullptr);  // for the parent widget
    QWidget window;
    // The hook answers a name, cancel, a name, an empty name.
    const std::vector<std::optional<QString>> answers = {"/tmp/a.tsv", std::nullopt, "/tmp/b.tsv",
                                                         QString()};
    std::vector<QString> offered;
    const auto ask = [&](QWidget* parent, const QString& last) {
        EXPECT_EQ(parent, &window);
        offered.push_back(last);
        return answers.at(offered.size() - 1);
    };
    const DialogHooks previous = InstallDialogHooks({{}, {}, ask, {}});

    // The name chosen last is offered again and survives a cancel.
    TSaveTextFileDialog dialog(&window);
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.GetFileName(), "/tmp/a.tsv");
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.GetFileName(), "/tmp/a.tsv");
    EXPECT_TRUE(dialog.Execute());
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.GetFileName(), "");
    EXPECT_EQ(offered, (std::vector<QString>{"", "/tmp/a.tsv", "/tmp/a.tsv", "/tmp/b.tsv"}));
    InstallDialogHooks(previous);
}

// A box that takes the focus away and closes, as a modal box does under a
// display without a window manager: each kind of box hands the focus back to
// the field that had it, and a field deleted meanwhile is left alone.
TEST(DialogHooks, EveryBoxGivesTheFocusBack)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 0;
    QApplication app(argc, nullptr);
    QWidget window;
    auto* field = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    QApplication::setActiveWindow(&window);
    QPointer<QLineEdit> deleteMe;

    // Stands in for the modal box: its own window takes the focus and closes,
    // and Qt leaves the focus on another field of the window.
    const auto stealFocus = [&] {
        QWidget box;
        auto* boxField = new QLineEdit(&box);
        box.show();
        QApplication::setActiveWindow(&box);
        boxField->setFocus();
        EXPECT_EQ(QApplication::focusWidget(), boxField);
        box.close();
        QApplication::setActiveWindow(&window);
        other->setFocus();
        delete deleteMe.data();
    };
    const DialogHooks previous = InstallDialogHooks(
        {[&](const QString&) { stealFocus(); }, [&](const QString&) { stealFocus(); },
         [&](QWidget*, const QString&) -> std::optional<QString> {
             stealFocus();
             return std::nullopt;
         },
         [&](const QString&) {
             stealFocus();
             return true;
         }});
    TSaveTextFileDialog save(&window);
    const std::vector<std::pair<const char*, std::function<void()>>> boxes = {
        {"ShowMessage", [] { ShowMessage("a"); }},
        {"ShowErrorBox", [] { ShowErrorBox("a"); }},
        {"AskYesNo", [] { AskYesNo("a"); }},
        {"save dialog", [&] { save.Execute(); }},
    };
    for (const auto& [name, open] : boxes) {
        SCOPED_TRACE(name);
        field->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), field);
        open();
        EXPECT_EQ(QApplication::focusWidget(), field);
        EXPECT_EQ(QApplication::activeWindow(), &window);
    }

    // The field that had the focus dies while the box is open.
    deleteMe = new QLineEdit(&window);
    deleteMe->show();
    deleteMe->setFocus();
    ShowMessage("a");
    EXPECT_TRUE(deleteMe.isNull());
    EXPECT_EQ(QApplication::focusWidget(), other);
    InstallDialogHooks(previous);
}
