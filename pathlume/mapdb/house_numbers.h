// House numbers along a link: whether a link's address record carries a number and
// on which side, where on the link a number lies, which numbers lie at a point of
// the link, and the distances along the link's shape that both need. Distances are
// radians of arc, as the link's length; shape segment k runs from shape point k - 1
// (the from-node for k = 0) to shape point k (the to-node for the last).
#pragma once

#include <cstdint>

#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_records.h"

// Sides of a street, as the address records and the destination lists number them.
inline constexpr int kSideEither = 0;
inline constexpr int kSideLeft = 1;
inline constexpr int kSideRight = -1;

// True when the side (kSideLeft, or any other value for the right) has numbers for
// addresses, its parity admits `number` and the number lies within its range in
// either order.
bool SideCarriesNumber(const LinkInfoRecord& record, int side, int32_t number);

// 1 when the record's link carries the number (side kSideLeft or kSideRight; a
// number below 0 matches anything with kSideEither), 0 when not, -1 when needRange
// is set and neither side has a range. A place above 0 must be one of the record's
// six place references, else 0.
int MatchHouseNumberOnLink(int32_t number, const LinkInfoRecord& record, int* side, int32_t place,
                           bool needRange);

// Where house number `number` lies on the link, on the side's range (number below
// 0: the link's end): the shape segment (-1 for a link without shape points) and
// the point; exact is set when the range is a single number (the link's end), else
// cleared. The point stays on the link. 0, or 1 when the link's record cannot be
// read (from g_linkInfo).
int PositionForHouseNumber(const MapLink& link, int32_t number, int side, int32_t* shapeIndex,
                           MapPoint* point, int* exact);
int PositionForHouseNumber(const MapLink& link, const LinkInfoRecord& record, int32_t number,
                           int side, int32_t* shapeIndex, MapPoint* point, int* exact);

// The left and right house numbers at a point of shape segment `shapeIndex`, each
// -1 when that side has no numbers for addresses and always within the side's
// range. 0, or 1 when the link's record cannot be read (from g_linkInfo).
int HouseNumbersAtPoint(const MapLink& link, int32_t shapeIndex, const MapPoint& point,
                        int32_t* left, int32_t* right);
int HouseNumbersAtPoint(const MapLink& link, const LinkInfoRecord& record, int32_t shapeIndex,
                        const MapPoint& point, int32_t* left, int32_t* right);

// The distance along the link's shape from its start (fromStart) or its end to a
// point of shape segment `shapeIndex` (-1: the link has no shape points).
FLOAT DistanceAlongLink(const MapLink& link, bool fromStart, int32_t shapeIndex,
                        const MapPoint& point);

// The length of the shape from the from-node to shape point index - 1 (fromStart),
// or from the to-node back to shape point index; longitudes scaled by cosLat.
FLOAT ShapeLength(const MapLink& link, bool fromStart, int32_t index, double cosLat);
