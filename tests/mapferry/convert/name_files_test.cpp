#include "mapferry/convert/name_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "formats/names.h"
#include "tests/mapferry/convert/disc_fixture_names.h"

namespace {

using namespace names_fixture;
namespace nm = formats::names;

constexpr uint32_t kMinus1 = 0xFFFFFFFF;
constexpr uint32_t kMinus2 = 0xFFFFFFFE;
constexpr uint32_t kNoNumber = 0x7FFFFFFF;

// ---- "names.bin" -------------------------------------------------------------------

Bytes NamesRaw(const std::vector<std::string>& names) {
    Bytes bytes;
    PutMagic(bytes, "NM00");
    for (const std::string& name : names) {
        PutText(bytes, name);
    }
    return bytes;
}

class NamesTest : public ConverterTest {
  protected:
    int Convert(const UsedNameFlags& used) {
        converter_.ReadSource(src_.c_str());
        return converter_.Write(src_.c_str(), tmp_.c_str(), used);
    }
    CNamesConverter converter_;
};

TEST_F(NamesTest, UsedNamesAreWrittenInSourceOrderWithTheirIndex) {
    // Name 6's second byte has no letter code; name 7 lies beyond the last used
    // name and is cut short, which must not matter.
    Bytes raw = NamesRaw({"", "A", "AB", "AC", "AD", "AD E", "Ab"});
    raw.insert(raw.end(), {9, 'Z', 'Z'});
    Source("names.raw", raw);
    ASSERT_EQ(Convert({1, 1, 1, 0, 1, 1, 1}), 0);

    Bytes expected;
    PutMagic(expected, "NM02");
    expected.resize(nm::kDeviceNamesOffset, 0);
    auto entry = [&](int pair, uint32_t first, uint32_t count, uint32_t bytes) {
        nm::EncodeIndexEntry({first, count, bytes}, expected.data() + nm::IndexEntryOffset(pair));
    };
    entry(0, 19540, 1, 1);             // "": first and second code 0, one zero byte
    entry(11 * 44 + 0, 19541, 1, 2);   // "A": second code of the terminator
    entry(11 * 44 + 19, 19543, 1, 3);  // "AB"
    entry(11 * 44 + 21, 19546, 2, 8);  // "AD" and "AD E"
    for (const char* name : {"", "A", "AB", "AD", "AD E", "Ab"}) {
        PutText(expected, name);
    }
    EXPECT_EQ(Output("names.bin"), expected);
    EXPECT_EQ(converter_.NameOffsets(),
              (NameOffsetTable{19540, 19541, 19543, kMinus1, 19546, 19549, 19554}));
    EXPECT_EQ(converter_.NameSizes(), (NameSizeTable{1, 2, 3, 0, 3, 5, 3}));
}

TEST_F(NamesTest, NothingUsedGivesTheEmptyIndexAndAMissingSourceOne) {
    Source("names.raw", NamesRaw({"A", "B"}));
    ASSERT_EQ(Convert({}), 0);
    Bytes expected;
    PutMagic(expected, "NM02");
    expected.resize(nm::kDeviceNamesOffset, 0);
    EXPECT_EQ(Output("names.bin"), expected);
    EXPECT_TRUE(converter_.NameOffsets().empty());

    CNamesConverter missing;
    missing.ReadSource((src_ + u"/nowhere").c_str());
    EXPECT_EQ(missing.Write(src_.c_str(), tmp_.c_str(), {1}), 1);

    std::atomic<int> cancel{1};
    CNamesConverter cancelled;
    cancelled.SetCancelFlag(&cancel);
    cancelled.ReadSource(src_.c_str());
    EXPECT_EQ(cancelled.Write(src_.c_str(), tmp_.c_str(), {1}), convert_io::kConvertCancelled);
}

TEST_F(NamesTest, DamagedSourcesEndTheRun) {
    struct Case {
        const char* what;
        Bytes raw;
        UsedNameFlags used;
        std::u16string text;
    };
    Bytes shortName = NamesRaw({"A", "B"});
    shortName.insert(shortName.end(), {5, 'C', 'D'});
    Bytes longName = NamesRaw({"A", std::string(72, 'X'), "B"});
    const Case cases[] = {
        {"ends before the last used name", NamesRaw({"A", "B"}), {1, 0, 1}, InternalError(5057)},
        {"ends inside a used name", shortName, {0, 0, 1}, InternalError(5057)},
        {"an unused name longer than 71", longName, {1, 0, 1}, InternalError(5057)},
        {"wrong magic", {'N', 'M', '0', '2', 1, 'A'}, {1}, u"Corrupted file: NM00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Source("names.raw", c.raw);
        ExpectRunEnds(
            [&] {
                CNamesConverter converter;
                converter.ReadSource(src_.c_str());
                converter.Write(src_.c_str(), tmp_.c_str(), c.used);
            },
            c.text);
    }
}

// ---- "stnl.bin" --------------------------------------------------------------------

// "nameidx.bin" with a name count and per entry its name numbers.
Bytes NameIdx(uint32_t nameCount, const std::vector<std::vector<uint32_t>>& entries) {
    Bytes bytes;
    PutMagic(bytes, "NI00");
    Put32(bytes, nameCount);
    Put32(bytes, static_cast<uint32_t>(entries.size()));
    uint32_t at = 12 + 8 * static_cast<uint32_t>(entries.size());
    for (const auto& names : entries) {
        Put32(bytes, at);
        Put32(bytes, static_cast<uint32_t>(names.size()));
        at += 4 * static_cast<uint32_t>(names.size());
    }
    for (const auto& names : entries) {
        for (uint32_t name : names) {
            Put32(bytes, name);
        }
    }
    return bytes;
}

struct Item {
    uint32_t name;
    uint32_t low;
    uint32_t high;
};
struct StnlEntry {
    std::vector<Item> items;
    uint32_t nameBytes;
};

// "stnl.raw" or the expected "stnl.bin": entries, then their items in order.
Bytes Stnl(const std::vector<StnlEntry>& entries) {
    Bytes bytes;
    PutMagic(bytes, "SN01");
    Put32(bytes, static_cast<uint32_t>(entries.size()));
    uint32_t at = 8 + 12 * static_cast<uint32_t>(entries.size());
    for (const StnlEntry& entry : entries) {
        Put32(bytes, at);
        Put32(bytes, static_cast<uint32_t>(entry.items.size()));
        Put32(bytes, entry.nameBytes);
        at += 12 * static_cast<uint32_t>(entry.items.size());
    }
    for (const StnlEntry& entry : entries) {
        for (const Item& item : entry.items) {
            Put32(bytes, item.name);
            Put32(bytes, item.low);
            Put32(bytes, item.high);
        }
    }
    return bytes;
}

class StnlTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        Source("nameidx.bin", NameIdx(10, {{1, 2}, {3, 9}, {2, 4, 5}}));
        Source("stnl.raw", Stnl({
                               {{{1, 10, 20}, {2, kNoNumber, kNoNumber}, {7, 1, 2}}, 99},
                               {{{3, 5, 6}}, 7},
                               {{{2, 0, 0}, {4, 0, 0}, {5, 0, 0}}, 55},
                           }));
    }
};

TEST_F(StnlTest, WhollyChosenEntriesAreCopiedAndPartlyChosenOnesKeepWhatTheLinksUse) {
    const CMapCut cut = MakeCut({0, 1 | kPartlyChosenBit, 2 | kPartlyChosenBit});
    CStnlConverter converter(cut);
    converter.ReadNameIndex(src_.c_str());
    EXPECT_EQ(converter.UsedNames(), (UsedNameFlags{0, 1, 1, 1, 1, 1, 0, 0, 0, 1}));
    EXPECT_EQ(converter.HighestUsedName(), 9);

    // Names 1, 2, 4, 5 written; 7 lies beyond the written names.
    const NameOffsetTable offsets{kMinus1, 100, 200, kMinus1, 300, 400};
    const NameSizeTable sizes{0, 5, 6, 0, 7, 8};
    KeptLinkNames kept;
    kept.used = {0, 0, 1, 0, 0, 1};
    kept.lowest = {kNoNumber, kNoNumber, 3, kNoNumber, kNoNumber, kNoNumber};
    kept.highest = {kNoNumber, kNoNumber, 40, kNoNumber, kNoNumber, kNoNumber};
    ASSERT_EQ(converter.Write(src_.c_str(), tmp_.c_str(), offsets, sizes, kept), 0);

    Bytes expected;
    PutMagic(expected, "SN01");
    Put32(expected, 3);
    for (uint32_t value : {44u, 3u, 99u, 80u, 0u, 0u, 80u, 2u, 14u}) {
        Put32(expected, value);
    }
    // Entry 0 keeps its count and byte sum; the partly chosen entry 1 keeps no item;
    // entry 2 keeps names 2 and 5, with the kept records' house numbers.
    for (uint32_t value : {100u, 10u, 20u, 200u, kNoNumber, kNoNumber, kMinus2, 1u, 2u,  //
                           200u, 3u, 40u, 400u, kNoNumber, kNoNumber}) {
        Put32(expected, value);
    }
    EXPECT_EQ(Output("stnl.bin"), expected);
}

TEST_F(StnlTest, DamagedSourcesEndTheRun) {
    struct Case {
        const char* what;
        std::vector<uint32_t> chosen;
        const char* file;
        Bytes bytes;
        bool write;  // fails only when writing
        std::u16string text;
    };
    Bytes shortIndex = NameIdx(10, {{1, 2}, {3}});
    shortIndex.resize(shortIndex.size() - 2);
    const Case cases[] = {
        {"chosen entry beyond the name index",
         {0, 3},
         nullptr,
         {},
         false,
         InternalError(u"State count error.", 7409)},
        {"name number beyond the name count",
         {0},
         "nameidx.bin",
         NameIdx(2, {{1, 2}}),
         false,
         InternalError(u"Name count error.", 7427)},
        {"names beyond the end of the index",
         {1},
         "nameidx.bin",
         shortIndex,
         false,
         InternalError(7418)},
        {"entry table beyond the end",
         {0},
         "nameidx.bin",
         {'N', 'I', '0', '0', 9, 0, 0, 0, 9},
         false,
         InternalError(7368)},
        {"wrong street list magic",
         {0},
         "stnl.raw",
         {'S', 'N', '0', '0', 0, 0, 0, 0},
         false,
         u"Corrupted file: SN01"},
        {"street list entries beyond the end",
         {0},
         "stnl.raw",
         {'S', 'N', '0', '1', 3, 0, 0, 0},
         false,
         InternalError(7236)},
        {"items beyond the end",
         {0},
         "stnl.raw",
         Stnl({{{{1, 0, 0}}, 2}, {{}, 0}, {{}, 0}}),
         true,
         InternalError(7271)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.file) {
            Bytes bytes = c.bytes;
            if (c.write) {
                bytes.resize(bytes.size() - 1);
            }
            Source(c.file, bytes);
        }
        const CMapCut cut = MakeCut(c.chosen);
        ExpectRunEnds(
            [&] {
                CStnlConverter converter(cut);
                converter.ReadNameIndex(src_.c_str());
                ASSERT_TRUE(c.write) << "read";
                converter.Write(src_.c_str(), tmp_.c_str(), {}, {}, {});
            },
            c.text);
    }
}

TEST_F(StnlTest, MissingSourcesAreNamed) {
    const CMapCut cut = MakeCut({0});
    std::filesystem::remove(source_ / "nameidx.bin");
    ExpectRunEnds([&] { CStnlConverter(cut).ReadNameIndex(src_.c_str()); },
                  InternalError(u"Error opening nameidx.bin.", 7352));
    std::filesystem::remove(source_ / "stnl.raw");
    ExpectRunEnds([&] { CStnlConverter(cut).ReadNameIndex(src_.c_str()); },
                  InternalError(u"Error opening stnl.raw.", 7332));
}

// ---- "lsr.bin" and "lsrs.bin" ------------------------------------------------------

Bytes LsrRaw(const std::vector<std::pair<int32_t, int32_t>>& records, int extraCount = 0) {
    Bytes bytes;
    PutMagic(bytes, "LN00");
    Put32(bytes, static_cast<uint32_t>(records.size() + extraCount));
    for (const auto& [name, exit] : records) {
        Put32(bytes, static_cast<uint32_t>(name));
        Put32(bytes, static_cast<uint32_t>(exit));
    }
    return bytes;
}

Bytes LsrsRaw(const std::vector<std::string>& texts, int extraCount = 0) {
    Bytes bytes;
    PutMagic(bytes, "LS00");
    Put32(bytes, static_cast<uint32_t>(texts.size() + extraCount));
    for (const std::string& text : texts) {
        PutText(bytes, text);
    }
    return bytes;
}

class LsrTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        Source("lsr.raw", LsrRaw({{0, 1}, {3, -1}, {2, 2}}));
        Source("lsrs.raw", LsrsRaw({"MAIN ST", "12A", "UNUSED", "I-5 N"}));
    }
};

TEST_F(LsrTest, AddedRecordsKeepTheirOrderAndOnlyTheirTextsAreCopied) {
    CLsrConverter converter;
    converter.ReadSource(src_.c_str());
    EXPECT_EQ(converter.AddRecord(1), 4u);
    EXPECT_EQ(converter.AddRecord(0), 12u);
    EXPECT_EQ(converter.AddRecord(1), 20u);
    EXPECT_EQ(converter.AddedRecords(), (NamePairTable{1, 0, 1}));
    ASSERT_EQ(converter.Write(tmp_.c_str()), 0);

    Bytes pairs;
    PutMagic(pairs, "LN00");
    for (uint32_t value : {16u, kMinus1, 4u, 12u, 16u, kMinus1}) {
        Put32(pairs, value);
    }
    EXPECT_EQ(Output("lsr.bin"), pairs);
    Bytes texts;
    PutMagic(texts, "LS00");
    PutText(texts, "MAIN ST");  // at 4
    PutText(texts, "12A");      // at 12
    PutText(texts, "I-5 N");    // at 16
    EXPECT_EQ(Output("lsrs.bin"), texts);

    CLsrConverter empty;
    empty.ReadSource(src_.c_str());
    ASSERT_EQ(empty.Write(tmp_.c_str()), 0);
    EXPECT_EQ(Output("lsr.bin"), (Bytes{'L', 'N', '0', '0'}));
    EXPECT_EQ(Output("lsrs.bin"), (Bytes{'L', 'S', '0', '0'}));
}

TEST_F(LsrTest, DamagedSourcesEndTheRun) {
    struct Case {
        const char* what;
        Bytes pairs;
        Bytes texts;
        uint32_t record;
        std::u16string text;
    };
    const Bytes pairs = LsrRaw({{0, 1}, {3, -1}});
    const Bytes texts = LsrsRaw({"A", "B", "C", "D"});
    const Case cases[] = {
        {"record beyond the count", pairs, texts, 2, InternalError(1112)},
        {"record count beyond the file", LsrRaw({{0, 1}}, 1), texts, 1, InternalError(1112)},
        {"text beyond the count", LsrRaw({{4, -1}}), texts, 0, InternalError(1150)},
        {"negative text", LsrRaw({{-2, -1}}), texts, 0, InternalError(1150)},
        {"texts cut short", pairs, LsrsRaw({"A", "B"}, 2), 1, InternalError(1150)},
        {"text over 71 bytes", pairs, LsrsRaw({std::string(72, 'A'), "B", "C", "D"}), 1,
         InternalError(1150)},
        {"wrong pair magic", {'L', 'S', '0', '0', 0, 0, 0, 0}, texts, 0, u"Corrupted file: LN00"},
        {"wrong text magic", pairs, {'L', 'N', '0', '0', 0, 0, 0, 0}, 0, u"Corrupted file: LS00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Source("lsr.raw", c.pairs);
        Source("lsrs.raw", c.texts);
        ExpectRunEnds(
            [&] {
                CLsrConverter converter;
                converter.ReadSource(src_.c_str());
                converter.AddRecord(c.record);
                converter.Write(tmp_.c_str());
            },
            c.text);
    }
    std::filesystem::remove(source_ / "lsrs.raw");
    ExpectRunEnds([&] { CLsrConverter().ReadSource(src_.c_str()); }, InternalError(1034));
}

}  // namespace
