// Calculation documents: the written JSON by hand and every kind of bad file
// refused naming what is wrong (reading back is tested through kelvaro and
// the window).
#include "CalculationDocument.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>

using namespace kelvaro;

namespace {

std::string Doc(const std::string& fields) {
    return R"({"format": "kelvarolaskuri", "version": 1)" + fields + "}";
}

} // namespace

// Written by hand from the key rules: names as the options', numbers as JSON
// numbers whatever separator was typed, dates as ISO text, dividends a list.
TEST(CalculationDocument, WrittenAsJsonWithTheOptionNames) {
    const CalculationDocument document{{{"strike", "15,5"},
                                        {"expiry", "2027-06-18"},
                                        {"steps-per-day", "20"},
                                        {"dividends", " 2027-03-20:0,30; ;2027-05-02:-0.1"},
                                        {"type", "turbo-sg"}},
                                       {{"cell", "percent"}, {"first", "12"}}};
    EXPECT_EQ(DocumentText(document), R"({
  "format": "kelvarolaskuri",
  "version": 1,
  "type": "turbo-sg",
  "strike": 15.5,
  "expiry": "2027-06-18",
  "dividends": [
    {
      "date": "2027-03-20",
      "amount": 0.3
    },
    {
      "date": "2027-05-02",
      "amount": -0.1
    }
  ],
  "steps-per-day": 20,
  "scenario": {
    "first": 12.0,
    "cell": "percent"
  }
}
)");
}

// A field left out is not given: the front end takes its own default.
TEST(CalculationDocument, AMissingFieldIsNotGiven) {
    const CalculationDocument d = ParseDocument(Doc(R"(, "strike": 12, "scenario": {})"), "x");
    EXPECT_EQ(d.Inputs, (InputTexts{{"strike", "12"}}));
    EXPECT_TRUE(d.Scenario.empty());
}

// Each kind of bad file is refused, saying what is wrong and where.
TEST(CalculationDocument, BadFilesRefusedNamingTheField) {
    const struct {
        std::string bytes, message;
    } cases[] = {
        {"", "tiedosto päättyy kesken"},
        {"strike = 15", "ei ole JSON-muotoinen (virhe merkin 1 kohdalla)"},
        {R"(["kelvarolaskuri", 1])", "ei ole Kelvarolaskurin laskelma"},
        {R"({"format": "kelvaro", "version": 1})", "ei ole Kelvarolaskurin laskelma"},
        {R"({"format": "kelvarolaskuri"})", "kentän \"version\" arvon pitää olla kokonaisluku"},
        {R"({"format": "kelvarolaskuri", "version": "1"})", "kentän \"version\""},
        {R"({"format": "kelvarolaskuri", "version": 2})",
         "uudemmalla versiolla (laskelman versio 2); tämä ohjelma lukee vain version 1"},
        {Doc(R"(, "strik": 15)"), "tuntematon kenttä \"strik\""},
        {Doc(R"(, "strike": "15,00")"), "kentän \"strike\" arvon pitää olla luku"},
        {Doc(R"(, "type": 1)"), "kentän \"type\" arvon pitää olla teksti"},
        {Doc(R"(, "dividends": "2027-03-20:0,3")"), "kentän \"dividends\" arvon pitää olla"},
        {Doc(R"(, "dividends": [{"date": "2027-03-20"}])"), "kentän \"dividends\""},
        {Doc(R"(, "scenario": [])"), "kentän \"scenario\" arvon pitää olla olio"},
        {Doc(R"(, "scenario": {"rows": 3})"), "tuntematon kenttä \"scenario.rows\""},
        {Doc(R"(, "scenario": {"cell": "values"})"), "kentälle scenario.cell: \"values\""},
        {Doc(R"(, "type": "turbo")"), "kentälle type: \"turbo\" (normal, turbo-shb"},
        {Doc(R"(, "steps-per-day": 2.5)"), "kentälle steps-per-day: \"2.5\" (kokonaisluku)"},
        {Doc(R"(, "volatility": 1e999)"), "luku, joka on liian suuri"},
        {Doc(R"(, "expiry": "2027-02-30")"), "kentälle expiry: \"2027-02-30\""},
        {Doc(R"(, "dividends": [{"date": "2027-02-30", "amount": 1}])"), "kentälle dividends"},
        {Doc(R"(, "share": 0)"), "kentälle share: \"0\" (hinta suurempi kuin 0)"},
        {Doc(R"(, "closures": "/nonexistent/closures.txt")"), "/nonexistent/closures.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        try {
            ParseDocument(c.bytes, "a.kelvaro");
            ADD_FAILURE() << "not refused";
        } catch (const DocumentError& e) {
            const std::string message = e.what();
            EXPECT_TRUE(message.starts_with("laskelma \"a.kelvaro\": ")) << message;
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
        }
    }
}

// A file that is no document at all, or far too large, is refused unread.
TEST(CalculationDocument, UnreadableOrHugeFilesRefused) {
    QTemporaryDir dir;
    EXPECT_THROW(ReadDocumentFile(dir.path().toStdString()), DocumentError);
    EXPECT_THROW(ReadDocumentFile(dir.filePath("none").toStdString()), DocumentError);
    const std::string big = dir.filePath("big.kelvaro").toStdString();
    ASSERT_EQ(SaveFile(big, Doc(std::string(kMostDocumentBytes, ' '))), SaveStatus::Ok);
    try {
        ReadDocumentFile(big);
        ADD_FAILURE() << "not refused";
    } catch (const DocumentError& e) {
        EXPECT_NE(std::string(e.what()).find("liian suuri laskelmaksi"), std::string::npos);
    }
}

// A number input that is not a number cannot be written.
TEST(CalculationDocument, ABadNumberIsNotWritten) {
    for (const InputTexts& bad : {InputTexts{{"strike", "15 e"}},
                                  InputTexts{{"steps-per-day", "1,5"}},
                                  InputTexts{{"dividends", "2027-03-20"}},
                                  InputTexts{{"closures", "sulkemiset\xE4.txt"}}}) {
        SCOPED_TRACE(bad.begin()->first);
        EXPECT_THROW(DocumentText({bad, {}}), DocumentError);
    }
}
