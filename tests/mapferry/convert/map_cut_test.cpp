#include "mapferry/convert/map_cut.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/source_disc.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/size_tables.h"
#include "platform/kernel/kernel.h"
#include "tests/mapferry/source_files.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::ReadTestFile;
using testing_support::RegionFile;
using testing_support::SizeInfoFile;
using testing_support::SizeTableFile;
using testing_support::TestRecord;
using testing_support::WriteTestFile;

namespace sd = formats::source_disc;

constexpr uint32_t kPartly = kPartlyChosenBit;

const std::u16string kFolder = u"C:\\mapferry";

std::u16string InFolder(const char16_t* name) {
    return kFolder + u"\\" + name;
}

// "R<first row>:<column>+<count>,..." per range, ranges joined by " | ".
std::string Describe(const std::vector<BinRange>& ranges) {
    std::string text;
    for (const BinRange& range : ranges) {
        if (!text.empty()) {
            text += " | ";
        }
        text += "R" + std::to_string(range.firstRow) + ":";
        EXPECT_EQ(range.spans.size(), static_cast<size_t>(range.rowCount));
        EXPECT_EQ(range.reducedDetail, 0u);
        for (size_t i = 0; i < range.spans.size(); ++i) {
            text += (i ? "," : "") + std::to_string(range.spans[i].firstColumn) + "+" +
                    std::to_string(range.spans[i].columnCount);
        }
    }
    return text;
}

class MapCutTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::ClearMessageBoxes();
    }
    void TearDown() override {
        FreeMapCut();
        for (int layer = 0; layer < kCutLayers; ++layer) {
            RegionData(layer).Clear();
        }
        platform::SetCurrentSide(platform::Side::Device);
    }

    // A cut of layer 0 alone from the records.
    CMapCut CutOf(const std::vector<TestRecord>& records, std::vector<DWORD> choice) {
        WriteTestFile(InFolder(u"rgndata1.in"), RegionFile(records));
        CRegionData table;
        EXPECT_EQ(table.Load(0, kFolder.c_str()), 0);
        CMapCut cut;
        CMapSelectionBase selection(&cut, {&table, nullptr, nullptr});
        EXPECT_EQ(ComputeMapCut(&selection, choice.data(), static_cast<int>(choice.size())), 0);
        return cut;
    }
};

constexpr uint32_t Key(uint32_t region, uint32_t subArea) {
    return sd::EntryKey(region, subArea);
}
constexpr DWORD Word(uint32_t region, uint32_t mask) {
    return sd::ChoiceWord(region, mask);
}

// ---- Choice words ---------------------------------------------------------------

TEST(ChoiceWordTest, ExpandsInWordAndBitOrder) {
    DWORD all = Word(5, 0xFFFF);
    std::vector<uint32_t> keys = ExpandChoiceWords(&all, 1);
    ASSERT_EQ(keys.size(), 16u);
    for (uint32_t k = 0; k < 16; ++k) {
        EXPECT_EQ(keys[k], 5u * 65536 + k + 1);
    }
    DWORD words[] = {Word(3, 0x5), Word(1, 0x1)};
    EXPECT_EQ(ExpandChoiceWords(words, 2),
              (std::vector<uint32_t>{Key(3, 1), Key(3, 3), Key(1, 1)}));
}

TEST(ChoiceWordTest, CityRowsMapToTheirRegions) {
    struct Case {
        int row;
        DWORD word;
    };
    const Case cases[] = {
        {0, Word(0, 1)},    // Alabama
        {2, Word(51, 1)},   // Alberta
        {6, Word(4, 3)},    // California, both parts
        {13, Word(12, 1)},  // Idaho: 11 is skipped
        {54, Word(43, 3)},  // Texas, both parts
        {61, Word(50, 1)},  // Wyoming
        {62, Word(63, 1)},  // Yukon Territory
        {70, Word(70, 1)},  // outside the list: that region alone
        {-1, 0},            // nothing
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CityRegionChoiceWord(c.row), c.word) << c.row;
    }
}

// ---- Merging and grouping spans -------------------------------------------------

TEST_F(MapCutTest, SpansMergeAndGroupIntoRanges) {
    struct Case {
        const char* name;
        std::vector<TestRecord> records;
        std::vector<DWORD> choice;
        std::string ranges;
    };
    const Case cases[] = {
        {"shared column merges",
         {{Key(1, 1), {1}, {{5, 2, 6}, {5, 6, 9}}}},
         {Word(1, 1)},
         "R5:2+8"},
        {"abutting spans stay two",
         {{Key(1, 1), {1}, {{5, 2, 6}, {5, 7, 9}}}},
         {Word(1, 1)},
         "R5:2+5 | R5:7+3"},
        {"diagonal touch is one range",
         {{Key(1, 1), {1}, {{5, 2, 4}, {6, 5, 7}}}},
         {Word(1, 1)},
         "R5:2+3,5+3"},
        {"one column apart diagonally is two",
         {{Key(1, 1), {1}, {{5, 2, 4}, {6, 6, 7}}}},
         {Word(1, 1)},
         "R5:2+3 | R6:6+2"},
        {"a fork starts a second range",
         {{Key(1, 1), {1}, {{1, 0, 9}, {2, 0, 2}, {2, 5, 9}}}},
         {Word(1, 1)},
         "R1:0+10,0+3 | R2:5+5"},
        {"a join continues the first range",
         {{Key(1, 1), {1}, {{1, 0, 2}, {1, 5, 9}, {2, 0, 9}}}},
         {Word(1, 1)},
         "R1:0+3,0+10 | R1:5+5"},
        {"an empty row ends a range",
         {{Key(1, 1), {1}, {{1, 0, 3}, {3, 0, 3}}}},
         {Word(1, 1)},
         "R1:0+4 | R3:0+4"},
        {"sub-areas overlapping merge",
         {{Key(4, 1), {4}, {{0, 0, 4}}}, {Key(4, 2), {4}, {{0, 3, 8}}}},
         {Word(4, 3)},
         "R0:0+9"},
        {"unchosen sub-area left out",
         {{Key(4, 1), {4}, {{0, 0, 4}}}, {Key(4, 2), {4}, {{0, 3, 8}}}},
         {Word(4, 2)},
         "R0:3+6"},
        {"nothing chosen", {{Key(1, 1), {1}, {{0, 0, 4}}}}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMapCut cut = CutOf(c.records, c.choice);
        EXPECT_EQ(Describe(cut.m_binRanges[0]), c.ranges);
        EXPECT_EQ(cut.BinRangeCount(0), static_cast<int>(cut.m_binRanges[0].size()));
    }
}

TEST_F(MapCutTest, WindowSpansTheChosenCells) {
    CMapCut cut = CutOf({{Key(1, 1), {1}, {{5, 2, 4}, {6, 5, 7}}}, {Key(2, 1), {2}, {{9, 0, 0}}}},
                        {Word(1, 1)});
    const CutWindow& window = cut.m_window[0];
    EXPECT_EQ(window.firstColumn, 2);
    EXPECT_EQ(window.columnCount, 6);
    EXPECT_EQ(window.firstRow, 5);
    EXPECT_EQ(window.rowCount, 2);
    EXPECT_EQ(cut.m_window[1].columnCount, 0) << "no table, no window";
    EXPECT_TRUE(cut.ContainsCell(0, 6, 6));
    EXPECT_FALSE(cut.ContainsCell(0, 4, 6));
    EXPECT_FALSE(cut.ContainsCell(0, 0, 9)) << "region 2 was not chosen";
}

// ---- Chosen list entries --------------------------------------------------------

TEST_F(MapCutTest, ListEntriesAreWhollyChosenOnlyWhenEveryPartIs) {
    std::vector<RegionSpanItem> many(sd::kMaxSpanItems, RegionSpanItem{0, 0, 0});
    const std::vector<TestRecord> records = {
        {Key(4, 1), {4}, {{0, 0, 1}}},
        {Key(4, 2), {4}, {{1, 0, 1}}},
        {Key(5, 1), {5, 6}, {}},  // no cells, still names its entries
        {Key(9, 1), {9}, many},   // 20,000 items: ignored
    };
    struct Case {
        const char* name;
        std::vector<DWORD> choice;
        std::vector<uint32_t> chosen;
        std::vector<uint32_t> wholly;
        std::vector<uint32_t> positions;
    };
    const Case cases[] = {
        {"both parts", {Word(4, 3)}, {4}, {4}, {0}},
        {"one part", {Word(4, 1)}, {4 | kPartly}, {}, {}},
        {"mixed", {Word(5, 1), Word(4, 2)}, {4 | kPartly, 5, 6}, {5, 6}, {1, 2}},
        {"repeated word", {Word(4, 1), Word(4, 2)}, {4}, {4}, {0}},
        {"oversized record", {Word(9, 1)}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMapCut cut = CutOf(records, c.choice);
        EXPECT_EQ(cut.m_chosen, c.chosen);
        EXPECT_EQ(cut.m_whollyChosen, c.wholly);
        EXPECT_EQ(cut.m_whollyChosenPositions, c.positions);
    }
    CMapCut cut = CutOf(records, {Word(9, 1)});
    EXPECT_TRUE(cut.m_binRanges[0].empty());
}

// ---- Region and city choices with their estimates -------------------------------

// Three layers over small grids: layer 0 is 4 x 3 cells, layer 1 8 x 6, layer 2
// 4 x 3. Region 0 (one part, entry 0) and region 4 (two parts, entry 1).
class ChoiceTableTest : public MapCutTest {
  protected:
    void SetUp() override {
        MapCutTest::SetUp();
        WriteTestFile(InFolder(u"rgndata1.in"), RegionFile({
                                                    {Key(0, 1), {0}, {{0, 0, 1}}},
                                                    {Key(4, 1), {1}, {{1, 2, 3}}},
                                                    {Key(4, 2), {1}, {{2, 2, 3}}},
                                                }));
        WriteTestFile(InFolder(u"rgndata2.in"), RegionFile({
                                                    {Key(0, 1), {0}, {{0, 0, 3}, {1, 0, 3}}},
                                                    {Key(4, 1), {1}, {{2, 4, 7}}},
                                                    {Key(4, 2), {1}, {{4, 4, 7}}},
                                                }));
        WriteTestFile(InFolder(u"rgndatap.in"), RegionFile({
                                                    {Key(0, 1), {0}, {{0, 0, 1}}},
                                                    {Key(4, 1), {1}, {}},
                                                    {Key(4, 2), {1}, {{2, 3, 3}}},
                                                }));
        WriteTestFile(InFolder(u"mapdata1.sz"), SizeTableFile(4, 3, 36, 100));
        WriteTestFile(InFolder(u"mapdata2.sz"), SizeTableFile(8, 6, 36, 1000));
        WriteTestFile(InFolder(u"polygons.sz"), SizeTableFile(4, 3, 36, 10));
        WriteTestFile(
            InFolder(u"sizeinfo.sz"),
            SizeInfoFile({{Key(0, 1), 1, 2, 3, 4, 5, 6, 7, 8, 9, 1000, 2000, 3000},
                          {Key(4, 1), 10, 10, 10, 10, 10, 10, 10, 10, 10, 500, 500, 500}}));
        for (int layer = 0; layer < kCutLayers; ++layer) {
            ASSERT_EQ(RegionData(layer).Load(layer, kFolder.c_str()), 0);
        }
        ASSERT_EQ(sizes_.Load(kFolder.c_str()), CSizeTables::kLoaded);
    }
    CSizeTables sizes_;
};

TEST_F(ChoiceTableTest, ChoicesGiveTheirCutAndEstimate) {
    struct Case {
        const char* name;
        std::vector<DWORD> choice;  // city mode: the eight rectangle values
        int cityRow;                // -1: region mode
        std::string ranges[kCutLayers];
        std::vector<uint32_t> chosen;
        uint64_t bytes;
    };
    // Estimates worked by hand: cell sums under the ranges, fixed bytes (36 each),
    // 4 bytes per window cell, the sizeinfo words, 5,715.
    const Case cases[] = {
        // L2 21 + 108 + offsets 8+32+8 + words 1-9 45 + words 10-12 6000 + 5715.
        {"one region", {Word(0, 1)}, -1, {"R0:0+2", "R0:0+4,0+4", "R0:0+2"}, {0}, 11937},
        // L0 470 + L1 8284 + L2 33 + 108 + offsets 16+48+4 + region 4 part 1 words 90
        // (part 2 has no record) + 5715.
        {"both parts of a region",
         {Word(4, 3)},
         -1,
         {"R1:2+2,2+2", "R2:4+4 | R4:4+4", "R2:3+1"},
         {1},
         14768},
        // One part alone: its words 10-12 (1500) stand in for the cell sums.
        {"one part", {Word(4, 1)}, -1, {"R1:2+2", "R2:4+4", ""}, {1 | kPartly}, 7437},
        // L0 426 + L1 12154 + L2 21 + 108 + offsets 32+96+8 + words 45+90 + 5715.
        {"two regions touching diagonally",
         {Word(0, 1), Word(4, 1)},
         -1,
         {"R0:0+2,2+2", "R0:0+4,0+4,4+4", "R0:0+2"},
         {0, 1 | kPartly},
         18695},
        // California's row: L0 426 + L1 12282 + 108 + offsets 16+48 + word 7 of part
        // 1 (10) + round(12708 x 1.5) 19062 + trunc(426 x 0.33) 140 + 5715.
        {"city",
         {1, 2, 0, 1, 2, 5, 1, 3},
         6,
         {"R0:1+2,1+2", "R1:2+4,2+4,2+4", ""},
         {1 | kPartly},
         37807},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool city = c.cityRow >= 0;
        CMapCut* cut = BuildSelection(c.choice.data(),
                                      city ? c.cityRow : static_cast<int>(c.choice.size()), city);
        ASSERT_NE(cut, nullptr);
        EXPECT_EQ(GetMapCut(), cut);
        for (int layer = 0; layer < kCutLayers; ++layer) {
            EXPECT_EQ(Describe(cut->m_binRanges[layer]), c.ranges[layer]) << "layer " << layer;
        }
        EXPECT_EQ(cut->m_chosen, c.chosen);
        std::vector<DWORD> regions = c.choice;
        if (city) {
            regions = {CityRegionChoiceWord(c.cityRow)};
        }
        EXPECT_EQ(sizes_.SumSelection(*cut, city, regions.data(), static_cast<int>(regions.size())),
                  c.bytes);
    }
}

TEST_F(ChoiceTableTest, WindowsFollowTheChoice) {
    DWORD rectangle[8] = {1, 2, 0, 1, 2, 5, 1, 3};
    CMapCut* cut = BuildSelection(rectangle, 6, 1);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ((std::vector<int32_t>{cut->m_window[1].firstColumn, cut->m_window[1].columnCount,
                                    cut->m_window[1].firstRow, cut->m_window[1].rowCount}),
              (std::vector<int32_t>{2, 4, 1, 3}));
    EXPECT_EQ(cut->m_window[2].columnCount, 0) << "a city cut has no polygon layer";

    DWORD regions[] = {Word(0, 1), Word(4, 1)};
    cut = BuildSelection(regions, 2, 0);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ((std::vector<int32_t>{cut->m_window[1].firstColumn, cut->m_window[1].columnCount,
                                    cut->m_window[1].firstRow, cut->m_window[1].rowCount}),
              (std::vector<int32_t>{0, 8, 0, 3}));
}

TEST_F(ChoiceTableTest, MissingRegionDataRefusesTheCut) {
    DWORD regions[] = {Word(0, 1)};
    ASSERT_NE(BuildSelection(regions, 1, 0), nullptr);
    RegionData(1).Clear();
    EXPECT_EQ(BuildSelection(regions, 1, 0), nullptr);
    EXPECT_EQ(GetMapCut(), nullptr) << "the previous cut is freed";
    auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Error Loading rgndata1.in or rgndata2.in input file");
    EXPECT_EQ(boxes[0].type & MB_SYSTEMMODAL, static_cast<UINT>(MB_SYSTEMMODAL));

    // A city needs only the overview table.
    DWORD rectangle[8] = {1, 2, 0, 1, 2, 5, 1, 3};
    EXPECT_NE(BuildSelection(rectangle, 6, 1), nullptr);
}

// ---- Loaders --------------------------------------------------------------------

TEST_F(MapCutTest, DamagedRegionDataKeepsWhatCameBefore) {
    std::string good = RegionFile({{Key(1, 1), {1}, {{0, 0, 1}}}, {Key(2, 1), {2}, {{1, 0, 1}}}});
    auto withWord = [&](size_t offset, uint32_t value) {
        std::string bytes = good;
        sd::StoreU32(reinterpret_cast<uint8_t*>(bytes.data()) + offset, value);
        return bytes;
    };
    const size_t second = sd::kRegionRecordsOffset + sd::kRegionRecordSize;
    const size_t secondSpan =
        sd::kRegionRecordsOffset + 2 * sd::kRegionRecordSize + sd::kSpanItemSize;
    struct Case {
        const char* name;
        std::string bytes;
        size_t recordsKept;
    };
    const Case cases[] = {
        {"count beyond the file", withWord(sd::kRegionCountOffset, 3), 0},
        {"nine list entries", withWord(second + sd::kRecordListCountOffset, 9), 1},
        {"entry with bit 31", withWord(second + sd::kRecordListEntriesOffset, 0x80000001u), 1},
        {"spans beyond the file", withWord(second + sd::kRecordSpanCountOffset, 2), 1},
        {"last column before first", withWord(secondSpan + sd::kSpanLastColumnOffset, 0xFFFFFFFFu),
         1},
        {"negative row", withWord(secondSpan + sd::kSpanRowOffset, 0xFFFFFFFEu), 1},
        {"cut short", good.substr(0, good.size() - 1), 1},
        {"no head", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTestFile(InFolder(u"rgndata2.in"), c.bytes);
        CRegionData table;
        EXPECT_EQ(table.Load(1, kFolder.c_str()), 1);
        EXPECT_FALSE(table.IsLoaded());
        EXPECT_EQ(table.Records().size(), c.recordsKept);
    }
    WriteTestFile(InFolder(u"rgndata2.in"), good);
    CRegionData table;
    EXPECT_EQ(table.Load(1, kFolder.c_str()), 0);
    ASSERT_NE(table.FindRecord(Key(2, 1)), nullptr);
    EXPECT_EQ(table.FindRecord(Key(2, 1))->spans[0].row, 1);
    EXPECT_EQ(table.Load(2, kFolder.c_str()), 1) << "rgndatap.in is missing";
}

TEST_F(MapCutTest, SizeTablesReportWhichFileFailed) {
    auto writeAll = [] {
        WriteTestFile(InFolder(u"polygons.sz"), SizeTableFile(2, 2, 36, 1));
        WriteTestFile(InFolder(u"mapdata1.sz"), SizeTableFile(2, 2, 36, 1));
        WriteTestFile(InFolder(u"mapdata2.sz"), SizeTableFile(2, 2, 36, 1));
        WriteTestFile(InFolder(u"sizeinfo.sz"), SizeInfoFile({std::vector<uint32_t>(13, 1)}));
    };
    std::string tableShort = SizeTableFile(2, 2, 36, 1);
    tableShort.pop_back();
    struct Case {
        const char16_t* file;
        std::string bytes;  // "-": removed
        int result;
    };
    const Case cases[] = {
        {u"polygons.sz", "-", CSizeTables::kPolygonsMissing},
        {u"polygons.sz", tableShort, CSizeTables::kPolygonsShort},
        {u"mapdata1.sz", "-", CSizeTables::kOverviewMissing},
        {u"mapdata1.sz", std::string(19, '\0'), CSizeTables::kOverviewShort},
        {u"mapdata2.sz", "-", CSizeTables::kDetailedMissing},
        {u"mapdata2.sz", tableShort, CSizeTables::kDetailedShort},
        {u"sizeinfo.sz", "-", CSizeTables::kSizeInfoMissing},
        {u"sizeinfo.sz", SizeInfoFile({std::vector<uint32_t>(12, 1)}, 48),
         CSizeTables::kSizeInfoShort},
        {u"sizeinfo.sz", SizeInfoFile({std::vector<uint32_t>(12, 1)}), CSizeTables::kSizeInfoShort},
    };
    for (const Case& c : cases) {
        writeAll();
        if (c.bytes == "-") {
            DeleteFileW(InFolder(c.file).c_str());
        } else {
            WriteTestFile(InFolder(c.file), c.bytes);
        }
        CSizeTables tables;
        EXPECT_EQ(tables.Load(kFolder.c_str()), c.result) << c.result;
    }
    writeAll();
    CSizeTables tables;
    ASSERT_EQ(tables.Load(kFolder.c_str()), CSizeTables::kLoaded);
    EXPECT_EQ(tables.Layer(0).CellSize(1, 1), 12u);
    EXPECT_EQ(tables.Layer(0).CellSize(2, 0), 0u) << "outside the table";
}

}  // namespace
