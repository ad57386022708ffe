#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "tests/display/frame_maps.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"

namespace {

class ScaleBarTest : public testing_support::RootsTest {
  protected:
    void TearDown() override {
        g_options.store(0);
        g_map3DMode.store(0);
        g_mapTheme = CMapTheme();
    }
};

render::Options TownAt(int width, int height) {
    render::Options options = display_test::TownOptions();
    options.width = width;
    options.height = height;
    return options;
}

TEST_F(ScaleBarTest, TheLabelNamesTheZoomValueInItsUnit) {
    render::Session session(display_test::TownOptions());
    ASSERT_TRUE(session.Loaded()) << session.Error();
    CMapView& view = session.View();
    struct Case {
        float feet;
        float metres;
        bool metric;
        bool view3D;
        const char* text;
    };
    const Case cases[] = {
        {5280, 0, false, false, "1 mi"},  {5279, 0, false, false, "5279 ft"},
        {10560, 0, false, false, "2 mi"}, {0, 999, true, false, "999 m"},
        {0, 2500, true, false, "2 km"},   {5280, 0, false, true, "Zoom 3"},
    };
    view.StoreZoomIndex(2);
    for (const Case& c : cases) {
        g_mapTheme.zoomListFeet[2] = c.feet;
        g_mapTheme.zoomListMetres[2] = c.metres;
        g_options.store(c.metric ? kOptionMetric : 0);
        g_map3DMode.store(c.view3D ? 2 : 0);
        EXPECT_EQ(view.ScaleBarText(), c.text);
    }
}

TEST_F(ScaleBarTest, ZoomStepsStopAtTheEndsOfTheList) {
    render::Session session(display_test::TownOptions());
    ASSERT_TRUE(session.Loaded()) << session.Error();
    CMapView& view = session.View();
    view.StoreZoomIndex(0);
    view.ResetViewSpan();
    EXPECT_EQ(view.ZoomIn(), 1);
    EXPECT_EQ(view.GetZoomIndex(), 0);
    EXPECT_EQ(view.SetZoom(0), 1);
    EXPECT_EQ(view.SetZoom(-1), 1);
    EXPECT_EQ(view.SetZoom(g_mapTheme.zoomLevelCount), 1);
    const float before = view.GetSpan();
    EXPECT_EQ(view.ZoomOut(), 0);
    EXPECT_EQ(view.GetZoomIndex(), 1);
    EXPECT_GT(view.GetSpan(), before);
    view.StoreZoomIndex(g_mapTheme.zoomLevelCount - 1);
    EXPECT_EQ(view.ZoomOut(), 1);
    EXPECT_EQ(view.ZoomIn(), 0);
    EXPECT_EQ(view.GetZoomIndex(), g_mapTheme.zoomLevelCount - 2);
}

TEST_F(ScaleBarTest, ZoomButtonsAnswerTapsEightScaledPixelsAround) {
    for (int scale : {1, 2}) {
        render::Session session(TownAt(240 * scale, 320 * scale));
        ASSERT_TRUE(session.Loaded()) << session.Error();
        session.DrawFrame();  // draws the scale bar and places the buttons
        CMapView& view = session.View();
        const int first = RoundHalfAway(87.0f * scale), second = RoundHalfAway(114.0f * scale);
        const int row =
            g_viewHeight.load() - RoundHalfAway(33.0f * scale) + RoundHalfAway(10.0f * scale);
        const int middle = row + 12 * scale;
        struct Case {
            int x, y, hit;
        };
        const Case cases[] = {
            {first + 2, middle, -1},
            {first - 8 * scale, middle, -1},  // 8 scaled pixels left still hits
            {first - 8 * scale - 1, middle, 0},
            // The grown boxes overlap between the buttons: the first is tested first.
            {second + 12 * scale, middle, 1},
            {second + 23 * scale + 8 * scale, middle, 1},
            {second + 12 * scale, row - 8 * scale, 1},
            {second + 12 * scale, row - 8 * scale - 1, 0},
            {10, 10, 0},
        };
        for (const Case& c : cases)
            EXPECT_EQ(view.HitTest(c.x, c.y), c.hit)
                << "scale " << scale << " at " << c.x << "," << c.y;
    }
}

TEST(VehicleSymbolTest, BitmapsByColourSetStatusAndView) {
    struct Case {
        bool night;
        COLORREF status;
        int mode;
        bool northUp;
        UINT id;
    };
    const Case cases[] = {
        {true, 0x404040, 0, false, 179},  {true, 0x00FFFF, 1, false, 192},
        {true, 0x0000FF, 2, false, 188},  {false, 0x00C000, 3, false, 185},
        {false, 0x00C000, 2, true, 182},  // north-up is flat in 3D too
        {false, 0x404040, 1, false, 199}, {false, 0x123456, 2, false, 182},
        {true, 0x123456, 0, false, 182},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VehicleBitmapId(c.night, c.status, c.mode, c.northUp), c.id)
            << c.night << " " << std::hex << c.status << " mode " << c.mode;
}

// The vehicle symbols and destination flags are drawn over the map and the route with
// white as their key colour: every pixel is that white or a colour of the artwork,
// never a blend of the two, which would show as a light fringe breaking the route
// around the vehicle.
TEST(VehicleSymbolTest, KeyedArtworkHasNoBlendWithItsKeyColour) {
    const std::filesystem::path res = testing_support::RepositoryFolder() / "pathlume" / "res";
    std::map<UINT, std::string> files;
    {
        std::ifstream table(res / "resources.md");
        const std::regex row(R"(^\| (\d+) \| bitmap \| ((vehicle|flag)_[a-z0-9_]+\.svg) \|)");
        std::smatch m;
        for (std::string line; std::getline(table, line);)
            if (std::regex_search(line, m, row))
                files[static_cast<UINT>(std::stoul(m[1]))] = m[2];
    }
    ASSERT_EQ(files.size(), 36u);  // 24 vehicle symbols, 12 flags
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    for (const auto& [id, file] : files) {
        // The colours the artwork names.
        std::ifstream svg(res / file);
        const std::string text((std::istreambuf_iterator<char>(svg)), {});
        std::set<COLORREF> own{RGB(255, 255, 255)};
        const std::regex hex("#([0-9a-fA-F]{6})");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), hex);
             it != std::sregex_iterator(); ++it) {
            const unsigned long v = std::stoul((*it)[1], nullptr, 16);
            own.insert(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
        }
        HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(id));
        ASSERT_NE(bitmap, nullptr) << id;
        BITMAP record{};
        GetObjectW(bitmap, sizeof record, &record);
        HGDIOBJ old = SelectObject(dc, bitmap);
        int foreign = 0;
        COLORREF example = 0;
        for (int y = 0; y < record.bmHeight; ++y)
            for (int x = 0; x < record.bmWidth; ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                if (!own.count(c)) {
                    ++foreign;
                    example = c;
                }
            }
        EXPECT_EQ(foreign, 0) << file << " (" << id << "), e.g. " << std::hex << example;
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

// The standing vehicle, counting the new frames the view asks for.
class CountingVehicle : public render::StandingVehicle {
  public:
    void PostPosition() override { ++posts; }
    int posts = 0;
};

TEST_F(ScaleBarTest, AVehicleOutsideTheAreaDrawnAsksForANewFrame) {
    render::Session session(display_test::TownOptions());
    ASSERT_TRUE(session.Loaded()) << session.Error();
    CountingVehicle vehicle;
    vehicle.fix = GetMapVehicle().GetFix();
    SetMapVehicle(&vehicle);
    session.DrawFrame();
    vehicle.posts = 0;  // the frame's map match posts its position on its own
    session.View().DrawVehicle(nullptr, nullptr);
    EXPECT_EQ(vehicle.posts, 0);
    // The headless host's status colour is outside the table: 182 stays.
    EXPECT_EQ(session.View().LoadedVehicleBitmap(), 182u);
    const discmaker::LatLon centre = display_test::TownCentre();
    MapPoint away{};
    away.latitude = static_cast<float>(centre.lat + 0.2);
    away.longitude = static_cast<float>(centre.lon);
    session.View().DrawVehicle(&away, nullptr);
    EXPECT_EQ(vehicle.posts, 1);
    // Panning shows another place on purpose: no new frame for it.
    session.Host().panMode = TRUE;
    session.View().DrawVehicle(&away, nullptr);
    EXPECT_EQ(vehicle.posts, 1);
    SetMapVehicle(nullptr);
}

}  // namespace
