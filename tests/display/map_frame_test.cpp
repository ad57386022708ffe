#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/gdi/gdi.h"
#include "tests/display/frame_maps.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using display_test::MeasureRoads;

class MapFrameTest : public display_test::FrameTest {
  protected:
    static render::Options TownOptions() { return display_test::TownOptions(); }
};

fs::path OutputFolder() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    const fs::path folder = (error ? fs::current_path() : exe.parent_path()) / "display_frames";
    fs::create_directories(folder, error);
    return folder;
}

// The back buffer against tests/display/golden/NAME.png: at most 1 % of the pixels
// may differ by more than 32 in a channel. PATHLUME_UPDATE_GOLDEN=1 rewrites it.
testing::AssertionResult FrameMatchesGolden(HDC dc, const std::string& name) {
    const fs::path actual = OutputFolder() / (name + ".png");
    if (!platform::SaveDCAsPng(dc, actual))
        return testing::AssertionFailure() << "cannot write " << actual;
    const fs::path golden =
        testing_support::RepositoryFolder() / "tests" / "display" / "golden" / (name + ".png");
    const char* update = std::getenv("PATHLUME_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        fs::create_directories(golden.parent_path());
        fs::copy_file(actual, golden, fs::copy_options::overwrite_existing);
        return testing::AssertionSuccess();
    }
    cairo_surface_t* want = cairo_image_surface_create_from_png(golden.c_str());
    if (cairo_surface_status(want) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(want);
        return testing::AssertionFailure()
               << "no golden " << golden << " (PATHLUME_UPDATE_GOLDEN=1 makes it)";
    }
    cairo_surface_flush(want);
    const int width = cairo_image_surface_get_width(want);
    const int height = cairo_image_surface_get_height(want);
    const int stride = cairo_image_surface_get_stride(want);
    const unsigned char* data = cairo_image_surface_get_data(want);
    size_t differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t argb = 0;
            std::memcpy(&argb, data + static_cast<ptrdiff_t>(y) * stride + 4 * x, 4);
            const COLORREF wanted = ((argb >> 16) & 0xFF) | (argb & 0xFF00) | ((argb & 0xFF) << 16);
            const COLORREF got = GetPixel(dc, x, y);
            for (int shift = 0; shift <= 16; shift += 8)
                if (std::abs(static_cast<int>((got >> shift) & 0xFF) -
                             static_cast<int>((wanted >> shift) & 0xFF)) > 32) {
                    ++differing;
                    break;
                }
        }
    cairo_surface_destroy(want);
    if (differing * 100 > static_cast<size_t>(width) * height)
        return testing::AssertionFailure()
               << differing << " pixels differ from " << golden << "; see " << actual;
    return testing::AssertionSuccess();
}

COLORREF MostFrequentColour(HDC dc, int width, int height) {
    std::map<COLORREF, int> counts;
    for (int y = 0; y < height; y += 2)
        for (int x = 0; x < width; x += 2)
            ++counts[GetPixel(dc, x, y)];
    COLORREF best = 0;
    int most = -1;
    for (const auto& [colour, count] : counts)
        if (count > most) {
            most = count;
            best = colour;
        }
    return best;
}

TEST_F(MapFrameTest, TownFramesMatchTheirGoldens) {
    struct Case {
        const char* name;
        bool view3D;
        bool night;
    };
    for (const Case& c : {Case{"town_2d", false, false}, Case{"town_3d", true, false},
                          Case{"town_night", false, true}}) {
        render::Options options = TownOptions();
        options.view3D = c.view3D;
        options.night = c.night;
        options.heading = 30;
        render::Session session(options);
        ASSERT_TRUE(session.Loaded()) << session.Error();
        session.DrawFrame();
        EXPECT_GT(session.View().LastFrame().linksDrawn, 20) << c.name;
        EXPECT_TRUE(FrameMatchesGolden(session.BackBuffer(), c.name));
    }
}

TEST_F(MapFrameTest, SkyBandAndNightColours) {
    for (bool night : {false, true}) {
        render::Options options = TownOptions();
        options.view3D = true;
        options.night = night;
        render::Session session(options);
        ASSERT_TRUE(session.Loaded()) << session.Error();
        // Without the town's areas the background is what most of the frame shows.
        g_options2.store(kOptions2NoAreas);
        session.DrawFrame();
        const int band = session.View().GetSkyBandHeight();
        ASSERT_EQ(band, 20);  // portrait, mode 2, scale 1
        HDC dc = session.BackBuffer();
        const COLORREF top = GetPixel(dc, 5, 0), bottom = GetPixel(dc, 5, band - 1);
        if (night) {
            EXPECT_EQ(top, 0u);
            EXPECT_EQ(bottom, static_cast<COLORREF>((band - 1) * 170 / band) << 16);
        } else {
            EXPECT_EQ(top, 0xFFFF00u);  // cyan
            EXPECT_EQ(bottom, static_cast<COLORREF>(0xFFFF00 | ((band - 1) * 255 / band)));
        }
        EXPECT_EQ(GetPixel(dc, 5, band), g_mapTheme.BackgroundColour());
        EXPECT_EQ(MostFrequentColour(dc, options.width, options.height),
                  night ? g_mapTheme.backgroundColours[1] : g_mapTheme.backgroundColours[0]);
    }
    // Night roads take the night colours: the day ones do not appear.
    render::Options options = TownOptions();
    options.night = true;
    render::Session session(options);
    ASSERT_TRUE(session.Loaded());
    g_options2.store(kOptions2NoStreetLabels);  // labels and shields cover their roads
    session.DrawFrame();
    const display_test::RoadCoverage night = MeasureRoads(session, options);
    EXPECT_GE(night.shown * 100, night.sampled * 95) << night.Describe();
}

TEST_F(MapFrameTest, FixOutsideTheMapShowsTheNotice) {
    render::Options options = TownOptions();
    options.latitude += 3;
    render::Session session(options);
    ASSERT_TRUE(session.Loaded());
    platform::TextRecording texts;
    session.DrawFrame();
    bool shown = false;
    for (const platform::DrawnText& text : texts.TextsOf(session.BackBuffer()))
        if (text.text == u"Outside of Map Area") {
            shown = true;
            EXPECT_EQ(text.color, 0x0000C0u);
            // Three eighths of the client height, give or take the text's half height.
            EXPECT_NEAR(text.cell.top + (text.cell.bottom - text.cell.top) / 2, 320 * 3 / 8, 2);
        }
    EXPECT_TRUE(shown);
    // Inside the map there is no notice.
    options = TownOptions();
    render::Session inside(options);
    platform::TextRecording none;
    inside.DrawFrame();
    for (const platform::DrawnText& text : none.TextsOf(inside.BackBuffer()))
        EXPECT_NE(text.text, u"Outside of Map Area");
}

// The town's small cells split its roads at many borders: the roads show along all
// their length, in both views and every heading.
TEST_F(MapFrameTest, TownRoadsShowAlongTheirWholeLength) {
    int sampled = 0;
    for (bool view3D : {false, true})
        for (float heading : {0.0f, 90.0f, 225.0f})
            for (int zoom : {1, 3}) {
                render::Options options = TownOptions();
                options.view3D = view3D;
                options.heading = heading;
                options.zoom = zoom;
                render::Session session(options);
                ASSERT_TRUE(session.Loaded());
                g_options2.store(kOptions2NoStreetLabels);  // labels cover their roads
                session.DrawFrame();
                const display_test::RoadCoverage roads = MeasureRoads(session, options);
                sampled += roads.sampled;
                EXPECT_GE(roads.shown * 100, roads.sampled * 95)
                    << roads.Describe() << " 3D " << view3D << " heading " << heading << " zoom "
                    << zoom;
                if (!view3D) {
                    EXPECT_EQ(roads.stray, 0) << roads.Describe();
                }
            }
    EXPECT_GT(sampled, 500);
}

TEST_F(MapFrameTest, AndorraArterialsShowInEveryViewAndZoom) {
    const fs::path maps = display_test::AndorraMapsFolder();
    if (maps.empty())
        GTEST_SKIP() << "the shared OpenStreetMap extracts are absent";
    // A standing vehicle keeps the heading it had: a session per heading.
    for (const auto& point : display_test::kAndorraPoints)
        for (bool view3D : {false, true})
            for (float heading : {0.0f, 90.0f, 225.0f}) {
                render::Options options = display_test::AndorraOptions(point, view3D, heading);
                render::Session session(options);
                ASSERT_TRUE(session.Loaded()) << session.Error();
                // Labels and point-of-interest icons cover their roads.
                g_options2.store(kOptions2NoStreetLabels | kOptions2NoPoi | kOptions2NoPoiLabels);
                for (int zoom = 0; zoom <= 4; ++zoom) {
                    options.zoom = zoom;
                    session.View().StoreZoomIndex(zoom);
                    session.View().ResetViewSpan();
                    session.DrawFrame();
                    const display_test::RoadCoverage roads = MeasureRoads(session, options);
                    const std::string where = std::to_string(point[0]) + "," +
                                              std::to_string(point[1]) + (view3D ? " 3D" : " 2D") +
                                              " heading " + std::to_string(heading) + " zoom " +
                                              std::to_string(zoom);
                    EXPECT_GE(roads.shown * 100, roads.sampled * 95)
                        << roads.Describe() << " at " << where;
                    if (!view3D) {
                        EXPECT_EQ(roads.stray, 0) << roads.Describe() << " at " << where;
                    }
                }
            }
}

// Random frames over the town, every zoom step, both views: nothing breaks (the
// sanitizer build checks memory on the way).
TEST_F(MapFrameTest, RandomFramesOverTheMap) {
    render::Options options = TownOptions();
    render::Session session(options);
    ASSERT_TRUE(session.Loaded());
    float south = 0, north = 0, west = 0, east = 0;
    g_mapDatabase.GetBounds(&south, &north, &west, &east);
    std::mt19937 random(23);
    std::uniform_real_distribution<float> lat(south - 0.01f, north + 0.01f);
    std::uniform_real_distribution<float> lon(west - 0.01f, east + 0.01f);
    std::uniform_real_distribution<float> heading(0, 360);
    for (int i = 0; i < 200; ++i) {
        g_map3DMode.store(static_cast<DWORD>(i % 4));
        session.View().StoreZoomIndex(i % CMapTheme::kLevels);
        session.View().ResetViewSpan();
        session.Vehicle().fix.latitude = lat(random);
        session.Vehicle().fix.longitude = lon(random);
        session.Vehicle().fix.heading = heading(random);
        session.DrawFrame();
    }
    // The last frame's marks do not hide links in a frame that follows unchanged.
    session.View().UpdateView(session.Vehicle().fix.longitude, session.Vehicle().fix.latitude,
                              session.Vehicle().fix.heading, session.BackBuffer(), 0);
    SUCCEED();
}

}  // namespace
