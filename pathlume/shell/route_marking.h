// What the route dialogs do to the router, apart from their windows: the route
// options handed back, the detour's three distances and its marking of the road
// ahead, the named roads of the route that the roads-to-avoid list offers and the
// marking of the roads chosen there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pathlume/route/router.h"

// Hands the chosen method (-1: none chosen, the router's stays) and option bits
// (kRouteFlagsMask of them) to the router, which saves them; only the option bits of
// the router's state as it is now change. With a route, a change of either asks for
// a new route. True when a recalculation was asked for.
bool ApplyRouteOptions(CRouter& router, int method, uint32_t optionBits);

// The detour's three choices: the distances kept for its buttons (radians of arc)
// and their captions, from the remaining route distance in the units of the option
// word (metric, yards).
struct DetourChoices {
    FLOAT distances[3] = {};
    std::string captions[3];
};
DetourChoices ComputeDetourChoices(FLOAT routeDistance, DWORD options);

// Whether a route entry's link is one the marking avoids: its link information
// cannot be read, or it names a road and the link's bit 20 is clear.
bool IsAvoidCandidate(const MapLink& link);
// Marks a candidate link of an entry avoided: the link's avoid bit, and for the
// classes up to 3 the entry in the avoid list. False when the link is no candidate.
bool MarkAvoided(const RouteEntry& entry, MapLink& link);
// The link an entry leaves by, or null when the entry cannot be resolved.
MapLink* EntryLink(const RouteEntry& entry);

// Marks the candidate links ahead up to avoidDistance along the route, counted from
// the previous maneuver (from the start before the first). Nothing is marked when no
// maneuver lies ahead. Returns the number of links marked.
int MarkDetourAhead(CRouter& router, FLOAT avoidDistance);
// Marks the candidate links of the route entries [from, to). Returns how many.
int MarkRouteRange(CRouter& router, int32_t from, int32_t to);
// Switches the avoid marks on (or off, dropping them all) and, with a route, asks for
// a new one. True when a recalculation was asked for.
bool RecalculateAvoiding(CRouter& router, bool avoid);

// One row of the roads-to-avoid list: a named road and the route entry where it
// begins.
struct RoutedRoad {
    int32_t routeIndex;
    std::string name;
};
// The route entry whose link is the vehicle's link (by id), or 0 without one.
int32_t FindRouteEntryOfLink(const CRouter& router, const MapLink* current);
// The rows of the named entries of a route, in route order: an entry starts a row
// when its name differs from the previous row's. Names longer than 28 characters are
// cut at their last '/' while they have one.
std::vector<RoutedRoad> GroupRoadRows(const std::vector<RoutedRoad>& namedEntries);
// The rows of the route's entries from `start` on that name a road the driver can
// avoid.
std::vector<RoutedRoad> ListRoutedRoads(const CRouter& router, int32_t start);
