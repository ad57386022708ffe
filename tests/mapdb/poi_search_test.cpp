// The point-of-interest search on small "poi.bin" files: its result codes, the
// window around the centre and the region's runs, names, distances, sorts, duplicate
// groups, and damaged files cut or bent at every field.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/poi_file.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/mapdb/poi_folder_test.h"
#include "tests/support/poi_file_bytes.h"
#include "tools/discmaker/network.h"
#include "tools/quiet_main_view.h"

namespace {

namespace poi = formats::poi;
using testing_support::PoiFileBytes;
using testing_support::TestPoi;
using testing_support::TestPoiGrid;
using testing_support::TestPoiRun;

// 4 x 4 cells of a tenth of a degree from (42 N, 1 E).
constexpr TestPoiGrid kGrid{1.0f, 42.0f, 4, 4, 0.1f, 0.1f};

class PoiSearchTest : public mapdb_test::PoiFolderTest {
  protected:
    void SetUp() override {
        PoiFolderTest::SetUp();
        options_ = g_options.load();
    }
    void TearDown() override {
        mapdb::FailAllocationAfter(0);
        g_options.store(options_);
        PoiFolderTest::TearDown();
    }
    int Open(const std::vector<uint8_t>& bytes) { return WritePoi(bytes); }
    // A search around (lon, lat) or in region `region`: its code.
    int Run(CPoiSearch& search, float lon = 1.2f, float lat = 42.2f) {
        search.SetCentre(lon, lat);
        return search.Search();
    }
    static std::vector<std::string> Names(CPoiSearch& search) {
        std::vector<std::string> names;
        for (int i = 0; i < search.ResultCount(); ++i)
            names.push_back(search.Result(i).name ? search.Result(i).name : "(none)");
        return names;
    }

    DWORD options_ = 0;
};

TEST(PoiSearchSelector, FromTheCategoryValue) {
    struct Case {
        int32_t value;
        uint32_t category, selector;
    };
    const Case cases[] = {
        {0xFF03, 3, CPoiSearch::kAllSubCategories},
        {0x0203, 3, 1u << 10},
        {0x1703, 3, 1u << 31},
        {0x1803, 3, 0},  // 24: no bit, nothing chosen
        {0x0004, 4, 1u << 8},
        {0xFF06, 6, 255},
        {0x0906, 6, 9},
        {0xFF08, 8, CPoiSearch::kAllSubCategories},
    };
    for (const Case& c : cases) {
        const CPoiSearch search(c.value, CPoiSearch::kAroundCentre, 0, 255);
        EXPECT_EQ(search.Category(), c.category) << std::hex << c.value;
        EXPECT_EQ(search.Selector(), c.selector) << std::hex << c.value;
    }
}

TEST_F(PoiSearchTest, ResultCodes) {
    const std::vector<TestPoi> pois = {{3, 2, 42.15, 1.15, "MUSEUM"}, {6, 9, 42.15, 1.15, "PIZZA"}};
    const std::vector<uint8_t> good = PoiFileBytes(kGrid, pois);
    std::vector<uint8_t> magic = good;
    magic[3] = '6';
    std::vector<uint8_t> flat = good;
    poi::StoreF32(flat.data() + 28, 0.0f);  // cell width
    // Every cell pointing at the one directory: more records than the file holds.
    std::vector<TestPoi> ten(10, TestPoi{0, 1, 42.05, 1.05, "BANK"});
    std::vector<uint8_t> shared = PoiFileBytes(kGrid, ten);
    {
        const poi::Head head = poi::DecodeHead(shared.data());
        const size_t table = poi::CellTableOffset(head);
        for (int cell = 1; cell < 16; ++cell)
            std::memcpy(&shared[table + 4 * cell], &shared[table], 4);
    }
    struct Case {
        const char* what;
        const std::vector<uint8_t>* bytes;  // null: no file open
        int32_t value;
        float lon, lat;
        int failAllocation;
        int code;
    };
    const Case cases[] = {
        {"category 9", &good, 0xFF09, 1.2f, 42.2f, 0, CPoiSearch::kBadCategory},
        {"category 9 without a file", nullptr, 0xFF09, 1.2f, 42.2f, 0, CPoiSearch::kBadCategory},
        {"no file", nullptr, 0xFF03, 1.2f, 42.2f, 0, CPoiSearch::kNoFile},
        {"NPL6", &magic, 0xFF03, 1.2f, 42.2f, 0, CPoiSearch::kWrongFormat},
        {"no cell width", &flat, 0xFF03, 1.2f, 42.2f, 0, CPoiSearch::kWrongFormat},
        {"cells sharing records", &shared, 0xFF00, 1.2f, 42.2f, 0, CPoiSearch::kWrongFormat},
        {"found", &good, 0xFF03, 1.2f, 42.2f, 0, CPoiSearch::kFound},
        {"no attraction in the window", &good, 0xFF05, 1.2f, 42.2f, 0,
         CPoiSearch::kNothingInWindow},
        {"centre a degree east of the grid", &good, 0xFF03, 2.8f, 42.2f, 0,
         CPoiSearch::kNothingInWindow},
        {"no memory for the results", &good, 0xFF03, 1.2f, 42.2f, 1, CPoiSearch::kNoMemory},
        {"sub-category 24", &good, 0x1803, 1.2f, 42.2f, 0, CPoiSearch::kNoneAccepted},
        {"another sub-category", &good, 0x0303, 1.2f, 42.2f, 0, CPoiSearch::kNoneAccepted},
        {"another food type", &good, 0x0A06, 1.2f, 42.2f, 0, CPoiSearch::kNoneAccepted},
        {"the food type", &good, 0x0906, 1.2f, 42.2f, 0, CPoiSearch::kFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClosePoiFile();
        if (c.bytes) {
            ASSERT_EQ(Open(*c.bytes), 0);
        }
        const long blocks = mapdb::LiveBlocks();
        {
            CPoiSearch search(c.value, CPoiSearch::kAroundCentre, 0, 255);
            mapdb::FailAllocationAfter(c.failAllocation);
            EXPECT_EQ(Run(search, c.lon, c.lat), c.code);
            mapdb::FailAllocationAfter(0);
            EXPECT_EQ(search.ResultCount(), c.code == CPoiSearch::kFound ? 1 : 0);
        }
        EXPECT_EQ(mapdb::LiveBlocks(), blocks);
    }
}

// The window: both radii, its width at latitude 60, the grid's edges.
TEST_F(PoiSearchTest, WindowFollowsTheRadiusAndTheLatitude) {
    // One column, rows a thousandth of a degree high from 59.5 N: the window's top row
    // lies 0.35973 (metric) or 0.36183 degrees above the centre.
    const TestPoiGrid rows{0.0f, 59.5f, 1, 1000, 1.0f, 0.001f};
    ASSERT_EQ(
        Open(PoiFileBytes(rows, {{7, 0, 60.3605, 0.5, "NORTH"}, {7, 0, 59.6405, 0.5, "SOUTH"}})),
        0);
    g_options.store(options_ | kOptionMetric);
    {
        CPoiSearch search(0xFF07, CPoiSearch::kAroundCentre, 0, 255);
        ASSERT_EQ(Run(search, 0.5f, 60.0f), CPoiSearch::kFound);
        EXPECT_EQ(Names(search), (std::vector<std::string>{"SOUTH"}));
    }
    g_options.store(options_ & ~kOptionMetric);
    {
        CPoiSearch search(0xFF07, CPoiSearch::kAroundCentre, 0, 255);
        ASSERT_EQ(Run(search, 0.5f, 60.0f), CPoiSearch::kFound);
        EXPECT_EQ(search.ResultCount(), 2);
    }
    // One row, columns a thousandth of a degree wide: at 60 N the window reaches twice
    // the radius east and west.
    const TestPoiGrid columns{0.0f, 59.0f, 3000, 1, 0.001f, 2.0f};
    ASSERT_EQ(Open(PoiFileBytes(columns, {{7, 0, 60.0, 1.35, "NEAR"},
                                          {7, 0, 60.0, 1.715, "EDGE"},
                                          {7, 0, 60.0, 1.725, "BEYOND"},
                                          {7, 0, 60.0, 0.285, "WEST EDGE"}})),
              0);
    g_options.store(options_ | kOptionMetric);
    CPoiSearch search(0xFF07, CPoiSearch::kAroundCentre, 0, 255);
    ASSERT_EQ(Run(search, 1.0f, 60.0f), CPoiSearch::kFound);
    search.SortByName(0);
    EXPECT_EQ(Names(search), (std::vector<std::string>{"EDGE", "NEAR", "WEST EDGE"}));
}

TEST_F(PoiSearchTest, WindowAtTheGridsEdge) {
    ASSERT_EQ(Open(PoiFileBytes(
                  kGrid, {{7, 0, 42.01, 1.01, "CORNER"}, {7, 0, 42.39, 1.39, "FAR CORNER"}})),
              0);
    struct Case {
        float lon, lat;
        int count;
    };
    // On the corner, just outside it (within the radius), and beyond the radius.
    g_options.store(options_ | kOptionMetric);
    for (const Case& c : {Case{1.0f, 42.0f, 2}, Case{0.8f, 41.8f, 1}, Case{0.6f, 41.7f, 1},
                          Case{0.4f, 41.5f, 0}, Case{1.4f, 42.4f, 2}, Case{2.0f, 43.0f, 0}}) {
        SCOPED_TRACE(testing::Message() << c.lon << " " << c.lat);
        CPoiSearch search(0xFF07, CPoiSearch::kAroundCentre, 0, 255);
        EXPECT_EQ(Run(search, c.lon, c.lat),
                  c.count ? CPoiSearch::kFound : CPoiSearch::kNothingInWindow);
        EXPECT_EQ(search.ResultCount(), c.count);
    }
}

// Region mode reads the region's runs; runs and counts the file cannot hold read
// nothing.
TEST_F(PoiSearchTest, RegionRunsAndDamagedRunLists) {
    const std::vector<TestPoi> pois = {{7, 0, 42.05, 1.05, "A"},
                                       {7, 0, 42.05, 1.15, "B"},
                                       {7, 0, 42.35, 1.35, "C"},
                                       {7, 1, 42.25, 1.05, "D"}};
    // Region 0: cells 0 and 1 and cell 15; region 1: cell 8; region 2: a run past the
    // table, then cell 15; region 3: runs naming more cells than the grid has.
    const std::vector<std::vector<TestPoiRun>> regions = {
        {{0, 2}, {15, 1}}, {{8, 1}}, {{15, 2}, {15, 1}}, {{0, 16}, {0, 16}, {8, 1}}};
    const std::vector<uint8_t> bytes = PoiFileBytes(kGrid, pois, regions);
    ASSERT_EQ(Open(bytes), 0);
    struct Case {
        uint8_t region;
        std::vector<std::string> names;
    };
    const Case cases[] = {{0, {"A", "B", "C"}},      {1, {"D"}}, {2, {"C"}},
                          {3, {"A", "B", "C", "D"}}, {4, {}},    {255, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.region));
        CPoiSearch search(0xFF07, CPoiSearch::kInRegion, 0, c.region);
        // The centre plays no part.
        EXPECT_EQ(Run(search, 50.0f, 10.0f),
                  c.names.empty() ? CPoiSearch::kNothingInWindow : CPoiSearch::kFound);
        search.SortByName(0);
        EXPECT_EQ(Names(search), c.names);
    }
    // Region 1's run count raised beyond the file.
    std::vector<uint8_t> cut = bytes;
    const poi::Head head = poi::DecodeHead(cut.data());
    const size_t areaTable = poi::CellTableOffset(head) + 4 * 16;
    poi::StoreU32(cut.data() + areaTable + 8 + 4, 0x10000000u);
    ASSERT_EQ(Open(cut), 0);
    CPoiSearch search(0xFF07, CPoiSearch::kInRegion, 0, 1);
    EXPECT_EQ(Run(search), CPoiSearch::kNothingInWindow);
}

TEST_F(PoiSearchTest, NamesAreReadWhenTheyCanBe) {
    const std::string longest(35, 'L');
    std::vector<TestPoi> pois = {{1, 0, 42.1, 1.1, "ZERO"},  {1, 0, 42.1, 1.1, longest},
                                 {1, 0, 42.1, 1.1, "LONG"},  {1, 0, 42.1, 1.1, "AT ZERO"},
                                 {1, 0, 42.1, 1.1, "PLAIN"}, {1, 0, 42.1, 1.1, "ALPHA"}};
    pois[0].nameLength = 0;
    pois[2].nameLength = 36;
    pois[3].nameAtZero = true;
    ASSERT_EQ(Open(PoiFileBytes(kGrid, pois)), 0);
    CPoiSearch search(0xFF01, CPoiSearch::kAroundCentre, 0, 255);
    ASSERT_EQ(Run(search), CPoiSearch::kFound);
    ASSERT_EQ(search.ResultCount(), 6);
    // In name-offset order; the nameless sort first, as empty names.
    for (int i = 1; i < 6; ++i)
        EXPECT_LE(search.Result(i - 1).record.Name(), search.Result(i).record.Name());
    search.SortByName(0);
    EXPECT_EQ(Names(search),
              (std::vector<std::string>{"(none)", "(none)", "(none)", "ALPHA", longest, "PLAIN"}));
    // A nameless result keeps a copy of the text it is given.
    std::string row = "ROW TEXT";
    const char* kept = search.KeepName(0, row.c_str());
    row.assign("CHANGED");
    EXPECT_STREQ(kept, "ROW TEXT");
    EXPECT_STREQ(search.Result(0).name, "ROW TEXT");
    EXPECT_STREQ(search.KeepName(3, "OTHER"), "ALPHA");
}

TEST_F(PoiSearchTest, DistancesAndSorts) {
    ASSERT_EQ(Open(PoiFileBytes(kGrid, {{6, 1, 42.3, 1.2, "NORTH"},
                                        {6, 1, 42.2, 1.25, "EAST"},
                                        {6, 1, 42.15, 1.2, "SOUTH"}})),
              0);
    CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
    ASSERT_EQ(Run(search), CPoiSearch::kFound);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(search.Result(i).distance, -1.0f);
    search.ComputeDistances();
    search.SortByDistance();
    EXPECT_EQ(Names(search), (std::vector<std::string>{"EAST", "SOUTH", "NORTH"}));
    // Squared degrees of latitude, the longitude scaled by the centre's cosine.
    const float c = static_cast<float>(std::cos(42.2f * 0.017453292f));
    EXPECT_NEAR(search.Result(0).distance, 0.05f * c * 0.05f * c, 1e-7);
    EXPECT_NEAR(search.Result(2).distance, 0.01f, 1e-6);
    // Only the first two sorted by name.
    search.SortByName(2);
    EXPECT_EQ(Names(search), (std::vector<std::string>{"EAST", "SOUTH", "NORTH"}));
    search.SortByName(0);
    EXPECT_EQ(Names(search), (std::vector<std::string>{"EAST", "NORTH", "SOUTH"}));
}

TEST_F(PoiSearchTest, DuplicateGroups) {
    auto at = [](const char* name, double lat, double lon, uint32_t road, int32_t place) {
        TestPoi p{0, 1, lat, lon, name};
        p.linkWord = road;
        p.place = place;
        return p;
    };
    std::vector<TestPoi> pois = {
        at("TWIN", 42.11, 1.11, 100, 500),  at("TWIN", 42.11, 1.11, 104, 500),
        at("CHAIN", 42.11, 1.11, 100, 500), at("CHAIN", 42.12, 1.12, 104, 600),
        at("CHAIN", 42.13, 1.13, 0, 500),  // no road: passed over
        at("CHAIN", 42.14, 1.14, 108, 700), at("CHAIN", 42.14, 1.16, 112, 700),
        at("ALONE", 42.15, 1.15, 116, 500),
    };
    pois[6].thirdPlace = 500;
    ASSERT_EQ(Open(PoiFileBytes(kGrid, pois)), 0);
    const auto groupOf = [&](CPoiSearch& search, const char* name) {
        int index = -1;
        for (int i = 0; i < search.ResultCount(); ++i) {
            if (search.Result(i).name && std::string(search.Result(i).name) == name &&
                search.Result(i).record.LinkRecord() != 0) {
                index = i;
                break;
            }
        }
        EXPECT_GE(index, 0) << name;
        search.GroupDuplicates(index);
        std::vector<float> lons;
        if (search.Result(index).group) {
            for (const PoiResult* member : *search.Result(index).group)
                lons.push_back(member->record.longitude);
        }
        return lons;
    };
    {
        CPoiSearch search(0xFF00, CPoiSearch::kAroundCentre, 0, 255);
        ASSERT_EQ(Run(search), CPoiSearch::kFound);
        search.SortByName(0);
        // Two records at one place are one place: no group.
        EXPECT_TRUE(groupOf(search, "TWIN").empty());
        EXPECT_TRUE(groupOf(search, "ALONE").empty());
        EXPECT_EQ(groupOf(search, "CHAIN").size(), 4u);
    }
    {
        // With a city: its places only, and an equal latitude already counts as the
        // same place.
        CPoiSearch search(0xFF00, CPoiSearch::kAroundCentre, 700, 255);
        ASSERT_EQ(Run(search), CPoiSearch::kFound);
        search.SortByName(0);
        EXPECT_TRUE(groupOf(search, "CHAIN").empty());
        CPoiSearch other(0xFF00, CPoiSearch::kAroundCentre, 500, 255);
        ASSERT_EQ(Run(other), CPoiSearch::kFound);
        other.SortByName(0);
        const std::vector<float> lons = groupOf(other, "CHAIN");
        ASSERT_EQ(lons.size(), 2u);
        EXPECT_FLOAT_EQ(lons[0] + lons[1], 1.11f + 1.16f);
    }
    CPoiResultArray empty;
    SortResultPtrsByDistance(empty);
    SortResultPtrsByCity(empty);
    EXPECT_TRUE(empty.empty());
}

// A record whose position is not a number is no point; a file cut at any byte
// searches without reading outside it.
TEST_F(PoiSearchTest, DamagedRecordsAndCutFiles) {
    std::vector<TestPoi> pois = {{2, 0, 42.1, 1.1, "HOSPITAL", "5551234567"},
                                 {2, 0, 42.1, 1.1, "NOWHERE"},
                                 {2, 1, 42.1, 1.1, "INFINITE"},
                                 {2, 1, 42.12, 1.12, "POLICE"}};
    pois[1].storedLatitude = NAN;
    pois[2].storedLongitude = INFINITY;
    pois[3].secondPlace = 9;
    pois[3].thirdPlace = 10;
    const std::vector<uint8_t> bytes = PoiFileBytes(kGrid, pois, {{{0, 16}}});
    ASSERT_EQ(Open(bytes), 0);
    {
        CPoiSearch search(0xFF02, CPoiSearch::kAroundCentre, 0, 255);
        ASSERT_EQ(Run(search), CPoiSearch::kFound);
        search.SortByName(0);
        EXPECT_EQ(Names(search), (std::vector<std::string>{"HOSPITAL", "POLICE"}));
        EXPECT_EQ(search.Result(1).record.thirdPlace, 10);
    }
    for (size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        Open(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(size)));
        if (!g_poiFile.IsOpen())
            continue;
        for (uint32_t mode : {CPoiSearch::kAroundCentre, CPoiSearch::kInRegion}) {
            CPoiSearch search(0xFF02, mode, 0, 0);
            const int code = Run(search);
            EXPECT_TRUE(code == CPoiSearch::kFound || code == CPoiSearch::kWrongFormat ||
                        code == CPoiSearch::kNothingInWindow || code == CPoiSearch::kNoneAccepted)
                << code;
            search.ComputeDistances();
            search.SortByName(0);
            for (int i = 0; i < search.ResultCount(); ++i) {
                search.GroupDuplicates(i);
                if (search.Result(i).name) {
                    EXPECT_LE(std::strlen(search.Result(i).name), 35u);
                }
            }
        }
    }
}

// The search on the built-in town's maps: every sub-category, the regions, the
// address texts and the map's favourite action.
class PoiSearchTownTest : public mapdb_test::GridMapsTest {
  protected:
    void SetUp() override {
        GridMapsTest::SetUp();
        OpenMapIndexFiles();
        ASSERT_EQ(OpenPoiFile(), 0);
        ASSERT_EQ(ReadPoiHead(g_poiFile, &head_), 0);
        const discmaker::Poi& first = mapdb_test::GridMapsTown().pois.front();
        lon_ = static_cast<float>(first.position.lon);
        lat_ = static_cast<float>(first.position.lat);
    }
    void TearDown() override {
        ClosePoiFile();
        CloseMapIndexFiles();
        GridMapsTest::TearDown();
    }
    // Every record of the category in the file that the selector takes, cell by cell.
    std::vector<PoiLayerEntry> AllInFile(uint32_t category, uint32_t selector) {
        std::vector<PoiLayerEntry> all;
        for (int32_t row = 0; row < head_.Rows(); ++row) {
            for (int32_t column = 0; column < head_.Columns(); ++column) {
                poi::CellHeader cell;
                if (ReadPoiCell(g_poiFile, head_, column, row, &cell) != 0 ||
                    cell.counts[category] == 0 ||
                    g_poiFile.Seek(static_cast<int>(cell.offsets[category]), 0) != 0)
                    continue;
                std::vector<PoiLayerEntry> entries(cell.counts[category]);
                entries.resize(static_cast<size_t>(
                    CPoiSearch::ScanRecords(g_poiFile, entries.data(), category, selector,
                                            cell.counts[category], CPoiSearch::kNoZoomRule)));
                all.insert(all.end(), entries.begin(), entries.end());
            }
        }
        return all;
    }

    PoiFileHead head_;
    float lon_ = 0, lat_ = 0;
};

TEST_F(PoiSearchTownTest, EverySubCategoryAroundTheTown) {
    std::set<std::pair<uint32_t, uint32_t>> kinds;
    for (const discmaker::Poi& p : mapdb_test::GridMapsTown().pois)
        kinds.insert({static_cast<uint32_t>(p.category), p.subCategory});
    ASSERT_GE(kinds.size(), 40u);
    std::map<uint32_t, int> perCategory;
    for (const auto& [category, sub] : kinds) {
        SCOPED_TRACE(testing::Message() << category << "/" << sub);
        const int32_t value = static_cast<int32_t>(category | sub << 8);
        CPoiSearch search(value, CPoiSearch::kAroundCentre, 0, 255);
        search.SetCentre(lon_, lat_);
        ASSERT_EQ(search.Search(), CPoiSearch::kFound);
        const uint32_t selector = category == 6 ? sub : 1u << (sub + 8);
        EXPECT_EQ(static_cast<size_t>(search.ResultCount()), AllInFile(category, selector).size());
        for (int i = 0; i < search.ResultCount(); ++i) {
            EXPECT_EQ(search.Result(i).record.SubCategory(), sub);
            EXPECT_NE(search.Result(i).name, nullptr);
        }
        perCategory[category] += search.ResultCount();
    }
    for (const auto& [category, count] : perCategory) {
        CPoiSearch all(static_cast<int32_t>(category | 0xFF00), CPoiSearch::kAroundCentre, 0, 255);
        all.SetCentre(lon_, lat_);
        ASSERT_EQ(all.Search(), CPoiSearch::kFound);
        EXPECT_EQ(all.ResultCount(), count) << category;
    }
}

// A region's runs are the cells where it has points of any kind; the places of the
// results tell the region's own, and every point is some region's.
TEST_F(PoiSearchTownTest, RegionsHoldTheirOwnPlaces) {
    const size_t total = AllInFile(7, CPoiSearch::kAllSubCategories).size();
    ASSERT_GE(g_areaZones.AreaCount(), 2u);
    size_t own = 0;
    for (size_t region = 0; region < g_areaZones.AreaCount(); ++region) {
        CPoiSearch search(0xFF07, CPoiSearch::kInRegion, 0, static_cast<uint8_t>(region));
        const int code = search.Search();
        ASSERT_TRUE(code == CPoiSearch::kFound || code == CPoiSearch::kNothingInWindow) << code;
        uint32_t first = 0, end = 0;
        ASSERT_TRUE(g_areaZones.GetPlaceRange(region, &first, &end));
        for (int i = 0; i < search.ResultCount(); ++i) {
            const int32_t place = search.Result(i).record.place;
            const bool inRange =
                place >= static_cast<int32_t>(first) && place < static_cast<int32_t>(end);
            EXPECT_EQ(search.InCity(search.Result(i)), inRange);
            own += inRange ? 1 : 0;
        }
    }
    EXPECT_EQ(own, total);
}

TEST_F(PoiSearchTownTest, AddressTextsNameTheStreetAndTheCity) {
    const discmaker::Network& town = mapdb_test::GridMapsTown();
    CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
    search.SetCentre(lon_, lat_);
    ASSERT_EQ(search.Search(), CPoiSearch::kFound);
    search.FillAddressTexts(search.Results(), search.ResultCount());
    int checked = 0;
    for (int i = 0; i < search.ResultCount(); ++i) {
        const PoiResult& r = search.Result(i);
        ASSERT_NE(r.address, nullptr) << r.name;
        for (const discmaker::Poi& p : town.pois) {
            if (static_cast<float>(p.position.lat) != r.record.latitude ||
                static_cast<float>(p.position.lon) != r.record.longitude)
                continue;
            std::string street = town.links[p.link].name->FullText();
            for (char& c : street)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(std::string(r.address).rfind(street + ", ", 0), 0u) << r.address;
            EXPECT_GT(std::strlen(r.address), street.size() + 3);
            ++checked;
        }
    }
    EXPECT_EQ(checked, search.ResultCount());
    // A road that cannot be read leaves the address as it was; too many asked, none.
    search.Result(0).record.linkWord = 0x3FFFFFF0u;
    mapdb::FreeBlock(search.Result(0).address);
    search.Result(0).address = nullptr;
    search.FillAddressTexts(search.Results(), 1);
    EXPECT_EQ(search.Result(0).address, nullptr);
    const std::string second = search.Result(1).address;
    search.Result(1).record.linkWord = 0;
    search.FillAddressTexts(search.Results(), search.ResultCount() + 1);
    EXPECT_EQ(second, search.Result(1).address);
}

class FavouriteRecorder final : public QuietMainView {
  public:
    int AddToFavorites(const AddressHit& hit, int listKind, const char* text, const char* house,
                       const char* name, BOOL ask, BOOL silent) override {
        ++calls;
        lastHit = hit;
        kind = listKind;
        label = text;
        houseText = house;
        caption = name ? name : "";
        asked = ask;
        quiet = silent;
        return 0;
    }
    int calls = 0, kind = -1;
    AddressHit lastHit{};
    std::string label, houseText, caption;
    BOOL asked = FALSE, quiet = TRUE;
};

TEST_F(PoiSearchTownTest, MapFavouriteLabelsAndHouseTexts) {
    CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
    search.SetCentre(lon_, lat_);
    ASSERT_EQ(search.Search(), CPoiSearch::kFound);
    search.FillAddressTexts(search.Results(), 1);
    PoiLayerEntry entry = search.Result(0).record;
    const std::string address = search.Result(0).address;
    const std::string street = address.substr(0, address.find(','));
    FavouriteRecorder view;
    g_mainView.store(&view);
    struct Case {
        uint32_t addressWord;
        const char* house;
        std::string label;
        int side;
    };
    const Case cases[] = {
        {0x40000000u | 1234, "1234", "1234 " + street + "\n", 1},
        {0x20000000u | 7, "7", "7 " + street + "\n", -1},
        {poi::kNoAddress, "-1", street, 0},                    // no address: no number in the label
        {0x40000000u | poi::kHouseNumberMask, "", street, 1},  // no number, a side
        {0, "0", street, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.house);
        entry.addressWord = c.addressWord;
        view.calls = 0;
        FormatPoiEntry(entry, 0, "NOTHING");
        EXPECT_EQ(view.calls, 0);
        FormatPoiEntry(entry, 3, search.Result(0).name);
        ASSERT_EQ(view.calls, 1);
        EXPECT_EQ(view.kind, 0);
        EXPECT_EQ(view.label, c.label);
        EXPECT_EQ(view.houseText, c.house);
        EXPECT_EQ(view.caption, search.Result(0).name);
        EXPECT_TRUE(view.asked);
        EXPECT_FALSE(view.quiet);
        EXPECT_EQ(view.lastHit.linkId, static_cast<int32_t>(entry.LinkRecord()));
        EXPECT_NE(view.lastHit.cellWord, 0u);
        EXPECT_EQ(view.lastHit.side, c.side);
        EXPECT_EQ(view.lastHit.lat, entry.latitude);
    }
    g_mainView.store(nullptr);
}

}  // namespace
