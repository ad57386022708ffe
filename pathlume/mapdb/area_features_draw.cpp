// The two area drawers of polygon_file.h: one walk over the cells serves both, the
// flat and the perspective projection differing only where a drawer says so.
#include <algorithm>
#include <cstring>

#include "formats/map_container.h"
#include "pathlume/mapdb/area_feature_view.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/index_file_io.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/polygon_file.h"

namespace {

namespace container = formats::map_container;

constexpr uint32_t kKindUrban = 4;
constexpr uint32_t kKindStateBorder = 10;
constexpr uint32_t kKindCountyBorder = 11;
constexpr uint32_t kKindRailway = 12;
constexpr uint32_t kKindBuilding = 15;
constexpr uint32_t kKindIndustrial = 19;
// Points closer than this (squared pixels) to both neighbours are thinned out.
constexpr double kThinDistanceSquared = 26;
constexpr int32_t kScreenSlack = 8;

struct Drawing {
    PolygonFile& file;
    HDC dc;
    IAreaFeatureView& view;
    const MapViewValues& values;
    int detail;
    int zoomIndex;
    bool perspective;  // the 3D drawer
    bool view3D;       // the view is in 3D mode (the 2D drawer hands areas to ClipPolygon3D)
    GeoRect rect;      // the bounding-box test's rectangle
    GeoRect reduceRect;
    FLOAT ribbon = 0;
    FLOAT tilt = 0;
    FLOAT depth = 0;
    COLORREF background = 0;
};

POINT Project(const Drawing& d, FLOAT longitude, FLOAT latitude) {
    int32_t x = 0, y = 0;
    if (d.perspective) {
        FLOAT fx, fy;
        ProjectToScreen3D(d.values, longitude, latitude, &x, &y, &fx, &fy);
    } else {
        d.view.MapToScreen2D(longitude, latitude, &x, &y);
    }
    return {x, y};
}

// The 3D view reduces against a rectangle a quarter wider and higher on each side,
// so that the perspective's edges are not cut short.
GeoRect Widened(const GeoRect& rect) {
    const FLOAT dx = (rect.east - rect.west) * 0.25f;
    const FLOAT dy = (rect.north - rect.south) * 0.25f;
    return {rect.west - dx, rect.south - dy, rect.east + dx, rect.north + dy};
}

// Grows the screen buffer to hold `needed` points, keeping the first `keep`; false
// (buffer freed, capacity 0) when memory ran out.
bool GrowScreenBuffer(PolygonFile& file, int64_t needed, int32_t keep) {
    if (needed <= file.screenCapacity)
        return true;
    POINT* grown =
        static_cast<POINT*>(mapdb::TryAlloc(static_cast<size_t>(needed) * sizeof(POINT)));
    if (grown && keep > 0)
        std::memcpy(grown, file.screenBuffer, static_cast<size_t>(keep) * sizeof(POINT));
    mapdb::FreeBlock(file.screenBuffer);
    file.screenBuffer = grown;
    file.screenCapacity = grown ? static_cast<int32_t>(needed) : 0;
    return grown != nullptr;
}

struct Outcode {
    int x;
    int y;
    bool Inside() const { return x == 0 && y == 0; }
    bool operator==(const Outcode&) const = default;
};

Outcode CodeOf(const GeoRect& rect, const MapPoint& point) {
    return {point.longitude < rect.west   ? -1
            : point.longitude > rect.east ? 1
                                          : 0,
            point.latitude < rect.south   ? -1
            : point.latitude > rect.north ? 1
                                          : 0};
}

double DistanceSquared(const POINT& a, const POINT& b) {
    const double dx = static_cast<double>(a.x) - b.x;
    const double dy = static_cast<double>(a.y) - b.y;
    return dx * dx + dy * dy;
}

// Projects the feature's points into the screen buffer, leaving out runs beyond one
// edge of the rectangle (their first and last point stay) and thinning points a few
// pixels apart. The number of points, or -1 when the buffer could not grow.
int32_t ReducePoints(const Drawing& d, const MapPoint* points, int32_t n, bool closed) {
    PolygonFile& file = d.file;
    int32_t out = 0;
    auto append = [&](const POINT& point) {
        if (out == file.screenCapacity &&
            !GrowScreenBuffer(file, static_cast<int64_t>(out) + kScreenSlack, out))
            return false;
        file.screenBuffer[out++] = point;
        return true;
    };
    const MapPoint& before = closed ? points[n - 1] : points[0];
    Outcode kept = CodeOf(d.reduceRect, before);
    Outcode previousCode = kept;
    const MapPoint* previous = &before;
    bool previousEmitted = false;
    bool beforePreviousInside = false;
    Outcode firstCode = kept;
    for (int32_t i = 0; i < n; ++i) {
        const Outcode code = CodeOf(d.reduceRect, points[i]);
        if (out == 0)
            firstCode = previousCode;
        bool emitted = false;
        if (previousCode.Inside()) {
            const POINT point = Project(d, points[i].longitude, points[i].latitude);
            if (code.Inside() && beforePreviousInside && out >= 2 &&
                DistanceSquared(file.screenBuffer[out - 1], file.screenBuffer[out - 2]) <
                    kThinDistanceSquared &&
                DistanceSquared(point, file.screenBuffer[out - 1]) < kThinDistanceSquared)
                --out;
            if (!append(point))
                return -1;
            emitted = true;
        } else if (code.Inside() ||
                   ((code.x != kept.x || code.x == 0) && (code.y != kept.y || code.y == 0))) {
            if (!previousEmitted && !append(Project(d, previous->longitude, previous->latitude)))
                return -1;
            if (!append(Project(d, points[i].longitude, points[i].latitude)))
                return -1;
            emitted = true;
        }
        if (emitted)
            kept = code;
        if (i == n - 1 && !emitted && (code.Inside() || !(kept == firstCode)) &&
            !append(Project(d, points[i].longitude, points[i].latitude)))
            return -1;
        beforePreviousInside = previousCode.Inside();
        previousCode = code;
        previous = &points[i];
        previousEmitted = emitted;
    }
    return out;
}

// Whether a feature is drawn at this detail value and zoom step.
bool PassesFilter(const Drawing& d, const PolygonFeatureHeader& header) {
    const uint32_t kind = header.Kind();
    if (kind >= static_cast<uint32_t>(PolygonFile::kThresholdKinds))
        return false;
    if (kind == kKindUrban && d.detail < 4)
        return false;
    const int32_t threshold = d.file.detailThresholds[kind];
    if (threshold == PolygonFile::kKindOff || header.LevelBits() < static_cast<uint32_t>(threshold))
        return false;
    // Kinds 9, 16 and 17 have thresholds but are never drawn.
    if (kind == 9 || kind == 16 || kind == 17)
        return false;
    if (kind == kKindRailway && d.zoomIndex > 2)
        return false;
    if (kind == kKindBuilding && d.zoomIndex < 4)
        return false;
    return true;
}

bool BoxOverlaps(const GeoRect& rect, const PolygonFeatureHeader& header) {
    return header.minLongitude <= rect.east && header.maxLongitude >= rect.west &&
           header.maxLatitude >= rect.south && header.minLatitude <= rect.north;
}

COLORREF ColourOf(const Drawing& d, uint32_t kind) {
    // The colour row stops at kind 18: industrial land takes the urban colour.
    const int row = kind == kKindIndustrial ? static_cast<int>(kKindUrban) : static_cast<int>(kind);
    const COLORREF colour = d.view.GetAreaColour(row);
    return colour == kAreaColourBackground ? d.background : colour;
}

void DrawLine(const Drawing& d, uint32_t kind, COLORREF colour, int32_t count) {
    POINT* points = d.file.screenBuffer;
    if (d.perspective) {
        for (int32_t i = 0; i < count; ++i) {
            int32_t x = 0, y = 0;
            ProjectToScreen(d.values, static_cast<FLOAT>(points[i].x),
                            static_cast<FLOAT>(points[i].y), &x, &y, 0, d.tilt, d.depth);
            points[i] = {x, y};
        }
    }
    const bool dashed =
        kind == kKindStateBorder || kind == kKindCountyBorder || kind == kKindRailway;
    HPEN pen = CreatePen(dashed ? PS_DASH : PS_SOLID, kind == kKindRailway ? 1 : 2, colour);
    HGDIOBJ oldPen;
    if (kind == kKindRailway) {
        oldPen = SelectObject(d.dc, GetStockObject(WHITE_PEN));
        Polyline(d.dc, points, count);
        SelectObject(d.dc, pen);
    } else {
        oldPen = SelectObject(d.dc, pen);
    }
    Polyline(d.dc, points, count);
    SelectObject(d.dc, oldPen);
    DeleteObject(pen);
}

void DrawArea(const Drawing& d, int32_t count) {
    HGDIOBJ oldPen = SelectObject(d.dc, GetStockObject(NULL_PEN));
    if (d.perspective)
        d.view.ClipRibbon3D(d.dc, d.file.screenBuffer, count, d.ribbon, d.tilt, d.depth);
    else if (d.view3D)
        d.view.ClipPolygon3D(d.dc, d.file.screenBuffer, count);
    else
        Polygon(d.dc, d.file.screenBuffer, count);
    SelectObject(d.dc, oldPen);
}

// The four corners of cell (c, r), west-south first, counter-clockwise on the map;
// a line gets the first corner again so that it outlines the whole cell.
int32_t ProjectCell(const Drawing& d, int32_t c, int32_t r, bool line) {
    const container::GridHeader& h = d.file.header;
    const FLOAT west = static_cast<FLOAT>(h.originLongitude +
                                          static_cast<double>(h.firstColumn + c) * h.cellWidth);
    const FLOAT south =
        static_cast<FLOAT>(h.originLatitude + static_cast<double>(h.firstRow + r) * h.cellHeight);
    const FLOAT east = static_cast<FLOAT>(west + static_cast<double>(h.cellWidth));
    const FLOAT north = static_cast<FLOAT>(south + static_cast<double>(h.cellHeight));
    POINT* out = d.file.screenBuffer;
    out[0] = Project(d, west, south);
    out[1] = Project(d, east, south);
    out[2] = Project(d, east, north);
    out[3] = Project(d, west, north);
    if (!line)
        return 4;
    out[4] = out[0];
    return 5;
}

void DrawFeature(const Drawing& d, int32_t c, int32_t r) {
    const PolygonFeatureHeader& header = g_polygonFeatureBuffer.header;
    if (!PassesFilter(d, header))
        return;
    const int32_t n = static_cast<int32_t>(header.PointCount());
    if (n > 0 && !BoxOverlaps(d.rect, header))
        return;
    const bool line = header.IsOpenLine();
    if (n > d.file.screenCapacity && !GrowScreenBuffer(d.file, int64_t{n} + kScreenSlack, 0))
        return;
    if (n == 0 && !GrowScreenBuffer(d.file, line ? 5 : PolygonFile::kInitialScreenPoints, 0))
        return;
    const int32_t count = n == 0 ? ProjectCell(d, c, r, line)
                                 : ReducePoints(d, g_polygonFeatureBuffer.points, n, !line);
    if (count <= 0)
        return;
    const uint32_t kind = header.Kind();
    const COLORREF colour = ColourOf(d, kind);
    if (line) {
        if (count >= 2)
            DrawLine(d, kind, colour, count);
        return;
    }
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ oldBrush = SelectObject(d.dc, brush);
    DrawArea(d, count);
    SelectObject(d.dc, oldBrush);
    DeleteObject(brush);
}

// Inflates cell (c, r) and draws its features; a cell that cannot be read is left
// out, and the first feature that cannot be read ends its cell.
void DrawCell(const Drawing& d, DataFileChunkInput& input, ChunkStream& stream, int32_t c,
              int32_t r) {
    const int32_t columns = d.file.header.columns;
    uint32_t offset = 0;
    const int64_t entry = static_cast<int64_t>(container::kCellTableOffset) +
                          container::kCellEntrySize * (static_cast<int64_t>(r) * columns + c);
    if (!index_io::ReadU32At(d.file.file, entry, offset) || offset == 0)
        return;
    stream.file = &input;
    if (!input.Seek(offset) || stream.Inflate() != 0)
        return;
    uint8_t countBytes[4];
    if (stream.ReadBytes(countBytes, sizeof countBytes) != sizeof countBytes)
        return;
    const int32_t count = container::LoadI32(countBytes);
    for (int32_t i = 0; i < count; ++i) {
        if (ReadPolygonFeature(stream) != 0)
            return;
        DrawFeature(d, c, r);
    }
}

void DrawCells(Drawing& d, int32_t c0, int32_t r0, int32_t c1, int32_t r1) {
    ChunkStream* stream = g_currentChunkStream;
    const container::GridHeader& h = d.file.header;
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, h.columns - 1);
    r1 = std::min(r1, h.rows - 1);
    if (!stream || !d.file.file.IsOpen() || c0 > c1 || r0 > r1)
        return;
    const int saved = SaveDC(d.dc);
    SetBkMode(d.dc, TRANSPARENT);
    d.background = d.view.GetBackgroundColour();
    DataFileChunkInput input(&d.file.file);
    IChunkInput* previousInput = stream->file;
    for (int32_t r = r0; r <= r1; ++r) {
        for (int32_t c = c0; c <= c1; ++c)
            DrawCell(d, input, *stream, c, r);
    }
    stream->file = previousInput;
    RestoreDC(d.dc, saved);
}

}  // namespace

int DrawAreaFeatures2D(PolygonFile& file, HDC dc, int32_t c0, int32_t r0, int32_t c1, int32_t r1,
                       int detail, int zoomIndex) {
    IAreaFeatureView& view = GetAreaFeatureView();
    Drawing d{file,
              dc,
              view,
              view.GetViewValues(),
              detail,
              zoomIndex,
              false,
              view.Is3DMode(),
              view.GetVisibleRect(),
              {}};
    d.reduceRect = d.view3D ? Widened(d.rect) : d.rect;
    DrawCells(d, c0, r0, c1, r1);
    return 0;
}

int DrawAreaFeatures3D(PolygonFile& file, HDC dc, int32_t c0, int32_t r0, int32_t c1, int32_t r1,
                       int detail, int zoomIndex, FLOAT ribbon, FLOAT tilt, FLOAT depth,
                       FLOAT minLongitude, FLOAT maxLatitude, FLOAT maxLongitude,
                       FLOAT minLatitude) {
    IAreaFeatureView& view = GetAreaFeatureView();
    const GeoRect rect{minLongitude, minLatitude, maxLongitude, maxLatitude};
    Drawing d{file, dc,   view, view.GetViewValues(), detail, zoomIndex,
              true, true, rect, Widened(rect)};
    d.ribbon = ribbon;
    d.tilt = tilt;
    d.depth = depth;
    DrawCells(d, c0, r0, c1, r1);
    return 0;
}
