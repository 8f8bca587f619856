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

using namespace kelvaro;

// State: a dialog with two types, PNG and all files. Action: answers in turn
// (a name with the type offered, cancel, names typed with and without an
// extension under each type, an empty name). Expected: the name and type
// chosen last are offered again and survive a cancel; only a name without
// any extension gets the chosen type's.
TEST(DialogHooks, SaveDialogOffersTypesAndAddsTheExtension)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 0;
    QApplication app(argc, nullptr);  // for the parent widget
    QWidget window;
    struct Step {
        std::optional<SaveAnswer> answer;
        QString offered;   // the name the dialog is asked with
        int offeredFilter;
        QString name;      // GetFileName() afterwards
    };
    const std::vector<Step> steps = {
        {SaveAnswer{"/tmp/a", 0}, "", 0, "/tmp/a.png"},
        {std::nullopt, "/tmp/a.png", 0, "/tmp/a.png"},
        {SaveAnswer{"/tmp/b.PNG", 0}, "/tmp/a.png", 0, "/tmp/b.PNG"},
        {SaveAnswer{"/tmp/kuva.v2", 0}, "/tmp/b.PNG", 0, "/tmp/kuva.v2"},
        {SaveAnswer{"/tmp.d/c", 1}, "/tmp/kuva.v2", 0, "/tmp.d/c"},
        {SaveAnswer{"", 0}, "/tmp.d/c", 1, ""},
        {SaveAnswer{"/tmp/d", 7}, "", 0, "/tmp/d"},  // a type not offered adds nothing
    };
    std::size_t asked = 0;
    const auto ask = [&](const SaveRequest& request) {
        EXPECT_EQ(request.parent, &window);
        EXPECT_EQ(request.filters, QStringList({"PNG-kuva (*.png)", "Kaikki tiedostot (*)"}));
        const Step& step = steps.at(asked++);
        EXPECT_EQ(request.previous, step.offered) << asked;
        EXPECT_EQ(request.filter, step.offeredFilter) << asked;
        return step.answer;
    };
    const DialogHooks previous = InstallDialogHooks({{}, {}, ask, {}});

    TSaveTextFileDialog dialog(&window, {"PNG-kuva (*.png)", "Kaikki tiedostot (*)"});
    for (const Step& step : steps) {
        EXPECT_EQ(dialog.Execute(), step.answer.has_value());
        EXPECT_EQ(dialog.GetFileName(), step.name);
    }
    EXPECT_EQ(asked, steps.size());
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
         [&](const SaveRequest&) { return box(), std::optional<SaveAnswer>(); },
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

// A failure text in kelvaro's form (SaveFailureText's) as the window's box
// shows it: a capital first letter and a full stop, the UTF-8 name intact.
TEST(DialogHooks, FailureTextShownAsASentence)
{
    EXPECT_EQ(SentenceOf("tiedostoa \"/t/ä\" ei voitu avata kirjoittamista varten"),
              QStringLiteral("Tiedostoa \"/t/ä\" ei voitu avata kirjoittamista varten."));
    EXPECT_EQ(SentenceOf(""), QString());
}
