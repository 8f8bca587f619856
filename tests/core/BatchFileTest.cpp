// The list reader as the window uses it: a whole file into rows, its
// refusals without kelvaro's "--batch: " (kelvaro's own are in
// tests/cli/BatchTest.cpp), and the name and underlying columns.
#include "BatchFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace kelvaro;

namespace {

TEST(BatchFile, WholeListWithNamesBlankLinesAndBadRows) {
    std::istringstream in("\xEF\xBB\xBF\n"
                          "name;underlying;strike;expiry\r\n"
                          "NOK4C15;Nokia;15,5;2006-04-21\r\n"
                          "\n"
                          "\"TURBO; L\";Nokia;15;2006-04-21;x\n"
                          "\"open;Nokia;15;2006-04-21\n");
    const BatchList list = ReadBatchList(in, "lista.csv");
    EXPECT_EQ(list.Header.Separator, ';');
    EXPECT_EQ(list.Header.Columns,
              (std::vector<std::string>{"name", "underlying", "strike", "expiry"}));
    ASSERT_EQ(list.Rows.size(), 3u);
    EXPECT_EQ(list.Rows[0].Line, 3);
    EXPECT_FALSE(list.Rows[0].Malformed);
    EXPECT_EQ(FieldOf(list.Header, list.Rows[0], "name"), "NOK4C15");
    EXPECT_EQ(FieldOf(list.Header, list.Rows[0], "underlying"), "Nokia");
    EXPECT_EQ(FieldOf(list.Header, list.Rows[0], "share"), "");
    EXPECT_EQ(list.Rows[1].Line, 5);
    EXPECT_EQ(list.Rows[1].Malformed, "rivillä on 5 kenttää, otsikossa 4");
    EXPECT_EQ(list.Rows[2].Malformed, "lainausmerkki jää auki");

    // Names and the share's name are never inputs: a row's texts leave them out.
    const InputTexts texts = RowTexts(list.Header.Columns, {{"strike", "1"}}, list.Rows[0]);
    EXPECT_EQ(texts, (InputTexts{{"strike", "15,5"}, {"expiry", "2006-04-21"}}));
}

TEST(BatchFile, RefusedFilesAndHeadersSayWhy) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("batchfile-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string empty = (folder / "empty.csv").string(), blank = (folder / "blank.csv").string();
    std::ofstream(empty).close();
    std::ofstream(blank) << "\n \n";
    std::ofstream(folder / "unknown.csv") << "name,strke\n";
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {folder.string(), "tiedostoa \"" + folder.string() + "\" ei voi lukea: se on hakemisto"},
        {(folder / "none.csv").string(), "tiedostoa \"" + (folder / "none.csv").string() + "\" ei voi lukea"},
        {empty, "otsikkorivi puuttuu: tiedosto \"" + empty + "\" on tyhjä"},
        {blank, "otsikkorivi puuttuu: tiedostossa \"" + blank + "\" on vain tyhjiä rivejä"},
        {(folder / "unknown.csv").string(), "tuntematon sarake \"strke\" (sarakkeet: type, side, "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            ReadBatchFile(c.path);
            ADD_FAILURE() << "read";
        } catch (const BatchError& e) {
            EXPECT_EQ(e.Status, 2);
            EXPECT_TRUE(e.Message.starts_with(c.message)) << e.Message;
            if (c.path.ends_with("unknown.csv")) {
                EXPECT_TRUE(e.Message.ends_with(", name, underlying)")) << e.Message;
            }
        }
    }
    fs::remove_all(folder);
}

} // namespace
