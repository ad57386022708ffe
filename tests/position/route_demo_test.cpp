// The route demonstration end to end: a route across the built-in town, the track
// simulator and the receiver's real feed thread, and a view that matches each fix
// and then steps the simulator as guidance does, on the manual clock. Then the
// simulator's guards on routes whose entries or indexes cannot be followed, and the
// feed thread's pacing with no delay.
#include "pathlume/position/track_sim.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "formats/gps_info.h"
#include "formats/little_endian.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_info_shm.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/sync.h"
#include "tests/position/fake_view.h"
#include "tests/route/route_test_maps.h"
#include "tests/support/vehicle_holds.h"
#include "tools/discmaker/town.h"

namespace position_test {
namespace {

constexpr double kFeetPerDegree = 364811.21852753137;

// The route's links one after another in driving order, as a polyline with the
// distance driven at each point: each piece is measured in the flat frame of its
// start, in feet.
class RoutePath {
  public:
    void Add(const MapPoint& point) {
        if (!points_.empty()) {
            const MapPoint& a = points_.back();
            if (a.latitude == point.latitude && a.longitude == point.longitude)
                return;
            distance_.push_back(distance_.back() + Feet(a, point));
        } else {
            distance_.push_back(0);
        }
        points_.push_back(point);
    }
    void AddLink(const MapLink& link, bool forwards) {
        std::vector<MapPoint> shape{link.fromNode->position};
        for (uint32_t k = 0; k < link.GetShapePointCount(); ++k)
            shape.push_back(link.shapePoints[k]);
        shape.push_back(link.toNode->position);
        if (!forwards)
            std::reverse(shape.begin(), shape.end());
        for (const MapPoint& p : shape)
            Add(p);
    }

    // The distance driven at the nearest point to p on the pieces from `*piece`
    // on, within 300 ft further; *piece moves to the piece found. Distances and
    // offsets are in feet.
    double Locate(const MapPoint& p, size_t* piece, double* offset) const {
        double best = INFINITY, at = 0;
        size_t bestPiece = *piece;
        for (size_t k = *piece; k + 1 < points_.size(); ++k) {
            if (distance_[k] > distance_[*piece] + 300 + Feet(points_[*piece], p))
                break;
            const MapPoint& a = points_[k];
            const MapPoint& b = points_[k + 1];
            const double c = std::cos(a.latitude * 3.14159265358979323846 / 180);
            const double bx = (double{b.longitude} - a.longitude) * c * kFeetPerDegree;
            const double by = (double{b.latitude} - a.latitude) * kFeetPerDegree;
            const double px = (double{p.longitude} - a.longitude) * c * kFeetPerDegree;
            const double py = (double{p.latitude} - a.latitude) * kFeetPerDegree;
            const double length2 = bx * bx + by * by;
            const double t = length2 > 0 ? std::clamp((px * bx + py * by) / length2, 0.0, 1.0) : 0;
            const double dx = px - t * bx, dy = py - t * by;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < best) {
                best = d;
                at = distance_[k] + t * std::sqrt(length2);
                bestPiece = k;
            }
        }
        *piece = bestPiece;
        *offset = best;
        return at;
    }

    // The distance in feet from p to the nearest point of the whole path.
    double Offset(const MapPoint& p) const {
        size_t piece = 0;
        double offset = INFINITY, best = INFINITY;
        while (piece + 1 < points_.size()) {
            const size_t from = piece;
            Locate(p, &piece, &offset);
            best = std::min(best, offset);
            piece = std::max(piece, from) + 1;
        }
        return best;
    }

    static double Feet(const MapPoint& a, const MapPoint& b) {
        const double c = std::cos(a.latitude * 3.14159265358979323846 / 180);
        const double dx = (double{b.longitude} - a.longitude) * c * kFeetPerDegree;
        const double dy = (double{b.latitude} - a.latitude) * kFeetPerDegree;
        return std::sqrt(dx * dx + dy * dy);
    }

  private:
    std::vector<MapPoint> points_;
    std::vector<double> distance_;
};

// The route's links in driving order: the start link, then each entry's.
struct RouteLinks {
    std::vector<int32_t> ids;
    RoutePath path;
    bool lastHasShape = false;
};

RouteLinks ReadRoute(const CRouter& router) {
    RouteLinks route;
    const MapLink* start = router.FindStartLink();
    if (!start)
        return route;
    route.ids.push_back(start->linkId);
    route.path.AddLink(*start, router.GetStartDirection() == 2);
    for (int32_t i = 0; i < router.routeCount; ++i) {
        const RouteEntry& entry = router.routeList[i];
        MapNode* node = ResolveNodeRef(entry);
        if (!node)
            return {};
        const MapLink* link = node->Slots()[entry.Slot()];
        route.ids.push_back(link->linkId);
        route.path.AddLink(*link, link->fromNode == node);
        route.lastHasShape = link->GetShapePointCount() > 0;
    }
    return route;
}

class ManualClock {
  public:
    ManualClock() { platform::UseManualClock(true); }
    ~ManualClock() { platform::UseManualClock(false); }
};

class RouteDemoTest : public route_test::RouteMapsTest {
  protected:
    void SetUp() override {
        RouteMapsTest::SetUp();
        g_vehicleLocation = MapLocation{};
        g_mapMatcher.Reset(0);
        g_positionQueue.Clear();
        receiver_.SetNotifyWindow(view_.GetViewWindow());
        g_gpsReceiver.store(&receiver_);
    }
    void TearDown() override {
        receiver_.Close();
        g_gpsReceiver.store(nullptr);
        testing_support::ForgetVehicle(g_mapMatcher);
        g_mapMatcher.Reset(0);
        g_positionQueue.Clear();
        RouteMapsTest::TearDown();
    }

    // A point of the mainland, given as fractions of its extent (the island holds
    // the town's south-west corner).
    MapPoint Mainland(double x, double y) const {
        const MapPoint sw = SouthWest(), ne = NorthEast();
        const double south = sw.latitude + (ne.latitude - sw.latitude) * 0.55;
        const double west = sw.longitude + (ne.longitude - sw.longitude) * 0.45;
        return {static_cast<FLOAT>(south + y * (ne.latitude - south)),
                static_cast<FLOAT>(west + x * (ne.longitude - west))};
    }

    // A route on the roundabout between two of its links, whose ends have shape
    // points.
    void RouteRoundTheRoundabout() {
        std::vector<MapPoint> points;
        for (const discmaker::Link& link : route_test::RouteTown().links) {
            if (link.roundabout)
                points.push_back(
                    {static_cast<FLOAT>(link.shape[0].lat), static_cast<FLOAT>(link.shape[0].lon)});
        }
        ASSERT_EQ(points.size(), 4u);
        ASSERT_TRUE(Route(points[0], points[2], kRouteQuickest));
    }

    FakeView view_;
    CNmeaReceiver receiver_;
};

// What the view saw at each handled fix.
struct HandledFix {
    bool matched = false;
    int32_t linkId = 0;
    bool stepped = false;  // the simulator moved (the end of the route publishes nothing)
    MapPoint next;         // the position the step published
    FLOAT speedMph = 0;
};

// One demonstration as the main view runs it, to the feed thread's end.
struct Demo {
    MapPoint start;
    std::vector<HandledFix> handled;
    uint32_t statusDuring = 0;  // of the shared record, at the tenth fix
};

Demo RunDemo(FakeView& view) {
    Demo demo;
    view.consume = [&](PositionQueue&) {
        HandledFix fix;
        g_mapMatcher.SnapWithTimeout(300);
        fix.matched = g_vehicleLocation.link && !g_vehicleLocation.stale;
        fix.linkId = fix.matched ? g_vehicleLocation.link->linkId : 0;
        if (demo.handled.size() == 10) {
            g_gpsInfoShm.Publish();
            demo.statusDuring =
                formats::LoadU32(g_gpsInfoShm.View() + formats::gps_info::kStatusOffset);
        }
        // As guidance does while the view replays.
        if (view.GetReplayFlag()) {
            fix.stepped = g_trackSim.State().routeIndex < g_router->routeCount;
            g_trackSim.Step();
            fix.next = g_trackSim.PublishedPosition();
            fix.speedMph = g_gpsReceiver.load()->GetFix().speedMph;
        }
        demo.handled.push_back(fix);
    };
    // The demonstration command: replaying, the simulator at the start, the feed.
    g_mapMatcher.Reset(0);
    view.SetReplayFlag(TRUE);
    g_trackSim.Start();
    demo.start = g_trackSim.PublishedPosition();
    EXPECT_EQ(g_gpsReceiver.load()->StartSimulationFeed(), 0);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (view.demoEndedMessages.load() == 0 && std::chrono::steady_clock::now() < limit) {
        view.Pump();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    view.consume = nullptr;
    return demo;
}

// The class of the road a step ended on, from the speed it reported; 8 for none.
int ClassOfSpeed(FLOAT mph) {
    return static_cast<int>(
        std::find(std::begin(kTrackSimClassMph), std::end(kTrackSimClassMph), mph) -
        std::begin(kTrackSimClassMph));
}

TEST_F(RouteDemoTest, DrivesEachRouteToItsEndAndEndsTheFeed) {
    // One route from a link of each road class of the town; half of them end on the
    // roundabout, whose links have shape points, the others on straight streets.
    const discmaker::Network& town = route_test::RouteTown();
    std::map<discmaker::RoadClass, MapPoint> starts;
    MapPoint roundabout{};
    for (const discmaker::Link& link : town.links) {
        const discmaker::LatLon a = town.nodes[link.from].position;
        const discmaker::LatLon b = town.nodes[link.to].position;
        const MapPoint middle = link.shape.empty()
                                    ? MapPoint{static_cast<FLOAT>((a.lat + b.lat) / 2),
                                               static_cast<FLOAT>((a.lon + b.lon) / 2)}
                                    : MapPoint{static_cast<FLOAT>(link.shape[0].lat),
                                               static_cast<FLOAT>(link.shape[0].lon)};
        if (link.roundabout)
            roundabout = middle;
        // Away from the island's corner, on the mainland.
        if (middle.latitude > Mainland(0, 0).latitude ||
            link.roadClass == discmaker::RoadClass::Freeway)
            starts.emplace(link.roadClass, middle);
    }
    ASSERT_EQ(starts.size(), static_cast<size_t>(discmaker::kRoadClassCount));
    ASSERT_NE(roundabout.latitude, 0);

    g_gpsInfoShm.Create();
    ManualClock clock;
    std::set<int> classes, mapClasses;
    bool endedOnShape = false, endedPastStraight = false;
    int caseIndex = 0;
    for (const auto& [roadClass, from] : starts) {
        SCOPED_TRACE(discmaker::RoadClassName(roadClass));
        const bool toRoundabout = caseIndex++ % 2 == 0;
        MapPoint to = toRoundabout ? roundabout : Mainland(0.95, 0.9);
        if (RoutePath::Feet(from, to) < 3000)
            to = Mainland(0.05, 0.1);
        ASSERT_TRUE(Route(from, to, kRouteQuickest));
        ASSERT_TRUE(router_->state & kRouterRouteState);
        const RouteLinks route = ReadRoute(*router_);
        ASSERT_FALSE(route.ids.empty());
        mapClasses.insert(
            static_cast<int>((router_->FindStartLink()->attributes & kAttrClassMask) >>
                             formats::chunk_payload::kClassShift));
        view_.demoEndedMessages.store(0);
        view_.panModeCalls.store(0);
        view_.menuUpdates.store(0);
        view_.SetPanMode(TRUE);
        const Demo demo = RunDemo(view_);
        ASSERT_EQ(view_.demoEndedMessages.load(), 1) << demo.handled.size() << " fixes handled";

        // The end: the view left pan mode and updated its menus, the replay is over on
        // both sides, the GPS watchdog is armed again and the thread has ended.
        EXPECT_GE(view_.panModeCalls.load(), 2);
        EXPECT_FALSE(view_.panMode.load());
        EXPECT_GE(view_.menuUpdates.load(), 1);
        EXPECT_FALSE(view_.GetReplayFlag());
        EXPECT_EQ(receiver_.GetFlags() & kGpsReplayActive, 0u);
        EXPECT_NE(view_.lastDataTime.load(), 0xFFFFFFFFu);
        for (int i = 0; i < 2000 && receiver_.IsWorkerRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_FALSE(receiver_.IsWorkerRunning());
        EXPECT_EQ(g_trackSim.State().routeIndex, router_->routeCount);

        // The shared record shows the replay while it runs, and not after.
        EXPECT_TRUE(demo.statusDuring & formats::gps_info::kStatusReplay);
        g_gpsInfoShm.Publish();
        EXPECT_FALSE(formats::LoadU32(g_gpsInfoShm.View() + formats::gps_info::kStatusOffset) &
                     formats::gps_info::kStatusReplay);
        // The view's end of the demonstration.
        receiver_.Close();

        // Every step covered the step size along the route, whatever the road's
        // class, which set only the speed. With shape points the last step ends on
        // the destination; without, it goes its whole length along the last link.
        std::vector<MapPoint> positions{demo.start};
        for (const HandledFix& fix : demo.handled) {
            if (fix.stepped)
                positions.push_back(fix.next);
        }
        ASSERT_GT(positions.size(), 20u);
        size_t piece = 0;
        double offset = 0;
        double previous = route.path.Locate(positions[0], &piece, &offset);
        size_t step = 0;
        for (const HandledFix& fix : demo.handled) {
            if (!fix.stepped)
                continue;
            ++step;
            const int stepClass = ClassOfSpeed(fix.speedMph);
            ASSERT_LT(stepClass, 8) << "step " << step << ": " << fix.speedMph << " mph";
            classes.insert(stepClass);
            const double now = route.path.Locate(positions[step], &piece, &offset);
            EXPECT_LT(offset, 3.0) << "step " << step << " is off the route";
            const bool last = step + 1 == positions.size();
            if (last && route.lastHasShape) {
                EXPECT_LE(now - previous, 50.0 + 3.0);
                EXPECT_LT(RoutePath::Feet(positions.back(), router_->destPoint), 1.0);
                endedOnShape = true;
            } else {
                EXPECT_NEAR(now - previous, 50.0, 3.0)
                    << "step " << step << " of " << positions.size() - 1 << ", class " << stepClass;
                endedPastStraight = endedPastStraight || (last && !route.lastHasShape);
            }
            previous = now;
        }

        // The matched links follow the route.
        const std::set<int32_t> routeIds(route.ids.begin(), route.ids.end());
        size_t matched = 0, onRoute = 0, routePosition = 0;
        bool inOrder = true;
        for (size_t i = 5; i < demo.handled.size(); ++i) {
            const HandledFix& fix = demo.handled[i];
            if (!fix.matched)
                continue;
            ++matched;
            if (!routeIds.count(fix.linkId))
                continue;
            ++onRoute;
            const auto found =
                std::find(route.ids.begin() + routePosition, route.ids.end(), fix.linkId);
            inOrder = inOrder && found != route.ids.end();
            if (found != route.ids.end())
                routePosition = static_cast<size_t>(found - route.ids.begin());
        }
        EXPECT_GE(matched, (demo.handled.size() - 5) * 95 / 100);
        EXPECT_GE(onRoute, matched * 95 / 100);
        EXPECT_TRUE(inOrder);
    }
    g_gpsInfoShm.Close();
    // The maps give the town's six classes five class values (docs/formats/map-data.md).
    EXPECT_EQ(classes, mapClasses);
    EXPECT_EQ(mapClasses.size(), 5u);
    EXPECT_TRUE(endedOnShape);
    EXPECT_TRUE(endedPastStraight);
}

TEST_F(RouteDemoTest, RoutesThatCannotBeFollowedEndWithoutReadingPastThem) {
    // Each spoils the route as a reload or a damaged record could; under the
    // sanitizers a read past the route list or a link's points shows.
    // Every position stays on the route, or (a destination index that is no longer
    // right) inside the roundabout, whose other points lie much further away.
    const struct {
        const char* name;
        std::function<void(CRouter&)> spoil;
        double offsetFeet;
    } cases[] = {
        {"passed-over entries end the list",
         [](CRouter& r) {
             for (int32_t i = std::max(0, r.routeCount - 2); i < r.routeCount; ++i)
                 r.routeList[i].chunk = nullptr;
         },
         3},
        {"no entry can be followed",
         [](CRouter& r) {
             for (int32_t i = 0; i < r.routeCount; ++i)
                 r.routeList[i].chunk = nullptr;
         },
         3},
        {"a start index past the start link's points", [](CRouter& r) { r.startSegment = 5000; },
         3},
        {"a destination index past the last link's points",
         [](CRouter& r) { r.destSegment = 5000; }, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RouteRoundTheRoundabout();
        ASSERT_TRUE(router_->state & kRouterRouteState);
        ASSERT_GT(router_->FindStartLink()->GetShapePointCount(), 0u);
        const RouteLinks route = ReadRoute(*router_);
        c.spoil(*router_);
        g_trackSim.Start();
        int steps = 0;
        while (g_trackSim.State().routeIndex < router_->routeCount && steps < 1000) {
            g_trackSim.Step();
            ++steps;
            const MapPoint p = g_trackSim.PublishedPosition();
            ASSERT_TRUE(std::isfinite(p.latitude) && std::isfinite(p.longitude));
            ASSERT_LT(route.path.Offset(p), c.offsetFeet) << "step " << steps;
        }
        EXPECT_EQ(g_trackSim.State().routeIndex, router_->routeCount);
        // The next step ends the demonstration and tells the feed thread to stop.
        EXPECT_NE(WaitForSingleObject(receiver_.StopEvent(), 0), WAIT_OBJECT_0);
        g_trackSim.Step();
        EXPECT_EQ(WaitForSingleObject(receiver_.StopEvent(), 0), WAIT_OBJECT_0);
        receiver_.Close();
    }
}

double ProcessCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

TEST_F(RouteDemoTest, NoDelayWaitsForTheViewWithoutSpinning) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    ASSERT_TRUE(Route(Mainland(0.2, 0.2), Mainland(0.8, 0.8), kRouteQuickest));
    // The view replays but does not take its messages: the first fix stays pending.
    view_.SetReplayFlag(TRUE);
    g_trackSim.Start();
    ASSERT_EQ(receiver_.StartSimulationFeed(), 0);
    for (int i = 0; i < 2000 && platform::InterlockedTarget(&g_pendingFixPosts).load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 1);
    const double before = ProcessCpuMilliseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double used = ProcessCpuMilliseconds() - before;
    // A feed thread polling without sleeping would take the whole half second.
    EXPECT_LT(used, 150.0);
    EXPECT_TRUE(receiver_.IsWorkerRunning());
    receiver_.Close();
    view_.Pump();
    EXPECT_EQ(view_.newFixMessages.load(), 1);
    EXPECT_EQ(view_.demoEndedMessages.load(), 1);
}

// A long "PlaybackDelay" paces the feed in slices that see the stop: closing the
// receiver ends the feed thread at once, long before the close's stop wait.
TEST_F(RouteDemoTest, ALongDelayEndsAtTheClose) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 40000);
    ASSERT_TRUE(Route(Mainland(0.2, 0.2), Mainland(0.8, 0.8), kRouteQuickest));
    view_.SetReplayFlag(TRUE);
    g_trackSim.Start();
    ASSERT_EQ(receiver_.StartSimulationFeed(), 0);
    // The view takes the first fix; the feed then waits out the delay.
    for (int i = 0; i < 2000 && view_.newFixMessages.load() == 0; ++i) {
        view_.Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(view_.newFixMessages.load(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    receiver_.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(receiver_.IsWorkerRunning());
    view_.Pump();
    EXPECT_EQ(view_.demoEndedMessages.load(), 1);
}

}  // namespace
}  // namespace position_test
