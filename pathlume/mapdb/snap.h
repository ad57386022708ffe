// The road link nearest to a point: where a route tool, a test control or the map
// statistics put a latitude and longitude onto the network.
#pragma once

#include <cstdint>
#include <limits>

#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/map_records.h"

class CMapDatabase;

// Which links a snap may answer.
enum class SnapLinks {
    kAny,       // every live link
    kRoutable,  // links a route may start or end on: a road or carpool kind
};

struct LinkSnap {
    MapLink* link = nullptr;  // null: no link within the radius
    uint32_t segment = 0;     // the link's shape segment nearest to the point
    MapPoint point;           // the nearest point of the link
    double metres = std::numeric_limits<double>::infinity();
    int layer = -1;  // 0 the overview layer, 3 the detailed route layer

    bool Found() const { return link != nullptr; }
};

// The detailed layer the snap loads; the route search reads it too.
inline constexpr int kSnapDetailedLayer = 3;

// Loads the overview cells and the detailed layer's window around the point and
// answers the link nearest to it, not farther than radiusMetres (infinite: the
// point's cell and its neighbours). Only links whose two ends are loaded nodes of
// the network count, so that the answer can be routed from and drawn whole. Of
// equally near links the first found wins: overview before detailed. The link stays
// valid until the next load or purge of the database.
LinkSnap SnapToNearestLink(CMapDatabase& database, const MapPoint& point, double radiusMetres,
                           SnapLinks which = SnapLinks::kRoutable);

// The router's target at a snapped point. `link` stands for the snapped link: a copy
// the caller keeps through the search, since a load may free the link itself (the
// router finds it again by id).
RouteTarget SnappedTarget(const LinkSnap& snap, MapLink* link);
