#include "pathlume/mapdb/snap.h"

#include <algorithm>
#include <cmath>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = kEarthRadiusKm * 1000.0 * kPi / 180.0;
constexpr uint32_t kAllClasses = 0x1C0;

bool IsNetworkNode(const MapNode* node) {
    return node && node->slotCount != MapNode::kSingleSlot &&
           node->position.latitude != ProxyNode::kLatitude;
}

bool Wanted(const MapLink& link, SnapLinks which) {
    if (link.IsDead() || !IsNetworkNode(link.fromNode) || !IsNetworkNode(link.toNode))
        return false;
    namespace payload = formats::chunk_payload;
    return which == SnapLinks::kAny ||
           (link.attributes & (payload::kKindRoad | payload::kKindCarpool)) != 0;
}

// Metres between two points, on a plane scaled by `scale`, the cosine of a's latitude.
double FlatMetres(const MapPoint& a, const MapPoint& b, double scale) {
    return std::hypot((b.longitude - a.longitude) * scale, b.latitude - a.latitude) *
           kMetresPerDegree;
}

// Degrees the box of a link's points is widened by: the nearest point NearestPoint
// finds is rounded in its flat frame, a few units in the last place of a float
// coordinate (under 2e-5 degrees at 180), and must lie inside the box.
constexpr double kBoxSlackDegrees = 1e-3;

// Metres from the point to the widened box of the link's points: never more than
// the metres to the link's nearest point, so a link whose box is farther than the
// best answer cannot be the answer.
double BoxMetres(const MapLink& link, const MapPoint& point, double scale) {
    const MapPoint& from = link.fromNode->position;
    double south = from.latitude, north = from.latitude;
    double west = from.longitude, east = from.longitude;
    auto widen = [&](const MapPoint& p) {
        south = std::min<double>(south, p.latitude);
        north = std::max<double>(north, p.latitude);
        west = std::min<double>(west, p.longitude);
        east = std::max<double>(east, p.longitude);
    };
    const uint32_t shapes = link.GetShapePointCount();
    for (uint32_t i = 0; i < shapes; ++i)
        widen(link.shapePoints[i]);
    widen(link.toNode->position);
    const double dLat = std::max({0.0, south - kBoxSlackDegrees - point.latitude,
                                  point.latitude - north - kBoxSlackDegrees});
    const double dLon = std::max({0.0, west - kBoxSlackDegrees - point.longitude,
                                  point.longitude - east - kBoxSlackDegrees});
    return std::hypot(dLon * scale, dLat) * kMetresPerDegree;
}

void NearestIn(CMapDatabase& database, int layerIndex, int32_t x0, int32_t y0, int32_t x1,
               int32_t y1, const MapPoint& point, double radiusMetres, SnapLinks which,
               LinkSnap& best) {
    LinkIterator it;
    it.SelectLayer(database, 1, layerIndex == 0 ? 0 : 1);
    if (it.Init(database.layers[layerIndex], x0, y0, x1, y1, kAllClasses, 7) != 0)
        return;
    const double scale = std::cos(point.latitude * kPi / 180.0);
    for (MapLink* link = it.Next(); link; link = it.Next()) {
        if (!Wanted(*link, which))
            continue;
        // A micrometre of margin for the rounding of the two distances.
        if (BoxMetres(*link, point, scale) > std::min(radiusMetres, best.metres) + 1e-6)
            continue;
        MapPoint nearest;
        const uint32_t segment = link->NearestPoint(point.latitude, point.longitude, &nearest);
        const double metres = FlatMetres(point, nearest, scale);
        if (metres <= radiusMetres && metres < best.metres) {
            best.link = link;
            best.segment = segment;
            best.point = nearest;
            best.metres = metres;
            best.layer = layerIndex;
        }
    }
}

// Chunks loaded while it stands keep all their shape points.
class FullShapeLoads {
  public:
    explicit FullShapeLoads(CMapDatabase& database)
        : database_(database), kept_(database.keepAuxPoints) {
        database.keepAuxPoints = 2;
    }
    ~FullShapeLoads() { database_.keepAuxPoints = kept_; }
    FullShapeLoads(const FullShapeLoads&) = delete;
    FullShapeLoads& operator=(const FullShapeLoads&) = delete;

  private:
    CMapDatabase& database_;
    DWORD kept_;
};

// Cells of `size` degrees to each side of the point's cell that the radius reaches;
// at least 1, at most 16 so a huge radius cannot load the whole map.
int32_t CellsAround(double radiusMetres, double cellDegrees, double scale) {
    if (!std::isfinite(radiusMetres) || cellDegrees <= 0)
        return 1;
    const double cells = radiusMetres / (cellDegrees * kMetresPerDegree * scale);
    return static_cast<int32_t>(std::clamp(std::ceil(cells), 1.0, 16.0));
}

}  // namespace

LinkSnap SnapToNearestLink(CMapDatabase& database, const MapPoint& point, double radiusMetres,
                           SnapLinks which) {
    LinkSnap best;
    if (!std::isfinite(point.latitude) || !std::isfinite(point.longitude) ||
        std::fabs(point.latitude) > 90 || std::fabs(point.longitude) > 180 ||
        std::isnan(radiusMetres) || radiusMetres < 0)
        return best;
    const double scale = std::max(std::cos(point.latitude * kPi / 180.0), 0.01);
    // The walk measures every link against its whole shape: chunks it loads keep
    // their full shape points at once instead of being read again for them.
    const FullShapeLoads fullShapes(database);

    MapLayer& overview = database.layers[0];
    const auto& head = overview.header;
    const int64_t columnAt = overview.FileColumnOf(point.longitude);
    const int64_t rowAt = overview.FileRowOf(point.latitude);
    const int32_t aroundX = CellsAround(radiusMetres, head.cellWidth, scale);
    const int32_t aroundY = CellsAround(radiusMetres, head.cellHeight, 1.0);
    if (columnAt >= -aroundX && rowAt >= -aroundY && columnAt < head.columns + aroundX &&
        rowAt < head.rows + aroundY) {
        const int32_t column = static_cast<int32_t>(columnAt) - overview.windowX0;
        const int32_t row = static_cast<int32_t>(rowAt) - overview.windowY0;
        for (int32_t y = row - aroundY; y <= row + aroundY; ++y) {
            for (int32_t x = column - aroundX; x <= column + aroundX; ++x)
                database.GetChunk(0, x, y);
        }
        NearestIn(database, 0, column - aroundX, row - aroundY, column + aroundX, row + aroundY,
                  point, radiusMetres, which, best);
    }

    MapLayer& detailed = database.layers[kSnapDetailedLayer];
    const auto& cells = detailed.header;
    const int32_t detailX = CellsAround(radiusMetres, cells.cellWidth, scale);
    const int32_t detailY = CellsAround(radiusMetres, cells.cellHeight, 1.0);
    if (database.LoadArea(kSnapDetailedLayer, point, (2 * detailX + 1) * cells.cellWidth,
                          (2 * detailY + 1) * cells.cellHeight, 0, 0, true, false) == 0 ||
        detailed.windowX0 != kNoWindow) {
        NearestIn(database, kSnapDetailedLayer, 0, 0, detailed.windowW - 1, detailed.windowH - 1,
                  point, radiusMetres, which, best);
    }
    return best;
}

RouteTarget SnappedTarget(const LinkSnap& snap, MapLink* link) {
    RouteTarget target;
    target.Clear();
    target.link = link;
    target.segment = snap.segment;
    target.lat = snap.point.latitude;
    target.lon = snap.point.longitude;
    return target;
}
