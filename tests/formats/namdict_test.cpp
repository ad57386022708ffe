#include "formats/namdict.h"

#include <gtest/gtest.h>

#include "formats/little_endian.h"

namespace nd = formats::namdict;

namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out;
    for (uint32_t word : words) {
        uint8_t bytes[4];
        formats::StoreU32(bytes, word);
        out.insert(out.end(), bytes, bytes + 4);
    }
    return out;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> Magic(const char* magic) {
    return std::vector<uint8_t>(magic, magic + 4);
}

}  // namespace

TEST(NameDictionaryFormatTest, WhatIsWrittenReadsBack) {
    const std::vector<uint32_t> entries = {(4u << 16) | 1u, 28u << 16 | 1u};
    const std::vector<std::string> names = {"North", "Nevada"};
    std::optional<nd::Dictionary> regions = nd::Decode(nd::EncodeRegions(entries, names));
    ASSERT_TRUE(regions);
    EXPECT_EQ(regions->kind, nd::Dictionary::Kind::Regions);
    EXPECT_EQ(regions->entries, entries);
    EXPECT_EQ(regions->names, names);

    std::optional<nd::Dictionary> city =
        nd::Decode(nd::EncodeCity("California", "Andorra la Vella", "50 (80)"));
    ASSERT_TRUE(city);
    EXPECT_EQ(city->kind, nd::Dictionary::Kind::City);
    EXPECT_EQ(city->state, "California");
    EXPECT_EQ(city->city, "Andorra la Vella");
    EXPECT_EQ(city->radius, "50 (80)");

    // A text longer than a reader takes is cut to what it takes.
    std::optional<nd::Dictionary> cut = nd::Decode(nd::EncodeCity(std::string(90, 'x'), "", ""));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->state.size(), nd::kMaxTextLength);
}

TEST(NameDictionaryFormatTest, DamagedFilesReadAsNothing) {
    const std::vector<uint8_t> name81 = Join(Words({81}), std::vector<uint8_t>(81, 'a'));
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"magic only", Magic("MDR1")},
        {"other magic", Join(Magic("MDX1"), Words({0, 0, 0}))},
        {"no longer than its entries", Join(Magic("MDR1"), Words({0, 1, 7}))},
        {"entry count beyond the bytes", Join(Magic("MDR1"), Words({1, 0xFFFFFFFF, 3, 0}))},
        {"entry count wrapping 32 bits", Join(Magic("MDR1"), Words({1, 0x40000001, 3, 0}))},
        {"name count beyond the bytes", Join(Magic("MDR1"), Words({0x7FFFFFFF, 0, 0}))},
        {"first name 81 long", Join(Join(Magic("MDR1"), Words({1, 0})), name81)},
        {"name past the end", Join(Join(Magic("MDR1"), Words({1, 0, 5})), {'a', 'b'})},
        {"city without texts", Magic("MDC1")},
        {"city text 81 long", Join(Magic("MDC1"), name81)},
        {"city third text missing", Join(Magic("MDC1"), Words({0, 0}))},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(nd::Decode(c.bytes)) << c.what;
}

TEST(NameDictionaryFormatTest, OnlyTheFirst4096BytesAreRead) {
    // A name list that reaches past 4096 bytes is cut short there.
    std::vector<std::string> names(60, std::string(80, 'n'));
    std::vector<uint8_t> bytes = nd::EncodeRegions(std::vector<uint32_t>{1}, names);
    ASSERT_GT(bytes.size(), nd::kMaxReadSize);
    EXPECT_FALSE(nd::Decode(bytes));
    names.resize(40);
    EXPECT_TRUE(nd::Decode(nd::EncodeRegions(std::vector<uint32_t>{1}, names)));
}
