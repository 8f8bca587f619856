// The window and its commands, and the chart and scenario windows it opens
// (on the worked example), with the dialogs answered by hooks.
#include "ChartWindow.h"
#include "FiguresWindow.h"
#include "GridCsv.h"
#include "Conversions.h"
#include "ScenarioText.h"
#include "ScenarioWindow.h"
#include "TestGrids.h"
#include "ValueChart.h"
#include "Translations.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

using namespace kelvaro;

class WindowTest : public QObject {
    Q_OBJECT

    DialogRecorder boxes_;
    QTemporaryDir dir_;
    CGrid grid_ = Valued(WorkedExample());

    // Types the scenario table's price range and applies it.
    static void ApplyPrices(ScenarioWindow& window, const QString& first, const QString& last, const QString& step) {
        window.EditFirst->setText(first);
        window.EditLast->setText(last);
        window.EditStep->setText(step);
        window.Apply();
    }

    // A new window, at the worked example's valuation moment if asked.
    std::unique_ptr<TForm1> NewForm(bool march1 = false) {
        boxes_.Clear();
        auto form = std::make_unique<TForm1>();
        if (march1) SetMarch1(*form);
        return form;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        boxes_.Install();
    }
    void init() {
        SetDecimalSeparator(',');
        boxes_.Clear();
        boxes_.saveFilter = -1;
    }
    void cleanupTestCase() { ResetDecimalSeparator(); }

    void startupState() {
        for (const char separator : {',', '.'}) {
            SetDecimalSeparator(separator);
            auto form = NewForm();
            Ui::TForm1& ui = *form->ui;
            QCOMPARE(ui.DateNow->dateTime(), QDateTime(QDate::currentDate(), QTime(10, 0)));

            // The defaults, shown with either separator, read without an error, and
            // a picked date keeps the expiry's 18:20 (ctest runs this in a zone
            // with summer time too).
            ui.RadioGroupType->SetItemIndex(kTurboSG);
            ui.DateExpiry->setDate(QDate(2006, 5, 15));
            form->ReadInputs();
            QCOMPARE(form->Inputs().Warrant.Expiry, 38852.76388888889);
            QCOMPARE(boxes_.Boxes(), QStringList());
        }
    }

    void checkThenCalculate() {
        auto form = NewForm(true);
        Ui::TForm1& ui = *form->ui;
        RunCommand(*form, &TForm1::Button1Click);  // the check alone lists nothing
        QCOMPARE(boxes_.messages, QStringList{QStringLiteral(
            "Aika-askel sopiva suhteessa pörssiarvon askeleeseen Muutostodennäköisyys "
            "askeleella = 0,5002")});
        QVERIFY(ui.Memo1->toPlainText().isEmpty());

        boxes_.Clear();
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        QCOMPARE(boxes_.Boxes(), QStringList());
        QCOMPARE(form->Grid().NodeCount, 1021);
        const auto outputs = [&ui] {
            return ui.EditPriceSteps->text() + ' ' + ui.EditPriceMin->text() + ' ' +
                   ui.EditPriceMax->text();
        };
        QCOMPARE(outputs(), QStringLiteral("1021 4,834 46,54"));
        QCOMPARE(ui.EditPriceMax->toolTip(), QStringLiteral("46,54358922"));
        const QString listing = ui.Memo1->toPlainText();
        const QStringList lines = listing.split('\n');
        QCOMPARE(lines.size(), 1021);
        QCOMPARE(lines[0], QStringLiteral("   1     4.834     0.000"));
        QCOMPARE(lines[510], QStringLiteral(" 511    15.000     0.142"));

        // Again: the listing is replaced, not appended to.
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        QCOMPARE(ui.Memo1->toPlainText(), listing);

        // A rejected range afterwards leaves every output as it was.
        ui.DateNow->setDate(QDate(2006, 4, 22));
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        QCOMPARE(boxes_.messages.last(),
                 QStringLiteral("Parametrit virheellisiä, Laskenta peruttu\n"
                                "Päättymispäivä on ennen laskentapäivää"));
        QCOMPARE(ui.Memo1->toPlainText(), listing);
        QCOMPARE(outputs(), QStringLiteral("1021 4,834 46,54"));
        QCOMPARE(form->Grid().NodeCount, 1021);
        RunCommand(*form, &TForm1::Button1Click);
        QCOMPARE(boxes_.messages.last(), QStringLiteral("Parametrit virheellisiä.\n"
                                                        "Päättymispäivä on ennen laskentapäivää"));
        QCOMPARE(boxes_.Boxes().size(), 2);
    }

    void saveResults() {
        auto form = NewForm();
        const QString path = dir_.filePath("tulokset.txt");
        boxes_.saveAnswer.reset();
        RunCommand(*form, &TForm1::Tallennatulokset1Click);
        QVERIFY(!QFile::exists(path));

        boxes_.saveAnswer = path;
        RunCommand(*form, &TForm1::Tallennatulokset1Click);
        QCOMPARE(ReadAll(path), QByteArray("Share\tPresent\t"));

        // Over a longer file, nothing of it is left behind.
        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4 << 20, 'x')) > 0);
        junk.close();
        SetMarch1(*form);
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        RunCommand(*form, &TForm1::Tallennatulokset1Click);
        QCOMPARE(ReadAll(path), ResultsFile(form->Grid()));
        QCOMPARE(boxes_.Boxes(), QStringList());

        // Vie arvotaulukko: the CSV filter's extension added, the grid's CSV saved.
        boxes_.saveAnswer = dir_.filePath("taulukko");
        RunCommand(*form, &TForm1::ExportGridClick);
        std::string csv;
        ProduceGridCsv(form->Grid(), [&csv](std::string_view block) { return csv.append(block), true; });
        QCOMPARE(ReadAll(dir_.filePath("taulukko.csv")), QByteArray::fromStdString(csv));
        QCOMPARE(boxes_.Boxes(), QStringList());
    }

    // Bad inputs, then a file that cannot be written, one after another in one
    // window: every failure is one box (a field that is no number named in
    // it), nothing valued, and the window then calculates and saves exactly as
    // a fresh one. Every field goes through the same two readers and the
    // engine's own checks: one of each stands for all.
    void failuresLeaveTheWindowAsFresh() {
        auto form = NewForm(true);
        Ui::TForm1& ui = *form->ui;
        ui.RadioGroupType->SetItemIndex(kTurboSG);  // every edit box is read
        // The whole box, or (a leading quote) a part of it, or (a trailing
        // ": ") its start.
        const struct { QLineEdit* edit; QString text, box; } cases[] = {
            {ui.EditStrike, "", "Virheellinen luku kentässä \"Toteutushinta\": \"\""},
            {ui.EditSGMarg, "abc", "Virheellinen luku kentässä \"SG:n knock-out marg\": \"abc\""},
            {ui.EditTimeSteps, "100,5", "Virheellinen kokonaisluku kentässä \"Aika-askelia päivässä\": \"100,5\""},
            {ui.EditWeekEnd, "1e400", "\"1e400\""}, {ui.EditTimeSteps, "99999999999", "\"99999999999\""},
            {ui.EditStrike, "1e308", "Laskenta keskeytyi: "}, {ui.EditTimeSteps, "2000000000", "Laskenta keskeytyi: "}};
        for (const auto& [edit, text, expected] : cases) {
            const QString good = edit->text();
            boxes_.Clear();
            edit->setText(text);
            RunCommand(*form, &TForm1::ButtonCalculateClick);
            edit->setText(good);
            const QString box = boxes_.errors.value(0);
            QVERIFY2(boxes_.Boxes().size() == 1 && !form->Grid().Allocated &&
                         (expected.startsWith('"')    ? box.contains(expected)
                          : expected.endsWith(": ") ? box.startsWith(expected)
                                                    : box == expected),
                     qPrintable(QStringLiteral("%1 = '%2': %3").arg(edit->objectName(), text, box)));
        }
        // A file that cannot be written (its causes: SaveTest).
        boxes_.Clear();
        boxes_.saveAnswer = dir_.filePath("missing/folder/out.txt");
        RunCommand(*form, &TForm1::Tallennatulokset1Click);
        QCOMPARE(boxes_.Boxes().size(), 1);
        QVERIFY(boxes_.Boxes().front().contains('"' + *boxes_.saveAnswer + '"'));

        boxes_.Clear();
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        // A name typed without an extension gets the chosen type's.
        boxes_.saveAnswer = dir_.filePath("after");
        RunCommand(*form, &TForm1::Tallennatulokset1Click);
        QCOMPARE(boxes_.Boxes(), QStringList());
        QCOMPARE(boxes_.saveAsked.filters,
                 QStringList({"Tulostiedosto (*.txt)", "Kaikki tiedostot (*)"}));
        QCOMPARE(ReadAll(*boxes_.saveAnswer + ".txt"), ResultsFile(form->Grid()));
        TForm1 fresh;
        SetMarch1(fresh);
        fresh.ui->RadioGroupType->SetItemIndex(kTurboSG);
        RunCommand(fresh, &TForm1::ButtonCalculateClick);
        QCOMPARE(ui.Memo1->toPlainText(), fresh.ui->Memo1->toPlainText());
        // Only Turbo (SG) reads its margin: elsewhere a bad one is no error.
        ui.EditSGMarg->setText("ei luku");
        for (const int type : {kNormal, kTurboSHB}) {
            ui.RadioGroupType->SetItemIndex(type);
            RunCommand(*form, &TForm1::ButtonCalculateClick);
        }
        QCOMPARE(boxes_.Boxes(), QStringList());
    }

    // State: a valuation by Enter in an input, saved by Ctrl+S. Action: a
    // long valuation, then cancel. Expected: events flow meanwhile; listing,
    // outputs and the saved file are those of the first valuation.
    void cancelKeepsLastValuation() {
        auto form = NewForm(true);
        Ui::TForm1& ui = *form->ui;
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        ui.EditVolat->setFocus();
        QTest::keyClick(ui.EditVolat, Qt::Key_Return);
        form->WaitUntilIdle();
        const QString listing = ui.Memo1->toPlainText();
        QCOMPARE(listing.count('\n'), 1020);
        const QString path = dir_.filePath("cancel.txt");
        boxes_.saveAnswer = path;
        QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
        form->WaitUntilIdle();
        const QByteArray saved = ReadAll(path);
        QCOMPARE(saved, ResultsFile(form->Grid()));

        ui.DateExpiry->setDate(QDate(2007, 3, 1));
        ui.EditTimeSteps->setText("1000");
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(1);
        form->ButtonCalculateClick();
        QVERIFY(form->Busy());
        QCOMPARE(ui.ButtonCalculate->text(), QStringLiteral("&Peruuta"));
        QVERIFY(!ui.allennatulokset1->isEnabled());
        QTRY_VERIFY(ticks >= 3);  // the window's thread is free
        QTest::keyClick(form.get(), Qt::Key_Escape);
        form->ButtonCalculateClick();  // Peruuta: the same as Esc
        form->WaitUntilIdle();
        QCOMPARE(ui.ButtonCalculate->text(), QStringLiteral("&Laske"));
        QCOMPARE(ui.Memo1->toPlainText(), listing);
        QCOMPARE(ui.EditPriceSteps->text(), QStringLiteral("1021"));
        RunCommand(*form, &TForm1::Tallennatulokset1Click);
        QCOMPARE(ReadAll(path), saved);
        QCOMPARE(boxes_.Boxes(), QStringList());

        // Closing during a valuation stops it and closes at once.
        form->ButtonCalculateClick();
        QVERIFY(form->Busy());
        form->Poistu1Click();
        QVERIFY(!form->Busy() && !form->isVisible());
    }

    // State: the volatility search shown. Action: Laske on a valuation of
    // about a second. Expected: the bar goes on past the days into the
    // figures' revaluations ("Tunnusluvut k/4"); Peruuta then keeps no figures.
    void progressBarCoversTheFigures() {
        auto form = NewForm(true);
        Ui::TForm1& ui = *form->ui;
        ui.Volatiliteettihaku1->trigger();
        ui.EditShare->setText("15");
        ui.DateExpiry->setDate(QDate(2007, 3, 2));
        ui.EditTimeSteps->setText("500");
        form->ButtonCalculateClick();
        const QProgressBar* bar = form->findChild<QProgressBar*>();
        QVERIFY(bar != nullptr && form->Busy());
        QTRY_VERIFY_WITH_TIMEOUT(bar->text().startsWith(QStringLiteral("Tunnusluvut ")), 20000);
        QVERIFY(bar->text().endsWith(QStringLiteral("/4")));
        // The valuation's days are the first fifth of the bar.
        QVERIFY(bar->value() >= bar->maximum() / 5);
        form->CancelWork();
        form->WaitUntilIdle();
        QVERIFY(!form->Grid().Allocated);
        QVERIFY(form->findChild<QTableWidget*>() == nullptr);
    }

    // A valuation estimated to run long asks first, the figures' time in the
    // estimate when they are computed; No leaves all as it was. Arrays beyond
    // the address space left are refused before the question.
    void longValuationAsksFirst() {
        auto form = NewForm(true);
        Ui::TForm1& ui = *form->ui;
        ui.DateExpiry->setDate(QDate(2011, 8, 19));
        ui.EditTimeSteps->setText("20000"); // 3.6e12 node updates: minutes on any machine
        boxes_.questions.clear();
        boxes_.yesAnswer = false;
        form->ButtonCalculateClick();
        ui.Volatiliteettihaku1->trigger();
        form->ButtonCalculateClick();
        boxes_.yesAnswer = true;
        QCOMPARE(boxes_.questions.size(), 2);
        QVERIFY(boxes_.questions[0].startsWith(QStringLiteral("Laskenta kestää arviolta")));
        QVERIFY(boxes_.questions[1].startsWith(QStringLiteral("Laskenta tunnuslukuineen kestää arviolta")));
        QVERIFY(boxes_.questions[1].endsWith(QStringLiteral("Jatketaanko?")));
        QVERIFY(!form->Busy());
        QVERIFY(!form->Grid().Allocated);

        // 1 GB of day rows where 256 MB of address space is left.
        rlimit saved{};
        getrlimit(RLIMIT_AS, &saved);
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlimit lowered{static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + (rlim_t{256} << 20),
                             saved.rlim_max};
        QVERIFY(pages > 0 && setrlimit(RLIMIT_AS, &lowered) == 0);
        boxes_.Clear();
        form->ButtonCalculateClick();
        setrlimit(RLIMIT_AS, &saved);
        QCOMPARE(boxes_.questions.size(), 2);
        QCOMPARE(boxes_.errors.size(), 1);
        QVERIFY(boxes_.errors.front().startsWith(QStringLiteral("Laskenta keskeytyi: Hilan taulukot tarvitsevat ")));
        QVERIFY(!form->Busy());
    }

    // State: a valuation at 30 % and the value at Osake 15 as the warrant's
    // price. Action: Hae from 45 %. Expected: 30,00 back in the volatility,
    // recalculated, the figures shown and the node of 15 marked.
    void solveImpliedVolatility() {
        auto form = NewForm(true);
        Ui::TForm1& ui = *form->ui;
        ui.Volatiliteettihaku1->trigger();
        QVERIFY(!ui.GroupBox1->isHidden() && ui.GroupBox1->isEnabled());
        ui.EditShare->setText("15");
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        const QString listing = ui.Memo1->toPlainText();
        const QString value = QString::number(*ValueAtPrice(form->Grid(), 15), 'g', 17);
        ui.EditWarrant->setText(QString(value).replace('.', ','));
        ui.EditVolat->setText("45,0");
        RunCommand(*form, &TForm1::ButtonSolveClick);
        QCOMPARE(boxes_.Boxes(), QStringList());
        QCOMPARE(ui.EditVolat->text(), QStringLiteral("30,00"));
        QCOMPARE(ui.Memo1->toPlainText(), listing);
        const QTableWidget* table = form->findChild<QTableWidget*>();
        QVERIFY(table != nullptr && table->rowCount() > 10);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("30,00"));
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("Arvo"));
        QCOMPARE(ui.Memo1->extraSelections().size(), 1);
        const int marked = ui.Memo1->extraSelections().front().cursor.blockNumber();
        QVERIFY(std::abs(form->Grid().Prices[marked] - 15) < 0.05);

        // A price no volatility reaches is one box and leaves the volatility.
        ui.EditWarrant->setText("5");
        RunCommand(*form, &TForm1::ButtonSolveClick);
        QCOMPARE(boxes_.messages.size(), 1);
        QCOMPARE(ui.EditVolat->text(), QStringLiteral("30,00"));

        // The chart opened from the menu follows the next valuation.
        ui.Arvokayra1->trigger();
        const ChartWindow* chart = form->findChild<ChartWindow*>();
        QVERIFY(chart != nullptr && chart->isVisible());
        ui.EditStrike->setText("16");
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        QCOMPARE(chart->Chart()->CurvePoints(0).value(0), QPointF(form->Grid().Prices[0], form->Grid().Values[0]));

        // A share price beyond the lattice marks no node.
        ui.EditShare->setText("100");
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        QVERIFY(ui.Memo1->extraSelections().isEmpty());
        // and the figures say so plainly instead of a column of dashes.
        const auto* figures = form->findChild<FiguresWindow*>();
        QVERIFY(figures != nullptr && figures->Table()->rowCount() == 0);
        QStringList texts;
        for (const QLabel* label : figures->findChildren<QLabel*>()) texts << label->text();
        QVERIFY2(texts.join('\n').contains(QStringLiteral("Osakkeen hinta 100 on hilan hinta-alueen ulkopuolella (5,15646 – 49,6465)")),
                 qPrintable(texts.join('\n')));
    }

    // State: a valuation at strike 15 drawn in the chart and the table.
    // Action: strike 25 and a bad volatility, Laske (refused), a day picked;
    // then a window first opened. Expected: every window still shows strike 15.
    void refusedCalculateLeavesTheWindowsOnTheLastValuation() {
        auto form = NewForm(true);
        Ui::TForm1& ui = *form->ui;
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        ui.Arvokayra1->trigger();
        auto* chart = form->findChild<ChartWindow*>();
        QVERIFY(chart != nullptr);
        const auto strikeMarker = [chart] {
            for (const auto& marker : chart->Chart()->Markers())
                if (marker.first == QStringLiteral("Toteutushinta")) return marker;
            return std::pair(QString(), 0.0);
        };
        QCOMPARE(strikeMarker(), std::pair(QStringLiteral("Toteutushinta"), 15.0));

        ui.EditStrike->setText("25");
        ui.EditVolat->setText("abc");
        RunCommand(*form, &TForm1::ButtonCalculateClick);
        QCOMPARE(boxes_.Boxes().size(), 1);
        chart->PickDay(3);
        QCOMPARE(strikeMarker(), std::pair(QStringLiteral("Toteutushinta"), 15.0));
        QCOMPARE(chart->Chart()->CurvePoints(1).at(9).y(), form->Grid().DayValues[3][9]);
        ui.Skenaariot1->trigger();
        const auto* table = form->findChild<ScenarioWindow*>();
        QVERIFY(table != nullptr);
        QCOMPARE(table->Table().Prices, DefaultScenarioPrices(15));
        QCOMPARE(form->Grid().Warrant.Strike, 15.0);
    }

    // A whole date typed over a selected or clicked picker is that date
    // (19.3.2027 used to become 21.3.2027, a Sunday).
    void typingWholeDates() {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
        auto form = NewForm();
        QLocale::setDefault(before);
        Ui::TForm1& ui = *form->ui;
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        const struct { QDateTimeEdit* picker; const char* typed; QDateTime expected; } cases[] = {
            {ui.DateExpiry, "19.3.2027", {QDate(2027, 3, 19), QTime(18, 20)}},
            {ui.DateDivid, "5.6.2026", {QDate(2026, 6, 5), QTime(18, 20)}},
            {ui.DateNow, "1.12.2026 14:05", {QDate(2026, 12, 1), QTime(14, 5)}}};
        for (const auto& [picker, typed, expected] : cases) {
            picker->setFocus();
            picker->selectAll();
            QTest::keyClicks(picker, typed);
            QTest::keyClick(picker, Qt::Key_Tab);
            QCOMPARE(picker->dateTime(), expected);
            picker->setDate(QDate(2006, 4, 21));
            QTest::mouseClick(picker, Qt::LeftButton, {}, QPoint(4, picker->height() / 2));
            QTest::keyClicks(picker, typed);
            QTest::keyClick(picker, Qt::Key_Tab);
            QCOMPARE(picker->dateTime(), expected);
        }
    }

    // Every Alt key reaches one thing: unique within each menu, and among the
    // menu titles and the window's own buttons and labels.
    void mnemonicsAreUnique() {
        auto form = NewForm();
        const auto mnemonic = [](const QString& text) -> QChar {
            for (qsizetype i = text.indexOf('&'); i >= 0 && i + 1 < text.size(); i = text.indexOf('&', i + 2))
                if (text[i + 1] != '&') return text[i + 1].toLower();
            return {};
        };
        const auto checkUnique = [&](const QStringList& texts, const QString& where) {
            QMap<QChar, QString> seen;
            for (const QString& text : texts) {
                const QChar key = mnemonic(text);
                if (key.isNull()) continue;
                QVERIFY2(!seen.contains(key), qPrintable(QStringLiteral("%1: %2 and %3").arg(where, seen[key], text)));
                seen[key] = text;
            }
        };
        QStringList window;
        for (const QMenu* menu : form->menuBar()->findChildren<QMenu*>()) {
            window << menu->title();
            QStringList items;
            for (const QAction* action : menu->actions()) items << action->text();
            checkUnique(items, menu->title());
        }
        for (const QAbstractButton* button : form->findChildren<QAbstractButton*>()) window << button->text();
        for (const QLabel* label : form->findChildren<QLabel*>()) window << label->text();
        window << QStringLiteral("&Peruuta");  // Laske while work runs
        checkUnique(window, QStringLiteral("window"));
    }

    // Qt's dialogs speak Finnish under Finnish settings, English otherwise.
    void qtDialogsInFinnish() {
        QVERIFY(InstallQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Finnish)));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Kyllä"));
        QVERIFY(!InstallQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Swedish)));
    }

    // Tallenna kuva: the picture at its size, in the format of the extension
    // (typed, or added from the chosen type); any other is refused.
    void chartSavedInTheFormatOfItsName() {
        ChartWindow window;
        window.SetGrid(grid_, std::nullopt);
        boxes_.saveAnswer = dir_.filePath("chart.png");
        window.SaveImage();
        QCOMPARE(QImage(*boxes_.saveAnswer).size(), QSize(1200, 800));
        QCOMPARE(boxes_.saveAsked.filters, QStringList({"PNG-kuva (*.png)", "SVG-kuva (*.svg)"}));
        // No extension typed: the chosen type's is added and decides the format.
        boxes_.saveAnswer = dir_.filePath("chart");
        boxes_.saveFilter = 1;
        window.SaveImage();
        QVERIFY(ReadAll(*boxes_.saveAnswer + ".svg").contains("<svg"));
        QVERIFY(boxes_.errors.isEmpty());
        // Another extension: one box naming the file, and no file.
        boxes_.saveAnswer = dir_.filePath("chart.jpg");
        window.SaveImage();
        QCOMPARE(boxes_.errors.size(), 1);
        QVERIFY2(boxes_.errors[0].contains('"' + *boxes_.saveAnswer + '"'), qPrintable(boxes_.errors[0]));
        QVERIFY(!QFile::exists(*boxes_.saveAnswer));
    }

    // Picking a day adds its curve in a colour of its own, recolouring
    // none; a new grid drops it again.
    void pickedDayAddsItsCurve() {
        ChartWindow window;
        window.SetGrid(grid_, std::nullopt);
        const int before = window.Chart()->CurveCount();
        const auto colours = [&window] {
            QMap<QString, QRgb> byName;
            for (int c = 0; c < window.Chart()->CurveCount(); ++c)
                byName[window.Chart()->CurveName(c)] = window.Chart()->CurveColor(c).rgb();
            return byName;
        };
        const QMap<QString, QRgb> defaults = colours();
        window.PickDay(2);
        QCOMPARE(window.Chart()->CurveCount(), before + 1);
        QCOMPARE(window.Chart()->CurvePoints(1).at(7).y(), grid_.DayValues[2][7]);
        const QMap<QString, QRgb> picked = colours();
        for (auto it = defaults.begin(); it != defaults.end(); ++it) QCOMPARE(picked.value(it.key()), it.value());
        const QList<QRgb> all = picked.values();
        QCOMPARE(QSet<QRgb>(all.begin(), all.end()).size(), all.size());
        window.SetGrid(grid_, std::nullopt);
        QCOMPARE(window.Chart()->CurveCount(), before);
    }

    // State: a table with the user's rows, mode and ticked dates. Action: a
    // new valuation a week later. Expected: all kept, the dates the new grid
    // no longer trades dropped with a note; untouched windows get defaults.
    void scenarioKeepsTheUsersChoices() {
        ScenarioWindow window;
        window.SetGrid(grid_, std::nullopt);
        window.CellChoice->setCurrentIndex(2);
        // Ticks 2 March (a user's tick) and keeps 8 March (a default) and the ends.
        window.DateList->item(1)->setCheckState(Qt::Checked);
        const QString march2 = window.DateList->item(1)->text();
        ApplyPrices(window, "14", "16", "1");
        const std::vector<int32_t> before = window.Table().Days;
        QCOMPARE(before.size(), std::size_t{5});

        CGrid later = WorkedExample();
        later.ValuationTime += 7;  // 8 March
        later = Valued(later);
        window.SetGrid(later, 15.0);
        QCOMPARE(window.Table().Prices, (std::vector<double>{14, 15, 16}));
        QCOMPARE(window.Cell(), ScenarioCell::ChangePercent);
        QCOMPARE(window.EditStep->text(), QStringLiteral("1"));
        // 2 March is gone; the valuation moment, 8 March (now day 0) and
        // 3 April and the expiry remain.
        std::vector<QString> dates;
        for (const double d : window.Table().Dates) dates.push_back(QString::fromStdString(SerialDateText(d)));
        QCOMPARE(dates, (std::vector<QString>{"2006-03-08", "2006-04-03", "2006-04-21"}));
        QVERIFY(!window.Note->isHidden() && window.Note->text().endsWith(": " + march2));

        ScenarioWindow fresh;
        fresh.SetGrid(grid_, std::nullopt);
        fresh.SetGrid(later, 16.0);
        QCOMPARE(fresh.Table().Prices, DefaultScenarioPrices(16.0));
        QCOMPARE(fresh.Table().Days, DefaultScenarioDays(later));
        QVERIFY(fresh.Note->isHidden());
    }

    void scenarioDefaultsEditsAndCsv() {
        ScenarioWindow window;
        window.SetGrid(grid_, std::nullopt);
        QVERIFY(window.CsvText().startsWith(QStringLiteral("Hinta;2006-03-01;2006-03-08;")));
        QVERIFY(window.ClipboardText().contains(QStringLiteral("\t0,14155779751117264\t")));

        ApplyPrices(window, "14", "16", "0,5");
        QCOMPARE(window.Table().Prices, (std::vector<double>{14, 14.5, 15, 15.5, 16}));
        ApplyPrices(window, "14", "16", "0.5");
        QCOMPARE(boxes_.errors.size(), 1);
        QVERIFY(boxes_.errors[0].contains(QStringLiteral("Hinnan askel")));
        QCOMPARE(window.Table().Prices.size(), std::size_t{5});

        boxes_.saveAnswer = dir_.filePath("table");
        window.SaveCsv();
        QCOMPARE(boxes_.saveAsked.filters, QStringList({"CSV-tiedosto (*.csv)", "Kaikki tiedostot (*)"}));
        const QString csv = *boxes_.saveAnswer + ".csv";
        QCOMPARE(QString::fromLatin1(ReadAll(csv)), window.CsvText());
        // Saved in "Muutos %" mode, the file says so in its corner.
        window.CellChoice->setCurrentIndex(2);
        window.SaveCsv();
        QVERIFY(ReadAll(csv).startsWith("Hinta (muutos %);2006-03-01;"));
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
