// Where a point falls on a link, whether a point lies inside the map, and the
// point-to-segment projection that the map matcher and the nearest-link searches
// share. Flat distances are taken on (longitude x cos(latitude), latitude) in
// degrees, compared squared.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/map_records.h"

class CMapDatabase;

// A point of the flat frame: x = longitude x cos(latitude), y = latitude.
struct FlatPoint {
    FLOAT x = 0;
    FLOAT y = 0;
};

// The squared distance from `point` to the segment (x1, y1)-(x2, y2), with the
// nearest point of the segment (the perpendicular foot, or the nearer end) in
// footX, footY. A segment of length 0 answers its start.
FLOAT ProjectPointOnSegment(const FlatPoint& point, FLOAT x1, FLOAT y1, FLOAT x2, FLOAT y2,
                            FLOAT* footX, FLOAT* footY);

// Which end of the link a point is, as the router counts shape points: -1 for a
// link without shape points, 0 when the point is exactly the from-node's position,
// else the link's shape point count.
int32_t MatchLinkEnd(const MapLink& link, const MapPoint& point);

// 1 when the position lies within layer 0's grid bounds, edges included, else 0.
int IsInsideMapBounds(const CMapDatabase& database, FLOAT latitude, FLOAT longitude);
