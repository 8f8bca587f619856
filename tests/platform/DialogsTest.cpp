// The save dialog behind its seam: an installed hook answers instead of a
// modal dialog. The message boxes' hooks serve every window test.
#include "Dialogs.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

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
