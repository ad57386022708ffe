// Geodesic helpers and distance text: great-circle distance and bearing, the NMEA
// coordinate conversion, the side of a link a point lies on, an approximate turn
// angle and the distance text of every screen. Angles are radians. The comparison of
// place and street names comes with it from the foundation (name_text.h).
#pragma once

#include <cstddef>

#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/map_records.h"

// The earth's radius on the map's sphere.
inline constexpr double kEarthRadiusMiles = 3958.73926185;
inline constexpr double kEarthRadiusKm = 6370.97327862;

// Central angle between two points (haversine), 0 to pi.
FLOAT GeoDistance(const MapPoint& p1, const MapPoint& p2);
// Initial bearing from p1 to p2, 0 to 2 pi clockwise from north.
FLOAT GeoBearing(const MapPoint& p1, const MapPoint& p2);
// An NMEA field (ddmm.mmmm or dddmm.mmmm) in degrees; 0 for a field that is no number.
FLOAT ParseNmeaCoordinate(const char* text);
// +1 when the point lies left of shape segment `segment` of the link, -1 right, 0 on it.
int PointSideOfLink(const MapLink* link, int segment, const MapPoint& point);
// The turn at B from the direction A->B into B->C: right positive, -3pi/4 to 3pi/4.
FLOAT ApproxTurnAngle(const MapPoint& a, const MapPoint& b, const MapPoint& c);

// Room for any distance text.
inline constexpr size_t kDistanceTextSize = 48;
// The distance (radians of arc) as "%d ft", "%d yd", "%0.1f mi", "%d m", "%0.1f km"...
// by the unit options of g_options; returns buffer.
char* FormatDistance(FLOAT angle, char* buffer, size_t size = kDistanceTextSize);
