// The built kelvaro against the window: same listing, same results file,
// same verdict, and its JSON and --value-at against the window's record.
#include "Conversions.h"
#include "Kelvaro.h"
#include "Options.h"
#include "QtBridge.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <sys/resource.h>

using namespace kelvaro;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Starts one run: the inputs, then the options.
void StartBinary(QProcess& process, const std::vector<std::string>& inputs,
                 const std::vector<std::string>& more) {
    QStringList list;
    for (const auto* args : {&inputs, &more})
        for (const std::string& arg : *args) list << QString::fromStdString(arg);
    process.start(KELVARO_BINARY, list);
}

// One run to its end; `limited` gives it 1 GB of address space.
Outcome RunBinary(const std::vector<std::string>& inputs, const std::vector<std::string>& more = {},
                  bool limited = false) {
    QProcess process;
    if (limited)
        process.setChildProcessModifier([] {
            const rlimit limit{rlim_t{1} << 30, rlim_t{1} << 30};
            setrlimit(RLIMIT_AS, &limit);
        });
    StartBinary(process, inputs, more);
    const bool ran = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
    return {ran ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

QJsonObject Json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

// The worked example's dates.
const std::vector<std::string> kDates = {"--valuation", "2006-03-01 10:00", "--expiry", "2006-04-21"};

// The shortest text that reads back to the same double, as kelvaro writes it.
std::string Shortest(double value) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// One set of inputs, the numbers typed with the case's separator in the
// order of the edits below.
struct Case {
    const char *name, *valuation, *expiry, *dividendDate, *type, *side;
    char separator;
    const char* numbers[9];
};

// The window's defaults with a comma; an SG put with a dividend and its
// margin in use, typed and saved with a point.
const Case kCases[] = {
    {"normalCallComma", "2006-03-01 10:00", "2006-04-21", "2006-03-31", "normal", "call", ',',
     {"15,00", "0,2", "0,50", "0", "100", "30,0", "3,0", "100", "2,0"}},
    {"sgPutDividendPoint", "2006-03-06 09:05", "2006-04-07", "2006-03-20", "turbo-sg", "put", '.',
     {"18", "0.2", "1.2", "0.3", "30", "35", "3.5", "50", "2"}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The window's number inputs and kelvaro's options for them, in the order of
// a case's numbers.
std::array<std::pair<QLineEdit*, const char*>, 9> NumberEdits(Ui::TForm1& ui) {
    return {{{ui.EditStrike, "--strike"}, {ui.EditMultiplier, "--multiplier"},
             {ui.EditSGMarg, "--margin"}, {ui.EditDivid, "--dividend"},
             {ui.EditTimeSteps, "--steps-per-day"}, {ui.EditVolat, "--volatility"},
             {ui.EditRate, "--rate"}, {ui.EditXOpen, "--open"}, {ui.EditWeekEnd, "--weekend"}}};
}

// Restores the settings' separator when a test has set its own.
struct SeparatorGuard {
    ~SeparatorGuard() { ResetDecimalSeparator(); }
};

class CliVsWindow : public ::testing::TestWithParam<Case> {};

TEST_P(CliVsWindow, SameListingFileVerdictAndRecord) {
    const Case& c = GetParam();
    QTemporaryDir dir;
    const QString windowFile = dir.filePath("window.txt"), cliFile = dir.filePath("cli.txt");
    DialogRecorder boxes;
    boxes.saveAnswer = windowFile;
    boxes.Install();
    const SeparatorGuard restore;
    SetDecimalSeparator(c.separator);

    TForm1 form;
    Ui::TForm1& ui = *form.ui;
    ui.RadioGroupType->SetItemIndex(QStringList{"normal", "turbo-shb", "turbo-sg"}.indexOf(c.type));
    ui.RadioGroupCallPut->SetItemIndex(QStringList{"call", "put"}.indexOf(c.side));
    ui.DateNow->setDateTime(QDateTime::fromString(c.valuation, "yyyy-MM-dd HH:mm"));
    ui.DateExpiry->setDate(QDate::fromString(c.expiry, Qt::ISODate));
    ui.DateDivid->setDate(QDate::fromString(c.dividendDate, Qt::ISODate));
    std::vector<std::string> inputs = {
        "--valuation", c.valuation, "--expiry", c.expiry, "--dividend-date", c.dividendDate,
        "--type", c.type, "--side", c.side};
    const auto edits = NumberEdits(ui);
    for (int i = 0; i < 9; ++i) {
        edits[i].first->setText(c.numbers[i]);
        inputs.push_back(std::string(edits[i].second) + "=" + c.numbers[i]);
    }
    RunCommand(form, &TForm1::ButtonCalculateClick);
    RunCommand(form, &TForm1::Tallennatulokset1Click);
    const CGrid grid = form.Grid();  // the verdict builds the lattice again
    RunCommand(form, &TForm1::Button1Click);
    ASSERT_EQ(boxes.Boxes().size(), 1) << boxes.Boxes().join('|').toStdString();

    // A comma comes from the Finnish settings, a point from the option.
    std::vector<std::string> save = {"--results", cliFile.toStdString()};
    if (c.separator != ',') save.insert(save.end(), {"--decimal-separator", "."});
    Outcome run = RunBinary(inputs, save);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, ui.Memo1->toPlainText().toStdString() + "\n");
    EXPECT_EQ(ReadAll(cliFile), ReadAll(windowFile));
    run = RunBinary(inputs, {"--check", "--decimal-separator", std::string(1, c.separator)});
    EXPECT_EQ(run.out, boxes.messages.value(0).toStdString() + "\n");

    // Whole numbers too compare as doubles: every count fits in 53 bits.
    run = RunBinary(inputs, {"--json"});
    const QJsonObject json = Json(run.out);
    const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, double>>{
             {"DayCount", grid.DayCount}, {"TotalSteps", grid.TotalSteps},
             {"StepsPerYear", grid.StepsPerYear}, {"StepsPerDay", grid.StepsPerDay},
             {"ClosedSteps", grid.ClosedSteps}, {"WeekendDaySteps", grid.WeekendDaySteps},
             {"DividendDay", grid.Warrant.DividendDay}, {"NodeCount", grid.NodeCount},
             {"PriceMin", grid.PriceMin}, {"PriceMax", grid.PriceMax}, {"PUp", grid.PUp},
             {"PMid", grid.PMid}, {"PDown", grid.PDown}, {"GrowthPerStep", grid.GrowthPerStep},
             {"ResidualValue", grid.Warrant.ResidualValue}})
        EXPECT_EQ(bits(json[name].toDouble(-99)), bits(value)) << name;
    const int n = grid.NodeCount;
    for (const auto& [name, values] : {std::pair{"Prices", &grid.Prices}, {"Values", &grid.Values}}) {
        const QJsonArray array = json[name].toArray();
        ASSERT_EQ(array.size(), n) << name;
        int differing = 0;
        for (int i = 0; i < n; ++i) differing += bits(array[i].toDouble()) != bits((*values)[i]);
        EXPECT_EQ(differing, 0) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, CliVsWindow, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// One row per error path: its exit status and message (the whole line when
// it starts with "kelvaro: ", so that a wrong cause cannot pass), nothing on
// stdout, no results file left behind.
TEST(CliErrors, MessageOnStderrStatusAndNothingOnStdout) {
    QTemporaryDir dir;
    const std::string unused = dir.filePath("unused.txt").toStdString(),
                      loop = dir.filePath("loop").toStdString();
    ASSERT_EQ(::symlink("loop", loop.c_str()), 0);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"--valuation", "2006-03-01 10:00"}, 2, "valitsin --expiry puuttuu"},
        {{"--strike", "--rate", "3"}, 2, "valitsimelta --strike puuttuu arvo"},
        {{"--rate=1.000,5"}, 2, "virheellinen arvo valitsimelle --rate: \"1.000,5\""},
        {{"--dividend-date", "2023-02-30"}, 2, "--dividend-date: \"2023-02-30\""},
        {{"--volume", "3"}, 2, "tuntematon valitsin: \"--volume\""},
        {{"--type", "turbo"}, 2, "--type: \"turbo\""},
        {{"--decimal-separator", ".,"}, 2, "--decimal-separator: \".,\""},
        {{"--check", "--results", unused}, 2, "--check ja --results"},
        // A message is text for people: the settings' comma, or the option's separator.
        {{"--value-at", "4.8", "--results", unused}, 2,
         "kelvaro: hinta 4,8 on hilan hinta-alueen ulkopuolella (4,834178106204497 – 46,54358922175838)\n"},
        {{"--value-at", "4,8", "--decimal-separator", "."}, 2, "hinta 4.8 on hilan hinta-alueen ulkopuolella (4.834"},
        {{"--valuation", "2006-05-01 10:00", "--expiry", "2006-04-21", "--results", unused}, 2,
         "Parametrit virheellisiä, Laskenta peruttu: Päättymispäivä on ennen laskentapäivää\n"},
        {{"--valuation", "2006-05-01 10:00", "--expiry", "2006-04-21", "--check"}, 2,
         "Parametrit virheellisiä. Päättymispäivä on ennen laskentapäivää\n"},
        // The engine's refusals pass through whole (their texts: ErrorsTest).
        {{"--open", "0"}, 3,
         "kelvaro: laskenta keskeytyi: Pörssiajan on oltava yli 0 % ja enintään 100 % päivästä\n"},
        // The calendar counts only the expiry's date, up to the close.
        {{"--valuation", "2027-03-05 10:00", "--expiry", "2027-03-05 09:59"}, 2,
         "kelvaro: virheellinen arvo valitsimelle --expiry: \"2027-03-05 09:59\" (päättymishetki on "
         "aina pörssin sulkeutuminen klo 18:20: anna pelkkä päivä tai kellonaika 18:20)\n"},
        {{"--results", loop}, 4, "symbolinen linkki \"" + loop + "\" kiertää kehää"},
        {{"--results", unused, "--chart", unused}, 2,
         "--chart: \"" + unused + "\" (tiedostonimen pääte .png tai .svg)"},
        {{"--price", "0,15"}, 2, "valitsin --price tarvitsee valitsimen --share"},
        {{"--share", "15", "--value-at", "15"}, 2, "--share ei voi käyttää yhdessä"},
        {{"--share", "0"}, 2, "virheellinen arvo valitsimelle --share: \"0\""},
        {{"--share", "15", "--price", "0,001", "--results", unused}, 3, "Hinnalla 0,0010 ei löydy"},
        {{"--share", "1e308", "--price", "0,15"}, 2,
         "osakkeen hinta on hilan hinta-alueen ulkopuolella kaikilla volatiliteeteilla"},
        {{"--scenario-dates", "2006-03-01,2006-03-04"}, 2,
         "päivä 2006-03-04 ei ole hilan kaupankäyntipäivä"},
        {{"--scenario-prices", "15,x"}, 2, "--scenario-prices: \"x\""},
        {{"--scenario-prices", "15,5"}, 2,
         "kelvaro: virheellinen arvo valitsimelle --scenario-prices: \"15,5\" (kaksiselitteinen: "
         "kirjoita \"15;5\" kahdeksi hinnaksi tai \"15.5\" yhdeksi)\n"},
        {{"--scenario", "--value-at", "15"}, 2, "--json/--scenario ja --value-at"},
    };
    // Rows that bring their own dates or leave the expiry out get no valid pair.
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args[0] == "--valuation" ? std::vector<std::string>{} : kDates;
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::ostringstream out, err;
        const Outcome run{RunKelvaro(args, out, err), out.str(), err.str()};
        SCOPED_TRACE(c.message);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("kelvaro: ")) << run.err;
        if (c.message.starts_with("kelvaro: "))
            EXPECT_EQ(run.err, c.message);
        else
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(unused)));
    }
    // The real binary's stderr and status: CliMemory.
}

// Under an address-space limit of 1 GB a valuation whose arrays take 1.17 GB
// (1425 day rows of 41 000 nodes)
// is refused before anything is allocated, naming both sizes; an ordinary
// one still runs. (Without the limit that valuation would run for hours.)
TEST(CliMemory, ArraysBeyondTheAddressSpaceLimitAreRefusedFirst) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer's shadow memory cannot start under an address-space limit";
#endif
    const Outcome refused = RunBinary({"--valuation", "2006-03-01 10:00", "--expiry", "2011-08-16",
                                       "--steps-per-day", "30000", "--json"}, {}, true);
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(refused.err.starts_with("kelvaro: laskenta keskeytyi: Hilan taulukot tarvitsevat "))
        << refused.err;
    EXPECT_NE(refused.err.find(" Gt muistia, mutta käytettävissä on 0"), std::string::npos)
        << refused.err;
    const Outcome fits = RunBinary(kDates, {"--value-at", "15"}, true);
    EXPECT_EQ(fits.status, 0) << fits.err;
    EXPECT_EQ(fits.out, RunBinary(kDates, {"--value-at", "15"}).out);
}

// Two runs saving one path at once, each file about 4 MB: the file is one
// run's whole output, never a mix, and no temporary file is left.
TEST(CliResults, ConcurrentSavesLeaveOneWholeFile) {
    QTemporaryDir dir;
    const std::string same = dir.filePath("same.txt").toStdString();
    const std::vector<std::string> inputs[] = {
        {"--valuation", "2006-03-01 10:00", "--expiry", "2006-12-21"},
        {"--valuation", "2006-03-01 10:00", "--expiry", "2006-12-20", "--volatility", "35"}};
    QByteArray whole[2];
    for (int k = 0; k < 2; ++k) {
        const QString alone = dir.filePath(QString("alone%1.txt").arg(k));
        ASSERT_EQ(RunBinary(inputs[k], {"--results", alone.toStdString()}).status, 0);
        whole[k] = ReadAll(alone);
    }
    ASSERT_NE(whole[0], whole[1]);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        QProcess runs[2];
        for (int k = 0; k < 2; ++k) StartBinary(runs[k], inputs[k], {"--results", same});
        for (QProcess& run : runs) {
            EXPECT_TRUE(run.waitForFinished(-1));
            EXPECT_EQ(run.exitCode(), 0);
        }
        const QByteArray text = ReadAll(QString::fromStdString(same));
        EXPECT_TRUE(text == whole[0] || text == whole[1]) << text.size() << " bytes";
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"alone0.txt", "alone1.txt", "same.txt"}));
}

// The value at 30 % as the market price gives 30 % back; the figures come
// at the volatility as typed with two decimals, and the results file too.
TEST(CliShare, PriceSolvesBackTheVolatilityOfItsValue) {
    QTemporaryDir dir;
    const std::string solvedFile = dir.filePath("solved.txt").toStdString();
    const std::string price = RunBinary(kDates, {"--value-at", "15"}).out;
    // The expiry is the close of its day: a plain date and 18:20 are the same
    // warrant (any other time is refused: CliErrors).
    EXPECT_EQ(RunBinary({"--valuation", "2006-03-01 10:00", "--expiry", "2006-04-21 18:20"}, {"--value-at", "15"}).out,
              price);
    const std::vector<std::string> solve = {"--share", "15", "--price", price.substr(0, price.size() - 1)};
    Outcome run = RunBinary(kDates, {solve[0], solve[1], solve[2], solve[3], "--json", "--results", solvedFile});
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject json = Json(run.out);
    EXPECT_EQ(json["ImpliedVolatility"].toObject()["Volatility"].toDouble(), 30.0);
    EXPECT_EQ(Shortest(json["AtShare"].toObject()["Value"].toDouble()) + "\n", price);
    run = RunBinary(kDates, {"--results", dir.filePath("typed.txt").toStdString()});
    EXPECT_EQ(ReadAll(QString::fromStdString(solvedFile)), ReadAll(dir.filePath("typed.txt")));

    // Text: Finnish names, the settings' comma.
    run = RunBinary(kDates, solve);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("Implisiittinen volatiliteetti: 30,00 %\n")) << run.out;
    EXPECT_NE(run.out.find("\nArvo: 0,141558\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nKnock-out-taso: –\n"), std::string::npos) << run.out;

    // A put's leverage reads as a size, as traders quote it; no figure in E
    // notation (the closed-form difference is about 1e-6).
    run = RunBinary(kDates, {"--side", "put", "--share", "15"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto leverage = run.out.find("\nVipu: ");
    ASSERT_NE(leverage, std::string::npos) << run.out;
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(run.out[leverage + 7]))) << run.out;
    EXPECT_EQ(run.out.find_first_of("Ee", run.out.find("\nEro suljettuun kaavaan: ") + 25), std::string::npos) << run.out;
}

// The scenario's valuation-moment column is --value-at, its expiry column
// the payoff; --chart writes a 1200 x 800 picture without a display.
TEST(CliScenario, ColumnsAgreeWithValueAtAndPayoffAndChartIsWritten) {
    const Outcome run = RunBinary(kDates, {"--scenario", "--json", "--scenario-prices", "11.1,15,16.123,30",
                                           "--scenario-dates", "2006-03-01,2006-04-21"});
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject scenario = Json(run.out)["Scenario"].toObject();
    EXPECT_EQ(scenario["Days"].toArray(), (QJsonArray{0, 37}));
    const QJsonArray values = scenario["Values"].toArray();
    ASSERT_EQ(values.size(), 4);
    EXPECT_EQ(Shortest(values[2].toArray()[0].toDouble()) + "\n", RunBinary(kDates, {"--value-at", "16.123"}).out);
    const double prices[] = {11.1, 15, 16.123, 30};
    for (int r = 0; r < 4; ++r)
        EXPECT_NEAR(values[r].toArray()[1].toDouble(), std::max(0.0, prices[r] - 15) * 0.2, 1e-12) << r;
    // Lists that read one way only: commas between prices unless there is a ';'
    // ("15,5", which reads both ways, is in CliErrors).
    const std::pair<const char*, QJsonArray> lists[] = {
        {"12,15,18", {12, 15, 18}}, {"15;5", {15, 5}}, {"15;15,5", {15, 15.5}},
        {"15,5.5", {15, 5.5}}, {"15.5", {15.5}}};
    for (const auto& [list, prices] : lists) {
        std::ostringstream out, err;
        EXPECT_EQ(RunKelvaro({"--valuation", "2006-03-01 10:00", "--expiry", "2006-03-03",
                              "--scenario", "--json", "--scenario-prices", list}, out, err), 0) << list;
        EXPECT_EQ(Json(out.str())["Scenario"].toObject()["Prices"].toArray(), prices) << list;
    }
    // The CSV with a decimal comma: ';' between fields.
    const Outcome csv = RunBinary(kDates, {"--scenario", "--decimal-separator", ",",
                                           "--scenario-prices", "15", "--scenario-dates", "2006-03-01"});
    EXPECT_EQ(csv.out, "Hinta;2006-03-01\r\n15;0,14155779751117264\r\n");

    QTemporaryDir dir;
    const QString png = dir.filePath("chart.png");
    const Outcome chart = RunBinary(kDates, {"--value-at", "15", "--chart", png.toStdString()});
    EXPECT_EQ(chart.status, 0) << chart.err;
    EXPECT_EQ(QImage(png).size(), QSize(1200, 800));
    // The extension decides the format, in any case.
    const QString svg = dir.filePath("chart.SVG");
    EXPECT_EQ(RunBinary(kDates, {"--chart", svg.toStdString()}).status, 0);
    EXPECT_TRUE(ReadAll(svg).startsWith("<?xml")) << ReadAll(svg).left(20).toStdString();
}

// State: a new window under the comma settings. Expected: kelvaro's default
// for every number is the form's default text, and its record without
// options has the window's type, side, valuation moment and dividend date.
TEST(CliDefaults, AreTheWindowsDefaults) {
    const SeparatorGuard restore;
    SetDecimalSeparator(',');
    TForm1 form;
    Ui::TForm1& ui = *form.ui;
    for (const auto& [edit, option] : NumberEdits(ui))
        EXPECT_EQ(edit->text().toStdString(), kelvaro::OptionDefault(option)) << option;
    const std::string expiry = ui.DateExpiry->date().toString(Qt::ISODate).toStdString();
    const CGrid cli = ReadWarrant(kelvaro::InputTextsOf(kelvaro::ParsedArgs({"--expiry", expiry})));
    EXPECT_EQ(cli.Warrant.ProductType, ui.RadioGroupType->ItemIndex());
    EXPECT_EQ(cli.Warrant.IsCall, ui.RadioGroupCallPut->ItemIndex() == 0);
    const auto serial = [](const QDateTimeEdit* picker) {
        return DateTimeToSerial(QDateTime(picker->date(), picker->time()));
    };
    EXPECT_EQ(cli.ValuationTime, serial(ui.DateNow));
    EXPECT_EQ(cli.Warrant.DividendDate, serial(ui.DateDivid));
    EXPECT_EQ(cli.Warrant.Expiry, serial(ui.DateExpiry));
}

TEST(CliHelp, DefaultsInTheSettingsSeparatorAndTheVersion) {
    const Outcome help = RunBinary({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--value-at", "--json", "--share", "--price", "(oletus: 0,2)", "klo 10:00", "18:20", "erotin on \",\""})
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
