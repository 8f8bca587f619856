// kelvaro --inputs and --save-inputs: a document written by one run values
// bit for bit as its options did, options override its fields from either
// side, and a batch takes it as every row's inputs.
#include "Batch.h"
#include "CalculationDocument.h"
#include "InProcess.h"
#include "Kelvaro.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sstream>
#include <string>
#include <vector>

using namespace kelvaro;

namespace {

std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

// Saved with the options, read back alone: --json (and the figures and the
// solve) print the same bytes.
TEST(DocumentCli, SavedInputsValueAsTheOptionsDid) {
    QTemporaryDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--valuation", "2026-12-07 09:30", "--expiry", "2027-06-18", "--type", "turbo-sg",
         "--side", "put", "--strike", "16,35", "--margin", "0.7", "--dividend-date", "2027-02-01",
         "--dividend", "0,21", "--dividends", "2027-03-20:0,3;2027-05-02:0.1", "--steps-per-day",
         "20", "--volatility", "27,3", "--rate", "2,9", "--open", "35", "--weekend", "1,5",
         "--holidays", "helsinki", "--multiplier", "0,1"},
        {"--valuation", "2006-03-01 10:00", "--expiry", "2006-04-21", "--share", "15,3",
         "--price", "1,1"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string doc = dir.filePath(QString::number(i) + ".kelvaro").toStdString();
        const Outcome original = Single(Plus(cases[i], {"--json", "--save-inputs", doc}));
        ASSERT_EQ(original.status, 0) << original.err;
        const Outcome again = Single({"--inputs", doc, "--json"});
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(again.out, original.out);
    }
}

// An option wins over the document's field whether it stands before or
// after --inputs.
TEST(DocumentCli, OptionsOverrideTheDocument) {
    QTemporaryDir dir;
    const std::string doc = dir.filePath("a.kelvaro").toStdString();
    const std::vector<std::string> base = {"--valuation", "2006-03-01 10:00", "--expiry",
                                           "2006-04-21"};
    ASSERT_EQ(Single(Plus(base, {"--strike", "14", "--check", "--save-inputs", doc})).status, 0);
    const std::string wanted = Single(Plus(base, {"--strike", "16", "--json"})).out;
    EXPECT_NE(Single(Plus(base, {"--strike", "14", "--json"})).out, wanted);
    EXPECT_EQ(Single({"--inputs", doc, "--strike", "16", "--json"}).out, wanted);
    EXPECT_EQ(Single({"--strike", "16", "--inputs", doc, "--json"}).out, wanted);
}

// A bad document is a usage error naming its field; a save that cannot be
// made is a file error, before anything is valued.
TEST(DocumentCli, BadDocumentsAndSavesRefused) {
    QTemporaryDir dir;
    const std::string doc = dir.filePath("bad.kelvaro").toStdString();
    ASSERT_EQ(SaveFile(doc, R"({"format": "kelvarolaskuri", "version": 1, "rate": "3"})"),
              SaveStatus::Ok);
    Outcome r = Single({"--inputs", doc, "--expiry", "2006-04-21"});
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_NE(r.err.find("kentän \"rate\" arvon pitää olla luku"), std::string::npos) << r.err;
    r = Single({"--expiry", "2006-04-21", "--valuation", "2006-03-01", "--save-inputs",
                 dir.path().toStdString()});
    EXPECT_EQ(r.status, kExitFile) << r.err;
    EXPECT_TRUE(r.out.empty());
}

// A batch takes the document as every row's inputs, as the same options;
// --save-inputs keeps those shared inputs.
TEST(DocumentCli, BatchTakesTheDocument) {
    QTemporaryDir dir;
    const std::string doc = dir.filePath("a.kelvaro").toStdString(),
                      shared = dir.filePath("shared.kelvaro").toStdString();
    const std::vector<std::string> options = {"--valuation", "2006-03-01 10:00", "--expiry",
                                              "2006-04-21", "--volatility", "25"};
    ASSERT_EQ(Single(Plus(options, {"--check", "--save-inputs", doc})).status, 0);
    const auto batch = [](const std::vector<std::string>& args) {
        std::istringstream in("strike;share\n14;15\n16;15,5\n");
        std::ostringstream out, err;
        EXPECT_EQ(RunBatch(Plus({"--batch", "-"}, args), in, out, err), 0) << err.str();
        return out.str();
    };
    const std::string wanted = batch(options);
    EXPECT_EQ(batch({"--inputs", doc}), wanted);
    EXPECT_EQ(batch({"--inputs", doc, "--save-inputs", shared}), wanted);
    EXPECT_EQ(ReadDocumentFile(shared).Inputs, ReadDocumentFile(doc).Inputs);
}
