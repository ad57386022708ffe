// Questions about a chosen place: the street nearest to a point and what it is
// called (DescribePosition, which can also make the point the current position or
// a route's destination), and the end of a link at which a named street crosses.
#pragma once

#include <array>
#include <cstdint>

#include "pathlume/mapdb/map_records.h"

class CMapDatabase;

// How many links that were nearest in turn a search remembers.
inline constexpr int kNearestHistorySize = 10;
// The result of DescribePosition when no link was found.
inline constexpr int32_t kNoLinkFound = -2;

struct NearestLink {
    MapLink* nearest = nullptr;  // null: no link within the box
    MapLink* chosen = nullptr;   // the nearest, or the earlier one that holds the number
    int32_t segment = -1;        // the nearest link's shape segment
    MapPoint point;              // on the nearest link
    FLOAT distanceDegrees = 0;   // from the asked point, in degrees of latitude
    int side = 0;                // the side holding the number on the chosen link, or 0
    // The links that were nearest in turn, the nearest first; null past the last.
    std::array<MapLink*, kNearestHistorySize> history{};
};

// Loads the area around the point in layer `layerCode` and finds the nearest link
// of the roads up to class 0x140 within 2,500 ft, in that layer and then in layer
// 0; none (a null nearest link) when no road lies that near. With a positive house number, the most
// recent of the links that were nearest in turn that carries it (on `side` when not 0) becomes the
// chosen link.
NearestLink FindNearestLinkAt(CMapDatabase& database, int layerCode, const MapPoint& position,
                              int32_t houseNumber, int side);

// The street nearest to the point, described in the main view's description text.
// Mode 0 makes the point a destination (routeSwitch: the itinerary's, and a route
// is requested from the vehicle's matched position), mode 1 the vehicle's current
// position; addSwitch adds it to the recent destinations (mode 1 or routeSwitch)
// or the favourites. The chosen link's id, or kNoLinkFound.
int32_t DescribePosition(int layerCode, const MapPoint& position, int unused, int mode, int side,
                         const char* houseText, BOOL routeSwitch, BOOL addSwitch);

// The end of `link` (id `linkId`) at which a link of street `nameId` joins: the
// link as found on the loaded map, with the end's position and its shape index as
// the router counts it (0 the from-node, the shape point count the to-node, -1 for
// a link without shape points). Null, with shape index -1, when neither end has
// that street.
MapLink* FindCrossStreetEnd(CMapDatabase& database, int layerCode, const MapLink& link,
                            int32_t linkId, uint32_t nameId, MapPoint* position,
                            int32_t* shapeIndex);
