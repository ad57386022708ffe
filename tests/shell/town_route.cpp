#include "tests/shell/town_route.h"

#include <chrono>
#include <thread>

#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/main_view.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {

MapPoint TownPoint(double east, double north) {
    const discmaker::LatLon point = route_test::RouteTown().ExtentPoint(east, north);
    return {static_cast<FLOAT>(point.lat), static_cast<FLOAT>(point.lon)};
}

void DriveUntilRouteEnds(int wallSeconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(wallSeconds);
    while (g_router && (g_router->state & kRouterRouteState) &&
           std::chrono::steady_clock::now() < limit) {
        platform::AdvanceClockAndPump(20);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
}

bool RouteAcrossTown(CMainView& view, int noGuidance, MapPoint* start) {
    return RouteBetween(view, TownPoint(0.45, 0.4), TownPoint(0.55, 0.6), noGuidance, start);
}

bool RouteBetween(CMainView& view, const MapPoint& fromPoint, const MapPoint& toPoint,
                  int noGuidance, MapPoint* start) {
    if (!g_router)
        return false;
    const LinkSnap to = SnapToNearestLink(g_mapDatabase, toPoint, 1000);
    if (!to.Found())
        return false;
    MapLink toLink = *to.link;
    LinkSnap from = SnapToNearestLink(g_mapDatabase, fromPoint, 1000);
    if (!from.Found())
        return false;
    PlaceVehicleAt(g_mapDatabase, from.link, static_cast<int32_t>(from.segment), from.point);
    view.SetPanMode(FALSE);
    // The placing loaded chunks: the snap is taken again on what is loaded now.
    from = SnapToNearestLink(g_mapDatabase, from.point, 1000);
    if (!from.Found())
        return false;
    MapLink fromLink = *from.link;
    if (start)
        *start = from.point;
    g_router->CalculateRoute(&fromLink, from.segment, from.point, SnappedTarget(to, &toLink), 0,
                             noGuidance);
    // The new route's wait-for-GPS phrase moves the clock before the caller's steps.
    WaitForVoiceToEnd();
    return (g_router->state & kRouterRouteState) != 0;
}

}  // namespace shell_test
