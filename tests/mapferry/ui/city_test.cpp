// The city page's figures: radius texts, size ranges and the rectangle of cells.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mapferry/ui/city_page.h"

namespace {

namespace mc = formats::map_container;

TEST(CityPageTest, RadiusTextsGiveMilesAndKilometres) {
    const char16_t* expected[] = {u"25 (40)",   u"50 (80)",   u"75 (121)",
                                  u"100 (161)", u"125 (201)", u"150 (241)"};
    for (int step = 1; step <= 6; ++step)
        EXPECT_EQ(RadiusText(step), expected[step - 1]) << step;
}

TEST(CityPageTest, SizeRangesAndTheSpaceTheyNeed) {
    const struct {
        uint64_t bytes;
        const char16_t* text;
        unsigned long upper;
    } cases[] = {
        {0, u"1 - 2 MB", 0},
        {1000, u"1 - 2 MB", 0},
        {3ull << 20, u"3 - 4 MB", 3},
        {10ull << 20, u"12 - 14 MB", 13},
        {(100ull << 20) + 5, u"120 - 140 MB", 130},
    };
    for (const auto& c : cases) {
        const SizeRange range = SizeRangeOf(c.bytes);
        EXPECT_EQ(range.text, c.text) << c.bytes;
        EXPECT_EQ(range.upperMB, c.upper) << c.bytes;
    }
}

mc::GridHeader Grid(float cell, int32_t columns, int32_t rows) {
    mc::GridHeader grid;
    grid.originLongitude = 0.0f;
    grid.originLatitude = 40.0f;
    grid.columns = columns;
    grid.rows = rows;
    grid.cellWidth = cell;
    grid.cellHeight = cell;
    return grid;
}

TEST(CityPageTest, TheRectangleIsHeldToTheGridAndBadPositionsHaveNone) {
    const mc::GridHeader overview = Grid(1.0f, 4, 4);
    const mc::GridHeader detailed = Grid(0.1f, 40, 40);
    // 25 miles round (1.5, 42): about 0.36 degrees of latitude.
    const CityRectangle middle = CityCellRectangle(overview, detailed, 42.0f, 1.5f, 25);
    EXPECT_EQ(middle, (CityRectangle{1, 1, 1, 2, 11, 18, 17, 22}));
    // 150 miles reach past the west edge of the grid and every edge of the overview.
    const CityRectangle wide = CityCellRectangle(overview, detailed, 42.0f, 1.5f, 150);
    EXPECT_EQ(wide, (CityRectangle{0, 3, 0, 3, 0, 33, 6, 33}));
    // Far away, near the pole, or not a number: held to the edges, or no cells.
    const CityRectangle far = CityCellRectangle(overview, detailed, -80.0f, 170.0f, 25);
    EXPECT_EQ(far, (CityRectangle{3, 3, 0, 0, 39, 39, 0, 0}));
    const CityRectangle pole = CityCellRectangle(overview, detailed, 89.9999f, 1.5f, 25);
    EXPECT_EQ(pole[0], 0);
    EXPECT_EQ(pole[1], 3);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    CityRectangle none;
    none.fill(-1);
    EXPECT_EQ(CityCellRectangle(overview, detailed, nan, 1.5f, 25), none);
    EXPECT_EQ(CityCellRectangle(overview, detailed, 42.0f, INFINITY, 25), none);
}

}  // namespace
