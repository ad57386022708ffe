#include "pathlume/display/map_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "formats/map_container.h"
#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/kernel/msgbox.h"
#include "tests/display/frame_maps.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"
#include "tests/support/tool_run.h"

namespace {

// A router with one route: its maneuvers, distance and destination as a test sets.
class FakeRoute : public IMapRoute {
  public:
    uint32_t GetState() override { return kRouteStateRouteExists; }
    bool ResolveEntry(int32_t index, RouteStep* step) override {
        if (index < 0 || index >= entries)
            return false;
        *step = {node, link};
        return true;
    }
    int32_t GetManeuverCount() override { return 3; }
    int32_t GetCurrentManeuver() override { return 0; }
    int32_t GetManeuverRouteIndex(int32_t) override { return maneuverIndex; }
    float GetDistanceToNextManeuver() override { return distance; }
    MapLink* GetDestinationLink() override { return link; }
    MapPoint GetDestinationPoint() override { return destination; }
    void SetZoomBand(int32_t value) override { band = value; }

    int32_t entries = 5;
    int32_t maneuverIndex = 1;
    float distance = 1;
    MapNode* node = nullptr;
    MapLink* link = nullptr;
    MapPoint destination{};
    int32_t band = -1;
};

class MapViewTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        g_screenScaleX.store(1.0f);
        g_screenScaleY.store(1.0f);
        g_screenWidth.store(240);
        g_viewHeight.store(268);
        g_options.store(0);
        g_map3DMode.store(0);
        g_mapTheme = CMapTheme();
        platform::SetMessageBoxHandler(
            [](HWND, const std::u16string&, const std::u16string&, UINT type) {
                return platform::DefaultMessageBoxAnswer(type);
            });
    }
    void TearDown() override {
        SetMapRoute(nullptr);
        platform::SetMessageBoxHandler({});
        g_options.store(0);
        g_map3DMode.store(0);
        g_screenWidth.store(240);
        g_viewHeight.store(268);
    }
};

TEST_F(MapViewTest, StoredZoomIndexIsHeldToTheFirstFourSteps) {
    const std::pair<int, int> cases[] = {{-2, 2}, {7, 3}, {-1, 3}, {1, 1}};
    for (const auto& [stored, expected] : cases) {
        // -2: nothing stored yet (the first case, on a fresh registry).
        if (stored != -2)
            RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ZoomIndex", static_cast<DWORD>(stored));
        std::memcpy(g_dataFolder, u"\\Nowhere\\", sizeof(u"\\Nowhere\\"));
        CMapView view(nullptr);
        // No maps there: the loader publishes the failure instead of leaving 1.
        EXPECT_NE(view.LoadMaps(), 0);
        EXPECT_NE(g_mapsLoading.load(), 1);
        EXPECT_EQ(view.GetZoomIndex(), expected) << stored;
    }
    g_dataFolder[0] = 0;
}

TEST_F(MapViewTest, GuidanceZoomsInNearAManeuverAndRestoresTheStep) {
    FakeRoute route;
    route.distance = 300 * 4.7841982e-8f;  // 300 ft, an ordinary road
    SetMapRoute(&route);
    CMapView view(nullptr);
    view.StoreZoomIndex(4);
    view.ResetViewSpan();
    view.UpdateView(1.5f, 42.5f, 0, nullptr, 0);
    EXPECT_EQ(route.band, 0);
    view.UpdateView(1.5f, 42.5f, 0, nullptr, 1);
    EXPECT_EQ(view.GetZoomIndex(), 1);
    EXPECT_EQ(route.band, 1);
    route.distance = 50 * 4.7841982e-8f;
    view.UpdateView(1.5f, 42.5f, 0, nullptr, 1);
    EXPECT_EQ(route.band, 2);
    view.UpdateView(1.5f, 42.5f, 0, nullptr, 0);
    EXPECT_EQ(view.GetZoomIndex(), 4);
    EXPECT_EQ(route.band, 0);
    // In 3D the close step is 2.
    g_map3DMode.store(2);
    view.UpdateView(1.5f, 42.5f, 0, nullptr, 1);
    EXPECT_EQ(view.GetZoomIndex(), 2);
}

// With the anchor row near the top, the maneuver stays within 35 px however far the
// view widens: the widening stops after its last step.
TEST_F(MapViewTest, WideningTowardsAManeuverEnds) {
    g_viewHeight.store(40);
    g_options.store(kOptionAutoGuidance);
    MapNode node{};
    node.position = {42.5f, 1.5f};
    FakeRoute route;
    route.node = &node;
    route.distance = 1e-6f;
    SetMapRoute(&route);
    render::StandingVehicle vehicle;
    vehicle.fix = {1.5f, 42.5f, 0, true};
    SetMapVehicle(&vehicle);
    CMapView view(nullptr);
    view.StoreZoomIndex(2);
    view.ResetViewSpan();
    view.UpdateView(1.5f, 42.5f, 0, nullptr, 1);
    SetMapVehicle(nullptr);
    const float closeSpan = 200 * 4.0f * 2.741143773034854e-6f;
    EXPECT_NEAR(view.GetSpan() / closeSpan, std::pow(1.125, 16), 1e-3);
}

TEST_F(MapViewTest, ViewWithoutAScreenWidthStaysFinite) {
    g_screenWidth.store(0);
    CMapView view(nullptr);
    view.StoreZoomIndex(2);
    view.ResetViewSpan();
    view.UpdateView(1.5f, 42.5f, 10, nullptr, 0);
    int x = 0, y = 0;
    view.MapToScreen2D(1.5f, 42.5f, &x, &y);
    EXPECT_TRUE(std::isfinite(view.ViewBounds()[0]));
    EXPECT_EQ(y, static_cast<int>(268 * 0.6f));
}

class RouteFrameTest : public testing_support::RootsTest {
  protected:
    void TearDown() override {
        SetMapRoute(nullptr);
        g_map3DMode.store(0);
    }
};

int CountColour(HDC dc, COLORREF colour) {
    int count = 0;
    for (int y = 0; y < 268; ++y)
        for (int x = 0; x < 240; ++x)
            count += GetPixel(dc, x, y) == colour ? 1 : 0;
    return count;
}

TEST_F(RouteFrameTest, DestinationFlagAndManeuverArrow) {
    const render::Options options = display_test::TownOptions();
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    session.DrawFrame();
    // A drawn link near the vehicle is the destination's and the maneuver's.
    FakeRoute route;
    MapLayer& layer = g_mapDatabase.layers[0];
    LinkIterator it;
    ASSERT_EQ(it.Init(layer, 0, 0, layer.windowW - 1, layer.windowH - 1, 0x1C0, 2), 0);
    while (MapLink* link = it.Next()) {
        if ((link->shapeInfo & kShapeDrawn) && link->fromNode && link->toNode &&
            session.View().IsLinkVisible(*link, 0)) {
            route.link = link;
            route.node = link->fromNode;
            route.destination = link->toNode->position;
            break;
        }
    }
    ASSERT_NE(route.link, nullptr);
    SetMapRoute(&route);

    session.View().StoreZoomIndex(2);
    session.DrawFrame();
    EXPECT_EQ(session.View().LoadedFlagBitmap(), 203u);
    EXPECT_GT(CountColour(session.BackBuffer(), 0x00FF00), 20);  // the arrow, by day

    session.View().StoreZoomIndex(3);
    session.DrawFrame();
    EXPECT_EQ(session.View().LoadedFlagBitmap(), 202u);

    // A maneuver whose route index lies past the route draws no arrow.
    route.maneuverIndex = route.entries;
    session.DrawFrame();
    EXPECT_EQ(CountColour(session.BackBuffer(), 0x00FF00), 0);
}

}  // namespace

namespace {

class CentreTest : public RouteFrameTest {};

// The centre follows the matched position, or its foot on the segment from zoom step 6,
// and the raw fix once the fix lies outside the map.
TEST_F(CentreTest, CentreChoice) {
    const render::Options options = display_test::TownOptions();
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    session.DrawFrame();
    MapLink* link = nullptr;
    MapLayer& layer = g_mapDatabase.layers[0];
    LinkIterator it;
    ASSERT_EQ(it.Init(layer, 0, 0, layer.windowW - 1, layer.windowH - 1, 0x1C0, 2), 0);
    while (MapLink* candidate = it.Next())
        if (candidate->fromNode && candidate->toNode &&
            candidate->fromNode->position.latitude != candidate->toNode->position.latitude) {
            link = candidate;
            break;
        }
    ASSERT_NE(link, nullptr);
    const MapLocation saved = g_vehicleLocation;
    MapPoint a, b;
    link->GetEndPositions(0, &a, &b);
    g_vehicleLocation.link = link;
    g_vehicleLocation.segment = 0;
    g_vehicleLocation.stale = 0;
    g_vehicleLocation.position = {(a.latitude + b.latitude) / 2, (a.longitude + b.longitude) / 2};
    // The fix lies a little off the segment's middle.
    session.Vehicle().fix.latitude = g_vehicleLocation.position.latitude + 0.0003f;
    session.Vehicle().fix.longitude = g_vehicleLocation.position.longitude;

    float lon = 0, lat = 0, heading = 0;
    session.View().StoreZoomIndex(5);
    session.View().UpdateCentreAndHeading(&lon, &lat, &heading, 0, 0);
    EXPECT_EQ(lat, g_vehicleLocation.position.latitude);
    EXPECT_EQ(lon, g_vehicleLocation.position.longitude);

    session.View().StoreZoomIndex(6);
    session.View().UpdateCentreAndHeading(&lon, &lat, &heading, 0, 0);
    // The fix's foot on the segment: on the line through a and b.
    const double cross = (double{b.longitude} - a.longitude) * (double{lat} - a.latitude) -
                         (double{b.latitude} - a.latitude) * (double{lon} - a.longitude);
    EXPECT_NEAR(cross, 0, 1e-8);
    EXPECT_NE(lat, session.Vehicle().fix.latitude);

    session.Vehicle().fix.latitude += 5;
    session.View().UpdateCentreAndHeading(&lon, &lat, &heading, 0, 0);
    EXPECT_EQ(lat, session.Vehicle().fix.latitude);
    EXPECT_EQ(lon, session.Vehicle().fix.longitude);
    g_vehicleLocation = saved;
}

TEST_F(CentreTest, RenderRefusesBadOptionsAndLeavesNoPicture) {
    render::Options options;
    options.maps = display_test::TownMapsFolder();
    options.out = (roots_.base() / "frame.png").string();
    options.zoom = 9;
    EXPECT_THROW(render::Render(options), render::OptionError);
    options.zoom = 2;
    options.frames = 0;
    EXPECT_THROW(render::Render(options), render::OptionError);
    double lat = 0, lon = 0;
    EXPECT_THROW(render::ParsePoint("91,3", &lat, &lon), render::OptionError);
    EXPECT_THROW(render::ParsePoint("45", &lat, &lon), render::OptionError);
    int width = 0, height = 0;
    EXPECT_THROW(render::ParseSize("0x10", &width, &height), render::OptionError);
    render::ParseSize("320x240", &width, &height);
    EXPECT_EQ(width, 320);

    options.frames = 1;
    options.maps = roots_.base() / "no-maps";
    const render::Figures figures = render::Render(options);
    EXPECT_FALSE(figures.ok);
    EXPECT_FALSE(figures.error.empty());
    EXPECT_FALSE(std::filesystem::exists(options.out));
    EXPECT_FALSE(testing_support::PartFileBeside(options.out));
}

// Written over a folder, the frame's failed rename is said, and nothing is left.
TEST_F(CentreTest, RenderOverAFolderFailsAndLeavesItAsItWas) {
    render::Options options = display_test::TownOptions();
    options.out = roots_.base() / "folder";
    std::filesystem::create_directories(options.out);
    const render::Figures figures = render::Render(options);
    EXPECT_FALSE(figures.ok);
    EXPECT_NE(figures.error.find("cannot write"), std::string::npos) << figures.error;
    EXPECT_TRUE(std::filesystem::is_empty(options.out));
    EXPECT_FALSE(testing_support::PartFileBeside(options.out));
}

#ifdef RENDER_EXE
// The program ends as soon as its picture is in place: the file is the library's
// frame whole, the run's own device root is gone, and a run that cannot draw ends
// with 1 and writes nothing.
TEST_F(CentreTest, TheRenderProgramLeavesItsPictureAndNothingElse) {
    namespace fs = std::filesystem;
    render::Options options = display_test::TownOptions();
    options.out = roots_.base() / "library.png";
    ASSERT_TRUE(render::Render(options).ok);
    const fs::path scratch = roots_.base() / "scratch";
    fs::create_directories(scratch);
    const fs::path out = roots_.base() / "program.png";
    char at[64];
    std::snprintf(at, sizeof at, "%.7f,%.7f", options.latitude, options.longitude);
    const std::string program = "TMPDIR='" + scratch.string() + "' " + RENDER_EXE;
    auto bytesOf = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };

    testing_support::ToolRun run =
        testing_support::RunTool(program,
                                 "--maps '" + options.maps.string() + "' --at " + at +
                                     " --size 240x320 --out '" + out.string() + "'",
                                 roots_.base());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("figures:"), std::string::npos) << run.out;
    EXPECT_EQ(bytesOf(out), bytesOf(options.out));
    EXPECT_FALSE(testing_support::PartFileBeside(out));
    EXPECT_TRUE(fs::is_empty(scratch));

    const fs::path none = roots_.base() / "none.png";
    run = testing_support::RunTool(program,
                                   "--maps '" + (roots_.base() / "no-maps").string() + "' --at " +
                                       at + " --out '" + none.string() + "'",
                                   roots_.base());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("cannot be read"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(none));
    EXPECT_TRUE(fs::is_empty(scratch));
}
#endif

// A frame from a map whose cells or names cannot be read is no picture of the map:
// nothing is written.
TEST_F(CentreTest, RenderWritesNoPictureOfDamagedMaps) {
    render::Options options = display_test::TownOptions();
    render::Figures figures;
    const std::filesystem::path maps = roots_.base() / "maps";
    options.out = roots_.base() / "frame.png";
    const struct {
        const char* what;
        std::function<void()> damage;
    } damages[] = {
        {"blocks that do not inflate",
         [&] {
             for (const char* file : {"mapdata1.biz", "mapdata2.biz", "mapdatat.biz"}) {
                 std::fstream io(maps / file, std::ios::in | std::ios::out | std::ios::binary);
                 std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(io)), {});
                 const formats::map_container::GridHeader grid =
                     formats::map_container::DecodeHeader(bytes.data());
                 for (uint32_t i = 0; i < formats::map_container::CellCount(grid); ++i) {
                     const uint32_t block = formats::LoadU32(
                         bytes.data() + formats::map_container::CellEntryOffset(i));
                     for (uint32_t at = block + 10; block && at < block + 30; ++at)
                         bytes[at] ^= 0x5A;
                 }
                 io.seekp(0);
                 io.write(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<std::streamsize>(bytes.size()));
             }
         }},
        {"names.bin cut to its index",
         [&] { std::filesystem::resize_file(maps / "names.bin", 19540); }},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::filesystem::remove_all(maps);
        std::filesystem::copy(display_test::TownMapsFolder(), maps);
        damage.damage();
        options.maps = maps;
        figures = render::Render(options);
        EXPECT_FALSE(figures.ok);
        EXPECT_NE(figures.error.find("damaged map data"), std::string::npos) << figures.error;
        EXPECT_FALSE(std::filesystem::exists(options.out));
    }
}

}  // namespace

namespace {

class ChainTest : public RouteFrameTest {
  protected:
    static FrameFigures FrameOf(display_test::GridVariant variant) {
        render::Options options;
        options.maps = display_test::TestGridFolder(variant);
        options.latitude = display_test::kGridMiddleLat;
        options.longitude = -100.0 + 2 * 0.2 / (111.2 * std::cos(45.0 * 0.017453292));
        options.width = 240;
        options.height = 320;
        options.zoom = 3;
        options.out = "unused.png";
        render::Session session(options);
        EXPECT_TRUE(session.Loaded()) << session.Error();
        session.DrawFrame();
        // Nothing keeps a chained mark after the frame.
        MapLayer& layer = g_mapDatabase.layers[0];
        LinkIterator it;
        if (it.Init(layer, 0, 0, layer.windowW - 1, layer.windowH - 1, 0x1C0, 2) == 0) {
            while (MapLink* link = it.Next()) {
                EXPECT_EQ(link->attributes & kAttrChained, 0u);
            }
        }
        return session.View().LastFrame();
    }
};

// The arterial row runs through its street crossings as one chain; where a second
// arterial leaves its middle node, the row's chain ends there on both sides.
TEST_F(ChainTest, AForkEndsTheChainAtItsNode) {
    const int plain = FrameOf(display_test::GridVariant::kPlain).chains;
    const int forked = FrameOf(display_test::GridVariant::kFork).chains;
    EXPECT_GT(plain, 1);
    EXPECT_EQ(forked - plain, 2) << plain << " " << forked;
}

// A ring closes its chain on the link it started from: each of its four links is
// drawn once, as one chain.
TEST_F(ChainTest, ARingIsOneChainOfEachLinkOnce) {
    const FrameFigures plain = FrameOf(display_test::GridVariant::kPlain);
    const FrameFigures ring = FrameOf(display_test::GridVariant::kRing);
    EXPECT_EQ(ring.linksDrawn - plain.linksDrawn, 4);
    EXPECT_EQ(ring.chains - plain.chains, 1);
}

}  // namespace

namespace {

TEST_F(CentreTest, ThemeFileColoursTheFrame) {
    render::Options options = display_test::TownOptions();
    const std::filesystem::path theme = roots_.base() / "theme.ini";
    {
        std::ofstream out(theme);
        out << "; black day background, green streets\nBNCA=0,0,0 1,2,3\nDMRPC=1,1,1 1,1,1 "
               "1,1,1 0,200,0 0,200,0\n";
    }
    options.theme = theme;
    render::Session session(options);
    ASSERT_TRUE(session.Loaded());
    g_options2.store(kOptions2NoAreas);
    session.DrawFrame();
    g_options2.store(0);
    EXPECT_EQ(GetPixel(session.BackBuffer(), 2, 300), 0u);  // below the map area
    int green = 0;
    for (int y = 0; y < 268; ++y)
        for (int x = 0; x < 240; ++x)
            green += GetPixel(session.BackBuffer(), x, y) == 0x00C800 ? 1 : 0;
    EXPECT_GT(green, 100);
    options.theme = roots_.base() / "missing.ini";
    EXPECT_THROW(render::Session{options}, render::OptionError);
}

}  // namespace
