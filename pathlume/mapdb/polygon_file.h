// The area features drawn under the roads: the reader of "polygons.biz"
// (formats/polygons.h), a grid of cells each holding one compressed block of
// feature records, and the two drawers that fill the features of the visible cells
// as polygons and polylines, flat (DrawAreaFeatures2D) or in perspective
// (DrawAreaFeatures3D). The map view owns the file, chooses the cells and the detail
// value, and is reached through IAreaFeatureView. User-interface thread only.
#pragma once

#include <cstdint>

#include "formats/map_container.h"
#include "formats/polygons.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/mapdb/map_records.h"
#include "platform/gdi/gdi.h"

class ChunkStream;
struct GeoRect;

// A range of cells, inclusive.
struct PolygonCellRange {
    int32_t c0 = 0;
    int32_t r0 = 0;
    int32_t c1 = -1;
    int32_t r1 = -1;
};

// The five words that open a feature record.
struct PolygonFeatureHeader {
    uint32_t word = 0;  // point count, level, kind, open-line bit
    FLOAT minLongitude = 0;
    FLOAT minLatitude = 0;
    FLOAT maxLongitude = 0;
    FLOAT maxLatitude = 0;

    uint32_t PointCount() const { return word & formats::polygons::kPointCountMask; }
    uint32_t LevelBits() const { return word & formats::polygons::kLevelMask; }
    uint32_t Kind() const {
        return (word & formats::polygons::kKindMask) >> formats::polygons::kKindShift;
    }
    bool IsOpenLine() const { return (word & formats::polygons::kOpenLine) != 0; }
};

// The feature last read and its points, shared by both drawers; the point buffer
// keeps its largest size until the program ends.
struct PolygonFeatureBuffer {
    PolygonFeatureHeader header;
    MapPoint* points = nullptr;  // latitude first, as stored
    int32_t capacity = 0;

    PolygonFeatureBuffer() = default;
    ~PolygonFeatureBuffer() { Release(); }
    PolygonFeatureBuffer(const PolygonFeatureBuffer&) = delete;
    PolygonFeatureBuffer& operator=(const PolygonFeatureBuffer&) = delete;
    void Release();
};

extern PolygonFeatureBuffer g_polygonFeatureBuffer;

class PolygonFile {
  public:
    // Kinds 0-19 have thresholds; kinds 20-31 are never drawn.
    static constexpr int kThresholdKinds = 20;
    static constexpr int32_t kKindOff = -1;
    static constexpr int32_t kInitialScreenPoints = 4;

    PolygonFile();
    ~PolygonFile();
    PolygonFile(const PolygonFile&) = delete;
    PolygonFile& operator=(const PolygonFile&) = delete;

    // Opens the file in the map data folder and reads its head: 0, or 1 when it
    // cannot be opened, is shorter than its head, has another magic (shown to the
    // user) or a grid that cannot be walked. A failure leaves the head zeroed and
    // the file closed. Calling it again reopens (after a power resume).
    int Open(LPCWSTR name);
    // The level each kind needs at detail value L (-1: the kind is not drawn), kept
    // shifted into the feature word's level bits.
    void SetDetailThresholds(int detail);
    // The cells under a rectangle of the map, from its west-south and east-north
    // corners (not clamped: the drawers clamp).
    PolygonCellRange CellsUnder(const GeoRect& rect) const;

    formats::map_container::GridHeader header;
    CDataFile file;
    int32_t detailThresholds[kThresholdKinds];
    POINT* screenBuffer = nullptr;
    int32_t screenCapacity = 0;
};

// Reads the next feature of the inflated cell into g_polygonFeatureBuffer: 0, or 1
// when the header or the points run past the block, or the points cannot be
// allocated.
int ReadPolygonFeature(ChunkStream& stream);

// Draws the features of cells c0..c1 x r0..r1 (clamped to the grid) at detail value L
// and zoom step zoomIndex, clipped to the view's visible rectangle. Returns 0.
int DrawAreaFeatures2D(PolygonFile& file, HDC dc, int32_t c0, int32_t r0, int32_t c1, int32_t r1,
                       int detail, int zoomIndex);
// The same in perspective: the clip rectangle comes in the last four arguments, the
// camera values go to ProjectToScreen and the view's ribbon clipper.
int DrawAreaFeatures3D(PolygonFile& file, HDC dc, int32_t c0, int32_t r0, int32_t c1, int32_t r1,
                       int detail, int zoomIndex, FLOAT ribbon, FLOAT tilt, FLOAT depth,
                       FLOAT minLongitude, FLOAT maxLatitude, FLOAT maxLongitude,
                       FLOAT minLatitude);
