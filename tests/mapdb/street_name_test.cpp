#include "pathlume/mapdb/street_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/street_types.h"
#include "platform/kernel/msgbox.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Utf8(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

std::string StreetTypes(uint32_t count, const std::string& names) {
    std::string bytes = "ST00";
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>(count >> (8 * i)));
    return bytes + names;
}

// A data folder with the two street-type files of a small disc: "ST", "AVE" and
// "BLVD" are types; "STREET", "ST", "AVENUE" and "AV" are listed words.
class StreetNameTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        folder_ = roots_.base() / "maps";
        fs::create_directories(folder_);
        WriteFile(folder_ / "sttypes.bin", StreetTypes(3, std::string("ST\0AVE\0BLVD\0", 12)));
        WriteFile(folder_ / "strabbr.bin",
                  "STREET=HEAD LINE\r\nFILE-VER=1\r\nSTREET=ST\r\nST=ST\r\nAVENUE=AVE\r\n"
                  "AV=AVE\r\nEND-OF-FILE=\r\nBLVD=ST\r\n");
        mapdb_test::SetDataFolder(folder_);
        ASSERT_EQ(g_streetTypes.Load(), 0);
        platform::ClearMessageBoxes();
    }
    void TearDown() override {
        g_streetTypes.Free();
        mapdb_test::SetDataFolder({});
    }

    fs::path folder_;
};

TEST_F(StreetNameTest, ParsesTheStreetLinesOfTheTable) {
    struct Case {
        const char16_t* line;
        const char* houseText;
        const char* houseDigits;
        const char* street;
        const char* direction;  // text/canonical
        const char* prefix;     // type/word
        const char* suffix;     // type/word
        uint32_t errors;
    };
    const Case cases[] = {
        {u"123 N. Main St., Apt 4", "123", "123", "MAIN", "N/N", "/", "ST/ST", 0},
        {u"12-34 MAIN ST", "12-34", "1234", "MAIN", "/", "/", "ST/ST", 0},
        {u"123A ELM AVENUE", "123A", "123", "ELM", "/", "/", "AVE/AVENUE", 0},
        {u"A12B34C ELM AV", "A12B34C", "34", "ELM", "/", "/", "AVE/AV", 0},
        {u"21ST ST", "", "", "21ST", "/", "/", "ST/ST", 0x100},
        {u"12TH AVENUE", "", "", "12TH", "/", "/", "AVE/AVENUE", 0x100},
        {u"B2ND ELM ST", "", "", "B2ND ELM", "/", "/", "ST/ST", 0x100},
        {u"ONE MAIN ST", "1", "1", "MAIN", "/", "/", "ST/ST", 0},
        {u"twenty-one elm st", "20", "20", "ELM", "/", "/", "ST/ST", 0},
        {u"A-5 MAIN ST", "", "", "A-5 MAIN", "/", "/", "ST/ST", 0x100},
        {u"AB-5 MAIN ST", "", "", "AB-5 MAIN", "/", "/", "ST/ST", 0x100},
        {u"BROADWAY", "", "", "BROADWAY", "/", "/", "/", 0x100},
        {u"MAIN..ST", "", "", "MAIN.ST", "/", "/", "/", 0x100},
        {u"E ST", "", "", "ST", "E/E", "/", "/", 0x100},
        {u"9 SO ELM ST", "9", "9", "ELM", "SO/S", "/", "ST/ST", 0},
        {u"9 ELM ST NE", "9", "9", "ELM", "NE/NE", "/", "ST/ST", 0},
        {u"5 AVENUE OF THE STARS", "5", "5", "OF THE STARS", "/", "AVE/AVENUE", "/", 0},
        {u"5 ELM BLVD", "5", "5", "ELM", "/", "/", "BLVD/BLVD", 0},
        {u"5 BLVD BLVD", "5", "5", "", "/", "BLVD/BLVD", "BLVD/BLVD", 0x10},
        {u"5 ELM CT", "5", "5", "ELM CT", "/", "/", "/", 0},
        {u"123", "", "", "123", "/", "/", "/", 0x100},
        {u"", "", "", "", "/", "/", "/", 0x110},
        {u"  , SUITE 4", "", "", "", "/", "/", "/", 0x110},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.line));
        CStreetName name;
        name.Parse(c.line, u"label");
        EXPECT_EQ(name.parsed, 1);
        EXPECT_EQ(Utf8(name.FieldText(CStreetName::kHouseText)), c.houseText);
        EXPECT_EQ(Utf8(name.FieldText(CStreetName::kHouseDigits)), c.houseDigits);
        EXPECT_EQ(Utf8(name.FieldText(CStreetName::kStreet)), c.street);
        EXPECT_EQ(name.FieldText(CStreetName::kStreetCopy), name.FieldText(CStreetName::kStreet));
        EXPECT_EQ(Utf8(name.FieldText(CStreetName::kDirectionText)) + "/" +
                      Utf8(name.FieldText(CStreetName::kDirection)),
                  c.direction);
        EXPECT_EQ(Utf8(name.FieldText(CStreetName::kPrefixType)) + "/" +
                      Utf8(name.FieldText(CStreetName::kPrefixWord)),
                  c.prefix);
        EXPECT_EQ(Utf8(name.FieldText(CStreetName::kSuffixType)) + "/" +
                      Utf8(name.FieldText(CStreetName::kSuffixWord)),
                  c.suffix);
        EXPECT_EQ(name.errors, c.errors);
    }
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(StreetNameTest, ExportCutsEachSlotTo59CharactersAndReturnsTheErrors) {
    CStreetName name;
    const std::u16string longStreet(70, u'X');
    name.Parse((u"77 " + longStreet + u" ST").c_str(), nullptr);
    char buffer[kStreetExportSize];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(name.ExportFields(buffer), 0u);
    EXPECT_STREQ(buffer + CStreetName::kHouseText * kStreetFieldSize, "77");
    EXPECT_EQ(std::string(buffer + CStreetName::kStreet * kStreetFieldSize), std::string(59, 'X'));
    EXPECT_STREQ(buffer + CStreetName::kSuffixWord * kStreetFieldSize, "ST");
    EXPECT_STREQ(buffer + CStreetName::kDirection * kStreetFieldSize, "");

    name.Parse(u"BROADWAY", nullptr);
    EXPECT_EQ(name.ExportFields(buffer), 0x100u);
}

TEST_F(StreetNameTest, OverlongAbbreviationLinesAreCutNotSplit) {
    // A 300-character line whose word would match only if its tail were read as a
    // line of its own.
    WriteFile(folder_ / "strabbr.bin",
              "FILE-VER=1\r\n" + std::string(280, 'Q') + "=X CT=ST\r\nCT=AVE\r\nEND-OF-FILE=\r\n");
    CStreetName name;
    name.Parse(u"5 ELM CT", nullptr);
    EXPECT_EQ(Utf8(name.FieldText(CStreetName::kSuffixType)), "AVE");
    EXPECT_EQ(Utf8(name.FieldText(CStreetName::kStreet)), "ELM");
}

TEST_F(StreetNameTest, WithoutTheAbbreviationFileTheTypeStepIsSkippedAndReported) {
    fs::remove(folder_ / "strabbr.bin");
    CStreetName name;
    name.Parse(u"123 MAIN ST", nullptr);
    EXPECT_EQ(name.errors, kStreetErrorNoAbbreviations);
    EXPECT_EQ(Utf8(name.FieldText(CStreetName::kStreet)), "MAIN ST");
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Bad or missing strabbr.bin");
}

TEST_F(StreetNameTest, ReportErrorShowsTheTextOfItsErrorBits) {
    const struct {
        uint32_t errors;
        int stringId;  // 0: no box
    } cases[] = {{0x110, 6062}, {0x10, 6063}, {0x100, 6064}, {0x1, 0}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errors);
        platform::ClearMessageBoxes();
        CStreetName name;
        name.errors = c.errors;
        name.ReportError();
        const auto boxes = platform::ShownMessageBoxes();
        if (c.stringId == 0) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        WCHAR text[260];
        ASSERT_NE(LoadResString(c.stringId, text, 260, FALSE), nullptr);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_NE(boxes[0].text.find(u"\r\n"), std::u16string::npos);
    }
}

TEST(StreetNameWords, WholeWordsNumberWordsAndDifferences) {
    EXPECT_EQ(FindWholeWord(u"STATE ST", u"ST"), 6);
    EXPECT_EQ(FindWholeWord(u"N-S", u"S"), 2);
    EXPECT_EQ(FindWholeWord(u"ABC", u"B"), -1);
    EXPECT_EQ(FindWholeWord(u"st", u"ST"), -1);
    EXPECT_EQ(FindWholeWord(u"ST", u""), -1);
    EXPECT_EQ(Utf8(NumberWordValue(u"THOUSAND OAKS")), "1000");
    EXPECT_EQ(Utf8(NumberWordValue(u"TENNIS CT")), "");
    EXPECT_EQ(Utf8(NumberWordValue(u"MAIN ONE")), "");
    EXPECT_EQ(WideStringsDiffer(u"A", u"A"), 0);
    EXPECT_EQ(WideStringsDiffer(u"A", u"AB"), 1);
}

// ---- "sttypes.bin" ------------------------------------------------------------

TEST_F(StreetNameTest, StreetTypeCodesAndNames) {
    EXPECT_EQ(g_streetTypes.Count(), 4u);
    EXPECT_EQ(g_streetTypes.FindCode(""), 0);
    EXPECT_EQ(g_streetTypes.FindCode("ave"), 2);
    EXPECT_EQ(g_streetTypes.FindCode("AV"), -1);
    EXPECT_STREQ(g_streetTypes.GetName(3), "BLVD");
    EXPECT_STREQ(g_streetTypes.GetName(0), "");
    EXPECT_STREQ(g_streetTypes.GetName(4), "");
    g_streetTypes.Free();
    EXPECT_EQ(g_streetTypes.FindCode(""), -1);
    EXPECT_STREQ(g_streetTypes.GetName(1), "");
}

TEST_F(StreetNameTest, BadStreetTypeFilesGetTheirResult) {
    const struct {
        const char* what;
        std::string bytes;
        int result;
        uint32_t count;
        std::vector<std::string> names;  // codes 1.. after a load
    } cases[] = {
        {"wrong magic", "XX00" + std::string(8, '\0'), 1, 0, {}},
        {"short count", std::string("ST00\x01\x00", 6), 1, 0, {}},
        {"count that would wrap", StreetTypes(0xFFFFFFFF, std::string(16, 'A')), 1, 0, {}},
        {"count beyond nine bits", StreetTypes(512, std::string(2000, '\0')), 1, 0, {}},
        {"count above the text's bytes", StreetTypes(5, std::string("A\0B", 3)), 1, 0, {}},
        // Cut short: the file holds less than its count promises.
        {"last name without its NUL", StreetTypes(2, std::string("ST\0AVE", 6)), 1, 0, {}},
        {"fewer names than the count", StreetTypes(3, std::string("ST\0AV\0", 6)), 1, 0, {}},
        {"no types", StreetTypes(0, ""), 0, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(folder_ / "sttypes.bin", c.bytes);
        platform::ClearMessageBoxes();
        EXPECT_EQ(g_streetTypes.Load(), c.result);
        // A damaged file is said, never taken as a map without street types.
        EXPECT_EQ(platform::ShownMessageBoxes().size(), c.result != 0 ? 1u : 0u);
        EXPECT_EQ(g_streetTypes.Count(), c.count);
        for (size_t i = 0; i < c.names.size(); ++i)
            EXPECT_STREQ(g_streetTypes.GetName(static_cast<uint32_t>(i + 1)), c.names[i].c_str());
    }
    // No file: the table stays as it was.
    WriteFile(folder_ / "sttypes.bin", StreetTypes(1, std::string("ST\0", 3)));
    ASSERT_EQ(g_streetTypes.Load(), 0);
    fs::remove(folder_ / "sttypes.bin");
    EXPECT_EQ(g_streetTypes.Load(), 0);
    EXPECT_STREQ(g_streetTypes.GetName(1), "ST");
    // No memory for the names.
    WriteFile(folder_ / "sttypes.bin", StreetTypes(1, std::string("ST\0", 3)));
    mapdb::FailAllocationAfter(1);
    EXPECT_EQ(g_streetTypes.Load(), 2);
    mapdb::FailAllocationAfter(0);
    EXPECT_EQ(g_streetTypes.Count(), 0u);
}

}  // namespace
