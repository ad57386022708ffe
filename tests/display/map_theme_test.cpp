#include "pathlume/display/map_theme.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "tests/support/temp_root.h"

namespace {

CMapTheme Parsed(const std::string& text) {
    CMapTheme theme;
    theme.ParseThemeText(text.data(), text.size());
    return theme;
}

TEST(MapThemeTest, DefaultsHoldTheDocumentedTables) {
    CMapTheme theme;
    EXPECT_EQ(theme.zoomLevelCount, 9);
    EXPECT_EQ(theme.dayFillColours[5], kNoColour);
    EXPECT_EQ(theme.dayRoadColours[2], 0x0000A0FFu);  // 255,160,0
    EXPECT_EQ(theme.roadPenWidths[4][0], 3);
    EXPECT_EQ(theme.routeRoadPenWidths[3][2], 2);
    EXPECT_EQ(theme.backgroundColours[1], 0x00FF6060u);
    EXPECT_EQ(theme.FindLastLevelBelow(), 5);
    EXPECT_EQ(theme.GetViewFactor(), 4.0f);
    // Rows of eight: day ends with the first night colour, night with the spare one.
    EXPECT_EQ(theme.MapColour(0, 7), theme.nightMapColours[0]);
    EXPECT_EQ(theme.MapColour(1, 7), 0x000060DCu);
}

TEST(MapThemeTest, FileKeysChangeOnlyWhatTheyName) {
    CMapTheme theme = Parsed("MZL=10 20\n");
    EXPECT_EQ(theme.zoomListMetres[0], 10.0f);
    EXPECT_EQ(theme.zoomListMetres[1], 20.0f);
    EXPECT_EQ(theme.zoomListMetres[2], 150.0f);

    theme = Parsed("GRPW=9\n");
    EXPECT_EQ(theme.routePenWidths2[0], 9);
    EXPECT_EQ(theme.routePenWidths2[1], 5);

    theme = Parsed("GRDPW=1 2 3 4 5\n");
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(theme.routeRoadPenWidths[row][0], row + 1);
        EXPECT_EQ(theme.routeRoadPenWidths[row][1], CMapTheme().routeRoadPenWidths[row][1]);
    }
    EXPECT_EQ(theme.routeRoadPenWidths[5][0], 2);

    theme = Parsed("MDFC=5 5 5 5 4 3 2 1 0\n");
    const int expected[9] = {320, 320, 320, 320, 256, 192, 128, 64, 128};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(theme.levelDrawClass[i], expected[i]) << i;

    theme = Parsed(";MZL=1\nMBC2=1,2,3 4,5\nDMRPC=0,0,255\r\nRPW8=9 8\nDFC18=7,7,7\nNMRC6=1,1,1\n");
    EXPECT_EQ(theme.zoomListMetres[0], 25.0f);
    EXPECT_EQ(theme.dayMarkColours[2], 0x00030201u);
    EXPECT_EQ(theme.nightMarkColours[2], 0x00000504u);  // a missing component is 0
    EXPECT_EQ(theme.dayRoadColours[0], 0x00FF0000u);
    EXPECT_EQ(theme.dayRoadColours[1], CMapTheme().dayRoadColours[1]);
    EXPECT_EQ(theme.roadPenWidths[8][0], 9);
    EXPECT_EQ(theme.roadPenWidths[8][1], 8);
    EXPECT_EQ(theme.roadPenWidths[8][2], 1);
    EXPECT_EQ(theme.dayFillColours[18], 0x00070707u);
    EXPECT_EQ(theme.nightMapColours[6], 0x00010101u);
}

TEST(MapThemeTest, BadLinesChangeNothing) {
    const CMapTheme defaults;
    struct Case {
        const char* text;
    };
    const Case cases[] = {
        {"RPW-1=9 9 9 9 9\n"},
        {"RPW9=9 9 9 9 9\n"},
        {"MBC-1=1,1,1 2,2,2\n"},
        {"MBC4=1,1,1 2,2,2\n"},
        {"DFC19=1,1,1\n"},
        {"NFC-3=1,1,1\n"},
        {"DMRC7=1,1,1\n"},
        {"AZLC=10\n"},
        {"AZLC=-2\n"},
        {"MZL=0 -5 nan inf\n"},
        {"FZL=x\n"},
        {"=5\n"},
        {"RTPW\n"},
        {"UNKNOWN=1\n"},
        {"STS=a b\n"},
    };
    for (const Case& c : cases) {
        const CMapTheme theme = Parsed(c.text);
        EXPECT_EQ(
            std::memcmp(theme.roadPenWidths, defaults.roadPenWidths, sizeof defaults.roadPenWidths),
            0)
            << c.text;
        EXPECT_EQ(std::memcmp(theme.dayMarkColours, defaults.dayMarkColours, 32), 0) << c.text;
        EXPECT_EQ(theme.zoomLevelCount, 9) << c.text;
        EXPECT_EQ(std::memcmp(theme.zoomListMetres, defaults.zoomListMetres, 36), 0) << c.text;
        EXPECT_EQ(std::memcmp(theme.zoomListFeet, defaults.zoomListFeet, 36), 0) << c.text;
        EXPECT_EQ(std::memcmp(theme.streetTextSizes, defaults.streetTextSizes, 36), 0) << c.text;
        EXPECT_EQ(std::memcmp(theme.dayFillColours, defaults.dayFillColours,
                              sizeof defaults.dayFillColours),
                  0)
            << c.text;
        EXPECT_EQ(std::memcmp(theme.nightMapColours, defaults.nightMapColours, 28), 0) << c.text;
    }
    // The rest of an overlong line is not read as a line of its own.
    const std::string longLine = "STW=1 " + std::string(300, ' ') + "MZL=5\n";
    const CMapTheme theme = Parsed(longLine);
    EXPECT_EQ(theme.streetTextWeight, 1);
    EXPECT_EQ(theme.zoomListMetres[0], 25.0f);
}

// Numbers beyond a value's range are held to it, so that the screen scale and the
// drawing never compute with them; a file that does not end is read only as far as
// a theme goes.
TEST(MapThemeTest, ValuesOutOfRangeAreClampedAndScaleSafely) {
    CMapTheme theme = Parsed(
        "RPW0=2147483647 99999999999 -5 0 3\n"
        "RTPW=2147483647\nGRPW=-2147483648\nGRDPW=1000000\n"
        "STS=99999999 -1\nSTW=99999999\nNPW=-7\nNPT=99999999999\n"
        "FZL=1e38 0.001\nMZL=3e30\nMSR=1e30\n"
        "DMRPC=99999999,2,3 -1,-1,-1 256,300,1000\n");
    EXPECT_EQ(theme.roadPenWidths[0][0], CMapTheme::kMaxPenWidth);
    EXPECT_EQ(theme.roadPenWidths[0][1], CMapTheme::kMaxPenWidth);
    EXPECT_EQ(theme.roadPenWidths[0][2], 1);
    EXPECT_EQ(theme.roadPenWidths[0][3], 1);
    EXPECT_EQ(theme.roadPenWidths[0][4], 3);
    EXPECT_EQ(theme.routePenWidths[0], CMapTheme::kMaxPenWidth);
    EXPECT_EQ(theme.routePenWidths2[0], 1);
    EXPECT_EQ(theme.routeRoadPenWidths[0][0], CMapTheme::kMaxPenWidth);
    EXPECT_EQ(theme.streetTextSizes[0], CMapTheme::kMaxTextSize);
    EXPECT_EQ(theme.streetTextSizes[1], CMapTheme::kMinTextSize);
    EXPECT_EQ(theme.streetTextWeight, CMapTheme::kMaxTextWeight);
    EXPECT_EQ(theme.nameTextWeight, 0);
    EXPECT_EQ(theme.nameThresholds[0], CMapTheme::kMaxNameThreshold);
    EXPECT_EQ(theme.zoomListFeet[0], CMapTheme::kMaxZoomFeet);
    EXPECT_EQ(theme.zoomListFeet[1], 1.0f);
    EXPECT_EQ(theme.zoomListMetres[0], CMapTheme::kMaxZoomMetres);
    EXPECT_EQ(theme.mapSpanRatio, 64.0f);
    EXPECT_EQ(theme.dayRoadColours[0], 0x000302FFu);
    EXPECT_EQ(theme.dayRoadColours[1], 0u);
    EXPECT_EQ(theme.dayRoadColours[2], 0x00FFFFFFu);
    theme.ScaleForScreen(8.0f);
    EXPECT_EQ(theme.roadPenWidths[0][0], 8 * CMapTheme::kMaxPenWidth);
    EXPECT_EQ(theme.routePenWidths[0], 8 * CMapTheme::kMaxPenWidth);

    CMapTheme endless;
    EXPECT_EQ(endless.ReadThemeFile("/dev/zero"), 0);
    EXPECT_EQ(endless.zoomListFeet[0], CMapTheme().zoomListFeet[0]);
    const testing_support::TempRoots roots;
    EXPECT_EQ(endless.ReadThemeFile((roots.base() / "missing" / "theme.ini").string().c_str()), -1);
}

TEST(MapThemeTest, ScalingRoundsAndReducesTheFarLevels) {
    CMapTheme theme;
    theme.ScaleForScreen(2.0f);
    EXPECT_EQ(theme.routePenWidths[0], 14);
    EXPECT_EQ(theme.routePenWidths[5], 7);
    EXPECT_EQ(theme.routePenWidths[8], 7);
    EXPECT_EQ(theme.roadPenWidths[5][0], 3);  // 2 x 2 - 1
    EXPECT_EQ(theme.roadPenWidths[7][0], 2);  // classes 1 and 2 keep it at levels 7, 8
    EXPECT_EQ(theme.roadPenWidths[7][2], 1);
    CMapTheme same;
    same.ScaleForScreen(1.0f);
    EXPECT_EQ(same.roadPenWidths[7][2], 1);
    EXPECT_EQ(same.routePenWidths[5], 4);
    CMapTheme half;
    half.ScaleForScreen(1.5f);
    EXPECT_EQ(half.roadPenWidths[2][2], 5);  // 4.5 rounds away from zero
}

TEST(MapThemeTest, SelectionFollowsLevelAndColourMode) {
    CMapTheme theme;
    g_options.store(0);
    EXPECT_EQ(theme.GetZoomValue(2), 500.0f);
    g_options.store(kOptionMetric);
    EXPECT_EQ(theme.GetZoomValue(2), 150.0f);
    EXPECT_EQ(theme.GetZoomValue(-1), 25.0f);
    EXPECT_EQ(theme.GetZoomValue(12), 20000.0f);
    g_options.store(0);
    theme.colourMode = 1;
    theme.SelectColourSet(1, 4, 1);
    EXPECT_EQ(theme.SelectedWidth(1), 3);  // no route: the plain widths
    EXPECT_EQ(theme.RoadColour(3), theme.nightRoadColours[2]);
    EXPECT_EQ(theme.GetRoutePenWidth(), 4);
    theme.colourMode = 7;  // not a mode: day
    theme.SelectColourSet(0, 0, 0);
    EXPECT_EQ(theme.RoadColour(3), theme.dayRoadColours[2]);
    EXPECT_EQ(theme.GetRoutePenWidth(), 7);
}

}  // namespace
