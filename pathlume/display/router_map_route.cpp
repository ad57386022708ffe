#include "pathlume/display/router_map_route.h"

#include <memory>

bool CRouterMapRoute::ResolveEntry(int32_t index, RouteStep* step) {
    if (!step || !router_.routeList || index < 0 || index >= router_.routeCount)
        return false;
    const RouteEntry& entry = router_.routeList[index];
    // Refuses an entry of a reduced chunk made on the full network, and one whose
    // chunk record a moved window gave to another cell.
    MapNode* node = ResolveNodeRef(entry);
    if (!node || entry.Slot() >= node->SlotCapacity())
        return false;
    MapLink* link = node->Slots()[entry.Slot()];
    if (!link)
        return false;
    step->node = node;
    step->link = link;
    return true;
}

int32_t CRouterMapRoute::GetRouteEntryCount() {
    return (router_.state & kRouterRouteState) && router_.routeList ? router_.routeCount : 0;
}

MapLink* CRouterMapRoute::GetStartLink() {
    // As the destination link: only while the route it started is held.
    return (router_.state & kRouterRouteState) ? router_.FindStartLink() : nullptr;
}

int32_t CRouterMapRoute::GetManeuverCount() {
    return router_.maneuvers ? router_.maneuverCount : 0;
}

int32_t CRouterMapRoute::GetManeuverRouteIndex(int32_t maneuver) {
    if (maneuver < 0 || maneuver >= GetManeuverCount())
        return -1;
    return router_.maneuvers[maneuver].routeIndex;
}

MapLink* CRouterMapRoute::GetDestinationLink() {
    // Without a route the last route's link may lie in a chunk since dropped.
    return (router_.state & kRouterRouteState) ? router_.routeDestLink : nullptr;
}

void CRouterMapRoute::ApplyAvoidMarks() {
    g_avoidList.ApplyMarks(nullptr);
}

namespace {
std::unique_ptr<CRouterMapRoute> g_routerMapRoute;
}  // namespace

void InstallRouterMapRoute(CRouter* router) {
    // The view reads the new adapter before the old one goes.
    std::unique_ptr<CRouterMapRoute> next;
    if (router)
        next = std::make_unique<CRouterMapRoute>(*router);
    SetMapRoute(next.get());
    g_routerMapRoute = std::move(next);
}
