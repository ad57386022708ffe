#include "pathlume/mapdb/spatial_queries.h"

#include <algorithm>
#include <cmath>

#include "pathlume/mapdb/map_database.h"

namespace {

constexpr double kDegToRad = 0.017453292;
// Near a pole the cosine goes to 0; the flat frame keeps a width there.
constexpr double kMinCos = 1e-6;

}  // namespace

FLOAT ProjectPointOnSegment(const FlatPoint& point, FLOAT x1, FLOAT y1, FLOAT x2, FLOAT y2,
                            FLOAT* footX, FLOAT* footY) {
    const FLOAT dx = x2 - x1;
    const FLOAT dy = y2 - y1;
    const FLOAT length2 = dx * dx + dy * dy;
    // A zero-length segment has no direction: its start is the nearest point.
    const FLOAT t = length2 > 0 ? ((point.y - y1) * dy + (point.x - x1) * dx) / length2 : 0;
    if (t > 0 && t < 1) {
        *footX = x1 + t * dx;
        *footY = y1 + t * dy;
    } else if (t >= 1) {
        *footX = x2;
        *footY = y2;
    } else {
        *footX = x1;
        *footY = y1;
    }
    const FLOAT ex = *footX - point.x;
    const FLOAT ey = *footY - point.y;
    return ex * ex + ey * ey;
}

int IsInsideMapBounds(const CMapDatabase& database, FLOAT latitude, FLOAT longitude) {
    FLOAT south = 0, north = 0, west = 0, east = 0;
    database.GetBounds(&south, &north, &west, &east);
    return latitude >= south && latitude <= north && longitude >= west && longitude <= east ? 1 : 0;
}

int32_t MatchLinkEnd(const MapLink& link, const MapPoint& point) {
    const uint32_t count = link.GetShapePointCount();
    if (count == 0)
        return -1;
    const MapPoint& start = link.fromNode->position;
    // Exact comparison on purpose: the point is a copy of a node's position.
    if (point.latitude == start.latitude && point.longitude == start.longitude)
        return 0;
    return static_cast<int32_t>(count);
}

uint32_t MapLink::NearestPoint(FLOAT latitude, FLOAT longitude, MapPoint* nearest) const {
    // A dead link may have lost an end: the point's own latitude serves then.
    const FLOAT referenceLatitude = fromNode ? fromNode->position.latitude : latitude;
    const double c = std::max(std::cos(referenceLatitude * kDegToRad), kMinCos);
    const FLOAT cosLat = static_cast<FLOAT>(c);
    const FlatPoint q{longitude * cosLat, latitude};
    const uint32_t segments = GetShapePointCount() + 1;
    FLOAT best = 3.4028235e38f;
    uint32_t bestSegment = 0;
    FlatPoint bestFoot{q.x, q.y};
    for (uint32_t k = 0; k < segments; ++k) {
        MapPoint a, b;
        GetEndPositions(k, &a, &b);
        FlatPoint foot;
        const FLOAT distance2 =
            ProjectPointOnSegment(q, a.longitude * cosLat, a.latitude, b.longitude * cosLat,
                                  b.latitude, &foot.x, &foot.y);
        // Strictly smaller: of equally near segments the earliest wins.
        if (distance2 < best) {
            best = distance2;
            bestSegment = k;
            bestFoot = foot;
        }
    }
    if (nearest) {
        nearest->latitude = bestFoot.y;
        nearest->longitude = bestFoot.x / cosLat;
    }
    return bestSegment;
}
