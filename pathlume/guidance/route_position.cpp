#include "pathlume/guidance/route_position.h"

#include <algorithm>

#include "pathlume/mapdb/house_numbers.h"

namespace {

// Untrusted entries add nothing to a sum.
const MapLink* LeavingLink(const RouteEntry& entry, const MapNode** node = nullptr) {
    return RouteEntryLink(entry, node);
}

// Lengths of the leaving links of entries [from, to).
FLOAT EntryLengths(const CRouter& r, int32_t from, int32_t to) {
    FLOAT sum = 0;
    for (int32_t i = std::max(from, 0); i < std::min(to, r.routeCount); ++i) {
        if (const MapLink* l = LeavingLink(r.routeList[i])) {
            sum += l->Length();
        }
    }
    return sum;
}

// The route index a maneuver happens at, the arrival past every entry.
int32_t ManeuverEntry(const CRouter& r, int32_t m) {
    const int32_t index = r.maneuvers[m].routeIndex;
    return index < 0 ? r.routeCount : index;
}

// From the node of entry `nodeEntry` (routeCount: the destination) to maneuver m.
FLOAT NodeToManeuver(const CRouter& r, int32_t nodeEntry, int32_t m) {
    const int32_t target = ManeuverEntry(r, m);
    if (target >= r.routeCount) {
        // The last entry leaves by the destination link, of which only a part is driven.
        return EntryLengths(r, nodeEntry, r.routeCount - 1) + r.destPartLength;
    }
    return EntryLengths(r, nodeEntry, target);
}

// The distance from the point to the link's end at `node` (or its other end).
FLOAT ToEnd(const MapLink& link, uint32_t segment, const MapPoint& point, const MapNode* node,
            bool towardNode) {
    const bool atFrom = link.fromNode == node;
    const bool endIsFrom = towardNode ? atFrom : !atFrom;
    const int32_t shape = link.GetShapePointCount() ? static_cast<int32_t>(segment) : -1;
    return DistanceAlongLink(link, endIsFrom, shape, point);
}

constexpr double kCategoryMph[8] = {80, 65, 55, 41, 31, 21, 6, 5};
constexpr double kCategoryKmh[8] = {130, 105, 90, 65, 50, 35, 10, 8};
constexpr double kEarthRadiusMiles = 3958.73926185;
constexpr double kEarthRadiusKm = 6370.97327862;

}  // namespace

const MapLink* RouteEntryLink(const RouteEntry& entry, const MapNode** node) {
    const MapNode* at = ResolveNodeRef(entry);
    if (node) {
        *node = at;
    }
    return at ? at->Slots()[entry.Slot()] : nullptr;
}

FLOAT TimeToGo(const CRouter& r, const RoutePosition& p, const MapLink& link, bool metric,
               FLOAT speedFactor) {
    const double* speeds = metric ? kCategoryKmh : kCategoryMph;
    const uint32_t own = link.attributes & kAttrSpeedMask;
    bool ownRun = true;
    auto hours = [&](double length, uint32_t category) {
        ownRun = ownRun && category == own;
        return length / speeds[category] * (ownRun ? speedFactor : 1.0);
    };
    double sum = hours(p.toLinkEnd, own);
    if (p.entry < r.routeCount - 1) {
        for (int32_t i = p.entry + 1; i < r.routeCount - 1; ++i) {
            if (const MapLink* l = LeavingLink(r.routeList[i])) {
                sum += hours(l->Length(), l->attributes & kAttrSpeedMask);
            }
        }
        sum += hours(r.destPartLength, r.routeList[r.routeCount - 1].attributes & kAttrSpeedMask);
    }
    return static_cast<FLOAT>(sum * (metric ? kEarthRadiusKm : kEarthRadiusMiles));
}

RoutePosition LocateOnRoute(const CRouter& r, const MapLink& link, uint32_t segment,
                            const MapPoint& point, bool onStartLink, int32_t fromEntry) {
    RoutePosition p;
    if (!r.routeList || r.routeCount <= 0 || !r.maneuvers || r.maneuverCount <= 0) {
        return p;
    }
    const int32_t last = r.maneuverCount - 1;
    const MapNode* firstNode = nullptr;
    LeavingLink(r.routeList[0], &firstNode);
    const RouteEntry& lastEntry = r.routeList[r.routeCount - 1];
    const MapNode* lastNode = nullptr;
    LeavingLink(lastEntry, &lastNode);
    if (link.linkId == lastEntry.linkId && lastNode) {
        // On the destination link the arrival is next, even at the start.
        p.entry = r.routeCount - 1;
        p.maneuver = last;
        p.toManeuver =
            std::max(0.0f, r.destPartLength - ToEnd(link, segment, point, lastNode, true));
        p.toLinkEnd = p.toManeuver;
    } else if (onStartLink && r.routeStartLink && link.linkId == r.routeStartLink->linkId &&
               firstNode) {
        p.entry = -1;
        p.maneuver = 0;
        p.toLinkEnd = ToEnd(link, segment, point, firstNode, true);
        p.toManeuver = p.toLinkEnd + NodeToManeuver(r, 0, 0);
    } else {
        int32_t found = -1;
        const MapNode* node = nullptr;
        for (int32_t i = std::max(fromEntry, 0); i < r.routeCount - 1 && found < 0; ++i) {
            if (r.routeList[i].linkId == link.linkId && LeavingLink(r.routeList[i], &node)) {
                found = i;
            }
        }
        if (found < 0) {
            return p;
        }
        p.entry = found;
        p.maneuver = last;
        for (int32_t m = 0; m < last; ++m) {
            if (ManeuverEntry(r, m) > found) {
                p.maneuver = m;
                break;
            }
        }
        p.toManeuver =
            ToEnd(link, segment, point, node, false) + NodeToManeuver(r, found + 1, p.maneuver);
    }
    p.onRoute = true;
    p.remaining = p.toManeuver;
    for (int32_t m = p.maneuver + 1; m < r.maneuverCount; ++m) {
        p.remaining += r.maneuvers[m].distance;
    }
    return p;
}
