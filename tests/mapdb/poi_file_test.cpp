// The "poi.bin" reader on small files written with formats/poi.h: the head and its
// grid checks, the cell window, the record scan's sub-category and zoom rules, names,
// telephone numbers, and damaged files.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pathlume/mapdb/poi_file.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/mapdb/poi_folder_test.h"
#include "tests/support/poi_file_bytes.h"

namespace {

namespace poi = formats::poi;
using testing_support::PoiFileBytes;
using testing_support::TestPoi;
using testing_support::TestPoiGrid;

// A 2 x 2 grid of quarter-degree cells from (42 N, 1 E).
constexpr TestPoiGrid kGrid{1.0f, 42.0f, 2, 2, 0.25f, 0.25f};

class PoiFileTest : public mapdb_test::PoiFolderTest {
  protected:
    // Writes and opens the file; the head's result.
    int Open(const std::vector<uint8_t>& bytes) {
        EXPECT_EQ(WritePoi(bytes), 0);
        return ReadPoiHead(g_poiFile, &head_);
    }
    // Every record of the category in the cell that passes the selector.
    std::vector<PoiLayerEntry> Scan(int32_t column, int32_t row, uint32_t category,
                                    uint32_t selector, int zoom = CPoiSearch::kNoZoomRule) {
        poi::CellHeader cell;
        if (ReadPoiCell(g_poiFile, head_, column, row, &cell) != 0 || !cell.counts[category])
            return {};
        EXPECT_EQ(g_poiFile.Seek(static_cast<int>(cell.offsets[category]), 0), 0);
        std::vector<PoiLayerEntry> entries(cell.counts[category]);
        const int stored = CPoiSearch::ScanRecords(g_poiFile, entries.data(), category, selector,
                                                   cell.counts[category], zoom);
        entries.resize(static_cast<size_t>(stored));
        return entries;
    }

    PoiFileHead head_;
};

std::vector<uint32_t> SubCategories(const std::vector<PoiLayerEntry>& entries) {
    std::vector<uint32_t> subs;
    for (const PoiLayerEntry& e : entries)
        subs.push_back(e.SubCategory());
    return subs;
}

TEST(DecodePackedPhone, NibblesLowFirstUpToTheEndCode) {
    struct Case {
        uint8_t packed[5];
        const char* text;
    };
    const Case cases[] = {
        {{0x21, 0x43, 0x65, 0x87, 0xF9}, "123456789"},
        {{0x21, 0x43, 0x65, 0x87, 0x09}, "1234567890"},
        {{0xE5, 0x55, 0xF1, 0xFF, 0xFF}, "5-551"},
        {{0xBA, 0xDC, 0xFF, 0xFF, 0xFF}, ":;<="},
        {{0xFF, 0x12, 0x34, 0x56, 0x78}, ""},
    };
    for (const Case& c : cases) {
        char text[11];
        std::memset(text, 'x', sizeof text);
        EXPECT_STREQ(DecodePackedPhone(c.packed, text), c.text);
    }
}

TEST_F(PoiFileTest, CellWindowClampsToTheGridAndMissesOutsideIt) {
    ASSERT_EQ(Open(PoiFileBytes(kGrid, {})), 0);
    struct Case {
        float west, south, east, north;
        int32_t c0, r0, c1, r1;  // c1 < c0: empty
    };
    const Case cases[] = {
        {1.1f, 42.1f, 1.2f, 42.2f, 0, 0, 0, 0},     {1.1f, 42.1f, 1.3f, 42.3f, 0, 0, 1, 1},
        {0.0f, 41.0f, 9.0f, 49.0f, 0, 0, 1, 1},     {1.3f, 42.0f, 1.4f, 42.1f, 1, 0, 1, 0},
        {2.0f, 42.0f, 3.0f, 42.1f, 0, 0, -1, 0},  // east of the grid
        {1.0f, 40.0f, 1.1f, 41.0f, 0, 0, 0, -1},  // south of it
        {-1e30f, -1e30f, 1e30f, 1e30f, 0, 0, 1, 1},
    };
    for (const Case& c : cases) {
        const PoiCellWindow w = PoiCellsUnder(head_, c.west, c.south, c.east, c.north);
        SCOPED_TRACE(testing::Message()
                     << c.west << "," << c.south << " " << c.east << "," << c.north);
        if (c.c1 < c.c0 || c.r1 < c.r0) {
            EXPECT_TRUE(w.Empty());
            continue;
        }
        EXPECT_EQ(w.firstColumn, c.c0);
        EXPECT_EQ(w.firstRow, c.r0);
        EXPECT_EQ(w.lastColumn, c.c1);
        EXPECT_EQ(w.lastRow, c.r1);
    }
}

TEST_F(PoiFileTest, ScanKeepsTheSelectedSubCategoriesAndStopsPastTheHighest) {
    std::vector<TestPoi> pois;
    for (uint32_t sub : {0u, 1u, 3u, 5u, 9u, 30u})
        pois.push_back({3, sub, 42.1, 1.1, "A" + std::to_string(sub)});
    for (uint32_t sub : {1u, 9u, 17u})
        pois.push_back({6, sub, 42.1, 1.1, "R" + std::to_string(sub)});
    ASSERT_EQ(Open(PoiFileBytes(kGrid, pois)), 0);

    // Sub-category 24 and above has no bit: even "all" does not choose it.
    EXPECT_EQ(SubCategories(Scan(0, 0, 3, CPoiSearch::kAllSubCategories)),
              (std::vector<uint32_t>{0, 1, 3, 5, 9}));
    EXPECT_EQ(SubCategories(Scan(0, 0, 3, (1u << 9) | (1u << 13))), (std::vector<uint32_t>{1, 5}));
    EXPECT_TRUE(Scan(0, 0, 3, 0).empty());
    EXPECT_EQ(SubCategories(Scan(0, 0, 6, 9)), (std::vector<uint32_t>{9}));
    EXPECT_EQ(SubCategories(Scan(0, 0, 6, CPoiSearch::kAllRestaurants)),
              (std::vector<uint32_t>{1, 9, 17}));

    // The stop: after sub-category 1 (the highest wanted) the scan reads no further.
    poi::CellHeader cell;
    ASSERT_EQ(ReadPoiCell(g_poiFile, head_, 0, 0, &cell), 0);
    ASSERT_EQ(g_poiFile.Seek(static_cast<int>(cell.offsets[3]), 0), 0);
    PoiLayerEntry entries[6];
    EXPECT_EQ(CPoiSearch::ScanRecords(g_poiFile, entries, 3, 1u << 9, 6, -1), 1);
    EXPECT_EQ(g_poiFile.Tell(), static_cast<int>(cell.offsets[3] + 3 * poi::kRecordSize));
}

TEST_F(PoiFileTest, ZoomFourAndFiveShowOnlyMajorParksAndAttractions) {
    const uint32_t major = 0x80000000u, minor = 0x40000000u;
    const std::vector<TestPoi> pois = {
        {5, 2, 42.1, 1.1, "Major park", "", major},
        {5, 2, 42.1, 1.1, "Minor park", "", minor},
        {5, 3, 42.1, 1.1, "Ski", "", 0},
        {3, 7, 42.1, 1.1, "Major sight", "", major | minor},
        {3, 7, 42.1, 1.1, "Sight", "", 0},
    };
    ASSERT_EQ(Open(PoiFileBytes(kGrid, pois)), 0);
    struct Case {
        int zoom;
        size_t parks, sights;
    };
    for (const Case& c :
         {Case{-1, 3, 2}, Case{3, 3, 2}, Case{4, 2, 2}, Case{5, 2, 0}, Case{6, 3, 2}}) {
        SCOPED_TRACE(c.zoom);
        EXPECT_EQ(Scan(0, 0, 5, CPoiSearch::kAllSubCategories, c.zoom).size(), c.parks);
        EXPECT_EQ(Scan(0, 0, 3, CPoiSearch::kAllSubCategories, c.zoom).size(), c.sights);
    }
}

TEST_F(PoiFileTest, RecordsKeepTheirPlacesNamesAndNumbers) {
    std::vector<TestPoi> pois = {
        {0, 1, 42.3, 1.4, "BANK", "5551234567"},
        {0, 2, 42.3, 1.4, "SHOP", ""},
        {0, 3, 42.3, 1.4, "", "555"},
    };
    pois[0].secondPlace = 77;
    ASSERT_EQ(Open(PoiFileBytes(kGrid, pois)), 0);
    // A skipped record with a second place must not shift the next one.
    const std::vector<PoiLayerEntry> entries = Scan(1, 1, 0, (1u << 10) | (1u << 11));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].SubCategory(), 2u);
    EXPECT_FLOAT_EQ(entries[0].latitude, 42.3f);
    const std::vector<PoiLayerEntry> all = Scan(1, 1, 0, CPoiSearch::kAllSubCategories);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].secondPlace, 77);
    std::string name, phone;
    EXPECT_TRUE(ReadPoiName(g_poiFile, head_, all[0], &name));
    EXPECT_EQ(name, "BANK");
    EXPECT_TRUE(ReadPoiPhone(g_poiFile, head_, all[0], &phone));
    EXPECT_EQ(phone, "5551234567");
    EXPECT_FALSE(ReadPoiPhone(g_poiFile, head_, all[1], &phone));
    EXPECT_FALSE(ReadPoiName(g_poiFile, head_, all[2], &name));
    EXPECT_TRUE(ReadPoiPhone(g_poiFile, head_, all[2], &phone));
    EXPECT_EQ(phone, "555");
}

// Damaged files: the head is refused (nothing shown) or the damaged part reads as
// empty; nothing is read outside the file.
TEST_F(PoiFileTest, DamagedFilesReadAsEmpty) {
    const std::vector<TestPoi> pois = {{2, 0, 42.1, 1.1, "HOSPITAL", "5551234567"},
                                       {2, 1, 42.1, 1.1, "POLICE", ""}};
    const std::vector<uint8_t> good = PoiFileBytes(kGrid, pois);
    const PoiFileHead parsed = [&] {
        Open(good);
        return head_;
    }();
    const size_t cellTable = parsed.cellTableOffset;
    const uint32_t cellAt = poi::LoadU32(good.data() + cellTable);
    const uint32_t recordAt = poi::LoadU32(good.data() + cellAt + poi::kCellOffsetsOffset + 4 * 2);
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    struct Case {
        const char* what;
        Edit edit;
        bool headRefused;
        size_t recordsRead;  // with the head accepted
    };
    const Case cases[] = {
        {"empty", [](auto& b) { b.clear(); }, true, 0},
        {"truncated head", [](auto& b) { b.resize(100); }, true, 0},
        {"wrong magic", [](auto& b) { b[3] = '6'; }, true, 0},
        {"zero cell width", [](auto& b) { poi::StoreF32(b.data() + 28, 0.0f); }, true, 0},
        {"negative cell height", [](auto& b) { poi::StoreF32(b.data() + 32, -0.25f); }, true, 0},
        {"NaN origin", [](auto& b) { poi::StoreF32(b.data() + 4, std::nanf("")); }, true, 0},
        {"zero columns", [](auto& b) { poi::StoreI32(b.data() + 20, 0); }, true, 0},
        {"negative rows", [](auto& b) { poi::StoreI32(b.data() + 24, -5); }, true, 0},
        {"huge grid", [](auto& b) { poi::StoreI32(b.data() + 20, 0x7FFFFFFF); }, true, 0},
        {"cell table past the end", [](auto& b) { poi::StoreU32(b.data() + 40, 0xFFFFFF00u); },
         true, 0},
        {"cut in the cell table", [&](auto& b) { b.resize(cellTable + 6); }, true, 0},
        {"cell offset past the end",
         [&](auto& b) { poi::StoreU32(b.data() + cellTable, 0x7FFFFFF0u); }, false, 0},
        {"cell offset negative", [&](auto& b) { poi::StoreU32(b.data() + cellTable, 0xFFFFFFF0u); },
         false, 0},
        {"record offset past the end",
         [&](auto& b) {
             poi::StoreU32(b.data() + cellAt + poi::kCellOffsetsOffset + 8, 0x7FFFFF00u);
         },
         false, 0},
        {"count past the end", [&](auto& b) { poi::StoreU16(b.data() + cellAt + 4, 60000); }, false,
         2},
        {"cut in the records", [&](auto& b) { b.resize(recordAt + poi::kRecordSize + 10); }, false,
         1},
        {"name offset past the end",
         [&](auto& b) { poi::StoreU32(b.data() + recordAt, 0x03FFFFF0u); }, false, 2},
        {"name length 36", [&](auto& b) { b[recordAt + poi::kRecordNameLengthOffset] = 36; }, false,
         2},
        {"phone offset past the end",
         [&](auto& b) { poi::StoreI32(b.data() + recordAt + 4, 0x7FFFFFF0); }, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        c.edit(bytes);
        if (WritePoi(bytes) != 0) {
            EXPECT_TRUE(c.headRefused);
            continue;
        }
        const int refused = ReadPoiHead(g_poiFile, &head_);
        EXPECT_EQ(refused != 0, c.headRefused);
        if (refused) {
            EXPECT_EQ(head_.Columns(), 0);
            continue;
        }
        const std::vector<PoiLayerEntry> entries = Scan(0, 0, 2, CPoiSearch::kAllSubCategories);
        EXPECT_EQ(entries.size(), c.recordsRead);
        for (const PoiLayerEntry& e : entries) {
            std::string text;
            if (ReadPoiName(g_poiFile, head_, e, &text)) {
                EXPECT_LE(text.size(), poi::kMaxNameLength);
            }
            ReadPoiPhone(g_poiFile, head_, e, &text);
        }
    }
}

TEST_F(PoiFileTest, AMissingFileIsNoGrid) {
    ClosePoiFile();
    EXPECT_NE(OpenPoiFile(), 0);
    EXPECT_EQ(ReadPoiHead(g_poiFile, &head_), 1);
    EXPECT_TRUE(PoiCellsUnder(head_, 0, 0, 10, 10).Empty());
}

}  // namespace
