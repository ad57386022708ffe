#include "tests/shell/town_route.h"

#include <algorithm>

#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/main_view.h"
#include "tests/route/route_test_maps.h"

namespace shell_test {

MapPoint TownPoint(double east, double north) {
    MapPoint low{90, 180}, high{-90, -180};
    for (const discmaker::Node& node : route_test::RouteTown().nodes) {
        low.latitude = std::min<FLOAT>(low.latitude, node.position.lat);
        low.longitude = std::min<FLOAT>(low.longitude, node.position.lon);
        high.latitude = std::max<FLOAT>(high.latitude, node.position.lat);
        high.longitude = std::max<FLOAT>(high.longitude, node.position.lon);
    }
    return {static_cast<FLOAT>(low.latitude + north * (high.latitude - low.latitude)),
            static_cast<FLOAT>(low.longitude + east * (high.longitude - low.longitude))};
}

bool RouteAcrossTown(CMainView& view, int noGuidance, MapPoint* start) {
    if (!g_router)
        return false;
    const LinkSnap to = SnapToNearestLink(g_mapDatabase, TownPoint(0.55, 0.6), 1000);
    if (!to.Found())
        return false;
    MapLink toLink = *to.link;
    LinkSnap from = SnapToNearestLink(g_mapDatabase, TownPoint(0.45, 0.4), 1000);
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
    return (g_router->state & kRouterRouteState) != 0;
}

}  // namespace shell_test
