// The point-of-interest screens headless on the search maps: the chain of screens, the
// answers of the menus, the name search, details, nearby and chain lists with their
// Nav, Fav and Origin, the tap list, and the texts they show.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/search/destination_chains.h"
#include "pathlume/search/food_type_dlg.h"
#include "pathlume/search/poi_actions.h"
#include "pathlume/search/poi_category_dlg.h"
#include "pathlume/search/poi_chain.h"
#include "pathlume/search/poi_here_list_dlg.h"
#include "pathlume/search/poi_options_dlg.h"
#include "pathlume/search/poi_rows.h"
#include "pathlume/search/poi_search_dlg.h"
#include "pathlume/search/poi_select_dlg.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/text.h"
#include "tests/search/search_screen_test.h"
#include "tests/support/poi_file_bytes.h"
#include "tests/support/temp_root.h"
#include "tools/quiet_main_view.h"

namespace search_test {
namespace {

TEST(PoiTexts, DistancesAndTelephoneLines) {
    struct Case {
        double distance;
        uint32_t options;
        const char* text;
    };
    const Case cases[] = {
        {0.5, kOptionMetric, "500m"},
        {0.51, kOptionMetric, "0.5km"},
        {12.34, kOptionMetric, "12.3km"},
        {0.2, 0, "0.2mi"},
        {0.19, 0, "1003ft"},
        {0.19, kOptionYards, "334yd"},
        {3.0, kOptionYards, "3.0mi"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatPoiDistance(c.distance, c.options), c.text) << c.distance;
    EXPECT_EQ(FormatPoiPhone("5551234567"), "Tel: (555)123-4567");
    EXPECT_EQ(FormatPoiPhone("376123"), "Tel: 376123");
    EXPECT_EQ(FormatPoiPhone("37612345-"), "Tel: 37612345-");
}

// Scripted answers per screen; every screen visited is written down.
class ScriptedPoiScreens final : public PoiScreens {
  public:
    std::map<std::string, std::vector<int>> answers;
    std::vector<std::string> visits;
    std::function<void(const std::string&)> onVisit;
    uint32_t lastCode = 0, lastSelection = 0, lastCity = 0, lastMode = 0;
    uint8_t lastRegion = 0;

    int Category() override { return Answer("category"); }
    int Picker(int category) override { return Answer("picker " + std::to_string(category)); }
    int Options(uint32_t code, uint8_t region) override {
        lastCode = code;
        lastRegion = region;
        return Answer("options");
    }
    int RegionEntry(uint8_t, uint8_t* chosen) override {
        *chosen = 2;
        return Answer("region");
    }
    int CityEntry(uint8_t, CitySelection* city) override {
        city->fileOffset = 777;
        return Answer("city");
    }
    int NameSearch(uint32_t selection, uint32_t city, uint8_t region) override {
        lastSelection = selection;
        lastCity = city;
        lastRegion = region;
        return Answer("names");
    }
    int Nearby(uint32_t mode) override {
        lastMode = mode;
        return Answer("nearby");
    }

  private:
    int Answer(const std::string& screen) {
        visits.push_back(screen);
        if (onVisit)
            onVisit(screen);
        std::vector<int>& list = answers[screen];
        if (list.empty())
            return IDCANCEL;
        const int answer = list.front();
        list.erase(list.begin());
        return answer;
    }
};

TEST(PoiChain, EveryPathBackAndOn) {
    using V = std::vector<std::string>;
    struct Case {
        const char* label;
        int button;
        std::map<std::string, std::vector<int>> answers;
        int result;
        V visits;
    };
    const Case cases[] = {
        {"back from the categories",
         kButtonPointsOfInterest,
         {{"category", {2}}},
         IDCANCEL,
         V{"category"}},
        {"Lodging has no picker, then names",
         kButtonPointsOfInterest,
         {{"category", {-4}}, {"options", {0x0400}}, {"names", {IDOK}}},
         IDOK,
         V{"category", "options", "names"}},
        {"Select All is a choice, the close key goes back",
         kButtonPointsOfInterest,
         {{"category", {-3, -3, 2}},
          {"picker 3", {2, static_cast<int>(0x800000FF)}},
          {"options", {0x00FF0310}},
          {"nearby", {IDOK}}},
         IDOK,
         V{"category", "picker 3", "category", "picker 3", "options", "nearby"}},
        {"restaurants' food type, By City",
         kButtonPointsOfInterest,
         {{"category", {-6}},
          {"picker 6", {static_cast<int>(0x80000002)}},
          {"options", {0x00020608}},
          {"city", {IDOK}},
          {"names", {539}}},
         539,
         V{"category", "picker 6", "options", "city", "names"}},
        {"back from names and the options",
         kButtonPointsOfInterest,
         {{"category", {0, 2}},
          {"picker 0", {static_cast<int>(0x800000FF)}},
          {"options", {0x00FF0080, 2}},
          {"names", {2}}},
         IDCANCEL,
         V{"category", "picker 0", "options", "names", "options", "category"}},
        {"Change opens the region, then the options again",
         kButtonCityCenter,
         {{"options", {0x00FF0804, 0x00FF0800}}, {"region", {IDOK}}, {"names", {IDOK}}},
         IDOK,
         V{"options", "region", "options", "names"}},
        {"city centres' close key leaves",
         kButtonCityCenter,
         {{"options", {2}}},
         IDCANCEL,
         V{"options"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        g_homeKeyPressed.store(0);
        ScriptedPoiScreens screens;
        screens.answers = c.answers;
        EXPECT_EQ(RunPoiChain(screens, c.button, 1), c.result);
        EXPECT_EQ(screens.visits, c.visits);
    }
    // The codes handed on: Lodging's sub-type 0, a food type, the region changed, a city.
    ScriptedPoiScreens screens;
    screens.answers = {{"category", {-6}},
                       {"picker 6", {static_cast<int>(0x80000009)}},
                       {"options", {0x00090604, 0x00090608}},
                       {"region", {IDOK}},
                       {"city", {IDOK}},
                       {"names", {IDOK}}};
    EXPECT_EQ(RunPoiChain(screens, kButtonPointsOfInterest, 1), IDOK);
    EXPECT_EQ(screens.lastCode, 0x0906u);
    EXPECT_EQ(screens.lastSelection, 0x00090608u);
    EXPECT_EQ(screens.lastCity, 777u);
    EXPECT_EQ(screens.lastRegion, 2);
    EXPECT_EQ(PoiSelectionCode(4, 0), 4u);
    EXPECT_EQ(PoiSelectionCode(3, static_cast<int>(0x800000FF)), 0xFF03u);
}

TEST(PoiChain, HomeOnAnyScreenEndsTheChain) {
    for (const char* screen : {"category", "picker 3", "options", "region", "names"}) {
        SCOPED_TRACE(screen);
        g_homeKeyPressed.store(0);
        ScriptedPoiScreens screens;
        screens.answers = {{"category", {-3}},
                           {"picker 3", {static_cast<int>(0x800000FF)}},
                           {"options", {0x00FF0304, 0x00FF0300}},
                           {"region", {IDOK}},
                           {"names", {IDOK}}};
        screens.onVisit = [screen](const std::string& visited) {
            if (visited == screen)
                g_homeKeyPressed.store(1);
        };
        RunPoiChain(screens, kButtonPointsOfInterest, 1);
        EXPECT_EQ(screens.visits.back(), screen);
    }
    g_homeKeyPressed.store(0);
}

// The name search's rows on a file of its own: the square's corner beyond the radius,
// 10,000 rows unless "Options2" bit 0, and no limit in a region.
TEST(PoiNameRows, RadiusCornerRowLimitAndRegion) {
    testing_support::TempRoots roots;
    std::vector<testing_support::TestPoi> pois = {{7, 0, 42.5, 1.5, "NEAR"},
                                                  {7, 0, 42.79, 1.89, "CORNER"}};
    for (int i = 0; i < kPoiRowLimit; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "P%05d", i);
        pois.push_back({7, 0, 42.5 + 0.00001 * (i % 100), 1.5 + 0.00001 * (i / 100), name});
    }
    const std::vector<uint8_t> bytes =
        testing_support::PoiFileBytes({1.0f, 42.0f, 1, 1, 1.0f, 1.0f}, pois, {{{0, 1}}});
    {
        std::ofstream out(roots.base() / "poi.bin", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    WCHAR saved[MAX_PATH] = {};
    std::memcpy(saved, g_dataFolder, sizeof saved);
    const std::u16string folder = platform::HostPathText(roots.base()) + u"/";
    std::copy(folder.begin(), folder.end(), g_dataFolder);
    g_dataFolder[folder.size()] = 0;
    ASSERT_EQ(OpenPoiFile(), 0);
    const DWORD options2 = g_options2.load();
    const auto rows = [](uint32_t mode) {
        CPoiSearch search(0xFF07, mode, 0, 0);
        search.SetCentre(1.5f, 42.5f);
        EXPECT_EQ(search.Search(), CPoiSearch::kFound);
        return BuildPoiNameRows(search);
    };
    // The 10,000 nearest: the farthest of the P names and the corner drop out.
    std::vector<PoiRow> near = rows(CPoiSearch::kAroundCentre);
    EXPECT_EQ(near.size(), static_cast<size_t>(kPoiRowLimit));
    EXPECT_EQ(near.front().text, "NEAR");
    g_options2.store(options2 | kOptions2AllPoiRows);
    near = rows(CPoiSearch::kAroundCentre);
    EXPECT_EQ(near.size(), static_cast<size_t>(kPoiRowLimit + 1));
    EXPECT_EQ(near.front().text, "NEAR");
    g_options2.store(options2);
    // The region holds every point, the corner too.
    const std::vector<PoiRow> region = rows(CPoiSearch::kInRegion);
    EXPECT_EQ(region.size(), static_cast<size_t>(kPoiRowLimit + 2));
    EXPECT_EQ(region.front().text, "CORNER");
    ClosePoiFile();
    std::memcpy(g_dataFolder, saved, sizeof saved);
}

class RecordingRouter final : public IRouterServices {
  public:
    void SetStateBits(uint32_t) override {}
    uint32_t GetState() override { return 0; }
    void ApplyAvoidMarks(MapChunk&) override {}
    void ResetRoute() override { ++resets; }
    void ClearAvoidMarks() override { ++avoidClears; }
    void CalculateRoute(MapLink* startLink, uint32_t, MapPoint,
                        const RouteTarget& target) override {
        ++routes;
        start = startLink;
        lastTarget = target;
    }
    int resets = 0, avoidClears = 0, routes = 0;
    MapLink* start = nullptr;
    RouteTarget lastTarget{};
};

// Keeps what the screens store: kind, lines and name.
class StoringView final : public QuietMainView {
  public:
    struct Stored {
        int kind;
        std::string lines, house, name;
    };
    int AddToFavorites(const AddressHit& hit, int kind, const char* lines, const char* house,
                       const char* name, BOOL, BOOL) override {
        stored.push_back({kind, lines ? lines : "", house ? house : "", name ? name : ""});
        lastHit = hit;
        if (homeInPrompt && kind == 0)
            g_homeKeyPressed.store(1);
        return 0;
    }
    void SetPanMode(BOOL on) override { panMode = on; }
    std::vector<Stored> stored;
    AddressHit lastHit{};
    bool homeInPrompt = false;
    BOOL panMode = FALSE;
};

class PoiScreensTest : public SearchScreenTest {
  protected:
    void SetUp() override {
        SearchScreenTest::SetUp();
        ASSERT_EQ(OpenPoiFile(), 0);
        SetRouterServices(&router_);
        g_mainView.store(&view_);
        g_vehicleLocation.Set(nullptr, MapLocation::kNoTag);
        CentreAt(GridPoint(1, 2));
    }
    void TearDown() override {
        g_mainView.store(nullptr);
        SetRouterServices(nullptr);
        g_vehicleLocation.Set(nullptr, MapLocation::kNoTag);
        ClosePoiFile();
        SearchScreenTest::TearDown();
    }
    // The vehicle's matched position without a road.
    static void CentreAt(MapPoint point) {
        g_vehicleLocation.position = point;
        g_vehicleLocation.lat = point.latitude;
        g_vehicleLocation.cosLat =
            static_cast<float>(std::cos(static_cast<double>(point.latitude * 0.017453292f)));
        g_vehicleLocation.scaledLon = point.longitude * g_vehicleLocation.cosLat;
    }
    // The list's row texts.
    static std::vector<std::string> RowTexts(const std::vector<PoiRow>& rows) {
        std::vector<std::string> texts;
        for (const PoiRow& row : rows)
            texts.push_back(row.text);
        return texts;
    }
    // Makes a restaurant's place the vehicle's position (on its road).
    void StartAt(const char* name) {
        CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
        ASSERT_EQ(search.Search(), CPoiSearch::kFound);
        for (int i = 0; i < search.ResultCount(); ++i) {
            if (search.Result(i).name && std::string(search.Result(i).name) == name) {
                ASSERT_TRUE(MakePoiTheOrigin(g_mapDatabase, PoiPlaceOf(search.Result(i)), &view_));
                view_.stored.clear();
                return;
            }
        }
        FAIL() << name;
    }

    RecordingRouter router_;
    StoringView view_;
};

TEST_F(PoiScreensTest, MenusAnswerTheirCodes) {
    struct Case {
        const char* label;
        std::function<INT_PTR()> run;
        INT_PTR result;
    };
    const auto tap = [](CWnd& screen, UINT id) {
        return [&screen, id] {
            CWnd* button = screen.GetDlgItem(static_cast<int>(id));
            ASSERT_NE(button, nullptr) << id;
            TapOn(*button);
        };
    };
    const auto key = [](UINT vk) { return [vk] { platform::PostKeyPress(vk); }; };
    const Case cases[] = {
        {"Business/Shopping",
         [&] {
             Scripted<CPoiCategoryDlg> d(nullptr);
             return d.Run({[&](auto& s) { tap(s, 750)(); }});
         },
         0},
        {"Education/Govt",
         [&] {
             Scripted<CPoiCategoryDlg> d(nullptr);
             return d.Run({[&](auto& s) { tap(s, 751)(); }});
         },
         -1},
        {"Transportation",
         [&] {
             Scripted<CPoiCategoryDlg> d(nullptr);
             return d.Run({[&](auto& s) { tap(s, 756)(); }});
         },
         -7},
        {"categories' Escape",
         [&] {
             Scripted<CPoiCategoryDlg> d(nullptr);
             return d.Run({[&](auto&) { key(VK_ESCAPE)(); }});
         },
         2},
        {"Select All",
         [&] {
             Scripted<CAttractionTypeDlg> d(nullptr);
             return d.Run({[&](auto& s) { tap(s, 758)(); }});
         },
         static_cast<INT_PTR>(static_cast<int>(0x800000FF))},
        {"Car Rental",
         [&] {
             Scripted<CTransportationTypeDlg> d(nullptr);
             return d.Run({[&](auto& s) { tap(s, 798)(); }});
         },
         static_cast<INT_PTR>(static_cast<int>(0x80000005))},
        {"picker's close key",
         [&] {
             Scripted<CEmergencyTypeDlg> d(nullptr);
             return d.Run({[&](auto& s) { tap(s, IDCANCEL)(); }});
         },
         2},
        {"CALIFORNIAN",
         [&] {
             Scripted<CFoodTypeDlg> d(nullptr);
             return d.Run({[](auto& s) { s.List()->SetSelection(12, FALSE, FALSE); },
                           [](auto& s) { s.OnOK(); }});
         },
         static_cast<INT_PTR>(static_cast<int>(0x80000002))},
        {"<ALL>",
         [&] {
             Scripted<CFoodTypeDlg> d(nullptr);
             return d.Run({[](auto& s) { s.OnOK(); }});
         },
         static_cast<INT_PTR>(static_cast<int>(0x800000FF))},
        {"Attraction by distance",
         [&] {
             Scripted<CPoiOptionsDlg> d(nullptr, 0xFF03, 0);
             return d.Run({[&](auto& s) { tap(s, 555)(); }});
         },
         0x00FF0310},
        {"city centres alphabetically",
         [&] {
             Scripted<CPoiOptionsDlg> d(nullptr, 0xFF08, 0);
             return d.Run({[&](auto& s) { tap(s, 553)(); }});
         },
         0x00FF0800},
        {"options' close key",
         [&] {
             Scripted<CPoiOptionsDlg> d(nullptr, 0xFF03, 0);
             return d.Run({[&](auto& s) { tap(s, IDCANCEL)(); }});
         },
         2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.run(), c.result) << c.label;
    // Home cancels and marks the flow.
    Scripted<CPoiOptionsDlg> options(nullptr, 0xFF06, 0);
    EXPECT_EQ(options.Run({[&](auto&) { key(VK_HOME)(); }}), 2);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
    g_homeKeyPressed.store(0);
    // City centres offer "List All" and no "By City".
    Scripted<CPoiOptionsDlg> cities(nullptr, 0xFF08, 0);
    cities.Run({[](auto& s) {
        EXPECT_FALSE(s.GetDlgItem(557)->IsWindowVisible());
        EXPECT_TRUE(s.GetDlgItem(556)->IsWindowVisible());
        s.EndDialog(2);
    }});
}

TEST_F(PoiScreensTest, NameSearchListsEachNameOnceAndRoutesToTheChosenPlace) {
    StartAt("BAKERY");
    Scripted<CPoiSearchDlg> screen(nullptr, 0xFF0600, 0, 0);
    std::vector<std::string> rows;
    const INT_PTR result = screen.Run({[&](auto& s) {
        rows = RowTexts(s.Rows());
        // CAFE CENTRAL: Enter in its chain list routes to the first place.
        s.List()->SetSelection(1, FALSE, FALSE);
        platform::PostKeyPress(VK_RETURN);
        s.OnOK();
    }});
    EXPECT_EQ(rows, (std::vector<std::string>{"BAKERY", "CAFE CENTRAL", "PIZZERIA NOU"}));
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(router_.routes, 1);
    ASSERT_NE(router_.lastTarget.link, nullptr);
    ASSERT_EQ(view_.stored.size(), 1u);
    EXPECT_EQ(view_.stored[0].kind, 1);
    EXPECT_EQ(view_.stored[0].name, "CAFE CENTRAL");
    EXPECT_NE(std::string(g_destinationText).find("CAFE CENTRAL\n"), std::string::npos)
        << g_destinationText;
}

// The index of the first result of that name, -1 when none.
int ResultNamed(CPoiSearch& search, const std::string& name) {
    for (int i = 0; i < search.ResultCount(); ++i) {
        if (search.Result(i).name && name == search.Result(i).name)
            return i;
    }
    return -1;
}

TEST_F(PoiScreensTest, DetailsShowTheTelephoneAndFavouriteAsksWithHome) {
    CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
    ASSERT_EQ(search.Search(), CPoiSearch::kFound);
    const int pizzeria = ResultNamed(search, "PIZZERIA NOU");
    ASSERT_GE(pizzeria, 0);
    {
        platform::TextRecording recording;
        Scripted<CPoiSelectDlg> details(nullptr, 0x0600, &search, pizzeria);
        details.Run({[](auto& d) { d.EndDialog(2); }});
        const std::u16string drawn = DrawnTexts(recording);
        EXPECT_NE(drawn.find(u"POI Selection"), std::u16string::npos);
        EXPECT_NE(drawn.find(u"PIZZERIA NOU|"), std::u16string::npos)
            << platform::WideToAnsi(drawn);
        EXPECT_NE(drawn.find(u"12 CARRER NOU|"), std::u16string::npos);
        EXPECT_NE(drawn.find(u"Tel: (555)123-4567|"), std::u16string::npos);
    }
    // Enter is Nav.
    {
        Scripted<CPoiSelectDlg> details(nullptr, 0x0600, &search, pizzeria);
        EXPECT_EQ(details.Run({[](auto&) { platform::PostKeyPress(VK_RETURN); }}), IDOK);
        EXPECT_EQ(details.m_choice, 0);
        view_.stored.clear();
    }
    // Fav: the road's lines and the name; Home in the question closes with 2.
    view_.homeInPrompt = true;
    Scripted<CPoiSelectDlg> details(nullptr, 0x0600, &search, pizzeria);
    EXPECT_EQ(details.Run({[](auto& d) { TapOn(*d.GetDlgItem(501)); }}), 2);
    ASSERT_EQ(view_.stored.size(), 1u);
    EXPECT_EQ(view_.stored[0].kind, 0);
    EXPECT_EQ(view_.stored[0].lines.rfind("12 CARRER NOU\n", 0), 0u) << view_.stored[0].lines;
    EXPECT_EQ(view_.stored[0].name, "PIZZERIA NOU");
    EXPECT_EQ(view_.stored[0].house, "12");
    EXPECT_EQ(details.m_choice, 2);
}

TEST_F(PoiScreensTest, NearbyListShowsDistancesAndOnlyItsResultsAct) {
    g_options.store(kOptionMetric);
    {
        Scripted<CPoiSelectDlg> nearby(nullptr, 0xFF0610, nullptr, -1);
        std::vector<std::string> rows;
        BOOL arrows = FALSE;
        nearby.Run({[&](auto& d) {
            rows = RowTexts(d.Rows());
            arrows = d.List().arrows;
            EXPECT_TRUE(d.GetDlgItem(620)->IsWindowVisible());
            d.EndDialog(2);
        }});
        EXPECT_TRUE(arrows);
        ASSERT_EQ(rows.size(), 4u);  // the two CAFE CENTRAL places are not neighbours
        for (const std::string& row : rows)
            EXPECT_NE(row.find("m), "), std::string::npos) << row;
        EXPECT_EQ(rows[0].rfind("CAFE CENTRAL (", 0), 0u) << rows[0];
        EXPECT_NE(rows[0].find("), 5 "), std::string::npos) << rows[0];
    }
    // Far from every place: the message row, and Nav neither routes nor clears.
    CentreAt(MapPoint{60.0f, 20.0f});
    Scripted<CPoiSelectDlg> far(nullptr, 0xFF0610, nullptr, -1);
    bool open = false;
    std::vector<std::string> rows;
    EXPECT_EQ(far.Run({[&](auto& d) {
                           rows = RowTexts(d.Rows());
                           platform::PostKeyPress(VK_RETURN);
                       },
                       [&](auto& d) {
                           open = ::IsWindow(d.m_hWnd) != FALSE;
                           d.EndDialog(2);
                       }}),
              2);
    EXPECT_TRUE(open);
    EXPECT_EQ(rows, std::vector<std::string>{"--No Closeby POI found--"});
    EXPECT_EQ(router_.resets, 0);
    EXPECT_EQ(router_.routes, 0);
}

TEST_F(PoiScreensTest, OriginMovesTheVehicleOntoThePlacesRoad) {
    CPoiSearch search(0xFF00, CPoiSearch::kAroundCentre, 0, 255);
    ASSERT_EQ(search.Search(), CPoiSearch::kFound);
    const int bank = ResultNamed(search, "BANC AGRICOL");
    ASSERT_GE(bank, 0);
    Scripted<CPoiSelectDlg> details(nullptr, 0x0000, &search, bank);
    EXPECT_EQ(details.Run({[](auto& d) { TapOn(*d.GetDlgItem(539)); }}), 539);
    EXPECT_EQ(details.m_choice, 1);
    ASSERT_NE(g_vehicleLocation.GetLink(true), nullptr);
    EXPECT_EQ(static_cast<uint32_t>(g_vehicleLocation.GetLink(true)->linkId),
              search.Result(bank).record.LinkRecord());
    EXPECT_TRUE(view_.panMode);
    ASSERT_EQ(view_.stored.size(), 1u);
    EXPECT_EQ(view_.stored[0].kind, 1);
    // A place whose road is not there: nothing moves, nothing is kept.
    view_.stored.clear();
    search.Result(bank).record.linkWord = 0x3FFFFFF0u;
    Scripted<CPoiSelectDlg> lost(nullptr, 0x0000, &search, bank);
    EXPECT_EQ(lost.Run({[](auto& d) { TapOn(*d.GetDlgItem(539)); }}), 539);
    EXPECT_TRUE(view_.stored.empty());
}

TEST_F(PoiScreensTest, TapListShowsNamesAndTelephonesAndReportsTheChoice) {
    CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
    ASSERT_EQ(search.Search(), CPoiSearch::kFound);
    std::vector<PoiRecord> hits(2);
    hits[0].name = "BAKERY";
    hits[1].name = "PIZZERIA NOU";
    hits[1].phone = FormatPoiPhone("5551234567");
    struct Case {
        UINT key;
        INT_PTR result;
        int chosen;
    };
    for (const Case& c : {Case{VK_RETURN, 540, 1}, Case{VK_ESCAPE, 2, 1}}) {
        Scripted<CPoiHereListDlg> list(nullptr, hits);
        std::vector<std::string> rows;
        EXPECT_EQ(list.Run({[&](auto& d) {
                                for (int i = 0; i < d.List().GetCount(); ++i)
                                    rows.push_back(static_cast<const char*>(d.List().GetItem(i)));
                                platform::PostKeyPress(VK_DOWN);
                            },
                            [&](auto&) { platform::PostKeyPress(c.key); }}),
                  c.result);
        EXPECT_EQ(list.Chosen(), c.chosen);
        EXPECT_EQ(rows, (std::vector<std::string>{"BAKERY", "PIZZERIA NOU\nTel: (555)123-4567"}));
    }
    Scripted<CPoiHereListDlg> home(nullptr, hits);
    EXPECT_EQ(home.Run({[](auto&) { platform::PostKeyPress(VK_HOME); }}), 2);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
}

TEST_F(PoiScreensTest, CityCentresAreListedByNameInTheRegion) {
    platform::TextRecording recording;
    Scripted<CPoiSearchDlg> screen(nullptr, 0xFF0880, 0,
                                   static_cast<uint8_t>(RegionIndex("ALPHA")));
    std::vector<std::string> rows;
    EXPECT_EQ(screen.Run({[&](auto& s) {
        rows = RowTexts(s.Rows());
        EXPECT_EQ(s.SearchMode(), CPoiSearch::kInRegion);
        s.EndDialog(2);
    }}),
              2);
    EXPECT_EQ(rows, std::vector<std::string>{"SANT JULIA DE LORIA"});
    EXPECT_NE(DrawnTexts(recording).find(u"Enter City Name"), std::u16string::npos);
    // No restaurant within a city that has none; OK on the message row is cancel.
    Scripted<CPoiSearchDlg> none(nullptr, 0xFF0608, 1, static_cast<uint8_t>(RegionIndex("ALPHA")));
    EXPECT_EQ(none.Run({[&](auto& s) {
        rows = RowTexts(s.Rows());
        s.OnOK();
    }}),
              2);
    EXPECT_EQ(rows, std::vector<std::string>{"--No POI within city found--"});
}

}  // namespace
}  // namespace search_test
