#include "pathlume/position/travel_direction.h"

#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/position/fix_source.h"

CTravelDirection g_travelDirection;

namespace {

bool NodeHoldsLink(const MapNode* node, const MapLink* link) {
    if (!node)
        return false;
    const MapLink* const* slots = node->Slots();
    for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
        if (slots[s] == link)
            return true;
    }
    return false;
}

}  // namespace

void CTravelDirection::Reset() {
    state = kTravelUnknown;
    link = nullptr;
}

void CTravelDirection::Update() {
    MapLink* current = g_vehicleLocation.GetLink(true);
    if (!GetFixSource().FixValid() || !current) {
        state = kTravelUnknown;
        link = current;
        return;
    }
    const MapLocation& at = g_vehicleLocation;
    const MapPoint point{at.lat, at.cosLat != 0 ? at.scaledLon / at.cosLat : at.scaledLon};
    const int32_t shapeIndex =
        at.segment == MapLocation::kNoSegment ? -1 : static_cast<int32_t>(at.segment);
    const FLOAT d = DistanceAlongLink(*current, true, shapeIndex, point);
    if (!link) {
        state = kTravelUnknown;
    } else if (link == current) {
        if (d > distance + kMinMove)
            state = kTravelForward;
        else if (d < distance - kMinMove)
            state = kTravelBackward;
    } else if (NodeHoldsLink(current->fromNode, link)) {
        state = kTravelForward;
    } else if (NodeHoldsLink(current->toNode, link)) {
        state = kTravelBackward;
    } else {
        state = kTravelUnknown;
    }
    distance = d;
    link = current;
}
