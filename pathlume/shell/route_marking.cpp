#include "pathlume/shell/route_marking.h"

#include <algorithm>
#include <cstdio>

#include "pathlume/guidance/route_position.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/shell/main_view.h"

namespace {

constexpr double kMilesPerRadian = 3958.73926185;
constexpr double kKilometresPerRadian = 6370.97327862;
// The link's bit 20, which keeps it out of the marking.
constexpr uint32_t kAttrNotAvoided = 0x100000;
// Classes up to this one go into the avoid list as well.
constexpr uint32_t kLargestListedClass = 3;
constexpr size_t kRoadNameChars = 28;

std::string Format(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

bool ApplyRouteOptions(CRouter& router, int method, uint32_t optionBits) {
    const uint32_t stateBefore = router.state;
    const int32_t methodBefore = router.routeAlgo;
    if (method >= kRouteShortest && method <= kRouteLocalRoads)
        router.SetRouteAlgo(method);
    // Only the option bits: the rest of the state is the router's as it is now (a
    // route may have gone or come while the dialog was open).
    router.SetRouteFlags((router.state & ~kRouteFlagsMask) | (optionBits & kRouteFlagsMask));
    const bool changed = router.state != stateBefore || router.routeAlgo != methodBefore;
    if (!(router.state & kRouterRouteState) || !changed)
        return false;
    router.RequestRecalc(0, 0);
    return true;
}

DetourChoices ComputeDetourChoices(FLOAT routeDistance, DWORD options) {
    const bool metric = (options & kOptionMetric) != 0;
    const double perRadian = metric ? kKilometresPerRadian : kMilesPerRadian;
    const double length = routeDistance * perRadian;
    double shown[3];
    if (length > 8.0)
        shown[0] = 2.0;
    else
        shown[0] = length / 4;
    shown[1] = length / 2;
    shown[2] = length;
    DetourChoices choices;
    for (int i = 0; i < 3; ++i) {
        choices.distances[i] = static_cast<FLOAT>(shown[i] / perRadian);
        if (length >= 4.0) {
            choices.captions[i] = Format(metric ? "%.0f km" : "%.0f mi", shown[i]);
        } else if (shown[i] > 0.2) {
            choices.captions[i] = Format(metric ? "%.1f km" : "%.1f mi", shown[i]);
        } else if (metric) {
            choices.captions[i] = Format("%.0f m", shown[i] * 1000);
        } else if (options & kOptionYards) {
            choices.captions[i] = Format("%.0f yd", shown[i] * 5280 / 3);
        } else {
            choices.captions[i] = Format("%.0f ft", shown[i] * 5280);
        }
    }
    return choices;
}

MapLink* EntryLink(const RouteEntry& entry) {
    // The map's links are the router's to mark; the lookup only reads.
    return const_cast<MapLink*>(RouteEntryLink(entry));
}

bool IsAvoidCandidate(const MapLink& link) {
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(link.linkId, record, false) != 0)
        return true;
    // Decided: the record's field tested is its count of names, because a link the
    // driver can avoid by name is one whose record names a road.
    return record.ItemCount() != 0 && !(link.attributes & kAttrNotAvoided);
}

bool MarkAvoided(const RouteEntry& entry, MapLink& link) {
    if (!IsAvoidCandidate(link))
        return false;
    link.attributes |= kAttrAvoidMark;
    if (((link.attributes & kAttrClassMask) >> 6) <= kLargestListedClass)
        g_avoidList.Add(entry);
    return true;
}

int MarkDetourAhead(CRouter& router, FLOAT avoidDistance) {
    if (!router.routeList || !router.maneuvers || router.currentManeuver < 0 ||
        router.currentManeuver >= router.maneuverCount - 1)
        return 0;
    const int32_t from = router.currentManeuver > 0
                             ? std::max(router.maneuvers[router.currentManeuver - 1].routeIndex, 0)
                             : 0;
    FLOAT walked = 0;
    int marked = 0;
    for (int32_t i = from; i < router.routeCount; ++i) {
        MapLink* link = EntryLink(router.routeList[i]);
        if (!link)
            continue;
        walked += link->Length();
        if (walked <= avoidDistance && MarkAvoided(router.routeList[i], *link))
            ++marked;
    }
    return marked;
}

int MarkRouteRange(CRouter& router, int32_t from, int32_t to) {
    int marked = 0;
    for (int32_t i = std::max(from, 0); router.routeList && i < std::min(to, router.routeCount);
         ++i) {
        if (MapLink* link = EntryLink(router.routeList[i]);
            link && MarkAvoided(router.routeList[i], *link))
            ++marked;
    }
    return marked;
}

bool RecalculateAvoiding(CRouter& router, bool avoid) {
    router.SetAvoidMarks(avoid ? 1 : 0);
    // Decided: without a route there is nothing to calculate again, because the
    // request would route to the destination of a route that is gone.
    if (!(router.state & kRouterRouteState))
        return false;
    router.RequestRecalc(0, 0);
    return true;
}

int32_t FindRouteEntryOfLink(const CRouter& router, const MapLink* current) {
    if (!current || !router.routeList)
        return 0;
    for (int32_t i = 0; i < router.routeCount; ++i) {
        const MapLink* link = RouteEntryLink(router.routeList[i]);
        if (link && link->linkId == current->linkId)
            return i;
    }
    return 0;
}

std::vector<RoutedRoad> GroupRoadRows(const std::vector<RoutedRoad>& namedEntries) {
    std::vector<RoutedRoad> rows;
    const std::string* previous = nullptr;
    for (const RoutedRoad& entry : namedEntries) {
        if (entry.name.empty() || (previous && *previous == entry.name))
            continue;
        previous = &entry.name;
        std::string text = entry.name;
        ShortenRoadName(text.data(), kRoadNameChars);
        rows.push_back({entry.routeIndex, text.c_str()});
    }
    return rows;
}

std::vector<RoutedRoad> ListRoutedRoads(const CRouter& router, int32_t start) {
    std::vector<RoutedRoad> named;
    for (int32_t i = std::max(start, 0); router.routeList && i < router.routeCount; ++i) {
        const MapLink* link = RouteEntryLink(router.routeList[i]);
        if (!link || (link->attributes & kAttrNotAvoided))
            continue;
        LinkInfoRecord record;
        if (g_linkInfo.ReadRecord(link->linkId, record, true) != 0 || record.ItemCount() == 0)
            continue;
        char name[kStreetWordSize * 4] = {};
        GetLinkStreetName(g_linkInfo, link->linkId, link->attributes, kAllNames, name, sizeof name,
                          false);
        named.push_back({i, name});
    }
    return GroupRoadRows(named);
}
