#include "mapferry/convert/region_picture.h"

#include <gtest/gtest.h>

#include <set>

#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/region_names.h"
#include "tests/mapferry/source_files.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::RegionFile;
using testing_support::TestRecord;
using testing_support::WriteTestFile;
namespace sd = formats::source_disc;

TEST(RegionPictureTest, SideOfLineAndSegmentsCross) {
    struct Side {
        POINT p1, p2, q;
        int side;
    };
    const Side sides[] = {
        {{0, 0}, {10, 0}, {5, 5}, 1},
        {{0, 0}, {10, 0}, {5, -5}, -1},
        {{0, 0}, {10, 0}, {20, 0}, -1},  // on the line
        {{0, 0}, {0, 10}, {5, 5}, -1},
        // Far apart: the products pass 32 bits.
        {{-2000000000, 0}, {2000000000, 1}, {0, 2000000000}, 1},
    };
    for (const Side& c : sides)
        EXPECT_EQ(SideOfLine(c.p1.x, c.p1.y, c.p2.x, c.p2.y, c.q.x, c.q.y), c.side)
            << c.q.x << "," << c.q.y;

    struct Cross {
        POINT a, b, c, d;
        int cross;
    };
    const Cross crosses[] = {
        {{0, 0}, {10, 10}, {0, 10}, {10, 0}, 1},  // an X
        {{0, 0}, {10, 0}, {0, 5}, {10, 5}, 0},    // parallel
        {{0, 0}, {4, 4}, {6, 6}, {10, 0}, 0},     // would meet beyond the first
        {{0, 5}, {20, 5}, {10, 0}, {10, 10}, 1},  // a ray through an edge
    };
    for (const Cross& c : crosses)
        EXPECT_EQ(SegmentsCross(c.a, c.b, c.c, c.d), c.cross);
}

TEST(RegionPictureTest, PointInPolygonEdgesAndConcaveOutlines) {
    // An L: the square 0-20 without its north-east quarter.
    const std::vector<POINT> l = {{0, 0}, {10, 0}, {10, 10}, {20, 10}, {20, 20}, {0, 20}};
    RECT rect;
    BoundingRectOfPoints(l.data(), static_cast<int>(l.size()), &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.right, 20);
    EXPECT_EQ(rect.bottom, 20);
    struct Case {
        POINT at;
        int inside;
        const char* what;
    };
    const Case cases[] = {
        {{5, 5}, 1, "in the leg"},
        {{15, 15}, 1, "in the foot"},
        {{15, 5}, 0, "in the notch"},
        {{20, 15}, 0, "on the right edge of the rectangle"},
        {{5, 20}, 0, "on the bottom edge of the rectangle"},
        {{-1, 5}, 0, "left of it"},
        {{5, 0}, 1, "on the top edge: the crossing test decides"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PointInPolygon(l.data(), static_cast<int>(l.size()), c.at.x, c.at.y, &rect),
                  c.inside)
            << c.what;
        EXPECT_EQ(PointInPolygon(l.data(), static_cast<int>(l.size()), c.at.x, c.at.y, nullptr),
                  c.inside)
            << c.what << " (bounds of the points)";
    }
    EXPECT_EQ(PointInPolygonBounds(l.data(), 6, 0, 0, nullptr), 1);
    EXPECT_EQ(PointInPolygonBounds(l.data(), 6, 20, 0, nullptr), 0);
    EXPECT_EQ(PointInPolygon(l.data(), 0, 5, 5, &rect), 0) << "no points";

    PictureOutlines outlines;
    EXPECT_EQ(outlines.HitTest(5, 5), 0) << "no outlines";
    outlines.AddOutline({});  // never tested
    outlines.AddOutline(l);
    EXPECT_EQ(outlines.HitTest(5, 5), 1);
    EXPECT_EQ(outlines.HitTest(15, 5), 0);
}

TEST(RegionPictureTest, GridPlacedNorthUpWithLongitudeShrunk) {
    // 4 x 2 cells of a degree at 60 degrees north: half as wide as they are high.
    const auto grid = testing_support::TestGrid(10, 59, 4, 2, 1);
    const PictureGrid placed = FitGrid(grid, RECT{0, 0, 400, 200});
    ASSERT_TRUE(placed.valid);
    EXPECT_NEAR(placed.cellHeight, 100, 1e-6);
    EXPECT_NEAR(placed.cellWidth / placed.cellHeight, std::cos(60 * M_PI / 180), 1e-6);
    // The northern row on top, the whole grid centred across.
    const RECT north = placed.CellRect(0, 0, 1);
    const RECT south = placed.CellRect(3, 3, 0);
    EXPECT_EQ(north.top, 0);
    EXPECT_EQ(south.bottom, 200);
    EXPECT_EQ(north.left, 100);
    EXPECT_EQ(south.right, 300);

    EXPECT_FALSE(FitGrid(testing_support::TestGrid(0, 0, 0, 2, 1), RECT{0, 0, 10, 10}).valid);
    EXPECT_FALSE(FitGrid(testing_support::TestGrid(0, 0, 4, 2, NAN), RECT{0, 0, 10, 10}).valid);
    EXPECT_FALSE(FitGrid(grid, RECT{0, 0, 0, 10}).valid);
}

class BinTableTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { platform::SetCurrentSide(platform::Side::Desktop); }
    void TearDown() override {
        for (int layer = 0; layer < kCutLayers; ++layer)
            RegionData(layer).Clear();
        CRegionData::BuildBinTables();
        CRegionData::BuildCityRegionTable();
        platform::SetCurrentSide(platform::Side::Device);
    }
};

TEST_F(BinTableTest, CellsAndPicturesComeFromTheRegionData) {
    // California (4) by halves, Nevada (28) whole; a record of 20,000 spans or more
    // takes no part.
    const std::vector<TestRecord> detailed = {
        {sd::EntryKey(4, 1), {0}, {{3, 0, 1}, {3, 2, 2}}},
        {sd::EntryKey(4, 2), {0}, {{2, 0, 1}, {1, 1, 1}}},
        {sd::EntryKey(28, 1), {1}, {{1, 3, 4}, {0, 4, 4}}},
    };
    const std::vector<TestRecord> overview = {
        {sd::EntryKey(4, 1), {0}, {{1, 0, 0}}},
        {sd::EntryKey(4, 2), {0}, {{0, 0, 0}}},
        {sd::EntryKey(28, 1), {1}, {{0, 1, 1}}},
    };
    WriteTestFile(u"C:\\mf\\rgndata1.in", RegionFile(overview));
    WriteTestFile(u"C:\\mf\\rgndata2.in", RegionFile(detailed));
    WriteTestFile(u"C:\\mf\\rgndatap.in", RegionFile(overview));
    WriteTestFile(u"C:\\mf\\cdinfo.ini", "1 1 2 4");
    WriteTestFile(u"C:\\mf\\mh.ini",
                  testing_support::MhIniFile(testing_support::TestGrid(0, 40, 2, 2, 0.5f),
                                             testing_support::TestGrid(0, 40, 5, 4, 0.25f)));
    ASSERT_NE(LoadDiscInformation(u"C:\\mf").dataVersion, 0);
    for (int layer = 0; layer < kCutLayers; ++layer)
        ASSERT_EQ(RegionData(layer).Load(layer, u"C:\\mf"), 0);
    CRegionData::BuildBinTables(RECT{0, 0, 500, 400});

    // The bin tables hold exactly the records' cells, as joined row runs.
    for (int layer = 0; layer < kCutLayers; ++layer) {
        for (int region : {4, 28, 5}) {
            std::set<std::pair<int, int>> expected, built;
            for (const RegionDataRecord& record : RegionData(layer).Records()) {
                if (sd::RegionOfKey(record.entryKey) != static_cast<uint32_t>(region))
                    continue;
                for (const RegionSpanItem& span : record.spans)
                    for (int c = span.firstColumn; c <= span.lastColumn; ++c)
                        expected.insert({span.row, c});
            }
            for (const RegionSpanItem& run : CRegionData::BinTable(region, layer))
                for (int c = run.firstColumn; c <= run.lastColumn; ++c)
                    EXPECT_TRUE(built.insert({run.row, c}).second) << "a cell twice";
            EXPECT_EQ(built, expected) << "region " << region << " layer " << layer;
        }
    }
    // Row 3 of California: 0-1 and 2 join into one run.
    ASSERT_EQ(CRegionData::BinTable(4, 1).size(), 3u);
    EXPECT_EQ(CRegionData::BinTable(4, 1)[2].lastColumn, 2);
    EXPECT_EQ(CRegionData::SubAreaBinTable(4, 1, 1).size(), 2u);

    const RegionTable& regions = ProgramRegions();
    const RegionRecord& california = regions[4];
    EXPECT_EQ(california.outlines.size(), 3u);  // one rectangle per run
    EXPECT_EQ(california.subAreas[0].outlines.size(), 1u);
    EXPECT_EQ(california.subAreas[1].outlines.size(), 2u);
    EXPECT_TRUE(california.label.shown);
    EXPECT_FALSE(regions[5].label.shown) << "no cells, no label";
    EXPECT_TRUE(regions[5].outlines.empty());
    // A click finds the region of the cell under it: row 3 is the top row.
    const RECT top = california.outlineRects.back();
    EXPECT_EQ(top.top, 0);
    EXPECT_EQ(california.HitTest(top.left + 1, top.top + 1), 1);
    EXPECT_EQ(regions[28].HitTest(top.left + 1, top.top + 1), 0);
    EXPECT_EQ(california.subAreas[0].HitTest(top.left + 1, top.top + 1), 1);
    EXPECT_EQ(california.subAreas[1].HitTest(top.left + 1, top.top + 1), 0);
    // Nevada's south-east cell (4, 0) is the picture's bottom right.
    const RECT corner = regions[28].outlineRects[0];
    EXPECT_EQ(corner.bottom, 400);
    EXPECT_EQ(regions[28].HitTest(corner.right - 1, corner.bottom - 1), 1);
}

TEST_F(BinTableTest, CityRegionTableHoldsChoiceWordsAndDetailedBounds) {
    WriteTestFile(u"C:\\mf\\rgndata2.in", RegionFile({{sd::EntryKey(4, 1), {0}, {{3, 5, 6}}},
                                                      {sd::EntryKey(4, 2), {0}, {{1, 2, 2}}},
                                                      {sd::EntryKey(0, 1), {1}, {}}}));
    ASSERT_EQ(RegionData(1).Load(1, u"C:\\mf"), 0);
    CRegionData::BuildCityRegionTable();
    // Row 6 is California, region 4 by both halves.
    EXPECT_EQ(CRegionData::CityRegion(6), (CRegionData::CityRegionRow{(4 << 16) | 3, 2, 6, 1, 3}));
    // Alabama (row 0) has a record without cells: not on the disc.
    EXPECT_EQ(CRegionData::CityRegion(0), (CRegionData::CityRegionRow{1, -1, -1, -1, -1}));
    EXPECT_EQ(CRegionData::CityRegion(-1)[0], 0);
    EXPECT_EQ(CRegionData::CityRegion(70)[0], (70 << 16) | 1);
}

}  // namespace
