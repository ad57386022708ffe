// The program and the route tool route alike: the program started on a device root
// with its last position and heading and PATHLUME_DESTINATION makes the very route
// `route --heading --json` prints for the same maps, ends and heading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_device.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"
#include "tests/shell/town_route.h"
#include "tests/support/tool_run.h"

namespace shell_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr double kMetresPerRadian = 6370973.27862;
constexpr double kPi = 3.14159265358979323846;

std::string Position(double lat, double lon) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f,%.6f", lat, lon);
    return text;
}

struct Maneuvers {
    std::vector<uint32_t> kinds;
    std::vector<std::string> roads;
    std::vector<double> metres;
};

class RouteAgreementTest : public AppTest {
  protected:
    // The tool's answer for the maps of the device root.
    std::optional<json> Route(const std::string& from, const std::string& to,
                              std::optional<double> heading) {
        std::string args = "--maps '" + (InstallFolder() / "Maps").string() + "' --from " + from +
                           " --to " + to + " --json";
        if (heading)
            args += " --heading " + std::to_string(*heading);
        const testing_support::ToolRun run =
            testing_support::RunTool(ROUTE_EXE, args, roots_.base());
        if (run.status != 0)
            return std::nullopt;
        json route = json::parse(run.out);
        if (route["result"] != "route")
            return std::nullopt;
        return route;
    }
    // The program's maneuvers, their road names as the route list shows them.
    static Maneuvers OfProgram() {
        Maneuvers program;
        for (int32_t i = 0; i < g_router->maneuverCount; ++i) {
            const Maneuver& m = g_router->maneuvers[i];
            char road[kManeuverTextSize];
            const char* name = FormatManeuverRoadName(*g_router, road, m, false);
            program.kinds.push_back(m.kind);
            program.roads.push_back(name ? name : "");
            program.metres.push_back(static_cast<double>(m.distance) * kMetresPerRadian);
        }
        return program;
    }
    static Maneuvers Of(const json& route) {
        Maneuvers m;
        for (const json& line : route["maneuvers"]) {
            m.kinds.push_back(line["kind"].get<uint32_t>());
            m.roads.push_back(line["road"].get<std::string>());
            m.metres.push_back(line["distance_m"].get<double>());
        }
        return m;
    }
    // Which way a route leaves its start, as a heading in degrees.
    static double FirstHeading(const json& route) {
        const json& a = route["shape"][0];
        const json& b = route["shape"][1];
        const double lat = a[0].get<double>();
        const double east = (b[1].get<double>() - a[1].get<double>()) * std::cos(lat * kPi / 180);
        const double north = b[0].get<double>() - lat;
        return std::fmod(std::atan2(east, north) * 180 / kPi + 360, 360);
    }
};

TEST_F(RouteAgreementTest, TheProgramRoutesAsTheRouteToolFromTheSameStartAndHeading) {
    InstallTownMaps();
    InstallVoiceFiles();
    // Street middles about 2 km apart, on a two-way start road: the route that leaves
    // against the way it would leave without a heading.
    const discmaker::Network& town = route_test::RouteTown();
    std::vector<uint32_t> streets;
    for (uint32_t i = 0; i < town.links.size(); ++i)
        if (town.links[i].roadClass == discmaker::RoadClass::Street &&
            town.links[i].direction == discmaker::Direction::Both)
            streets.push_back(i);
    ASSERT_GT(streets.size(), 20u);
    auto middle = [&](uint32_t link) {
        const discmaker::LatLon a = town.nodes[town.links[link].from].position;
        const discmaker::LatLon b = town.nodes[town.links[link].to].position;
        return std::pair{(a.lat + b.lat) / 2, (a.lon + b.lon) / 2};
    };
    std::string from, to;
    double heading = 0;
    std::optional<json> expected;
    for (size_t k = 0; k + 1 < streets.size() && !expected; k += streets.size() / 12) {
        const auto [aLat, aLon] = middle(streets[k]);
        for (size_t j = streets.size() - 1; j > k && !expected; j -= streets.size() / 12) {
            const auto [bLat, bLon] = middle(streets[j]);
            const double metres = std::hypot((aLat - bLat) * 111320,
                                             (aLon - bLon) * 111320 * std::cos(aLat * kPi / 180));
            if (std::abs(metres - 2000) > 600)
                continue;
            const std::optional<json> free = Route(Position(aLat, aLon), Position(bLat, bLon), {});
            if (!free)
                continue;
            // Both ends on their roads, facing back the way the free route leaves.
            from = Position(free.value()["from"]["snapped"][0].get<double>(),
                            free.value()["from"]["snapped"][1].get<double>());
            to = Position(free.value()["to"]["snapped"][0].get<double>(),
                          free.value()["to"]["snapped"][1].get<double>());
            heading = std::round(std::fmod(FirstHeading(*free) + 180, 360));
            const std::optional<json> turned = Route(from, to, heading);
            if (turned && (*turned)["links"] != (*free)["links"])
                expected = turned;
        }
    }
    ASSERT_TRUE(expected.has_value()) << "no pair whose route the heading changes";

    const FLOAT lat = std::strtof(from.c_str(), nullptr);
    const FLOAT lon = std::strtof(from.substr(from.find(',') + 1).c_str(), nullptr);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, std::bit_cast<DWORD>(lat));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLonValue, std::bit_cast<DWORD>(lon));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastHeadValue,
                std::bit_cast<DWORD>(static_cast<FLOAT>(heading)));
    setenv("PATHLUME_DESTINATION", to.c_str(), 1);
    platform::UseManualClock(true);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    Pump();
    for (int tick = 0; tick < 10 && !(g_router->state & kRouterRouteState); ++tick)
        platform::AdvanceClockAndPump(1000);
    unsetenv("PATHLUME_DESTINATION");
    ASSERT_TRUE(g_router->state & kRouterRouteState) << "the program made no route";

    const Maneuvers program = OfProgram();
    // The route list, entry by entry, then the maneuvers made of it.
    std::vector<int32_t> links;
    for (int32_t i = 0; i < g_router->routeCount; ++i)
        links.push_back(g_router->routeList[i].linkId);
    EXPECT_EQ(links, (*expected)["links"].get<std::vector<int32_t>>());
    const Maneuvers tool = Of(*expected);
    EXPECT_EQ(program.kinds, tool.kinds);
    EXPECT_EQ(program.roads, tool.roads);
    ASSERT_EQ(program.metres.size(), tool.metres.size());
    for (size_t i = 0; i < tool.metres.size(); ++i)
        EXPECT_NEAR(program.metres[i], tool.metres[i], 1.0) << "maneuver " << i;
    Close();
    platform::UseManualClock(false);
}

// The shell tests' route across the town, from the vehicle placed on its start road
// with no fix: it leaves the way the receiver's last heading faces (0 when it never
// had one), as `route --heading` does; without --heading the tool may leave the
// other way, and its first maneuver is then another road's.
TEST_F(RouteAgreementTest, TheTownRouteFromAPlacedVehicleIsTheToolsWithTheSameHeading) {
    InstallTownMaps();
    InstallVoiceFiles();
    platform::UseManualClock(true);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    Pump();
    auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    // Nothing but the test sets the fix.
    CloseReceiverPort();
    std::vector<std::string> firstRoads;
    for (const double heading : {0.0, 90.0, 180.0, 270.0}) {
        SCOPED_TRACE(heading);
        g_gpsReceiver.load()->UpdateFix(
            [heading](GpsFix& fix) { fix.headingDegrees = static_cast<FLOAT>(heading); });
        MapPoint start;
        ASSERT_TRUE(RouteAcrossTown(frame->View(), 1, &start));
        const Maneuvers program = OfProgram();
        const MapPoint to = g_router->destPoint;
        const std::optional<json> tool = Route(Position(start.latitude, start.longitude),
                                               Position(to.latitude, to.longitude), heading);
        ASSERT_TRUE(tool.has_value()) << "the tool found no route";
        EXPECT_EQ(program.kinds, Of(*tool).kinds);
        EXPECT_EQ(program.roads, Of(*tool).roads);
        ASSERT_FALSE(program.roads.empty());
        firstRoads.push_back(program.roads.front());
    }
    // The headings take the route off both ways along its start road.
    EXPECT_NE(std::count(firstRoads.begin(), firstRoads.end(), firstRoads.front()),
              static_cast<std::ptrdiff_t>(firstRoads.size()));
    Close();
    platform::UseManualClock(false);
}

}  // namespace
}  // namespace shell_test
