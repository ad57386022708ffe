#include "pathlume/guidance/route_position.h"

#include <algorithm>
#include <cmath>

#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/route_costs.h"

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

constexpr uint32_t kAttrRoundaboutLink = 0x400000;
constexpr uint32_t kAttrConnectorLink = 0x10000000;
constexpr double kDegreesPerRadian = 57.29577951308232;

// Whether the link can be driven away from the node.
bool DrivableAway(const MapLink& link, const MapNode* node) {
    const uint32_t direction = link.attributes & kAttrDirectionMask;
    if (!(link.attributes & kAttrRoutableKinds) || link.IsDead()) {
        return false;
    }
    return direction == kAttrDirectionMask ||
           (direction == kAttrForward && link.fromNode == node) ||
           (direction == kAttrBackward && link.toNode == node);
}

// The link by which the route arrives at entry i's node: the previous entry's
// leaving link, or the start link at the first node.
const MapLink* ArrivingLink(const CRouter& r, int32_t i) {
    return i > 0 ? LeavingLink(r.routeList[i - 1]) : r.routeStartLink;
}

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
    const double* speeds = metric ? kCategorySpeedKmh : kCategorySpeedMph;
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
    if (r.RunsAlongOneLink()) {
        // Along the start link to the destination: the arrival is next while the
        // vehicle is on that link.
        if (!r.routeStartLink || link.linkId != r.routeStartLink->linkId) {
            return p;
        }
        const MapNode* behind = r.destPart == 1 ? link.fromNode : link.toNode;
        p.maneuver = r.maneuverCount - 1;
        p.toManeuver = std::max(0.0f, ToEnd(link, r.destSegment, r.destPoint, behind, true) -
                                          ToEnd(link, segment, point, behind, true));
        p.toLinkEnd = p.toManeuver;
        p.onRoute = true;
        p.remaining = p.toManeuver;
        return p;
    }
    if (!r.routeList || r.routeCount <= 0 || !r.maneuvers || r.maneuverCount <= 0) {
        return p;
    }
    const int32_t last = r.maneuverCount - 1;
    const MapNode* firstNode = nullptr;
    LeavingLink(r.routeList[0], &firstNode);
    const RouteEntry& lastEntry = r.routeList[r.routeCount - 1];
    const MapNode* lastNode = nullptr;
    LeavingLink(lastEntry, &lastNode);
    // A route that leaves its start link and comes back to it for the destination is
    // on its start part until the vehicle has left the link.
    const bool startIsDestination =
        r.routeStartLink && r.routeStartLink->linkId == lastEntry.linkId;
    if (link.linkId == lastEntry.linkId && lastNode && !(onStartLink && startIsDestination)) {
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

int RoundaboutExitNumber(const CRouter& r, int32_t m) {
    if (m < 0 || m >= r.maneuverCount || !r.routeList) {
        return 0;
    }
    int32_t i = r.maneuvers[m].routeIndex;
    if (i < 0 || i >= r.routeCount) {
        return 0;
    }
    if ((r.routeList[i].attributes & kAttrConnectorLink) && i + 1 < r.routeCount) {
        ++i;
    }
    if (!(r.routeList[i].attributes & kAttrRoundaboutLink)) {
        return 0;
    }
    // Walk the roundabout's nodes until the route leaves it; each drivable road off
    // it on the way is an exit not taken.
    int passed = 0;
    for (int32_t j = i + 1; j < r.routeCount; ++j) {
        const MapNode* node = nullptr;
        const MapLink* leaving = LeavingLink(r.routeList[j], &node);
        const MapLink* arriving = LeavingLink(r.routeList[j - 1]);
        if (!leaving || !arriving) {
            return 0;
        }
        if (!(r.routeList[j].attributes & kAttrRoundaboutLink)) {
            return passed + 1;
        }
        for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
            const MapLink* side = node->Slots()[s];
            if (side && side->linkId != leaving->linkId && side->linkId != arriving->linkId &&
                !(side->attributes & kAttrRoundaboutLink) && DrivableAway(*side, node)) {
                ++passed;
            }
        }
    }
    // The route ends on the roundabout: the destination lies at the next exit.
    return passed + 1;
}

bool HasSameSideTurnBefore(const CRouter& r, int32_t fromEntry, int32_t m) {
    if (m < 0 || m >= r.maneuverCount || !r.routeList) {
        return false;
    }
    int side = 0;  // 1 right, -1 left
    switch (r.maneuvers[m].kind) {
        case kManeuverExitRight:
        case kManeuverTurnRight:
        case kManeuverBearRight:
        case kManeuverKeepRight:
        case kManeuverSharpRight:
        case kManeuverFreewayRight:
        case kManeuverFreewayBearRight:
            side = 1;
            break;
        case kManeuverExitLeft:
        case kManeuverTurnLeft:
        case kManeuverBearLeft:
        case kManeuverKeepLeft:
        case kManeuverSharpLeft:
        case kManeuverFreewayLeft:
        case kManeuverFreewayBearLeft:
            side = -1;
            break;
        default:
            return false;
    }
    const int32_t to = std::min(r.maneuvers[m].routeIndex, r.routeCount - 1);
    for (int32_t i = std::max(fromEntry + 1, 0); i < to; ++i) {
        const MapNode* node = nullptr;
        const MapLink* leaving = LeavingLink(r.routeList[i], &node);
        const MapLink* arriving = ArrivingLink(r, i);
        if (!leaving || !arriving || node->UseCount() <= 2) {
            continue;
        }
        const MapPoint before = GetPointNextToNode(arriving, node);
        for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
            const MapLink* other = node->Slots()[s];
            if (!other || other->linkId == leaving->linkId || other->linkId == arriving->linkId ||
                !DrivableAway(*other, node)) {
                continue;
            }
            const double degrees = std::round(
                ApproxTurnAngle(before, node->position, GetPointNextToNode(other, node)) *
                kDegreesPerRadian);
            if (degrees * side > 0 && std::fabs(degrees) < 135) {
                return true;
            }
        }
    }
    return false;
}
