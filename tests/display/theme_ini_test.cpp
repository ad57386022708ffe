// The shipped theme.ini holds every key the theme reads, each at its default.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "pathlume/display/map_theme.h"
#include "tests/support/shared_data.h"

namespace {

template <typename T, size_t N>
void Scramble(T (&table)[N]) {
    std::memset(static_cast<void*>(table), 0x5A, sizeof table);
}

template <typename T, size_t N>
bool Same(const T (&a)[N], const T (&b)[N]) {
    return std::memcmp(a, b, sizeof a) == 0;
}

TEST(ThemeIniTest, TheShippedFileSetsEveryKeyToItsDefault) {
    std::ifstream in(testing_support::RepositoryFolder() / "pathlume" / "res" / "theme.ini");
    ASSERT_TRUE(in) << "pathlume/res/theme.ini is missing";
    std::stringstream text;
    text << in.rdbuf();
    const std::string file = text.str();

    // Every value a key sets starts from garbage, so one the file leaves out shows.
    const CMapTheme defaults;
    CMapTheme theme;
    for (auto& row : theme.roadPenWidths)
        Scramble(row);
    for (int level = 0; level < CMapTheme::kClasses; ++level)  // GRDPW: levels 0 to 4
        theme.routeRoadPenWidths[level][0] = 0x5A5A;
    Scramble(theme.levelDrawClass);
    Scramble(theme.routePenWidths);
    theme.routePenWidths2[0] = 0x5A5A;
    for (COLORREF* table :
         {theme.dayRoadColours, theme.nightRoadColours, theme.dayRoadBorderColours,
          theme.nightRoadBorderColours, theme.dayRouteRoadColours, theme.nightRouteRoadColours})
        std::fill_n(table, CMapTheme::kClasses, 0x5A5A5Au);
    Scramble(theme.routeColours);
    Scramble(theme.statusColours);
    Scramble(theme.backgroundColours);
    Scramble(theme.textColours);
    Scramble(theme.dayMarkColours);
    Scramble(theme.nightMarkColours);
    Scramble(theme.dayMapColours);
    Scramble(theme.nightMapColours);
    Scramble(theme.streetTextSizes);
    Scramble(theme.nameThresholds);
    Scramble(theme.zoomListFeet);
    Scramble(theme.zoomListMetres);
    for (int i = 0; i < CMapTheme::kFillColours; ++i) {
        if (i != 5) {  // "no fill" has no red,green,blue form: it stays as it is
            theme.dayFillColours[i] = 0x5A5A5Au;
            theme.nightFillColours[i] = 0x5A5A5Au;
        }
    }
    theme.zoomLevelCount = 1;
    theme.mapSpanRatio = 1.0f;
    theme.streetTextWeight = 1;
    theme.nameTextWeight = 1;

    theme.ParseThemeText(file.data(), file.size());

    for (int level = 0; level < CMapTheme::kLevels; ++level) {
        EXPECT_TRUE(Same(theme.roadPenWidths[level], defaults.roadPenWidths[level])) << level;
        EXPECT_EQ(theme.routeRoadPenWidths[level][0], defaults.routeRoadPenWidths[level][0])
            << level;
    }
    EXPECT_TRUE(Same(theme.levelDrawClass, defaults.levelDrawClass));
    EXPECT_TRUE(Same(theme.routePenWidths, defaults.routePenWidths));
    EXPECT_EQ(theme.routePenWidths2[0], defaults.routePenWidths2[0]);
    EXPECT_TRUE(Same(theme.dayRoadColours, defaults.dayRoadColours));
    EXPECT_TRUE(Same(theme.nightRoadColours, defaults.nightRoadColours));
    EXPECT_TRUE(Same(theme.dayRoadBorderColours, defaults.dayRoadBorderColours));
    EXPECT_TRUE(Same(theme.nightRoadBorderColours, defaults.nightRoadBorderColours));
    EXPECT_TRUE(Same(theme.dayRouteRoadColours, defaults.dayRouteRoadColours));
    EXPECT_TRUE(Same(theme.nightRouteRoadColours, defaults.nightRouteRoadColours));
    EXPECT_TRUE(Same(theme.routeColours, defaults.routeColours));
    EXPECT_TRUE(Same(theme.statusColours, defaults.statusColours));
    EXPECT_TRUE(Same(theme.backgroundColours, defaults.backgroundColours));
    EXPECT_TRUE(Same(theme.textColours, defaults.textColours));
    EXPECT_TRUE(Same(theme.dayMarkColours, defaults.dayMarkColours));
    EXPECT_TRUE(Same(theme.nightMarkColours, defaults.nightMarkColours));
    EXPECT_TRUE(Same(theme.dayFillColours, defaults.dayFillColours));
    EXPECT_TRUE(Same(theme.nightFillColours, defaults.nightFillColours));
    EXPECT_TRUE(Same(theme.dayMapColours, defaults.dayMapColours));
    EXPECT_TRUE(Same(theme.nightMapColours, defaults.nightMapColours));
    EXPECT_TRUE(Same(theme.streetTextSizes, defaults.streetTextSizes));
    EXPECT_TRUE(Same(theme.nameThresholds, defaults.nameThresholds));
    EXPECT_TRUE(Same(theme.zoomListFeet, defaults.zoomListFeet));
    EXPECT_TRUE(Same(theme.zoomListMetres, defaults.zoomListMetres));
    EXPECT_EQ(theme.zoomLevelCount, defaults.zoomLevelCount);
    EXPECT_EQ(theme.mapSpanRatio, defaults.mapSpanRatio);
    EXPECT_EQ(theme.streetTextWeight, defaults.streetTextWeight);
    EXPECT_EQ(theme.nameTextWeight, defaults.nameTextWeight);
}

}  // namespace
