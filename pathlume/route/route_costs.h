// The pieces of the link and turn costs that the search and the tests share: the
// speed tables and the turn penalty.
#pragma once

#include "platform/kernel/wintypes.h"

// Hours per mile and per kilometre by speed category 0-7 (1 / speed).
inline constexpr FLOAT kSpeedTableImperial[8] = {1.0f / 90,    1.0f / 72.5f, 1.0f / 59.5f,
                                                 1.0f / 47.5f, 1.0f / 35.5f, 1.0f / 25.5f,
                                                 1.0f / 13,    1.0f / 5};
inline constexpr FLOAT kSpeedTableMetric[8] = {1.0f / 145, 1.0f / 117, 1.0f / 96, 1.0f / 76,
                                               1.0f / 57,  1.0f / 41,  1.0f / 21, 1.0f / 8};

// Octant approximation of the angle of (x, y) in degrees, -180 to 180.
FLOAT ApproxBearing(FLOAT x, FLOAT y);
// The turn penalty in penalty units for a turn angle in degrees (right positive).
FLOAT TurnPenaltyUnits(FLOAT angle);
