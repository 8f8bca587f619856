// The built kelvaro against the window: same listing, same results file,
// same verdict, and its JSON and --value-at against the window's record.
#include "Conversions.h"
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "ui_Kelvarounit1.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Runs the binary with stdout and stderr in files, so that no pipe fills up.
Outcome RunBinary(std::vector<std::string> args) {
    static QTemporaryDir dir;
    const std::string out = dir.filePath("out").toStdString(), err = dir.filePath("err").toStdString();
    args.insert(args.begin(), KELVARO_BINARY);
    std::vector<char*> argv;
    for (std::string& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    int wstatus = 0;
    const bool ran = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                     waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus);
    posix_spawn_file_actions_destroy(&actions);
    return {ran ? WEXITSTATUS(wstatus) : -1, Slurp(out), Slurp(err)};
}

std::string Shortest(double value) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// One set of inputs, numbers written with a point; both sides get them with
// the case's separator.
struct Case {
    const char* name;
    int type;
    bool call;
    const char *strike, *multiplier, *margin;
    QDateTime now;
    QDate expiry, dividendDate;
    const char *dividend, *steps, *volatility, *rate, *open, *weekend;
    char separator;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"normalCallDefaults", 0, true, "15.00", "0.2", "0.50", {{2006, 3, 1}, {10, 0}}, {2006, 4, 21},
     {2006, 3, 31}, "0", "100", "30.0", "3.0", "100", "2.0", ','},
    {"shbPutDividend", 1, false, "20", "0.1", "0.5", {{2006, 3, 1}, {12, 30}}, {2006, 3, 17},
     {2006, 3, 8}, "0.8", "40", "25.5", "4", "34.7", "1.5", '.'},
    {"sgCallFridayAfternoon", 2, true, "12", "0.25", "0.75", {{2006, 3, 3}, {15, 45}},
     {2006, 3, 24}, {2006, 3, 31}, "0", "60", "40", "2.5", "100", "2", ','},
    {"sgPutDividend", 2, false, "18", "0.2", "1.2", {{2006, 3, 6}, {9, 5}}, {2006, 4, 7},
     {2006, 3, 20}, "0.3", "30", "35", "3.5", "50", "2", '.'},
};

std::string WithSeparator(const char* text, char separator) {
    std::string s(text);
    for (char& c : s)
        if (c == '.') c = separator;
    return s;
}

class CliVsWindow : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        DialogHooks hooks;
        hooks.showMessage = [this](const QString& text) { messages_ << text; };
        hooks.showError = [this](const QString& text) { errors_ << text; };
        hooks.askSaveFileName = [this](QWidget*, const QString&) { return std::optional(windowFile_); };
        InstallDialogHooks(hooks);
    }
    void TearDown() override { ResetDecimalSeparator(); }

    QTemporaryDir dir_;
    QStringList messages_, errors_;
    QString windowFile_ = dir_.filePath("window.txt");
};

TEST_P(CliVsWindow, SameListingFileVerdictAndRecord) {
    const Case& c = GetParam();
    const char sep = c.separator;
    SetDecimalSeparator(sep);
    TForm1 form;
    Ui::TForm1& ui = *form.ui;
    ui.RadioGroupType->SetItemIndex(c.type);
    ui.RadioGroupCallPut->SetItemIndex(c.call ? 0 : 1);
    ui.DateNow->setDate(c.now.date());
    ui.DateNow->setTime(c.now.time());
    ui.DateExpiry->setDate(c.expiry);
    ui.DateDivid->setDate(c.dividendDate);
    const std::pair<QLineEdit*, const char*> edits[] = {
        {ui.EditStrike, c.strike}, {ui.EditMultiplier, c.multiplier}, {ui.EditSGMarg, c.margin},
        {ui.EditDivid, c.dividend}, {ui.EditTimeSteps, c.steps}, {ui.EditVolat, c.volatility},
        {ui.EditRate, c.rate}, {ui.EditXOpen, c.open}, {ui.EditWeekEnd, c.weekend}};
    for (const auto& [edit, text] : edits) edit->setText(QString::fromStdString(WithSeparator(text, sep)));
    form.ButtonCalculateClick();
    ASSERT_TRUE(messages_.isEmpty() && errors_.isEmpty()) << messages_.join('|').toStdString();
    form.Tallennatulokset1Click();
    const std::string listing = ui.Memo1->toPlainText().toStdString() + "\n";
    const std::string windowFile = Slurp(windowFile_.toStdString());
    const CGrid& grid = form.Grid();

    const std::vector<std::string> inputs = {
        "--valuation", c.now.toString("yyyy-MM-dd HH:mm").toStdString(),
        "--expiry", c.expiry.toString(Qt::ISODate).toStdString(),
        "--type", c.type == 0 ? "normal" : c.type == 1 ? "turbo-shb" : "turbo-sg",
        "--side", c.call ? "call" : "put",
        "--strike=" + WithSeparator(c.strike, sep), "--multiplier", WithSeparator(c.multiplier, sep),
        "--margin", WithSeparator(c.margin, sep),
        "--dividend-date", c.dividendDate.toString(Qt::ISODate).toStdString(),
        "--dividend", WithSeparator(c.dividend, sep), "--steps-per-day", c.steps,
        "--volatility", WithSeparator(c.volatility, sep), "--rate", WithSeparator(c.rate, sep),
        "--open", WithSeparator(c.open, sep), "--weekend", WithSeparator(c.weekend, sep)};
    const auto with = [&inputs](std::vector<std::string> more) {
        more.insert(more.begin(), inputs.begin(), inputs.end());
        return more;
    };

    // Listing and file; a comma comes from the Finnish settings, a point
    // from the option overriding them.
    const std::string cliFile = dir_.filePath("cli.txt").toStdString();
    std::vector<std::string> save = {"--results", cliFile};
    if (sep != ',') save.insert(save.end(), {"--decimal-separator", std::string(1, sep)});
    Outcome run = RunBinary(with(save));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, listing);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Slurp(cliFile), windowFile);

    run = RunBinary(with({"--json"}));
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    for (const auto& [name, value] :
         {std::pair{"DayCount", grid.DayCount}, {"TotalSteps", grid.TotalSteps},
          {"StepsPerYear", grid.StepsPerYear}, {"StepsPerDay", grid.StepsPerDay},
          {"ClosedSteps", grid.ClosedSteps}, {"WeekendDaySteps", grid.WeekendDaySteps},
          {"DividendDay", grid.Warrant.DividendDay}, {"NodeCount", grid.NodeCount}})
        EXPECT_EQ(json[name].toInteger(-99), value) << name;
    for (const auto& [name, value] :
         {std::pair{"PriceMin", grid.PriceMin}, {"PriceMax", grid.PriceMax}, {"PUp", grid.PUp},
          {"PMid", grid.PMid}, {"PDown", grid.PDown}, {"GrowthPerStep", grid.GrowthPerStep},
          {"ResidualValue", grid.Warrant.ResidualValue}})
        EXPECT_EQ(std::bit_cast<std::uint64_t>(json[name].toDouble()), std::bit_cast<std::uint64_t>(value))
            << name;
    for (const auto& [name, values] : {std::pair{"Prices", &grid.Prices}, {"Values", &grid.Values}}) {
        const QJsonArray array = json[name].toArray();
        ASSERT_EQ(array.size(), grid.NodeCount) << name;
        int differing = 0;
        for (int i = 0; i < grid.NodeCount; ++i)
            differing += std::bit_cast<std::uint64_t>(array[i].toDouble()) !=
                         std::bit_cast<std::uint64_t>((*values)[i]);
        EXPECT_EQ(differing, 0) << name;
    }

    // On a node its own value, bit for bit, read with either separator.
    const int n = grid.NodeCount;
    for (int k : {0, n / 2, n - 1}) {
        const std::string price = WithSeparator(Shortest(grid.Prices[k]).c_str(), sep);
        run = RunBinary(with({"--value-at", price}));
        EXPECT_EQ(run.out, Shortest(grid.Values[k]) + "\n") << "node " << k;
    }
    // Between two nodes, between their values.
    const int k = n / 2;
    run = RunBinary(with({"--value-at", Shortest((grid.Prices[k] + grid.Prices[k + 1]) / 2)}));
    const double between = std::stod(run.out);
    EXPECT_GE(between, std::min(grid.Values[k], grid.Values[k + 1]));
    EXPECT_LE(between, std::max(grid.Values[k], grid.Values[k + 1]));

    form.Button1Click();
    ASSERT_EQ(messages_.size(), 1);
    run = RunBinary(with({"--check", "--decimal-separator", std::string(1, sep)}));
    EXPECT_EQ(run.out, messages_[0].toStdString() + "\n");
}

INSTANTIATE_TEST_SUITE_P(Inputs, CliVsWindow, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
    std::vector<std::string> args;
    int status;
    std::string message;
};

TEST(CliErrors, MessageOnStderrStatusAndNothingOnStdout) {
    QTemporaryDir dir;
    const std::string unused = dir.filePath("unused.txt").toStdString();
    const std::vector<std::string> valid = {"--valuation", "2006-03-01 10:00", "--expiry", "2006-04-21"};
    const ErrorCase cases[] = {
        {{"--valuation", "2006-03-01 10:00"}, 2, "valitsin --expiry puuttuu"},
        {{"--strike", "abc"}, 2, "virheellinen arvo valitsimelle --strike: \"abc\""},
        {{"--rate=1.000,5"}, 2, "virheellinen arvo valitsimelle --rate: \"1.000,5\""},
        {{"--margin", ""}, 2, "valitsimelta --margin puuttuu arvo"},
        {{"--steps-per-day", "100,5"}, 2, "--steps-per-day: \"100,5\""},
        {{"--dividend-date", "2023-02-30"}, 2, "--dividend-date: \"2023-02-30\""},
        {{"--dividend-date", "2024-02-29 24:00"}, 2, "--dividend-date: \"2024-02-29 24:00\""},
        {{"--dividend-date", "2006-3-31"}, 2, "--dividend-date: \"2006-3-31\""},
        {{"--type", "turbo"}, 2, "--type: \"turbo\""},
        {{"--side", "long"}, 2, "--side: \"long\""},
        {{"--decimal-separator", "5"}, 2, "--decimal-separator: \"5\""},
        {{"--decimal-separator", ".,"}, 2, "--decimal-separator: \".,\""},
        {{"--strike"}, 2, "valitsimelta --strike puuttuu arvo"},
        {{"--strike", "--rate", "3"}, 2, "valitsimelta --strike puuttuu arvo"},
        {{"--json=yes"}, 2, "valitsin --json ei ota arvoa"},
        {{"--rate", "3", "--rate", "4"}, 2, "valitsin --rate on annettu useammin kuin kerran"},
        {{"--volume", "3"}, 2, "tuntematon valitsin: \"--volume\""},
        {{"15"}, 2, "tuntematon argumentti: \"15\""},
        {{"--json", "--value-at", "15"}, 2, "vain yhden"},
        {{"--check", "--results", unused}, 2, "--check ja --results"},
        {{"--value-at", "4.8", "--results", unused}, 2, "hinta 4.8 on hilan hinta-alueen ulkopuolella"},
        {{"--value-at", "abc"}, 2, "--value-at: \"abc\""},
        {{"--valuation", "2006-05-01 10:00", "--expiry", "2006-04-21", "--results", unused}, 2,
         "Parametrit virheellisiä, Laskenta peruttu\n"},
        {{"--valuation", "2006-05-01 10:00", "--expiry", "2006-04-21", "--check"}, 2,
         "Parametrit virheellisiä.\n"},
        {{"--volatility", "0", "--results", unused}, 3,
         "laskenta keskeytyi: Laskentavolatiliteetin on oltava suurempi kuin 0 %"},
        {{"--results", dir.filePath("no/such/dir.txt").toStdString()}, 4,
         "tiedostoa \"" + dir.filePath("no/such/dir.txt").toStdString() + "\" ei voitu avata"},
        {{"--results", "/dev/full"}, 4, "tiedostoon \"/dev/full\" kirjoittaminen epäonnistui"},
    };
    for (const ErrorCase& c : cases) {
        std::vector<std::string> args = c.args;
        // Rows that bring their own dates or leave the expiry out replace the valid pair.
        if (std::find(args.begin(), args.end(), "--valuation") == args.end())
            args.insert(args.begin(), valid.begin(), valid.end());
        const Outcome run = RunBinary(args);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("kelvaro: ")) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(unused)));
    }
}

TEST(CliHelp, EveryOptionWithDefaultsAndTheVersion) {
    const Outcome help = RunBinary({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--valuation", "--expiry", "--type", "--side", "--strike", "--multiplier", "--margin",
          "--dividend-date", "--dividend", "--steps-per-day", "--volatility", "--rate", "--open",
          "--weekend", "--results", "--decimal-separator", "--check", "--value-at", "--json",
          "--version", "(oletus: 0,2)", "(oletus: 30)", "klo 10:00", "18:20", "erotin on \",\""})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const Outcome version = RunBinary({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kelvaro " KELVARO_VERSION "\n");
}

}  // namespace

int main(int argc, char** argv) {
    // The window needs no display to be compared; the binary gets Finnish
    // settings, so its default separator is the comma.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "fi_FI.UTF-8");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
