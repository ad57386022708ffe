// The pieces of the link and turn costs that the search and the tests share: the
// speed tables and the turn penalty.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/map_records.h"
#include "platform/kernel/wintypes.h"

class CRouter;

// Hours per mile and per kilometre by speed category 0-7 (1 / speed).
inline constexpr FLOAT kSpeedTableImperial[8] = {1.0f / 90,    1.0f / 72.5f, 1.0f / 59.5f,
                                                 1.0f / 47.5f, 1.0f / 35.5f, 1.0f / 25.5f,
                                                 1.0f / 13,    1.0f / 5};
inline constexpr FLOAT kSpeedTableMetric[8] = {1.0f / 145, 1.0f / 117, 1.0f / 96, 1.0f / 76,
                                               1.0f / 57,  1.0f / 41,  1.0f / 21, 1.0f / 8};

// Guidance's travel speeds by speed category 0-7 (the time to go, the arrival and the
// "now" distances), in mph and in km/h.
inline constexpr double kCategorySpeedMph[8] = {80, 65, 55, 41, 31, 21, 6, 5};
inline constexpr double kCategorySpeedKmh[8] = {130, 105, 90, 65, 50, 35, 10, 8};
// A link's category speed in radians of arc per second, from the table of the units
// in use: the km/h one when metric.
FLOAT CategorySpeed(const MapLink& link, bool metric);
// The arrival distance: what that speed covers in 4 seconds.
FLOAT ArrivalDistance(const MapLink& link, bool metric);

// Octant approximation of the angle of (x, y) in degrees, -180 to 180.
FLOAT ApproxBearing(FLOAT x, FLOAT y);
// The turn penalty in penalty units for a turn angle in degrees (right positive).
FLOAT TurnPenaltyUnits(FLOAT angle);

// What the costs read of a node P and of the link A (slot a) by which the search
// reached it: the same for every link the search then takes out of P, so the search
// works it out once per node. Without withTurn (a pass-through step) the turn's and
// the class transitions' parts are left out.
struct CostPlace {
    const MapNode* P = nullptr;
    uint32_t a = 0;
    const MapLink* A = nullptr;  // null when slot a is empty
    // From P to A's point next to P, in degrees (only when turns are priced).
    FLOAT dAlat = 0;
    FLOAT dAlon = 0;
    const BYTE* restrictions = nullptr;
    uint32_t restrictionCount = 0;
    bool insideLayer3 = false;
};
CostPlace MakeCostPlace(const CRouter& router, const MapNode* P, uint32_t a, bool withTurn);
