// Letter codes of the two-letter indexes, names.bin strings and direction words.
#include "pathlume/mapdb/name_codes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/kernel/paths.h"
#include "tests/support/temp_root.h"

namespace {

TEST(NameCodesTest, LetterCodes) {
    struct Case {
        char c;
        int first;
        int second;
    };
    const Case cases[] = {
        {'0', 1, 7},  {'9', 10, 16}, {'A', 11, 18}, {'Z', 36, 43},   {'a', 0, -1},
        {'z', 0, -1}, {' ', 0, 0},   {'-', 0, 0},   {'\0', 0, 0},    {'&', 0, 1},
        {'\'', 0, 2}, {'+', 0, 3},   {',', 0, 4},   {'.', 0, 5},     {'/', 0, 6},
        {':', 0, 17}, {'(', 0, -1},  {'@', 0, -1},  {'\xC9', 0, -1}, {'\xFF', 0, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FirstLetterCode(c.c), c.first) << int(c.c);
        EXPECT_EQ(SecondLetterCode(c.c), c.second) << int(c.c);
    }
    EXPECT_EQ(LetterPairIndex(FirstLetterCode('Z'), SecondLetterCode('Z')), 36 * 44 + 43);
}

TEST(NameCodesTest, DirectionWords) {
    EXPECT_STREQ(GetDirectionText(0x12, 0), "E");
    EXPECT_STREQ(GetDirectionText(0x12, 1), "N");
    const char* const words[] = {"", "E", "N", "NE", "NW", "S", "SE", "SW", "W", "", ""};
    for (int v = 0; v <= 10; ++v) {
        EXPECT_STREQ(GetDirectionText(static_cast<uint8_t>(v), 1), words[v]) << v;
        EXPECT_STREQ(GetDirectionText(static_cast<uint8_t>(v << 4), 0), words[v]) << v;
    }
}

class NamesFileTest : public testing_support::RootsTest {};

TEST_F(NamesFileTest, NamesBinStrings) {
    std::vector<uint8_t> bytes = {4, 'M', 'A', 'I', 'N', 0, 80};
    bytes.resize(bytes.size() + 80, 'X');
    bytes.push_back(9);  // at offset 87: a length past the end of the file
    bytes.push_back('Y');
    const std::filesystem::path path = roots_.base() / "names.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    char buffer[kNameBufferSize];
    g_namesFile.Close();
    std::strcpy(buffer, "old");
    EXPECT_EQ(ReadNamesBinString(0, buffer), 0);  // not open
    EXPECT_STREQ(buffer, "");

    ASSERT_EQ(g_namesFile.Open(platform::HostPathText(path).c_str(), kDataFileRead), 0);
    EXPECT_EQ(ReadNamesBinString(0, buffer), 4);
    EXPECT_STREQ(buffer, "MAIN");
    EXPECT_EQ(ReadNamesBinString(5, buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(ReadNamesBinString(6, buffer), 80);  // too long: the buffer stays empty
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(ReadNamesBinString(87, buffer), 9);  // short read: empty, length returned
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(ReadNamesBinString(5000, buffer), 0);  // past the end
    EXPECT_EQ(ReadNamesBinString(0x90000000u, buffer), 0);
    g_namesFile.Close();
}

}  // namespace
