// The route tool over the built-in town and real extracts: routes whose entries
// chain, whose lengths hold against the straight line, a plain shortest path over
// the disc builder's network and the route's own shape; the maneuvers at
// roundabouts and ramps; the arrival on one link; the command line's answers.
#include "tools/route/route_tool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <queue>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"
#include "formats/names.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "tests/route/route_test_maps.h"
#include "tests/support/device_maps.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"
#include "tests/tools/route/route_tool_support.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/osm.h"

namespace {

namespace fs = std::filesystem;
using discmaker::Network;
using routetool::RouteResult;

constexpr double kMetresPerRadian = 6370973.27862;

using route_tool_test::ExtractMaps;
using route_tool_test::MapsOf;
using route_tool_test::SeededPairs;

// The network's link nearest to a point, with the metres along it from its from-node
// to the nearest point and from there to its to-node.
uint32_t NearestNetworkLink(const Network& network, const MapPoint& p, double* along,
                            double* rest) {
    double best = 1e18;
    uint32_t bestLink = 0;
    const double scale = std::cos(p.latitude * 3.14159265358979 / 180);
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const std::vector<discmaker::LatLon> pts = network.LinkPoints(i);
        double walked = 0;
        for (size_t k = 0; k + 1 < pts.size(); ++k) {
            const double ax = (pts[k].lon - p.longitude) * scale, ay = pts[k].lat - p.latitude;
            const double bx = (pts[k + 1].lon - p.longitude) * scale,
                         by = pts[k + 1].lat - p.latitude;
            const double dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
            const double t = l2 > 0 ? std::clamp(-(ax * dx + ay * dy) / l2, 0.0, 1.0) : 0;
            const double d = std::hypot(ax + t * dx, ay + t * dy);
            const double segment = std::sqrt(l2) * 111194.9;
            if (d < best) {
                best = d;
                bestLink = i;
                *along = walked + t * segment;
            }
            walked += segment;
        }
        if (bestLink == i)
            *rest = walked - *along;
    }
    return bestLink;
}

// The shortest drive in metres between two points by the router's rules, or
// infinity: a plain Dijkstra over (link, direction) states of the disc builder's
// network, so over (node, arrival link), that drives links only their allowed way,
// takes no forbidden turn and never turns back onto the link it arrived by. The
// drive starts on the link nearest `from` either way and ends on the link nearest
// `to` (the tool has no fix: a two-way start may leave either way).
double RuleDriveMetres(const Network& network, const MapPoint& from, const MapPoint& to) {
    constexpr double kNever = std::numeric_limits<double>::infinity();
    double fromAlong = 0, fromRest = 0, toAlong = 0, toRest = 0;
    const uint32_t a = NearestNetworkLink(network, from, &fromAlong, &fromRest);
    const uint32_t b = NearestNetworkLink(network, to, &toAlong, &toRest);
    if (a == b)
        return 0;
    // The drives out of each node: (link, 0 from-node to to-node or 1 back).
    std::vector<std::vector<std::pair<uint32_t, int>>> out(network.nodes.size());
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const discmaker::Link& link = network.links[i];
        if (discmaker::InPrebuiltRegion(network, link))
            continue;
        if (link.direction != discmaker::Direction::Backward)
            out[link.from].push_back({i, 0});
        if (link.direction != discmaker::Direction::Forward)
            out[link.to].push_back({i, 1});
    }
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> forbidden;
    for (const discmaker::TurnRestriction& r : network.restrictions)
        forbidden.insert({r.fromLink, r.viaNode, r.toLink});
    auto endOf = [&](uint32_t link, int way) {
        return way == 0 ? network.links[link].to : network.links[link].from;
    };
    // dist[2 * link + way]: driven to the end of the link that way.
    std::vector<double> dist(network.links.size() * 2, kNever);
    using Item = std::pair<double, uint32_t>;
    std::priority_queue<Item, std::vector<Item>, std::greater<>> open;
    const discmaker::Link& start = network.links[a];
    if (start.direction != discmaker::Direction::Backward)
        open.push({fromRest, 2 * a});
    if (start.direction != discmaker::Direction::Forward)
        open.push({fromAlong, 2 * a + 1});
    double best = kNever;
    while (!open.empty()) {
        const auto [d, state] = open.top();
        open.pop();
        if (d >= best)
            break;
        if (d >= dist[state])
            continue;
        dist[state] = d;
        const uint32_t arrival = state / 2;
        const uint32_t node = endOf(arrival, static_cast<int>(state % 2));
        for (const auto& [link, way] : out[node]) {
            if (link == arrival || forbidden.count({arrival, node, link}))
                continue;
            if (link == b) {
                best = std::min(best, d + (way == 0 ? toAlong : toRest));
                continue;
            }
            open.push({d + network.LinkLengthKm(link) * 1000, 2 * link + way});
        }
    }
    return best;
}

double ShapeMetres(const std::vector<MapPoint>& shape) {
    double metres = 0;
    for (size_t i = 1; i < shape.size(); ++i)
        metres += GeoDistance(shape[i - 1], shape[i]) * kMetresPerRadian;
    return metres;
}

// A route reads as a driver expects it: every maneuver has a text, a roundabout is
// one maneuver (its entry names the exit; leaving it is no maneuver of its own), and
// no maneuver keeps to the road just taken a few metres after the one before.
void ExpectManeuversADriverNeeds(const RouteResult& result) {
    const CRouter& router = *g_router;
    ASSERT_EQ(static_cast<size_t>(router.maneuverCount), result.maneuvers.size());
    for (size_t m = 0; m < result.maneuvers.size(); ++m) {
        const routetool::ManeuverLine& line = result.maneuvers[m];
        EXPECT_FALSE(line.text.empty()) << "maneuver " << m << " " << line.glyph;
        if (m == 0 || line.kind == kManeuverArrival)
            continue;
        const routetool::ManeuverLine& before = result.maneuvers[m - 1];
        const int32_t index = router.maneuvers[m].routeIndex;
        const bool leavesRing =
            index > 0 &&
            (router.routeList[index - 1].attributes & formats::chunk_payload::kRoundabout) &&
            !(router.routeList[index].attributes & formats::chunk_payload::kRoundabout);
        EXPECT_FALSE(leavesRing && (before.kind == kManeuverRoundaboutRight ||
                                    before.kind == kManeuverRoundaboutLeft))
            << "maneuver " << m << " leaves the roundabout maneuver " << m - 1 << " entered";
        const bool keepsOn = line.kind == kManeuverStraight || line.kind == kManeuverKeepRight ||
                             line.kind == kManeuverKeepLeft || line.kind == kManeuverBearRight ||
                             line.kind == kManeuverBearLeft;
        EXPECT_FALSE(keepsOn && line.road == before.road && line.distanceMetres < 20)
            << "maneuver " << m << " " << line.text << " " << line.road << " "
            << line.distanceMetres << " m after the one before";
    }
}

// What every route found must hold: entries that chain from the start link to the
// destination link by the rules, one arrival and last, a length as long as the
// maneuvers' distances and the route's shape, not below the straight line.
void ExpectSoundRoute(const RouteResult& result) {
    ASSERT_EQ(result.kind, RouteResult::Kind::kRoute) << result.ResultName();
    const CRouter& router = *g_router;
    EXPECT_EQ(route_test::CheckRouteRules(router), "");
    const MapNode* first = ResolveNodeRef(router.routeList[0]);
    ASSERT_NE(router.routeStartLink, nullptr);
    EXPECT_TRUE(first == router.routeStartLink->fromNode || first == router.routeStartLink->toNode);
    EXPECT_EQ(router.routeList[router.routeCount - 1].linkId, router.routeDestLink->linkId);
    int arrivals = 0;
    for (const routetool::ManeuverLine& m : result.maneuvers) {
        arrivals += m.kind == kManeuverArrival;
        EXPECT_GE(m.kind, 1u);
        EXPECT_LE(m.kind, 19u);
    }
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(result.maneuvers.back().kind, kManeuverArrival);
    ExpectManeuversADriverNeeds(result);
    EXPECT_NEAR(result.lengthMetres, router.routeLength * kMetresPerRadian,
                1e-3 * result.lengthMetres + 0.5);
    const double straight = GeoDistance(result.from.point, result.to.point) * kMetresPerRadian;
    EXPECT_GE(result.lengthMetres, straight * 0.999);
    EXPECT_NEAR(ShapeMetres(result.shape), result.lengthMetres, 0.005 * result.lengthMetres + 1);
}

class RouteToolTest : public testing_support::RootsTest {
  protected:
    static routetool::Options TownOptions() {
        routetool::Options options;
        options.maps = route_test::RouteTownMaps();
        return options;
    }
};

// Checks the routes between seeded points of a network, Shortest and Quickest.
void ExpectSeededRoutesSound(const fs::path& maps, const Network& network, size_t count) {
    const std::vector<routetool::Pair> pairs = SeededPairs(network, count, route_pairs::kPairSeed);
    ASSERT_EQ(pairs.size(), count);
    std::vector<double> quickest(count);
    for (int method : {kRouteQuickest, kRouteShortest}) {
        routetool::Options options;
        options.maps = maps;
        options.method = method;
        routetool::Session session(options);
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(std::string(routetool::MethodName(method)) + " pair " + std::to_string(i));
            const RouteResult result = session.Route(pairs[i].from, pairs[i].to);
            ExpectSoundRoute(result);
            if (testing::Test::HasFatalFailure() || result.kind != RouteResult::Kind::kRoute)
                continue;
            const double shortest = RuleDriveMetres(network, result.from.point, result.to.point);
            EXPECT_GE(result.lengthMetres, shortest * 0.995);
            if (method == kRouteQuickest)
                quickest[i] = result.lengthMetres;
            else
                EXPECT_LE(result.lengthMetres, 1.2 * quickest[i] + 1000);
        }
    }
}

TEST_F(RouteToolTest, SeededTownRoutesHold) {
    ExpectSeededRoutesSound(route_test::RouteTownMaps(), route_test::RouteTown(), 20);
}

// Routes through the town's roundabout: each tells the roundabout once.
TEST_F(RouteToolTest, RoutesThroughTheRoundaboutHold) {
    routetool::Session session(TownOptions());
    int through = 0;
    for (const MapPoint& from : route_test::RoundaboutSpokes()) {
        for (const MapPoint& to : route_test::RoundaboutSpokes()) {
            if (from.latitude == to.latitude && from.longitude == to.longitude)
                continue;
            const RouteResult result = session.Route(from, to);
            ExpectSoundRoute(result);
            for (const routetool::ManeuverLine& m : result.maneuvers)
                through += m.kind == kManeuverRoundaboutRight || m.kind == kManeuverRoundaboutLeft;
        }
    }
    EXPECT_GE(through, 3);
}

TEST_F(RouteToolTest, SeededAndorraRoutesHold) {
    const ExtractMaps* maps = MapsOf("andorra.osm.pbf");
    if (!maps)
        GTEST_SKIP() << "no andorra.osm.pbf in " << testing_support::SharedOsmFolder()
                     << ": the shared data folder is absent";
    ExpectSeededRoutesSound(maps->folder(), maps->network, 20);
}

TEST_F(RouteToolTest, SeededNorthBayreuthRoutesHold) {
    const ExtractMaps* maps = MapsOf("north-bayreuth.osm.gz");
    if (!maps)
        GTEST_SKIP() << "no north-bayreuth.osm.gz in " << testing_support::SharedOsmFolder()
                     << ": the shared data folder is absent";
    ExpectSeededRoutesSound(maps->folder(), maps->network, 20);
}

// The two other extracts: Krems's roundabouts, Monaco's short links between
// carriageways and crossings.
TEST_F(RouteToolTest, SeededKremsAndMonacoRoutesHold) {
    for (const char* extract : {"krems.osm.gz", "monaco.osm.gz"}) {
        SCOPED_TRACE(extract);
        const ExtractMaps* maps = MapsOf(extract);
        if (!maps)
            GTEST_SKIP() << "no " << extract << " in " << testing_support::SharedOsmFolder()
                         << ": the shared data folder is absent";
        ExpectSeededRoutesSound(maps->folder(), maps->network, 20);
    }
}

// ---- The seeded routes' golden figures ------------------------------------------

fs::path SeededRoutesGolden() {
    return testing_support::RepositoryFolder() / "tests" / "tools" / "route" / "golden" /
           "seeded_routes.txt";
}

constexpr size_t kGoldenPairs = 1000;

const char kSeededRoutesHeader[] =
    "# What the router finds between the 1,000 seeded pairs (route_pairs::SeededPairs)\n"
    "# of andorra.osm.pbf and north-bayreuth.osm.gz of the shared data, Quickest and\n"
    "# Shortest. Each line: extract, method, pair, result, length m, time s,\n"
    "# maneuvers, route entries. A faster search finds the very same routes.\n"
    "# Made by tests/tools/route/route_tool_test.cpp. A change that alters the routes\n"
    "# on purpose (costs, the maps) regenerates this file in the same commit and says\n"
    "# why:\n"
    "#   PATHLUME_UPDATE_GOLDEN=1 build/debug/bin/route_tool_tests \\\n"
    "#       --gtest_filter=RouteToolTest.SeededRoutesMatchTheirGoldenFigures\n";

// One line of the golden file for a route.
std::string GoldenLine(const std::string& extract, int method, size_t index,
                       const RouteResult& result) {
    char line[256];
    std::snprintf(line, sizeof line, "%s %s %zu %s %.3f %.3f %zu %d", extract.c_str(),
                  routetool::MethodName(method), index,
                  result.Found() ? result.ResultName() : "none", result.lengthMetres,
                  result.timeSeconds, result.maneuvers.size(),
                  result.kind == RouteResult::Kind::kRoute ? g_router->routeCount : 0);
    return line;
}

TEST_F(RouteToolTest, SeededRoutesMatchTheirGoldenFigures) {
    std::vector<std::string> actual;
    for (const char* extract : {"andorra.osm.pbf", "north-bayreuth.osm.gz"}) {
        const ExtractMaps* maps = MapsOf(extract);
        if (!maps)
            GTEST_SKIP() << "no " << extract << " in " << testing_support::SharedOsmFolder()
                         << ": the shared data folder is absent";
        const std::vector<routetool::Pair> pairs =
            SeededPairs(maps->network, kGoldenPairs, route_pairs::kPairSeed);
        ASSERT_EQ(pairs.size(), kGoldenPairs);
        for (int method : {kRouteQuickest, kRouteShortest}) {
            routetool::Options options;
            options.maps = maps->folder();
            options.method = method;
            routetool::Session session(options);
            for (size_t i = 0; i < pairs.size(); ++i) {
                const RouteResult result = session.Route(pairs[i].from, pairs[i].to);
                actual.push_back(GoldenLine(extract, method, i, result));
                // A pair without a route has no drive by the router's rules at all.
                if (!result.Found() && method == kRouteQuickest) {
                    EXPECT_EQ(RuleDriveMetres(maps->network, result.from.point, result.to.point),
                              std::numeric_limits<double>::infinity())
                        << extract << " pair " << i;
                }
            }
        }
    }
    if (std::getenv("PATHLUME_UPDATE_GOLDEN")) {
        fs::create_directories(SeededRoutesGolden().parent_path());
        std::ofstream out(SeededRoutesGolden(), std::ios::trunc);
        out << kSeededRoutesHeader;
        for (const std::string& line : actual)
            out << line << "\n";
        ASSERT_TRUE(out.good()) << "cannot write " << SeededRoutesGolden();
        return;
    }
    std::ifstream in(SeededRoutesGolden());
    ASSERT_TRUE(in) << "no " << SeededRoutesGolden();
    std::vector<std::string> golden;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#')
            golden.push_back(line);
    }
    ASSERT_EQ(golden.size(), actual.size());
    size_t differing = 0;
    for (size_t i = 0; i < golden.size(); ++i) {
        if (golden[i] != actual[i] && ++differing <= 20)
            ADD_FAILURE() << "was: " << golden[i] << "\nnow: " << actual[i];
    }
    EXPECT_EQ(differing, 0u) << "routes that changed";
}

// Over many town routes: every entry into a roundabout is told as kind 14 or 15,
// every way from a street onto a freeway ramp as 16 to 19 (3 when straight on),
// every way off the freeway onto a ramp as an exit named by its sign.
TEST_F(RouteToolTest, RoundaboutsAndRampsGetTheirKinds) {
    const Network& town = route_test::RouteTown();
    std::vector<routetool::Pair> pairs = SeededPairs(town, 150, 7);
    // And from every road into the roundabout to every other.
    const std::vector<MapPoint> spokes = route_test::RoundaboutSpokes();
    ASSERT_GE(spokes.size(), 2u);
    for (const MapPoint& from : spokes) {
        for (const MapPoint& to : spokes) {
            if (&from != &to)
                pairs.push_back({from, to});
        }
    }
    routetool::Session session(TownOptions());
    int roundabouts = 0, onRamps = 0, exits = 0;
    for (const routetool::Pair& pair : pairs) {
        const RouteResult result = session.Route(pair.from, pair.to);
        if (result.kind != RouteResult::Kind::kRoute)
            continue;
        const CRouter& router = *g_router;
        std::map<int32_t, const Maneuver*> at;
        for (int32_t m = 0; m < router.maneuverCount; ++m)
            at[router.maneuvers[m].routeIndex] = &router.maneuvers[m];
        uint32_t arriving = router.routeStartLink->attributes;
        bool arrivingFlagged = (router.routeStartLink->shapeInfo & kShapeMajorRoad) != 0;
        for (int32_t i = 0; i < router.routeCount; ++i) {
            const RouteEntry& entry = router.routeList[i];
            const bool flagged = (entry.nodeRef & RouteEntry::kFlaggedLink) != 0;
            const bool ramp = (entry.attributes & 0x100000) != 0;
            const bool wasRamp = (arriving & 0x100000) != 0;
            const Maneuver* m = at.count(i) ? at[i] : nullptr;
            SCOPED_TRACE("entry " + std::to_string(i));
            if ((entry.attributes & 0x400000) && !(arriving & 0x400000) &&
                !(entry.attributes & 0x10000000)) {
                ++roundabouts;
                ASSERT_NE(m, nullptr);
                EXPECT_TRUE(m->kind == 14 || m->kind == 15) << m->kind;
            }
            if (ramp && !wasRamp && !arrivingFlagged && i + 1 < router.routeCount &&
                (router.routeList[i + 1].nodeRef & RouteEntry::kFlaggedLink)) {
                ++onRamps;
                ASSERT_NE(m, nullptr);
                EXPECT_TRUE((m->kind >= 16 && m->kind <= 19) || m->kind == 3) << m->kind;
            }
            if (ramp && arrivingFlagged && !flagged) {
                ++exits;
                ASSERT_NE(m, nullptr);
                EXPECT_TRUE(m->kind == 1 || m->kind == 2) << m->kind;
                char road[kManeuverTextSize];
                const char* name = FormatManeuverRoadName(router, road, *m, false);
                ASSERT_NE(name, nullptr);
                EXPECT_EQ(std::string(name).rfind("EXIT ", 0), 0u) << name;
            }
            arriving = entry.attributes;
            arrivingFlagged = flagged;
        }
    }
    EXPECT_GT(roundabouts, 0);
    EXPECT_GT(onRamps, 0);
    EXPECT_GT(exits, 0);
}

// The side a house number lies on, from the town's own ranges: on the driver's left
// when its side is the left one seen the way the route drives the last link.
TEST_F(RouteToolTest, TheDestinationSideIsTheSideOfTheHouseNumber) {
    const Network& town = route_test::RouteTown();
    const std::vector<routetool::Pair> pairs = SeededPairs(town, 40, 17);
    routetool::Session session(TownOptions());
    int checked = 0;
    for (const routetool::Pair& pair : pairs) {
        const RouteResult result = session.Route(pair.from, pair.to);
        if (result.kind != RouteResult::Kind::kRoute)
            continue;
        CRouter& router = *g_router;
        double along = 0, rest = 0;
        const discmaker::Link& link =
            town.links[NearestNetworkLink(town, result.to.point, &along, &rest)];
        // The device link may run the other way round.
        const MapPoint deviceFrom = router.routeDestLink->fromNode->position;
        const discmaker::LatLon& townFrom = town.nodes[link.from].position;
        const bool sameWay = std::fabs(deviceFrom.latitude - townFrom.lat) < 1e-5 &&
                             std::fabs(deviceFrom.longitude - townFrom.lon) < 1e-5;
        const bool drivesTownWay = (router.destPart == 1) == sameWay;
        for (const auto& [range, other, side] : {std::tuple{link.left, link.right, kSideLeft},
                                                 std::tuple{link.right, link.left, kSideRight}}) {
            if ((range.parity != discmaker::Parity::Even &&
                 range.parity != discmaker::Parity::Odd) ||
                other.parity == range.parity || other.parity == discmaker::Parity::Mixed)
                continue;
            std::snprintf(router.request.shortName, sizeof router.request.shortName, "%u",
                          range.first);
            SCOPED_TRACE(std::string("number ") + router.request.shortName);
            EXPECT_EQ(DestinationSide(router), drivesTownWay ? side : -side);
            ++checked;
        }
    }
    EXPECT_GE(checked, 10);
}

// Both ends on one link: arrived within the arrival distance (4 s at the link's
// category speed), else a route along the link, the arrival its only maneuver.
TEST_F(RouteToolTest, OneLinkIsAnArrivalOnlyWhenClose) {
    const Network& town = route_test::RouteTown();
    // The longest two-way town link that is not on the island.
    uint32_t longest = 0;
    for (uint32_t i = 0; i < town.links.size(); ++i) {
        if (!discmaker::InPrebuiltRegion(town, town.links[i]) &&
            town.links[i].direction == discmaker::Direction::Both &&
            town.LinkLengthKm(i) > town.LinkLengthKm(longest))
            longest = i;
    }
    const std::vector<discmaker::LatLon> points = town.LinkPoints(longest);
    auto at = [&](double t) {
        const discmaker::LatLon& a = points.front();
        const discmaker::LatLon& b = points[1];
        return MapPoint{static_cast<FLOAT>(a.lat + t * (b.lat - a.lat)),
                        static_cast<FLOAT>(a.lon + t * (b.lon - a.lon))};
    };
    const double firstMetres = GeoDistance(at(0), at(1)) * kMetresPerRadian;
    ASSERT_GT(firstMetres, 150) << "the town's longest link is short";
    routetool::Session session(TownOptions());
    struct Case {
        double to;
        RouteResult::Kind kind;
    } const cases[] = {{0.1 + 20 / firstMetres, RouteResult::Kind::kArrived},
                       {0.1 + 140 / firstMetres, RouteResult::Kind::kRoute}};
    for (const Case& c : cases) {
        const RouteResult result = session.Route(at(0.1), at(c.to));
        ASSERT_EQ(result.kind, c.kind) << c.to;
        ASSERT_EQ(result.maneuvers.size(), 1u);
        EXPECT_EQ(result.maneuvers[0].kind, kManeuverArrival);
        const double straight = GeoDistance(result.from.point, result.to.point) * kMetresPerRadian;
        EXPECT_NEAR(result.lengthMetres, straight, 0.01 * straight + 1);
        EXPECT_GT(result.timeSeconds, 0);
        EXPECT_GE(result.shape.size(), 2u);
    }
}

// A stretch of the A 70's one-way carriageway at north Bayreuth: 557 m along it is a
// route along the link, and against it a route like any other, by the next exits.
TEST_F(RouteToolTest, OneLinkOfARealMotorwayIsARouteEitherWay) {
    const ExtractMaps* maps = MapsOf("north-bayreuth.osm.gz");
    if (!maps)
        GTEST_SKIP() << "no north-bayreuth.osm.gz in " << testing_support::SharedOsmFolder()
                     << ": the shared data folder is absent";
    routetool::Options options;
    options.maps = maps->folder();
    routetool::Session session(options);
    const MapPoint west{50.039302f, 11.496941f}, east{50.03955f, 11.504732f};
    const RouteResult along = session.Route(west, east);
    ASSERT_EQ(along.kind, RouteResult::Kind::kRoute);
    EXPECT_EQ(along.from.linkId, along.to.linkId);
    ASSERT_EQ(along.maneuvers.size(), 1u);
    EXPECT_NEAR(along.lengthMetres, 557, 5);
    const RouteResult back = session.Route(east, west);
    ASSERT_EQ(back.kind, RouteResult::Kind::kRoute);
    EXPECT_GT(back.maneuvers.size(), 2u);
    EXPECT_GT(back.lengthMetres, 2 * along.lengthMetres);
}

TEST_F(RouteToolTest, AvoidingARoadRoutesAroundIt) {
    const std::vector<routetool::Pair> pairs = SeededPairs(route_test::RouteTown(), 1, 3);
    routetool::Options options = TownOptions();
    int32_t avoidedId = 0;
    MapPoint middle{};
    {
        routetool::Session session(options);
        const RouteResult first = session.Route(pairs[0].from, pairs[0].to);
        ASSERT_EQ(first.kind, RouteResult::Kind::kRoute);
        const CRouter& router = *g_router;
        ASSERT_GE(router.routeCount, 3);
        const RouteEntry& entry = router.routeList[router.routeCount / 2];
        const MapNode* node = ResolveNodeRef(entry);
        const MapLink* link = node->Slots()[entry.Slot()];
        avoidedId = link->linkId;
        const MapNode* far = link->fromNode == node ? link->toNode : link->fromNode;
        middle = {(node->position.latitude + far->position.latitude) / 2,
                  (node->position.longitude + far->position.longitude) / 2};
    }
    routetool::Avoid avoid;
    avoid.atPoint = true;
    avoid.point = middle;
    options.avoids.push_back(avoid);
    routetool::Session session(options);
    const RouteResult second = session.Route(pairs[0].from, pairs[0].to);
    ASSERT_EQ(second.kind, RouteResult::Kind::kRoute);
    for (int32_t i = 0; i < g_router->routeCount; ++i)
        EXPECT_NE(g_router->routeList[i].linkId, avoidedId) << "entry " << i;
}

// With a heading the route leaves a two-way start road the way the vehicle faces,
// as the program's does from its saved heading; turned round, the other way.
TEST_F(RouteToolTest, TheStartHeadingChoosesTheWayTheRouteLeaves) {
    const std::vector<routetool::Pair> pairs = SeededPairs(route_test::RouteTown(), 20, 21);
    auto firstStep = [](const RouteResult& result) {
        const MapPoint& a = result.shape[0];
        const MapPoint& b = result.shape[1];
        return std::pair{(b.longitude - a.longitude) * std::cos(a.latitude * M_PI / 180),
                         double{b.latitude - a.latitude}};
    };
    int turnedRound = 0;
    for (const routetool::Pair& pair : pairs) {
        std::vector<RouteResult> results;
        std::vector<double> headings;
        for (double heading : {0.0, 90.0, 180.0, 270.0}) {
            routetool::Options options = TownOptions();
            options.headingDegrees = heading;
            routetool::Session session(options);
            const RouteResult result = session.Route(pair.from, pair.to);
            if (result.kind == RouteResult::Kind::kRoute && result.shape.size() >= 2) {
                results.push_back(result);
                headings.push_back(heading);
            }
        }
        for (size_t i = 0; i < results.size(); ++i) {
            for (size_t j = i + 1; j < results.size(); ++j) {
                if (std::fmod(headings[j] - headings[i], 360.0) != 180.0)
                    continue;
                const auto [east1, north1] = firstStep(results[i]);
                const auto [east2, north2] = firstStep(results[j]);
                if (east1 * east2 + north1 * north2 >= 0)
                    continue;  // a one-way or minor start road: both leave alike
                ++turnedRound;
                for (size_t k : {i, j}) {
                    const auto [east, north] = firstStep(results[k]);
                    const double h = headings[k] * M_PI / 180;
                    EXPECT_GT(east * std::sin(h) + north * std::cos(h), 0)
                        << "heading " << headings[k];
                }
            }
        }
    }
    EXPECT_GE(turnedRound, 3);
}

TEST_F(RouteToolTest, TextAndJsonTellTheSameRoute) {
    const std::vector<routetool::Pair> pairs = SeededPairs(route_test::RouteTown(), 1, 11);
    routetool::Options options = TownOptions();
    options.from = pairs[0].from;
    options.to = pairs[0].to;
    std::ostringstream text, err;
    ASSERT_EQ(routetool::Run(options, text, err), 0) << err.str();
    const std::string lines = text.str();
    const size_t last = lines.rfind("length_m=");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(lines.find(" maneuvers=", last), std::string::npos);
    EXPECT_NE(lines.find(" ms=", last), std::string::npos);

    options.json = true;
    std::ostringstream json;
    ASSERT_EQ(routetool::Run(options, json, err), 0) << err.str();
    const nlohmann::json doc = nlohmann::json::parse(json.str());
    EXPECT_EQ(doc["result"], "route");
    EXPECT_EQ(doc["method"], "quickest");
    ASSERT_FALSE(doc["maneuvers"].empty());
    double sum = 0;
    for (const auto& m : doc["maneuvers"]) {
        for (const char* key : {"kind", "glyph", "icon", "text", "road", "distance_m"})
            EXPECT_TRUE(m.contains(key)) << key;
        sum += m["distance_m"].get<double>();
    }
    EXPECT_NEAR(doc["length_m"].get<double>(), sum, 0.01);
    EXPECT_EQ(doc["maneuvers"].back()["kind"], kManeuverArrival);
    const auto& shape = doc["shape"];
    ASSERT_GE(shape.size(), 2u);
    EXPECT_FLOAT_EQ(shape.front()[0].get<float>(), doc["from"]["snapped"][0].get<float>());
    EXPECT_FLOAT_EQ(shape.back()[1].get<float>(), doc["to"]["snapped"][1].get<float>());
}

TEST_F(RouteToolTest, PairsAreRoutedInOneRunWithTheirFigures) {
    const fs::path file = roots_.base() / "pairs.csv";
    const std::vector<routetool::Pair> pairs = SeededPairs(route_test::RouteTown(), 3, 5);
    {
        std::ofstream out(file);
        out << "from_lat,from_lon,to_lat,to_lon\n\n# a comment\n";
        for (const routetool::Pair& p : pairs)
            out << p.from.latitude << "," << p.from.longitude << "," << p.to.latitude << ","
                << p.to.longitude << "\n";
        out << "-60,100,-60.1,100.1\r\n";  // no road near
    }
    routetool::Options options = TownOptions();
    options.pairs = file;
    std::ostringstream out, err;
    ASSERT_EQ(routetool::Run(options, out, err), 0) << err.str();
    std::istringstream lines(out.str());
    std::string line;
    std::vector<std::string> rows;
    while (std::getline(lines, line))
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 6u) << out.str();
    EXPECT_EQ(rows[0], "length_m,time_s,maneuvers,ms,result");
    for (int i = 1; i <= 3; ++i)
        EXPECT_NE(rows[i].find(",route"), std::string::npos) << rows[i];
    EXPECT_NE(rows[4].find(",none"), std::string::npos) << rows[4];
    EXPECT_EQ(rows[5].rfind("pairs=4 found=3 median_ms=", 0), 0u) << rows[5];
    EXPECT_NE(rows[5].find(" p95_ms="), std::string::npos);
}

TEST_F(RouteToolTest, BadInputGetsItsExitCode) {
    // A bad pairs line is named, before any map is read.
    const fs::path file = roots_.base() / "bad.csv";
    std::ofstream(file) << "1,2,3,4\n1,2,x,4\n";
    routetool::Options options = TownOptions();
    options.pairs = file;
    std::ostringstream out, err;
    EXPECT_EQ(routetool::Run(options, out, err), 2);
    EXPECT_NE(err.str().find("line 2"), std::string::npos) << err.str();
    // Unreadable maps.
    routetool::Options missing;
    missing.maps = roots_.base() / "nowhere";
    EXPECT_EQ(routetool::Run(missing, out, err), 1);
    // No road near an end.
    options.pairs.clear();
    options.from = {-60, 100};
    options.to = {-60.1f, 100.1f};
    std::ostringstream text;
    EXPECT_EQ(routetool::Run(options, text, err), 1);
    EXPECT_NE(text.str().find("no road within"), std::string::npos);

    const struct {
        const char* text;
        bool good;
    } points[] = {{"42.5,1.52", true}, {"-90,180", true}, {"91,0", false}, {"1", false},
                  {"1,2,3", false},    {"a,b", false},    {"1,", false},   {" 1,2", false},
                  {"nan,1", false},    {"1,inf", false},  {"1e1,2", true}};
    for (const auto& p : points) {
        if (p.good)
            EXPECT_NO_THROW(routetool::ParsePoint(p.text, "--from")) << p.text;
        else
            EXPECT_THROW(routetool::ParsePoint(p.text, "--from"), routetool::UsageError) << p.text;
    }
    EXPECT_THROW(routetool::ParseMethod("fastest"), routetool::UsageError);
    EXPECT_EQ(routetool::ParseMethod("local"), 3);
    EXPECT_THROW(routetool::ParseAvoid("tolls"), routetool::UsageError);
    EXPECT_EQ(routetool::ParseAvoid("ferries").option, kRouterFerriesExcluded);
}

#ifdef ROUTE_EXE
// The program itself: exit 2 for bad arguments, 1 for maps it cannot read.
TEST_F(RouteToolTest, TheProgramsExitCodes) {
    const std::string exe = ROUTE_EXE;
    const std::string maps = route_test::RouteTownMaps().string();
    const struct {
        std::string args;
        int code;
    } cases[] = {
        {"", 2},
        {"--maps " + maps, 2},
        {"--maps " + maps + " --from 1,2", 2},
        {"--maps " + maps + " --from 1,2 --to 3,x", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --method slow", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --avoid bridges", 2},
        {"--maps " + maps + " --pairs x.csv --from 1,2", 2},
        {"--maps " + maps + " --bogus", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --kmh 50", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --guide --wav x.wav", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --guide --kmh -5", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --guide --stray -1.5", 2},
        {"--maps " + maps + " --pairs x.csv --guide", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --heading 360", 2},
        {"--maps " + maps + " --from 1,2 --to 3,4 --heading east", 2},
        {"--maps /nonexistent --from 1,2 --to 3,4", 1},
        {"--maps " + maps + " --from 1,2 --to 3,4", 1},
    };
    for (const auto& c : cases) {
        const std::string command = exe + " " + c.args + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << c.args;
        EXPECT_EQ(WEXITSTATUS(status), c.code) << c.args;
    }
}

// Damaged maps end the program with 1 and their reason, never with a map read as
// one without roads or names, nor with a use-after-free at its exit.
TEST_F(RouteToolTest, DamagedMapsEndWithTheirReason) {
    const fs::path good = route_test::RouteTownMaps();
    auto bytesOf = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
    };
    auto write = [](const fs::path& path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    // The block of the container's first cell that has one.
    auto firstBlock = [](const std::vector<uint8_t>& b) {
        const uint32_t cells =
            formats::map_container::CellCount(formats::map_container::DecodeHeader(b.data()));
        for (uint32_t i = 0; i < cells; ++i) {
            if (const uint32_t at =
                    formats::LoadU32(b.data() + formats::map_container::CellEntryOffset(i)))
                return at;
        }
        return 0u;
    };
    const struct {
        const char* file;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* reason;
    } cases[] = {
        {"mapdata1.biz",
         [&](std::vector<uint8_t>& b) { formats::StoreU32(b.data() + firstBlock(b), 0x40000000); },
         "Missing or corrupted mapdata file"},
        {"mapdata1.biz",
         [&](std::vector<uint8_t>& b) {
             formats::StoreI32(b.data() + formats::map_container::kColumnsOffset, 0x40000000);
         },
         "Missing or corrupted mapdata file"},
        {"mapdata2.biz",
         [&](std::vector<uint8_t>& b) {
             // Every block's stream, past its zlib header.
             const formats::map_container::GridHeader grid =
                 formats::map_container::DecodeHeader(b.data());
             for (uint32_t i = 0; i < formats::map_container::CellCount(grid); ++i) {
                 const uint32_t block =
                     formats::LoadU32(b.data() + formats::map_container::CellEntryOffset(i));
                 for (uint32_t at = block ? block + 10 : 0;
                      block && at < block + 30 && at < b.size(); ++at)
                     b[at] ^= 0x5A;
             }
         },
         "Error reading map cell"},
        {"names.bin", [](std::vector<uint8_t>& b) { b.resize(formats::names::kDeviceNamesOffset); },
         "Invalid or Missing Data file: names.bin"},
        {"sttypes.bin", [](std::vector<uint8_t>& b) { b.resize(8); },
         "Invalid or Missing Data file: sttypes.bin"},
    };
    const fs::path maps = roots_.base() / "damaged";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.reason);
        fs::remove_all(maps);
        fs::copy(good, maps);
        std::vector<uint8_t> bytes = bytesOf(maps / c.file);
        c.damage(bytes);
        write(maps / c.file, bytes);
        const testing_support::ToolRun run = testing_support::RunTool(
            ROUTE_EXE, "--maps '" + maps.string() + "' --from 39.12,-120.24 --to 39.16,-120.21",
            roots_.base());
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
    }
}
#endif

}  // namespace
