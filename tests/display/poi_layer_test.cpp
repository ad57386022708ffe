// The point-of-interest layer in drawn frames: the town's frame with a "poi.bin" of
// its own written with formats/poi.h, and Andorra's own file when the shared data is
// there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "pathlume/display/map_view.h"
#include "pathlume/display/poi_layer.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/paths.h"
#include "tests/display/frame_maps.h"
#include "tests/support/poi_file_bytes.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using testing_support::PoiFileBytes;
using testing_support::TestPoi;
using testing_support::TestPoiGrid;

constexpr double kFeetPerDegree = 0.01745329238 * 20902143.302568;

// Records the host's part of a tap on points.
class TapHost : public render::HeadlessMapHost {
  public:
    TapHost() : HeadlessMapHost(240, 320, 268) {}
    void KillLongPressTimer() override { ++timerKills; }
    int ShowPoiHereList(const std::vector<PoiRecord>& hits, int* chosen) override {
        shown = hits;
        *chosen = choose;
        return result;
    }
    void FormatPoiEntry(const PoiLayerEntry& entry, int action, const char* name) override {
        acted.push_back({action, name});
        actedLatitude = entry.latitude;
    }
    int timerKills = 0;
    int choose = 0;
    int result = 0;
    std::vector<PoiRecord> shown;
    std::vector<std::pair<int, std::string>> acted;
    float actedLatitude = 0;
};

class PoiLayerTest : public display_test::FrameTest {
  protected:
    // The town's frame with the points written as its "poi.bin": one cell around the
    // town centre.
    std::unique_ptr<render::Session> Frame(const std::vector<TestPoi>& pois,
                                           render::Options options = display_test::TownOptions()) {
        const discmaker::LatLon centre = display_test::TownCentre();
        const TestPoiGrid grid{static_cast<float>(centre.lon - 0.5),
                               static_cast<float>(centre.lat - 0.5),
                               1,
                               1,
                               1.0f,
                               1.0f};
        const fs::path folder = roots_.base() / "poi";
        fs::create_directories(folder);
        {
            const std::vector<uint8_t> bytes = PoiFileBytes(grid, pois);
            std::ofstream out(folder / "poi.bin", std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        auto session = std::make_unique<render::Session>(options);
        EXPECT_TRUE(session->Loaded()) << session->Error();
        const std::u16string path = platform::HostPathText(fs::absolute(folder)) + u"/";
        EXPECT_EQ(g_poiFile.OpenInFolder(path.c_str(), u"poi.bin", kDataFileRead, nullptr), 0);
        EXPECT_EQ(session->View().OpenPoiFile(), 0);
        session->DrawFrame();
        return session;
    }
    static TestPoi At(uint32_t category, double northFeet, double eastFeet,
                      const std::string& name = "POINT", const std::string& phone = "") {
        const discmaker::LatLon c = display_test::TownCentre();
        TestPoi p;
        p.category = category;
        p.latitude = c.lat + northFeet / kFeetPerDegree;
        p.longitude = c.lon + eastFeet / kFeetPerDegree / std::cos(c.lat * M_PI / 180);
        p.name = name;
        p.phone = phone;
        return p;
    }
};

POINT Centre(render::Session& session, const PoiLayerEntry& record) {
    POINT p{};
    session.View().MapToScreen2D(record.longitude, record.latitude, &p.x, &p.y);
    return p;
}

TEST_F(PoiLayerTest, OnlyTheFiftyNearestAreFoundAndEachIconSitsOnItsPoint) {
    std::vector<TestPoi> pois;
    for (int i = 0; i < 60; ++i) {
        // A spiral: the distance grows with i, the bearing turns.
        const double feet = 20.0 + 12.0 * i, angle = i * 2.4;
        pois.push_back(At(i % 2 ? 2 : 5, feet * std::cos(angle), feet * std::sin(angle),
                          "P" + std::to_string(i)));
        pois.back().subCategory = i % 2 ? 1 : 2;
    }
    auto session = Frame(pois);
    const PoiLayer& layer = session->View().Pois();
    ASSERT_EQ(layer.Found().size(), 50u);
    std::set<std::string> found;
    for (const PoiFound& entry : layer.Found()) {
        std::string name;
        ASSERT_TRUE(ReadPoiName(g_poiFile, layer.Head(), entry.record, &name));
        found.insert(name);
    }
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(found.count("P" + std::to_string(i)), i < 50 ? 1u : 0u) << i;

    // Every found point inside the map area has its category's icon centred on it.
    ASSERT_FALSE(layer.DrawnIcons().empty());
    size_t inside = 0;
    for (const PoiFound& entry : layer.Found()) {
        const POINT p = Centre(*session, entry.record);
        if (p.x < 0 || p.y < 0 || p.x >= 240 || p.y >= 268)
            continue;
        ++inside;
        const auto drawn = std::find_if(
            layer.DrawnIcons().begin(), layer.DrawnIcons().end(), [&](const DrawnPoiIcon& icon) {
                return icon.x == p.x && icon.y == p.y &&
                       icon.id == PoiIconId(entry.category, entry.subtype);
            });
        EXPECT_NE(drawn, layer.DrawnIcons().end()) << p.x << "," << p.y;
    }
    EXPECT_GT(inside, 10u);
    EXPECT_EQ(layer.DrawnIcons().front().size, 16);
}

TEST_F(PoiLayerTest, TheFoundListFollowsTheViewInStepsOf2000Feet) {
    PoiLayer layer;
    const float lon = 1.5f, lat = 42.5f;
    EXPECT_EQ(layer.NeedsRecollect(lon, lat), 1);  // no centre yet: this one
    for (const auto& [feet, again] : {std::pair{1999.0, 0}, {2001.0, 1}, {-1999.0, 0}}) {
        SCOPED_TRACE(feet);
        EXPECT_EQ(layer.NeedsRecollect(lon, static_cast<float>(lat + feet / kFeetPerDegree)),
                  again);
        EXPECT_EQ(
            layer.NeedsRecollect(
                static_cast<float>(lon + feet / kFeetPerDegree / std::cos(lat * M_PI / 180)), lat),
            again);
    }
}

TEST_F(PoiLayerTest, ATapListsThePointsWhoseBoxesHoldItWithTheirNumbers) {
    auto session = Frame({At(2, 0, 0, "HOSPITAL", "5551234567"), At(2, 0, 5, "POLICE", "5551234"),
                          At(5, 400, 0, "PARK", "")});
    PoiLayer& layer = session->View().Pois();
    ASSERT_EQ(layer.Found().size(), 3u);
    const POINT a = Centre(*session, layer.Found()[0].record);
    TapHost host;
    // The box is x - 8 to x + 8 with the right and bottom edges outside.
    EXPECT_EQ(layer.HitTest(session->View(), &host, a.x - 8, a.y - 8, 0), 1);
    EXPECT_EQ(layer.HitTest(session->View(), &host, a.x + 7, a.y + 7, 0), 1);
    EXPECT_EQ(layer.HitTest(session->View(), &host, a.x + 30, a.y + 8 + 30, 0), 0);
    EXPECT_TRUE(host.shown.empty());

    host.result = 540;  // navigate
    host.choose = 1;
    ASSERT_EQ(layer.HitTest(session->View(), &host, a.x, a.y, 1), 1);
    EXPECT_EQ(host.timerKills, 1);
    ASSERT_EQ(host.shown.size(), 2u);
    std::set<std::pair<std::string, std::string>> lines;
    for (const PoiRecord& r : host.shown)
        lines.insert({r.name, r.phone});
    // A number that is not ten digits is shown as it is.
    EXPECT_EQ(lines, (std::set<std::pair<std::string, std::string>>{
                         {"HOSPITAL", "Tel: (555) 123-4567"}, {"POLICE", "Tel: 5551234"}}));
    ASSERT_EQ(host.acted.size(), 1u);
    EXPECT_EQ(host.acted[0], (std::pair<int, std::string>{2, host.shown[1].name}));

    struct Case {
        int result, action;
    };
    for (const Case& c : {Case{501, 3}, Case{539, 1}, Case{2, 0}}) {
        host.result = c.result;
        host.choose = 0;
        layer.HitTest(session->View(), &host, a.x, a.y, 1);
        EXPECT_EQ(host.acted.back().first, c.action) << c.result;
    }
    // Far from every point nothing is listed.
    host.acted.clear();
    EXPECT_EQ(layer.HitTest(session->View(), &host, a.x + 100, a.y + 100, 1), 0);
    EXPECT_TRUE(host.acted.empty());
}

TEST_F(PoiLayerTest, CitiesShowOnlyWithTheirNamesAndNeverGetANumber) {
    auto session = Frame({At(8, 0, 0, "TOWNSVILLE", "5551234567"), At(5, 60, 0, "PARK")});
    const PoiLayer& layer = session->View().Pois();
    const auto& labels = session->View().PlacedLabels();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [](const CMapLabels::Slot& s) { return s.text == "TOWNSVILLE"; }));
    EXPECT_EQ(layer.DrawnIcons().size(), 2u);
    PoiRecord record;
    ASSERT_EQ(session->View().Pois().ReadPoi(&record, layer.Found()[0]), 0);
    EXPECT_EQ(record.name, "TOWNSVILLE");
    EXPECT_TRUE(record.phone.empty());

    // Without point-of-interest labels the city has no name and so no icon.
    g_options2.store(kOptions2NoPoiLabels);
    session->DrawFrame();
    EXPECT_EQ(layer.DrawnIcons().size(), 1u);
    g_options2.store(kOptions2NoPoi);
    session->DrawFrame();
    EXPECT_TRUE(layer.Found().empty());
    EXPECT_TRUE(layer.DrawnIcons().empty());
}

TEST_F(PoiLayerTest, ADamagedFileShowsNothing) {
    std::vector<uint8_t> bytes = PoiFileBytes({0, 0, 1, 1, 0.0f, 1.0f}, {At(2, 0, 0, "HOSPITAL")});
    const fs::path folder = roots_.base() / "bad";
    fs::create_directories(folder);
    std::ofstream(folder / "poi.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    render::Session session(display_test::TownOptions());
    ASSERT_TRUE(session.Loaded());
    const std::u16string path = platform::HostPathText(fs::absolute(folder)) + u"/";
    ASSERT_EQ(g_poiFile.OpenInFolder(path.c_str(), u"poi.bin", kDataFileRead, nullptr), 0);
    EXPECT_EQ(session.View().OpenPoiFile(), 1);
    session.View().RefreshPois();
    session.DrawFrame();
    EXPECT_TRUE(session.View().Pois().Found().empty());
    TapHost host;
    EXPECT_EQ(session.View().Pois().HitTest(session.View(), &host, 120, 134, 1), 0);
}

TEST_F(PoiLayerTest, IconsByCategoryAndSubCategory) {
    struct Case {
        uint32_t category, subtype;
        UINT id;
    };
    const Case cases[] = {{0, 0, 2026},
                          {0, 4, 2028},
                          {1, 3, 2033},
                          {2, 1, 2036},
                          {3, 6, 2021},
                          {3, 7, 2021},
                          {3, 9, 2023},
                          {4, 0, 2038},
                          {5, 3, 2042},
                          {6, 17, 2037},
                          {7, 7, 2044},
                          {8, 0, 2014},
                          // Past the category's icons: its first, never the next category's.
                          {0, 5, 2026},
                          {2, 63, 2035},
                          {8, 3, 2014},
                          {7, 8, 2047}};
    for (const Case& c : cases)
        EXPECT_EQ(PoiIconId(c.category, c.subtype), c.id) << c.category << "/" << c.subtype;
}

TEST_F(PoiLayerTest, TheShownCategoriesByZoomAndStoredChoice) {
    auto load = [](int skip, int forDialog, int zoom) {
        uint32_t codes[kPoiSelectionRoom];
        const int n = LoadPoiSelection(codes, skip, forDialog, zoom);
        return std::vector<uint32_t>(codes, codes + n);
    };
    using Codes = std::vector<uint32_t>;
    EXPECT_EQ(load(0, 0, 2), (Codes{0xFFFFFF05, 0xFFFFFF02, 0x4207, 0xFFFFFF08}));
    EXPECT_EQ(load(1, 0, 4), (Codes{0xFFFFFF05, 0x102, 0x4207, 0xFFFFFF08}));
    EXPECT_EQ(load(1, 0, 5), (Codes{0x102, 0x4207, 0xFFFFFF08}));
    EXPECT_EQ(load(0, 0, 6), (Codes{0xFFFFFF08}));

    const uint32_t stored[] = {0xFFFFFF00, 0xFFFFFF01, 0xFFFFFF03, 0xFFFFFF04,
                               0x0000FF06, 0xFFFFFF07, 0xFFFFFF0C};
    ASSERT_EQ(RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes",
                           reinterpret_cast<const BYTE*>(stored), sizeof stored),
              0);
    EXPECT_EQ(load(0, 0, 3), (Codes{0xFFFFFF00, 0xFFFFFF01, 0xFFFFFF03, 0xFFFFFF04, 0x0000FF06,
                                    0xFFFFFF07, 0xFFFFFF0C, 0xFFFFFF08}));
    // Zoomed out, restaurants, hotels and offices drop out and the rest thin out.
    EXPECT_EQ(load(0, 0, 4), (Codes{0x800, 0x2AB03, 0x5207, 0xFFFFFF0C, 0xFFFFFF08}));
    EXPECT_EQ(load(0, 0, 5), (Codes{0x800, 0x2A303, 0x5207, 0xFFFFFF0C, 0xFFFFFF08}));
    EXPECT_EQ(load(0, 1, 7).size(), 8u);  // the dialog reads the stored choice at level 0
    EXPECT_EQ(load(1, 1, 0), (Codes{0xFFFFFF05, 0xFFFFFF02, 0x4207, 0xFFFFFF08}));

    // A value of broken length gives its whole codes, a longer one its first nine.
    uint8_t bytes[42];
    for (size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = static_cast<uint8_t>(i / 4);
    auto store = [&bytes](DWORD size) {
        ASSERT_EQ(RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", bytes, size), 0);
    };
    store(10);
    EXPECT_EQ(load(0, 1, 0), (Codes{0x00000000, 0x01010101, 0xFFFFFF08}));
    store(42);
    const Codes nine = load(0, 1, 0);
    ASSERT_EQ(nine.size(), 10u);
    EXPECT_EQ(nine[8], 0x08080808u);
    EXPECT_EQ(nine[9], 0xFFFFFF08u);
    // An empty stored choice, or one of another type, chooses nothing: the built-in
    // choice stands.
    ASSERT_EQ(RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", nullptr, 0), 0);
    EXPECT_EQ(load(0, 0, 2), (Codes{0xFFFFFF05, 0xFFFFFF02, 0x4207, 0xFFFFFF08}));
    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", 0xFFFFFF00), 0);
    EXPECT_EQ(load(0, 0, 2), (Codes{0xFFFFFF05, 0xFFFFFF02, 0x4207, 0xFFFFFF08}));
}

TEST_F(PoiLayerTest, AndorraIconsSitOnTheirPointsAtTheClosestZooms) {
    if (display_test::AndorraMapsFolder().empty())
        GTEST_SKIP() << "the shared OpenStreetMap extracts are absent";
    size_t icons = 0;
    // Andorra la Vella's centre, its hospital and bank, and Encamp.
    const double points[][2] = {
        {42.50694, 1.52125}, {42.51154, 1.53399}, {42.5113, 1.5347}, {42.5346, 1.5801}};
    for (const auto& point : points)
        for (int zoom : {0, 1}) {
            render::Options options = display_test::AndorraOptions(point, false, 0);
            options.zoom = zoom;
            render::Session session(options);
            ASSERT_TRUE(session.Loaded()) << session.Error();
            session.DrawFrame();
            const PoiLayer& layer = session.View().Pois();
            for (const DrawnPoiIcon& icon : layer.DrawnIcons()) {
                ++icons;
                EXPECT_EQ(icon.size, 32);
                const bool onItsPoint =
                    std::any_of(layer.Found().begin(), layer.Found().end(), [&](const PoiFound& f) {
                        const POINT p = Centre(session, f.record);
                        return p.x == icon.x && p.y == icon.y &&
                               PoiIconId(f.category, f.subtype) == icon.id;
                    });
                EXPECT_TRUE(onItsPoint) << icon.id << " at " << icon.x << "," << icon.y;
            }
        }
    EXPECT_GT(icons, 0u);
}

}  // namespace
