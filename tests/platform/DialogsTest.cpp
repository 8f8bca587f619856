// The dialog seam: installed hooks answer instead of modal dialogs.
#include "Dialogs.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

TEST(DialogHooks, RecordMessagesAndAnswerTheSaveDialog)
{
    // The hook answers a name, cancel, a name, an empty name.
    QWidget window;
    const std::vector<std::optional<QString>> answers = {"/tmp/a.tsv", std::nullopt, "/tmp/b.tsv",
                                                         QString()};
    std::vector<QString> messages, errors, offered;
    const DialogHooks previous = InstallDialogHooks(
        {[&](const QString& t) { messages.push_back(t); },
         [&](const QString& t) { errors.push_back(t); },
         [&](QWidget* parent, const QString& last) {
             EXPECT_EQ(parent, &window);
             offered.push_back(last);
             return answers.at(offered.size() - 1);
         }});
    ShowMessage("Parametrit virheellisiä, Laskenta peruttu");
    ShowErrorBox("'abc' ei ole kelvollinen liukuluku");
    EXPECT_EQ(messages, std::vector<QString>{"Parametrit virheellisiä, Laskenta peruttu"});
    EXPECT_EQ(errors, std::vector<QString>{"'abc' ei ole kelvollinen liukuluku"});

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
