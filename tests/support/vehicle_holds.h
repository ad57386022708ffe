// What a test does with the vehicle before it closes the map database: the matcher
// and the matched location let their counted links go, and the vehicle is forgotten,
// so that no map block is left behind.
#pragma once

#include "pathlume/mapdb/map_records.h"
#include "pathlume/position/map_matcher.h"

namespace testing_support {

inline void ForgetVehicle(CMapMatcher& matcher) {
    matcher.ReleaseHypothesisLinks();
    MapLocation& at = g_vehicleLocation;
    if (at.link && (at.linkFlags & kLinkCounted) && (at.link->flags & kLinkHeld)) {
        at.link->flags &= static_cast<uint16_t>(~kLinkHeld);
        MapLink::Release(CountedLink::FromLink(at.link), true);
    }
    g_vehicleLocation = MapLocation{};
}

}  // namespace testing_support
