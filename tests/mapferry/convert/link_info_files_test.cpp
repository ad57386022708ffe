#include "mapferry/convert/link_info_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/areas.h"
#include "formats/link_info.h"
#include "formats/name_index.h"
#include "formats/names.h"
#include "mapferry/convert/compressed_block.h"
#include "mapferry/convert/name_files.h"
#include "mapferry/convert/region_data.h"
#include "tests/mapferry/convert/disc_fixture_names.h"
#include "tests/support/shared_data.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"

namespace {

using namespace names_fixture;
namespace li = formats::link_info;
namespace nm = formats::names;
namespace ni = formats::name_index;

constexpr uint32_t kMinus1 = 0xFFFFFFFF;
constexpr uint32_t kMinus2 = 0xFFFFFFFE;
constexpr uint32_t kNoNumber = 0x7FFFFFFF;

// Source grids: overview 4 x 3 cells, detailed 8 x 6.
const SourceGrids kGrids = {SourceGrid{4, 3}, SourceGrid{8, 6}};
constexpr uint32_t kDetailed = li::kDetailedCell;

constexpr int kPairAB = 11 * 44 + 19;  // "AB..."
constexpr int kPairAD = 11 * 44 + 21;
constexpr int kPairAE = 11 * 44 + 22;

// The raw bytes compressed as one block.
Bytes Compress(const Bytes& raw, const std::filesystem::path& scratch) {
    WriteBytes(scratch, raw);
    CFile file(platform::HostPathText(scratch).c_str(), CFile::modeReadWrite);
    EXPECT_EQ(WriteCompressedBlock(&file, static_cast<DWORD>(raw.size()), nullptr, nullptr),
              kBlockWriteOk);
    file.Close();
    Bytes block = ReadBytes(scratch);
    block.resize(8 + formats::LoadU32(block.data()));
    return block;
}

struct SourceRecord {
    int pair;
    li::Record record;
};

li::Record MakeRecord(uint32_t cellWord, int32_t leftPlace, int32_t rightPlace,
                      std::vector<li::NameItem> items = {}) {
    li::Record record;
    record.cellWord = cellWord;
    record.leftPlace = leftPlace;
    record.rightPlace = rightPlace;
    record.items = std::move(items);
    return record;
}

// "linkinfo.raz": per entry, its records in pair order, as one compressed block.
Bytes LinkInfoRaz(const std::vector<std::vector<SourceRecord>>& entries,
                  const std::filesystem::path& scratch) {
    Bytes head;
    PutMagic(head, "LI07");
    Put32(head, static_cast<uint32_t>(entries.size()));
    Bytes blocks;
    const uint32_t blocksAt = 8 + 8 * static_cast<uint32_t>(entries.size());
    for (const auto& records : entries) {
        std::vector<li::PairEntry> pairs(li::kPairEntries);
        Bytes body;
        for (const SourceRecord& r : records) {
            if (pairs[r.pair].count++ == 0) {
                pairs[r.pair].first = static_cast<uint32_t>(li::kPairTableSize + body.size());
            }
            li::EncodeRecord(r.record, body);
        }
        Bytes raw(li::kPairTableSize);
        for (int p = 0; p < li::kPairEntries; ++p) {
            li::EncodePairEntry(pairs[p], raw.data() + li::PairEntryOffset(p));
        }
        raw.insert(raw.end(), body.begin(), body.end());
        Put32(head, blocksAt + static_cast<uint32_t>(blocks.size()));
        Put32(head, static_cast<uint32_t>(records.size()));
        const Bytes block = Compress(raw, scratch);
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    head.insert(head.end(), blocks.begin(), blocks.end());
    return head;
}

// The hand-made source of the main case. Cut: overview window columns 1-2, rows
// 1-2, keeping row 1 columns 1-2; detailed window columns 2-5, rows 2-4, keeping
// row 2 columns 2-3 and row 3 column 4.
CMapCut MainCut() {
    return MakeCut({0, 2 | kPartlyChosenBit}, {{1, 2, 1, 2}, 1, {{1, 2}}},
                   {{2, 4, 2, 3}, 2, {{2, 2}, {4, 1}}});
}

std::vector<std::vector<SourceRecord>> MainSource() {
    // Entry 0, wholly chosen: records 0 to 2.
    li::Record r0 = MakeRecord(2 + 4 * 2, 0, 0);  // overview (2, 2)
    li::Record r1 = MakeRecord(kDetailed | (5 + 8 * 4), 1, 2,
                               {{2, li::kItemHouseNumbers | li::kItemPrimary, 0}, {7, 0x0200, 0}});
    r1.addressWord = li::AddressWord(li::kLeftRangeKind, li::kParityOdd, 0, li::kParityNone, true);
    r1.left = {1, 9};
    r1.leftAlternative = 1;
    r1.leftExtra = 3;
    r1.rightExtra = 3;
    r1.namePair = 5;
    li::Record r2 = MakeRecord(1 + 4 * 2, -1, 4, {{3, 0, 0}});  // overview (1, 2)
    // Entry 1, not chosen: records 3 and 4.
    li::Record other = MakeRecord(0, 0, 0);
    // Entry 2, partly chosen: records 5 to 9.
    li::Record r5 =
        MakeRecord(kDetailed | (2 + 8 * 2), -1, -1, {{4, li::kItemHouseNumbers, 0}, {5, 0, 0}});
    r5.addressWord = li::AddressWord(li::kLeftRangeKind, li::kParityEven, li::kRightRangeKind,
                                     li::kParityOdd, false);
    r5.left = {10, 20};
    r5.right = {25, 5};
    li::Record r6 = MakeRecord(kDetailed | (4 + 8 * 2), -1, -1, {{6, li::kItemHouseNumbers, 0}});
    r6.addressWord =
        li::AddressWord(li::kLeftRangeKind, li::kParityEven, 0, li::kParityNone, false);
    r6.left = {1, 1000};
    li::Record r7 = MakeRecord(kDetailed | (4 + 8 * 3), 0, -1, {{4, li::kItemHouseNumbers, 0}});
    r7.addressWord =
        li::AddressWord(0, li::kParityNone, li::kRightRangeKind, li::kParityBoth, true);
    r7.right = {100, 102};
    r7.namePair = 2;
    li::Record r8 = MakeRecord(1 + 4 * 1, -1, -1);  // overview (1, 1)
    li::Record r9 = MakeRecord(1 + 4 * 2, -1, -1);  // overview (1, 2): not in the range
    return {
        {{0, r0}, {kPairAB, r1}, {kPairAB, r2}},
        {{0, other}, {0, other}},
        {{0, r5}, {0, r6}, {kPairAB, r7}, {kPairAD, r8}, {kPairAE, r9}},
    };
}

const NameOffsetTable kNames{500, 510, 520, 530, 540, 550, 560};  // name 7 lies beyond
const PlaceOffsetTable kPlaces{1000, 2000, kMinus1, 3000, 4000};  // place 2 not written

class LinkInfoTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        Source("lsr.raw", LsrSource());
        Source("lsrs.raw", {'L', 'S', '0', '0', 0, 0, 0, 0});
        lsr_.ReadSource(src_.c_str());
    }
    static Bytes LsrSource() {
        Bytes bytes;
        PutMagic(bytes, "LN00");
        Put32(bytes, 6);
        bytes.resize(bytes.size() + 6 * 8, 0xFF);
        return bytes;
    }
    int Convert(CLinkInfoConverter& converter) {
        converter.ReadSource(src_.c_str());
        return converter.Write(src_.c_str(), tmp_.c_str(), kNames, kPlaces, kGrids, lsr_);
    }
    std::filesystem::path Scratch() const { return roots_.base() / "scratch.bin"; }

    CLsrConverter lsr_;
};

// The expected pair table: the given pairs {count, first}, all others {0, -1}.
Bytes PairTable(const std::map<int, std::pair<uint32_t, uint32_t>>& pairs) {
    Bytes table(li::kPairTableSize);
    for (int p = 0; p < li::kPairEntries; ++p) {
        li::PairEntry entry;
        if (auto it = pairs.find(p); it != pairs.end()) {
            entry = {it->second.first, it->second.second};
        }
        li::EncodePairEntry(entry, table.data() + li::PairEntryOffset(p));
    }
    return table;
}

void Append(Bytes& bytes, std::initializer_list<uint32_t> words) {
    for (uint32_t word : words) {
        Put32(bytes, word);
    }
}
void AppendItem(Bytes& bytes, uint32_t name, uint16_t flags, uint8_t direction = 0) {
    Put32(bytes, name);
    Put16(bytes, flags);
    bytes.push_back(direction);
}

TEST_F(LinkInfoTest, ChosenEntriesAreRenumberedAndRecompressed) {
    Source("linkinfo.raz", LinkInfoRaz(MainSource(), Scratch()));
    const CMapCut cut = MainCut();
    CLinkInfoConverter converter(cut);
    ASSERT_EQ(Convert(converter), 0);

    Bytes expected;
    PutMagic(expected, "LI07");
    Append(expected, {2, 24, 3, 13129, 3});
    // Entry 0: every record, in source order.
    Bytes table0 = PairTable({{0, {1, 13056}}, {kPairAB, {2, 13068}}});
    expected.insert(expected.end(), table0.begin(), table0.end());
    // r0: both places 0.
    Append(expected, {3});
    Put16(expected, 0x0400);
    Put16(expected, 0);
    Append(expected, {1000});
    // r1: place 2 is not written, so the right place repeats the left; the left
    // alternative equals the left place, the extras each other.
    Append(expected, {kDetailed | 11});
    Put16(expected, 2 | 0x0400 | 0x8000 | 0x0100 | 0x2000 | 0x0200 | 0x1000);
    Put16(expected, 0xC102);
    Append(expected, {1, 9, 2000, 3000, /*name pair*/ 4});
    AppendItem(expected, 520, 0x6000);
    AppendItem(expected, kMinus2, 0x0200);
    // r2: the left place takes the right one.
    Append(expected, {2});
    Put16(expected, 0x0401);
    Put16(expected, 0);
    Append(expected, {4000});
    AppendItem(expected, 530, 0);
    ASSERT_EQ(expected.size(), 13129u);
    // Entry 2: records 5, 7 and 8 lie in the kept cells.
    Bytes table2 = PairTable({{0, {1, 26161}}, {kPairAB, {1, 26203}}, {kPairAD, {1, 26234}}});
    expected.insert(expected.end(), table2.begin(), table2.end());
    Append(expected, {kDetailed | 0});
    Put16(expected, 0x0402);
    Put16(expected, 0x7104);
    Append(expected, {10, 20, 25, 5, kMinus1});
    AppendItem(expected, 540, 0x2000);
    AppendItem(expected, 550, 0);
    Append(expected, {kDetailed | 6});
    Put16(expected, 0x0401);
    Put16(expected, 0x2006);
    Append(expected, {100, 102, 1000, /*name pair*/ 12});
    AppendItem(expected, 540, 0x2000);
    Append(expected, {0});
    Put16(expected, 0x0400);
    Put16(expected, 0);
    Append(expected, {kMinus1});
    ASSERT_EQ(expected.size(), 26246u);
    EXPECT_EQ(Output("linkinfo.bin"), expected);

    EXPECT_EQ(converter.RecordOffsets(),
              (LinkInfoOffsetTable{13056, 13068, 13110, kMinus1, kMinus1, 26161, kMinus1, 26203,
                                   26234, kMinus1}));
    EXPECT_EQ(converter.UsedPlaces(), (UsedPlaceFlags{1, 1, 0, 1, 1}));
    EXPECT_EQ(lsr_.AddedRecords(), (NamePairTable{5, 2}));
    // Only the kept records of the partly chosen entry tell the street list.
    const KeptLinkNames& kept = converter.KeptNames();
    EXPECT_EQ(kept.used, (std::vector<uint8_t>{0, 0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(kept.lowest[4], 5);
    EXPECT_EQ(kept.highest[4], 102);
    EXPECT_EQ(kept.lowest[5], static_cast<int32_t>(kNoNumber));
    EXPECT_EQ(kept.highest[6], static_cast<int32_t>(kNoNumber));
}

TEST_F(LinkInfoTest, PartlyChosenEntryWithoutKeptRecordsIsEmpty) {
    auto source = MainSource();
    Source("linkinfo.raz", LinkInfoRaz(source, Scratch()));
    // Only entry 1, partly chosen, whose cells lie outside the kept ranges.
    const CMapCut cut = MakeCut({1 | kPartlyChosenBit}, {{0, 4, 0, 3}, 1, {{1, 2}}});
    CLinkInfoConverter converter(cut);
    ASSERT_EQ(Convert(converter), 0);
    Bytes expected;
    PutMagic(expected, "LI07");
    Append(expected, {1, 16, 0});
    Bytes table = PairTable({});
    expected.insert(expected.end(), table.begin(), table.end());
    EXPECT_EQ(Output("linkinfo.bin"), expected);
    EXPECT_TRUE(std::all_of(converter.RecordOffsets().begin(), converter.RecordOffsets().end(),
                            [](uint32_t offset) { return offset == kMinus1; }));
}

// A wholly chosen entry may hold a record of a cell outside the installed grid
// (links in no state's area go with the first entry): its cell word could not be
// written truly and no installed link refers to it, so it is left out.
TEST_F(LinkInfoTest, WhollyChosenRecordOutsideTheWindowIsLeftOut) {
    Source(
        "linkinfo.raz",
        LinkInfoRaz({{{0, MakeRecord(0, -1, -1)}, {0, MakeRecord(1 + 4 * 1, -1, -1)}}}, Scratch()));
    const CMapCut cut = MakeCut({0}, {{1, 2, 1, 2}, 1, {{1, 2}}});
    CLinkInfoConverter converter(cut);
    ASSERT_EQ(Convert(converter), 0);
    Bytes expected;
    PutMagic(expected, "LI07");
    Append(expected, {1, 16, 1});
    Bytes table = PairTable({{0, {1, 13048}}});
    expected.insert(expected.end(), table.begin(), table.end());
    Append(expected, {0});
    Put16(expected, 0x0400);
    Put16(expected, 0);
    Append(expected, {kMinus1});
    EXPECT_EQ(Output("linkinfo.bin"), expected);
    EXPECT_EQ(converter.RecordOffsets(), (LinkInfoOffsetTable{kMinus1, 13048}));
}

TEST_F(LinkInfoTest, DamagedSourcesEndTheRun) {
    const Bytes good = LinkInfoRaz(MainSource(), Scratch());
    auto patched = [&](size_t offset, uint32_t value) {
        Bytes bytes = good;
        formats::StoreU32(bytes.data() + offset, value);
        return bytes;
    };
    // Entry 2's block holds five records; a count of six runs past its end.
    Bytes shortBlock = LinkInfoRaz(MainSource(), Scratch());
    {
        auto source = MainSource();
        Bytes pairs(li::kPairTableSize);
        std::vector<li::PairEntry> entries(li::kPairEntries);
        entries[0].count = 3;  // one more than the block holds
        entries[kPairAB].count = 1;
        entries[kPairAD].count = 1;
        entries[kPairAE].count = 1;
        for (int p = 0; p < li::kPairEntries; ++p) {
            li::EncodePairEntry(entries[p], pairs.data() + li::PairEntryOffset(p));
        }
        for (const SourceRecord& r : source[2]) {
            li::EncodeRecord(r.record, pairs);
        }
        const Bytes block = Compress(pairs, Scratch());
        const uint32_t at = formats::LoadU32(good.data() + li::EntryOffset(2));
        shortBlock.resize(at);
        shortBlock.insert(shortBlock.end(), block.begin(), block.end());
        formats::StoreU32(shortBlock.data() + li::EntryOffset(2) + 4, 6);
    }
    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<uint32_t> chosen;
        std::u16string text;
    };
    const Case cases[] = {
        {"wrong magic", patched(0, 0x3630494C), {0}, u"Corrupted file: LI07"},
        {"index beyond the file", patched(4, 1000), {0}, InternalError(6011)},
        {"chosen entry beyond the count", good, {3}, InternalError(6185)},
        {"block beyond the file", patched(li::EntryOffset(0), 1u << 30), {0}, InternalError(6185)},
        {"block head damaged", patched(li::EntryOffset(0), 9), {0}, InternalError(6185)},
        {"counts of the index and the pairs differ",
         patched(li::EntryOffset(0) + 4, 4),
         {0},
         InternalError(6011)},
        {"records run past a partly chosen block",
         shortBlock,
         {2 | kPartlyChosenBit},
         InternalError(6119)},
        {"record count no file could hold",
         patched(li::EntryOffset(1) + 4, 0x7FFFFFF0),
         {0},
         InternalError(5823)},
    };
    const CMapCut base = MainCut();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Source("linkinfo.raz", c.bytes);
        CMapCut cut = base;
        cut.m_chosen = c.chosen;
        ExpectRunEnds(
            [&] {
                CLinkInfoConverter converter(cut);
                Convert(converter);
            },
            c.text);
    }
    std::filesystem::remove(source_ / "linkinfo.raz");
    CLinkInfoConverter missing(base);
    EXPECT_EQ(Convert(missing), 1);
}

TEST_F(LinkInfoTest, FailedWriteIsTheLowDiskSpaceReport) {
    Source("linkinfo.raz", LinkInfoRaz(MainSource(), Scratch()));
    const CMapCut cut = MainCut();
    ASSERT_TRUE(platform::SetDiskFreeSpace(tmp_.c_str(), {10u << 20, 100u << 20, 10u << 20}));
    platform::FailWritesAfter(20000);
    ExpectRunEnds(
        [&] {
            CLinkInfoConverter converter(cut);
            Convert(converter);
        },
        u"Error writing temporary file - low on disk space 10.00 MB.");
    platform::ClearWriteFailure();
    platform::ClearDiskFreeSpace();
}

// ---- "lfoidx.bin" ------------------------------------------------------------------

struct LfoName {
    uint32_t name;
    std::vector<li::LfoItem> items;
};

// "lfoidx.raz": per entry its names (none: table -1), lists of more than three
// items compressed.
Bytes LfoIdxRaz(const std::vector<std::vector<LfoName>>& entries,
                const std::filesystem::path& scratch) {
    Bytes bytes;
    PutMagic(bytes, "LX01");
    Put32(bytes, static_cast<uint32_t>(entries.size()));
    bytes.resize(8 + 8 * entries.size());
    for (size_t e = 0; e < entries.size(); ++e) {
        li::LfoEntry entry;
        if (!entries[e].empty()) {
            entry = {static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(entries[e].size())};
            const size_t table = bytes.size();
            bytes.resize(table + 8 * entries[e].size());
            for (size_t k = 0; k < entries[e].size(); ++k) {
                const LfoName& name = entries[e][k];
                li::EncodeLfoName({name.name, static_cast<uint32_t>(bytes.size())},
                                  bytes.data() + table + 8 * k);
                Put32(bytes, static_cast<uint32_t>(name.items.size()));
                Bytes raw(name.items.size() * li::kLfoItemSize);
                for (size_t i = 0; i < name.items.size(); ++i) {
                    li::EncodeLfoItem(name.items[i], raw.data() + i * li::kLfoItemSize);
                }
                if (name.items.size() > 3) {
                    raw = Compress(raw, scratch);
                }
                bytes.insert(bytes.end(), raw.begin(), raw.end());
            }
        }
        li::EncodeLfoEntry(entry, bytes.data() + li::LfoEntryOffset(static_cast<uint32_t>(e)));
    }
    return bytes;
}

const LinkInfoOffsetTable kRecords{13056, kMinus1, 200, 300, 400, kMinus1, 600};

std::vector<std::vector<LfoName>> LfoSource() {
    return {
        {
            {1, {{1, 2, 0}, {3, 4, 1}, {5, 6, 2}}},             // three, plain
            {2, {{0, 0, 1}, {0, 0, 5}, {0, 0, 1}, {0, 0, 5}}},  // four, none kept
            {9, {{-1, -1, 3}, {7, 8, 4}, {9, 9, 5}, {10, 12, 6}}},
        },
        {},
        {{0, {{0, 0, 0}}}},
        {{3, {{0, 0, 5}}}},
    };
}

class LfoIdxTest : public ConverterTest {};

TEST_F(LfoIdxTest, KeptNamesAndItemsAreRenumberedAndListsArePlain) {
    Source("lfoidx.raz", LfoIdxRaz(LfoSource(), roots_.base() / "scratch.bin"));
    const CMapCut cut = MakeCut({0, 1 | kPartlyChosenBit, 3 | kPartlyChosenBit});
    CLfoIdxConverter converter(cut);
    converter.ReadSource(src_.c_str());
    ASSERT_EQ(converter.Write(src_.c_str(), tmp_.c_str(), kRecords, {500, 510, 520, 530}), 0);

    Bytes expected;
    PutMagic(expected, "LX01");
    // Entry 0 keeps names 1 and 9; entry 1 has no names; entry 3 keeps none.
    Append(expected, {3, 32, 2, kMinus1, 0, kMinus1, 0});
    Append(expected, {510, 48, kMinus2, 76});
    Append(expected, {2, 1, 2, 13056, 5, 6, 200});
    Append(expected, {3, kMinus1, kMinus1, 300, 7, 8, 400, 10, 12, 600});
    EXPECT_EQ(Output("lfoidx.bin"), expected);
}

TEST_F(LfoIdxTest, DamagedSourcesEndTheRun) {
    const std::filesystem::path scratch = roots_.base() / "scratch.bin";
    const Bytes good = LfoIdxRaz(LfoSource(), scratch);
    // The first name's list (plain, three items) starts at 64, the second (a block)
    // at 104.
    ASSERT_EQ(U32At(good, 40 + 4), 64u);
    ASSERT_EQ(U32At(good, 48 + 4), 104u);
    auto patched = [&](size_t offset, uint32_t value) {
        Bytes bytes = good;
        formats::StoreU32(bytes.data() + offset, value);
        return bytes;
    };
    Bytes cut = good;
    cut.resize(80);
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t entry;
        std::u16string text;
    };
    const Case cases[] = {
        {"wrong magic", patched(0, 0x3130584D), 0, u"Corrupted file: LX01"},
        {"index beyond the file", patched(4, 100), 0, InternalError(6517)},
        {"chosen entry beyond the count", good, 4, InternalError(6517)},
        {"name table beyond the file", patched(8 + 4, 1000), 0, InternalError(6517)},
        {"list beyond the file", patched(40 + 4, 1u << 20), 0, InternalError(6585)},
        {"plain list cut short", cut, 0, InternalError(6585)},
        {"block of the wrong size", patched(104, 5), 0, InternalError(6686)},
        {"block damaged", patched(104 + 4 + 4, 0xFFFFFFFF), 0, InternalError(6686)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Source("lfoidx.raz", c.bytes);
        const CMapCut chosen = MakeCut({c.entry});
        ExpectRunEnds(
            [&] {
                CLfoIdxConverter converter(chosen);
                converter.ReadSource(src_.c_str());
                converter.Write(src_.c_str(), tmp_.c_str(), kRecords, {500, 510, 520, 530});
            },
            c.text);
    }
    std::filesystem::remove(source_ / "lfoidx.raz");
    ExpectRunEnds([&] { CLfoIdxConverter(MakeCut({0})).ReadSource(src_.c_str()); },
                  InternalError(6437));
}

// ---- The whole chain on built discs --------------------------------------------------

namespace fs = std::filesystem;

struct Step {
    const char* files;
    double seconds;
};

struct Chain {
    NameOffsetTable names;
    LinkInfoOffsetTable records;
    std::vector<Step> steps;
};

// The converters in the generation's order, with the place offsets the area
// converter would hand on.
Chain RunChain(const CMapCut& cut, const std::u16string& src, const std::u16string& tmp,
               const PlaceOffsetTable& places) {
    Chain chain;
    auto timed = [&](const char* files, const std::function<void()>& step) {
        const auto start = std::chrono::steady_clock::now();
        step();
        chain.steps.push_back(
            {files,
             std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    };
    CStnlConverter stnl(cut);
    CNamesConverter names;
    timed("names.bin", [&] {
        stnl.ReadNameIndex(src.c_str());
        names.ReadSource(src.c_str());
        EXPECT_EQ(names.Write(src.c_str(), tmp.c_str(), stnl.UsedNames()), 0);
    });
    chain.names = names.NameOffsets();
    CLsrConverter lsr;
    CLinkInfoConverter linkInfo(cut);
    timed("linkinfo.bin", [&] {
        lsr.ReadSource(src.c_str());
        SourceGrids grids;
        ASSERT_TRUE(ReadSourceGrids(src.c_str(), &grids));
        linkInfo.ReadSource(src.c_str());
        EXPECT_EQ(linkInfo.Write(src.c_str(), tmp.c_str(), chain.names, places, grids, lsr), 0);
    });
    chain.records = linkInfo.RecordOffsets();
    timed("lfoidx.bin", [&] {
        CLfoIdxConverter lfoIdx(cut);
        lfoIdx.ReadSource(src.c_str());
        EXPECT_EQ(lfoIdx.Write(src.c_str(), tmp.c_str(), chain.records, chain.names), 0);
    });
    timed("lsr.bin, lsrs.bin", [&] { EXPECT_EQ(lsr.Write(tmp.c_str()), 0); });
    timed("stnl.bin", [&] {
        EXPECT_EQ(stnl.Write(src.c_str(), tmp.c_str(), chain.names, names.NameSizes(),
                             linkInfo.KeptNames()),
                  0);
    });
    return chain;
}

// Place offsets for the places of the chosen areas of "az.raw", as distinct values.
PlaceOffsetTable PlacesOf(const fs::path& azRaw, const CMapCut& cut) {
    namespace az = formats::areas;
    const Bytes bytes = ReadBytes(azRaw);
    const uint16_t count = formats::LoadU16(bytes.data() + az::kAreaCountOffset);
    std::set<uint32_t> chosen;
    for (int i = 0; i < cut.ChosenCount(); ++i) {
        chosen.insert(cut.ChosenEntry(i));
    }
    PlaceOffsetTable places;
    size_t at = az::kAreaEntriesOffset;
    for (uint32_t area = 0; area < count; ++area) {
        const az::AreaEntry entry = az::DecodeAreaFixed(bytes.data() + at + 1);
        for (uint32_t k = 0; k < (entry.placeWord & az::kPlaceCountMask); ++k) {
            places.push_back(
                chosen.count(area) ? 0x100000 + 4 * static_cast<uint32_t>(places.size()) : kMinus1);
        }
        at += az::AreaEntrySize(bytes[at]);
    }
    return places;
}

// Reads the written files back and checks that every reference lands where it
// should; `counts` gets the record count of each entry of "linkinfo.bin".
void CheckWrittenFiles(const fs::path& src, const fs::path& tmp, const CMapCut& cut,
                       const Chain& chain, std::vector<uint32_t>* counts = nullptr) {
    const Bytes namesRaw = ReadBytes(src / "names.raw");
    const Bytes names = ReadBytes(tmp / "names.bin");
    std::set<uint32_t> nameOffsets;
    for (size_t n = 0, at = 4; n < chain.names.size(); ++n) {
        const std::string text(namesRaw.begin() + at + 1, namesRaw.begin() + at + 1 + namesRaw[at]);
        if (chain.names[n] != kMinus1) {
            const uint32_t offset = chain.names[n];
            EXPECT_EQ(
                std::string(names.begin() + offset + 1, names.begin() + offset + 1 + names[offset]),
                text);
            nameOffsets.insert(offset);
        }
        at += 1 + namesRaw[at];
    }
    for (int pair = 0; pair < nm::kLetterPairs; ++pair) {
        const nm::IndexEntry entry =
            nm::DecodeIndexEntry(names.data() + nm::IndexEntryOffset(pair));
        uint32_t at = entry.firstOffset, bytes = 0;
        for (uint32_t k = 0; k < entry.count; ++k) {
            EXPECT_EQ(nm::LetterPairOfName(std::string_view(
                          reinterpret_cast<const char*>(names.data() + at + 1), names[at])),
                      pair);
            bytes += 1 + names[at];
            at += 1 + names[at];
        }
        EXPECT_EQ(bytes, entry.bytes);
    }
    auto validName = [&](uint32_t name) { return name == kMinus2 || nameOffsets.count(name) > 0; };

    const Bytes linkInfo = ReadBytes(tmp / "linkinfo.bin");
    std::set<uint32_t> recordOffsets;
    for (uint32_t offset : chain.records) {
        if (offset != kMinus1) {
            recordOffsets.insert(offset);
        }
    }
    const Bytes lsr = ReadBytes(tmp / "lsr.bin");
    const Bytes lsrs = ReadBytes(tmp / "lsrs.bin");
    size_t records = 0;
    EXPECT_EQ(U32At(linkInfo, 4), static_cast<uint32_t>(cut.ChosenCount()));
    for (int i = 0; i < cut.ChosenCount(); ++i) {
        const li::Entry entry = li::DecodeEntry(linkInfo.data() + li::EntryOffset(i));
        if (counts) {
            counts->push_back(entry.recordCount);
        }
        uint32_t at = entry.blockOffset + static_cast<uint32_t>(li::kPairTableSize);
        for (int p = 0; p < li::kPairEntries; ++p) {
            const li::PairEntry pair =
                li::DecodePairEntry(linkInfo.data() + entry.blockOffset + li::PairEntryOffset(p));
            EXPECT_EQ(pair.first, pair.count ? at : kMinus1);
            for (uint32_t k = 0; k < pair.count; ++k, ++records) {
                EXPECT_TRUE(recordOffsets.count(at)) << at;
                li::Record record;
                const size_t size =
                    li::DecodeRecord(linkInfo.data() + at, linkInfo.size() - at, record);
                ASSERT_GT(size, 0u);
                for (const li::NameItem& item : record.items) {
                    EXPECT_TRUE(validName(item.name)) << item.name;
                }
                if (record.addressWord & li::kHasNamePair) {
                    const uint32_t pairAt = record.namePair;
                    ASSERT_EQ((pairAt - 4) % 8, 0u);
                    ASSERT_LE(pairAt + 8, lsr.size());
                    for (uint32_t text : {U32At(lsr, pairAt), U32At(lsr, pairAt + 4)}) {
                        EXPECT_TRUE(text == kMinus1 ||
                                    (text >= 4 && text + 1 + lsrs[text] <= lsrs.size()));
                    }
                }
                const int layer = record.cellWord & li::kDetailedCell ? 1 : 0;
                EXPECT_LT(record.cellWord & li::kCellIndexMask,
                          static_cast<uint32_t>(cut.m_window[layer].columnCount *
                                                cut.m_window[layer].rowCount));
                at += static_cast<uint32_t>(size);
            }
        }
    }
    EXPECT_EQ(records, recordOffsets.size());

    const Bytes lfoIdx = ReadBytes(tmp / "lfoidx.bin");
    for (int i = 0; i < cut.ChosenCount(); ++i) {
        const li::LfoEntry entry = li::DecodeLfoEntry(lfoIdx.data() + li::LfoEntryOffset(i));
        uint32_t previous = 0;
        for (uint32_t k = 0; k < entry.nameCount; ++k) {
            const li::LfoName name = li::DecodeLfoName(lfoIdx.data() + entry.nameTable + 8 * k);
            EXPECT_TRUE(validName(name.name));
            EXPECT_GT(name.name, previous) << "names ascend";
            previous = name.name;
            const uint32_t count = U32At(lfoIdx, name.list);
            EXPECT_GT(count, 0u);
            for (uint32_t item = 0; item < count; ++item) {
                EXPECT_TRUE(recordOffsets.count(U32At(lfoIdx, name.list + 4 + 12 * item + 8)));
            }
        }
    }

    const Bytes stnl = ReadBytes(tmp / "stnl.bin");
    for (int i = 0; i < cut.ChosenCount(); ++i) {
        const ni::StreetEntry entry = ni::DecodeStreetEntry(stnl.data() + 8 + 12 * i);
        for (uint32_t k = 0; k < entry.count; ++k) {
            EXPECT_TRUE(validName(U32At(stnl, entry.itemsOffset + 12 * k)));
        }
    }
}

class BuiltDiscTest : public ConverterTest {
  protected:
    // Builds the discs and loads the region tables of their program folder.
    void Build(discmaker::Network network) {
        out_ = roots_.base() / "disc";
        discmaker::BuildDiscs(network, out_);
        disc1_ = out_ / "CD1" / "mapdata";
        for (int layer = 0; layer < 3; ++layer) {
            ASSERT_EQ(tables_[layer].Load(layer, platform::HostPathText(out_).c_str()), 0);
        }
    }
    CMapCut Cut(std::vector<DWORD> choice) {
        CMapCut cut;
        CMapSelectionBase selection(&cut, {&tables_[0], &tables_[1], &tables_[2]});
        EXPECT_EQ(ComputeMapCut(&selection, choice.data(), static_cast<int>(choice.size())), 0);
        return cut;
    }
    Chain Run(const CMapCut& cut) {
        fs::remove_all(temp_);
        fs::create_directories(temp_);
        return RunChain(cut, platform::HostPathText(disc1_), tmp_,
                        PlacesOf(disc1_ / "az.raw", cut));
    }

    fs::path out_;
    fs::path disc1_;
    CRegionData tables_[3];
};

TEST_F(BuiltDiscTest, TownConvertsWhollyAndByHalves) {
    Build(discmaker::BuildTown(7, 400));
    namespace sd = formats::source_disc;
    const Bytes source = ReadBytes(disc1_ / "linkinfo.raz");

    // California by both halves and Nevada: every record of both entries.
    const CMapCut whole = Cut({sd::ChoiceWord(4, 3), sd::ChoiceWord(28, 1)});
    ASSERT_EQ(whole.ChosenCount(), 2);
    ASSERT_TRUE(whole.IsWhollyChosen(0) && whole.IsWhollyChosen(1));
    const Chain all = Run(whole);
    std::vector<uint32_t> counts;
    CheckWrittenFiles(disc1_, temp_, whole, all, &counts);
    ASSERT_EQ(counts.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(counts[i], U32At(source, li::EntryOffset(whole.ChosenEntry(i)) + 4));
    }

    // The northern half alone: fewer records, all of them in kept cells.
    const CMapCut north = Cut({sd::ChoiceWord(4, 1)});
    ASSERT_EQ(north.ChosenCount(), 1);
    ASSERT_FALSE(north.IsWhollyChosen(0));
    const Chain half = Run(north);
    std::vector<uint32_t> halfCounts;
    CheckWrittenFiles(disc1_, temp_, north, half, &halfCounts);
    ASSERT_EQ(halfCounts.size(), 1u);
    EXPECT_GT(halfCounts[0], 0u);
    EXPECT_LT(halfCounts[0], U32At(source, li::EntryOffset(north.ChosenEntry(0)) + 4));
    const Bytes stnl = ReadBytes(temp_ / "stnl.bin");
    EXPECT_LT(U32At(stnl, 12),
              U32At(ReadBytes(disc1_ / "stnl.raw"), 8 + 12 * north.ChosenEntry(0) + 4))
        << "the partly chosen street list keeps the streets of the kept records";
}

// Conversion time and size of each file for the Andorra extract, printed.
TEST_F(BuiltDiscTest, AndorraFigures) {
    const fs::path file = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(file)) {
        GTEST_SKIP() << "no " << file.string() << ": the shared OpenStreetMap data is not here";
    }
    discmaker::Network network = discmaker::ReadOsm(file, "ON");
    std::vector<DWORD> choice;
    for (const discmaker::Region& region : network.regions) {
        if (region.combinable) {
            choice.push_back(formats::source_disc::ChoiceWord(
                region.number, region.subAreas.empty() ? 1 : (1u << region.subAreas.size()) - 1));
        }
    }
    Build(std::move(network));
    const CMapCut cut = Cut(choice);
    ASSERT_GT(cut.ChosenCount(), 0);
    const Chain chain = Run(cut);
    CheckWrittenFiles(disc1_, temp_, cut, chain);
    for (const Step& step : chain.steps) {
        std::string sizes;
        for (const char* name :
             {"names.bin", "linkinfo.bin", "lfoidx.bin", "lsr.bin", "lsrs.bin", "stnl.bin"}) {
            if (std::string(step.files).find(name) != std::string::npos) {
                sizes += std::string(" ") + name + " " +
                         std::to_string(fs::file_size(temp_ / name)) + " bytes";
            }
        }
        std::printf("andorra: %-18s %.4f s%s\n", step.files, step.seconds, sizes.c_str());
    }
}

}  // namespace
