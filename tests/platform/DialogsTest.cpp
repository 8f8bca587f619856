// The save dialog behind its seam: an installed hook answers instead of a
// modal dialog. The message boxes' hooks serve every window test.
#include "Dialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
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
    window.show();
    QApplication::setActiveWindow(&window);
    QPointer<QLineEdit> dies;

    // Stands in for the modal box: its own window takes the focus and
    // closes, and the focus lands on another field.
    const auto box = [&] {
        QLineEdit modal;
        modal.show();
        QApplication::setActiveWindow(&modal);
        modal.setFocus();
        EXPECT_EQ(QApplication::focusWidget(), &modal);
        modal.close();
        QApplication::setActiveWindow(&window);
        other->setFocus();
        delete dies.data();
    };
    const DialogHooks previous = InstallDialogHooks(
        {[&](const QString&) { box(); }, [&](const QString&) { box(); },
         [&](QWidget*, const QString&) { return box(), std::optional<QString>(); },
         [&](const QString&) { return box(), true; }});
    TSaveTextFileDialog save(&window);
    const std::function<void()> boxes[] = {[] { ShowMessage("a"); }, [] { ShowErrorBox("a"); },
                                           [] { AskYesNo("a"); }, [&] { save.Execute(); }};
    for (std::size_t i = 0; i < std::size(boxes); ++i) {
        SCOPED_TRACE(i);
        field->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), field);
        boxes[i]();
        EXPECT_EQ(QApplication::focusWidget(), field);
        EXPECT_EQ(QApplication::activeWindow(), &window);
    }

    dies = new QLineEdit(&window);
    dies->show();
    dies->setFocus();
    ShowMessage("a");
    EXPECT_TRUE(dies.isNull());
    EXPECT_EQ(QApplication::focusWidget(), other);
    InstallDialogHooks(previous);
}
