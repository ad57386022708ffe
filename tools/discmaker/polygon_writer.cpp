#include "tools/discmaker/polygon_writer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "formats/compressed_block.h"
#include "tools/discmaker/mapdata_writer.h"

namespace discmaker {

namespace polygons = formats::polygons;

namespace {

// A cell's rectangle in degrees.
struct Rect {
    double west = 0, south = 0, east = 0, north = 0;
};

Rect CellRect(const GridHeader& grid, int32_t column, int32_t row) {
    const double west =
        double{grid.originLongitude} + (grid.firstColumn + column) * double{grid.cellWidth};
    const double south =
        double{grid.originLatitude} + (grid.firstRow + row) * double{grid.cellHeight};
    return {west, south, west + grid.cellWidth, south + grid.cellHeight};
}

// One Sutherland-Hodgman pass of a closed ring against a half-plane.
template <typename Inside, typename Cut>
std::vector<LatLon> ClipRing(const std::vector<LatLon>& ring, Inside inside, Cut cut) {
    std::vector<LatLon> out;
    for (size_t i = 0; i < ring.size(); ++i) {
        const LatLon& current = ring[i];
        const LatLon& previous = ring[(i + ring.size() - 1) % ring.size()];
        const bool in = inside(current);
        if (in != inside(previous))
            out.push_back(cut(previous, current));
        if (in)
            out.push_back(current);
    }
    return out;
}

LatLon AtLongitude(const LatLon& a, const LatLon& b, double lon) {
    const double t = (lon - a.lon) / (b.lon - a.lon);
    return {a.lat + t * (b.lat - a.lat), lon};
}
LatLon AtLatitude(const LatLon& a, const LatLon& b, double lat) {
    const double t = (lat - a.lat) / (b.lat - a.lat);
    return {lat, a.lon + t * (b.lon - a.lon)};
}

std::vector<LatLon> ClipArea(std::vector<LatLon> ring, const Rect& rect) {
    ring = ClipRing(
        ring, [&](const LatLon& p) { return p.lon >= rect.west; },
        [&](const LatLon& a, const LatLon& b) { return AtLongitude(a, b, rect.west); });
    ring = ClipRing(
        ring, [&](const LatLon& p) { return p.lon <= rect.east; },
        [&](const LatLon& a, const LatLon& b) { return AtLongitude(a, b, rect.east); });
    ring = ClipRing(
        ring, [&](const LatLon& p) { return p.lat >= rect.south; },
        [&](const LatLon& a, const LatLon& b) { return AtLatitude(a, b, rect.south); });
    ring = ClipRing(
        ring, [&](const LatLon& p) { return p.lat <= rect.north; },
        [&](const LatLon& a, const LatLon& b) { return AtLatitude(a, b, rect.north); });
    return ring;
}

// Liang-Barsky: the part of segment a-b inside the rectangle, false when none.
bool ClipSegment(LatLon a, LatLon b, const Rect& rect, LatLon& outA, LatLon& outB) {
    double t0 = 0, t1 = 1;
    const double dx = b.lon - a.lon;
    const double dy = b.lat - a.lat;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.lon - rect.west, rect.east - a.lon, a.lat - rect.south,
                         rect.north - a.lat};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1)
            return false;
    }
    // Ends inside the rectangle are kept exactly, so that pieces join up.
    outA = t0 == 0 ? a : LatLon{a.lat + t0 * dy, a.lon + t0 * dx};
    outB = t1 == 1 ? b : LatLon{a.lat + t1 * dy, a.lon + t1 * dx};
    return true;
}

std::vector<std::vector<LatLon>> ClipLine(const std::vector<LatLon>& line, const Rect& rect) {
    std::vector<std::vector<LatLon>> pieces;
    bool open = false;  // the last piece ends where the previous segment left off
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        LatLon a, b;
        if (!ClipSegment(line[i], line[i + 1], rect, a, b)) {
            open = false;
            continue;
        }
        if (!open || !(a == line[i]))
            pieces.push_back({a});
        pieces.back().push_back(b);
        // The piece goes on only when the segment ran to its own end inside.
        open = b == line[i + 1];
    }
    return pieces;
}

polygons::Feature MakeFeature(const PolygonFeature& source, const std::vector<LatLon>& points) {
    polygons::Feature feature;
    feature.kind = PolygonKind(source.kind);
    feature.level = std::min<uint32_t>(source.level, polygons::kMaxLevel);
    feature.openLine = source.openLine;
    feature.minLongitude = feature.maxLongitude = static_cast<float>(points.front().lon);
    feature.minLatitude = feature.maxLatitude = static_cast<float>(points.front().lat);
    for (const LatLon& point : points) {
        const formats::chunk_payload::Position position{static_cast<float>(point.lat),
                                                        static_cast<float>(point.lon)};
        feature.points.push_back(position);
        feature.minLongitude = std::min(feature.minLongitude, position.longitude);
        feature.maxLongitude = std::max(feature.maxLongitude, position.longitude);
        feature.minLatitude = std::min(feature.minLatitude, position.latitude);
        feature.maxLatitude = std::max(feature.maxLatitude, position.latitude);
    }
    return feature;
}

}  // namespace

uint32_t PolygonKind(FeatureKind kind) {
    // The map view fills kinds 1-4 with water's colour, 5 with none (the background),
    // 6-8 a vivid green the route's second colour vanishes in, 13 a pale green, 14 and
    // 18 light grey, and never draws 9, 16 or 17. Green land takes the pale green
    // (drawn close in only), so roads and the route stand out over it.
    switch (kind) {
        case FeatureKind::Shore:
            return 0;
        case FeatureKind::Ocean:
            return 1;
        case FeatureKind::Lake:
            return 2;
        case FeatureKind::River:
            return 3;
        case FeatureKind::Park:
        case FeatureKind::Golf:
        case FeatureKind::Cemetery:
        case FeatureKind::Forest:
            return 13;
        case FeatureKind::Airport:
            return 18;
        case FeatureKind::StateBorder:
            return 10;
        case FeatureKind::CountyBorder:
            return 11;
        case FeatureKind::Railway:
            return 12;
        case FeatureKind::Campus:
            return 13;
        case FeatureKind::Urban:
        case FeatureKind::Hospital:
            return 14;
        case FeatureKind::Building:
            return 15;
        case FeatureKind::Industrial:
            return 18;
    }
    return 0;
}

int PaintRank(const PolygonFeature& feature) {
    if (feature.openLine)
        return 4;
    switch (feature.kind) {
        case FeatureKind::Urban:
        case FeatureKind::Forest:
            return 0;
        case FeatureKind::Building:
            return 2;
        case FeatureKind::Ocean:
        case FeatureKind::Lake:
        case FeatureKind::River:
            return 3;
        default:
            return 1;
    }
}

std::map<uint32_t, std::vector<polygons::Feature>> CutPolygonFeatures(const Network& network,
                                                                      const DiscLayout& layout) {
    const GridHeader& grid = layout.polygons;
    std::vector<uint32_t> order(network.features.size());
    for (uint32_t f = 0; f < order.size(); ++f)
        order[f] = f;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return PaintRank(network.features[a]) < PaintRank(network.features[b]);
    });
    std::map<uint32_t, std::vector<polygons::Feature>> cells;
    for (const uint32_t f : order) {
        const PolygonFeature& source = network.features[f];
        if (source.points.size() < (source.openLine ? 2u : 3u))
            continue;
        Bounds bounds;
        for (const LatLon& point : source.points)
            bounds.Add(point);
        const Cell first = layout.PolygonCell({bounds.minLat, bounds.minLon});
        const Cell last = layout.PolygonCell({bounds.maxLat, bounds.maxLon});
        for (int32_t row = first.row; row <= last.row; ++row) {
            for (int32_t column = first.column; column <= last.column; ++column) {
                const Rect rect = CellRect(grid, column, row);
                std::vector<std::vector<LatLon>> parts;
                if (source.openLine) {
                    parts = ClipLine(source.points, rect);
                } else {
                    std::vector<LatLon> ring = ClipArea(source.points, rect);
                    if (ring.size() >= 3)
                        parts.push_back(std::move(ring));
                }
                for (const std::vector<LatLon>& part : parts) {
                    if (part.size() > polygons::kMaxPointCount) {
                        throw std::runtime_error("polygons: feature " + std::to_string(f) +
                                                 " has more points in a cell than a feature holds");
                    }
                    const uint32_t index =
                        formats::map_container::CellIndex(column, row, grid.columns);
                    cells[index].push_back(MakeFeature(source, part));
                }
            }
        }
    }
    return cells;
}

uint64_t WritePolygonFiles(const Network& network, const DiscLayout& layout) {
    std::map<uint32_t, std::vector<uint8_t>> cells;
    for (const auto& [index, features] : CutPolygonFeatures(network, layout)) {
        cells[index] = polygons::EncodeCell(features);
    }
    uint64_t bytes = 0;
    for (int disc = 1; disc < kDiscCount; ++disc) {
        // The converter copies these blocks into "polygons.biz" as they are: they
        // keep the level of the device's format.
        bytes += WriteBlockContainer(layout.mapData[disc] / "polygons.raz", layout.polygons,
                                     polygons::kMagic, cells, formats::compressed_block::kLevel);
    }
    return bytes;
}

}  // namespace discmaker
