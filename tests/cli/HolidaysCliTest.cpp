// Exchange closures through every front end: the closures file reader,
// kelvaro's options and batch columns, and the window's Asetukset menu.
#include "Closures.h"
#include "Holidays.h"
#include "ShareOutput.h"
#include "WarrantInputs.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace kelvaro;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome RunKelvaro(const QStringList& args) {
    QProcess process;
    process.start(KELVARO_BINARY, args);
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

QJsonObject Json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::string Write(const QTemporaryDir& dir, const char* name, const std::string& text) {
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Mid-December to mid-January: Christmas, New Year and Epiphany inside.
const QStringList kWinter = {"--valuation", "2026-12-15 10:00", "--expiry", "2027-01-15"};

} // namespace

TEST(ClosuresFile, CommentsBlanksAndTheBadLineByNumber) {
    const QTemporaryDir dir;
    const std::string good = Write(dir, "good.txt", "# extra\n\n2026-12-28  # a Monday\r\n 2027-01-04\n");
    EXPECT_EQ(ReadClosuresFile(good),
              (std::vector<int32_t>{SerialOfDate(2026, 12, 28), SerialOfDate(2027, 1, 4)}));
    struct Case { std::string text; const char* message; };
    const Case cases[] = {
        {"2026-12-28\n\n2026-02-30\n", "rivi 3: \"2026-02-30\""},
        {"2026-12-28 10:00\n", "rivi 1: \"2026-12-28 10:00\""},
        {"# x\n28.12.2026\n", "rivi 2: \"28.12.2026\""},
        {"2026-12-28\r\n2026-12-29\r\n", nullptr},
        {"2026-12-28\n" + std::string(100000, '0'), "rivi 2: rivi on liian pitkä"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        try {
            const std::vector<int32_t> days = ReadClosuresFile(Write(dir, "bad.txt", c.text));
            EXPECT_EQ(c.message, nullptr);
            EXPECT_EQ(days.size(), 2u);
            continue;
        } catch (const InputError& e) {
            ASSERT_NE(c.message, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(ReadClosuresFile(dir.filePath("missing.txt").toStdString()), InputError);
    EXPECT_THROW(ReadClosuresFile(dir.path().toStdString()), InputError); // a folder
}

TEST(ClosuresFile, HolidaysAndFileTogetherForTheYearsOfTheValuation) {
    const QTemporaryDir dir;
    // A weekend day and a repeat of a holiday add nothing; 2040 is far
    // outside the valuation's years.
    const std::string path =
        Write(dir, "c.txt", "2026-12-28\n2026-12-26\n2026-12-24\n2040-01-02\n");
    const double valuation = SerialOfDate(2026, 12, 15) + 10.0 / 24;
    const double expiry = SerialOfDate(2027, 1, 15) + 55.0 / 72;
    std::vector<int32_t> expected = HelsinkiClosures(2025, 2027);
    expected.push_back(SerialOfDate(2026, 12, 28));
    NormalizeClosures(expected);
    EXPECT_EQ(ClosureDays("helsinki", path, valuation, expiry), expected);
    EXPECT_EQ(ClosureDays("", path, valuation, expiry),
              (std::vector<int32_t>{SerialOfDate(2026, 12, 24), SerialOfDate(2026, 12, 28)}));
    EXPECT_TRUE(ClosureDays("", "", valuation, expiry).empty());
    EXPECT_THROW(ClosureDays("tukholma", "", valuation, expiry), InputError);
}

TEST(ClosuresText, ThetaSaysWhichClosedDaysItSpans) {
    struct Case { bool weekend; int32_t closures; const char* label; };
    const Case cases[] = {
        {false, 0, "Theta päivässä: "},
        {true, 0, "Theta päivässä (yli viikonlopun): "},
        {false, 1, "Theta päivässä (yli pörssin vapaapäivän): "},
        {true, 2, "Theta päivässä (yli viikonlopun ja pörssin vapaapäivien): "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CShareFigures f;
        f.ThetaPerDay = -0.5, f.ThetaOverWeekend = c.weekend, f.ThetaClosures = c.closures;
        EXPECT_NE(FiguresText(f, ',').find(std::string(c.label) + "-0,5"), std::string::npos)
            << FiguresText(f, ',');
    }
}

TEST(HolidaysCli, JsonScenarioDatesExpiryAndBatchColumns) {
    const Outcome off = RunKelvaro(kWinter + QStringList{"--json"});
    const Outcome on = RunKelvaro(kWinter + QStringList{"--json", "--holidays", "helsinki"});
    ASSERT_EQ(off.status, 0) << off.err;
    ASSERT_EQ(on.status, 0) << on.err;
    EXPECT_FALSE(Json(off.out).contains("ClosureDays"));
    // 24, 25, 31 December, 1 and 6 January are weekdays closed.
    EXPECT_EQ(Json(on.out)["ClosureDays"].toArray(),
              QJsonArray({"2026-12-24", "2026-12-25", "2026-12-31", "2027-01-01", "2027-01-06"}));
    EXPECT_EQ(Json(off.out)["DayCount"].toInt() - Json(on.out)["DayCount"].toInt(), 5);

    const Outcome refusedDate =
        RunKelvaro(kWinter + QStringList{"--holidays", "helsinki", "--scenario", "--scenario-dates",
                                  "2026-12-23,2026-12-24"});
    EXPECT_NE(refusedDate.status, 0);
    EXPECT_NE(refusedDate.err.find("2026-12-24 on pörssin vapaapäivä"), std::string::npos)
        << refusedDate.err;
    const Outcome refusedExpiry = RunKelvaro({"--valuation", "2026-12-15 10:00", "--expiry", "2026-12-24",
                                       "--holidays", "helsinki"});
    EXPECT_NE(refusedExpiry.status, 0);
    EXPECT_NE(refusedExpiry.err.find("Päättymispäivä osuu pörssin vapaapäivään"),
              std::string::npos)
        << refusedExpiry.err;

    // A batch row with the columns gives its single run's value (a weekend
    // of 0 days, so that the closed days take time away).
    const QTemporaryDir dir;
    const std::string closures = Write(dir, "c.txt", "2026-12-28\n");
    const std::string batch = Write(dir, "b.csv",
                                    "valuation;expiry;weekend;share;holidays;closures\n"
                                    "2026-12-15 10:00;2027-01-15;0;15;helsinki;" + closures + "\n"
                                    "2026-12-15 10:00;2027-01-15;0;15;;\n");
    const Outcome rows = RunKelvaro({"--batch", QString::fromStdString(batch)});
    ASSERT_EQ(rows.status, 0) << rows.err;
    const std::string first = rows.out.substr(0, rows.out.find('\n'));
    const std::string second = rows.out.substr(rows.out.find('\n') + 1);
    const QStringList single = kWinter + QStringList{"--weekend", "0", "--share", "15", "--json"};
    const auto value = [](const std::string& json) { return Json(json)["AtShare"].toObject()["Value"].toDouble(); };
    const double closed = value(RunKelvaro(single + QStringList{"--holidays", "helsinki", "--closures",
                                                           QString::fromStdString(closures)})
                                    .out);
    EXPECT_EQ(value(first), closed);
    EXPECT_EQ(value(second), value(RunKelvaro(single).out));
    EXPECT_LT(closed, value(second)); // less time left
}

TEST(HolidaysWindow, MenuEntriesReachTheValuation) {
    DialogRecorder dialogs;
    dialogs.Install();
    TForm1 form;
    Ui::TForm1& ui = *form.ui;
    // As the window opens: both off.
    EXPECT_FALSE(ui.Vapaapaivat1->isChecked());
    EXPECT_FALSE(ui.Lisasulkemiset1->isChecked());
    ui.DateNow->setDateTime(QDateTime(QDate(2026, 12, 15), QTime(10, 0)));
    ui.DateExpiry->setDate(QDate(2027, 1, 15));
    RunCommand(form, &TForm1::ButtonCalculateClick);
    const int32_t weekdaysOnly = form.Grid().DayCount;

    ui.Vapaapaivat1->trigger();
    RunCommand(form, &TForm1::ButtonCalculateClick);
    EXPECT_EQ(form.Grid().DayCount, weekdaysOnly - 5);
    EXPECT_EQ(form.Grid().Closures, ReadWarrant({{"valuation", "2026-12-15 10:00"},
                                                 {"expiry", "2027-01-15"},
                                                 {"holidays", "helsinki"}})
                                        .Closures);

    // The picker answered: a bad file is refused naming its line and leaves
    // the entry off; a good one closes 28 December too.
    const QTemporaryDir dir;
    std::optional<QString> answer = QString::fromStdString(Write(dir, "bad.txt", "2026-12-28\nx\n"));
    InstallOpenFileHook([&answer](const OpenRequest&) { return answer; });
    ui.Lisasulkemiset1->trigger();
    EXPECT_FALSE(ui.Lisasulkemiset1->isChecked());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors.front().contains(QStringLiteral("rivi 2"))) << dialogs.errors.front().toStdString();
    answer = QString::fromStdString(Write(dir, "good.txt", "2026-12-28\n"));
    ui.Lisasulkemiset1->trigger();
    EXPECT_TRUE(ui.Lisasulkemiset1->isChecked());
    RunCommand(form, &TForm1::ButtonCalculateClick);
    EXPECT_EQ(form.Grid().DayCount, weekdaysOnly - 6);
    // Unchecked: the file is dropped.
    ui.Lisasulkemiset1->trigger();
    EXPECT_TRUE(form.ClosuresFile().empty());
    RunCommand(form, &TForm1::ButtonCalculateClick);
    EXPECT_EQ(form.Grid().DayCount, weekdaysOnly - 5);
    InstallOpenFileHook({});
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
