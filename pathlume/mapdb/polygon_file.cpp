#include "pathlume/mapdb/polygon_file.h"

#include <cmath>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/area_feature_view.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/mapdb_memory.h"

PolygonFeatureBuffer g_polygonFeatureBuffer;

namespace {

namespace container = formats::map_container;
namespace polygons = formats::polygons;

constexpr int8_t kOff = -1;

// The level each kind needs, by detail value: below 128, 128-191, 192-255, 256-319,
// 320 and above. Kind 0 (shore lines) is drawn as the other coast and border lines
// are; kind 19 has a row of its own.
constexpr int8_t kLevelByDetail[PolygonFile::kThresholdKinds][5] = {
    {0, 0, 0, 0, 0},              // 0 shore
    {0, 0, 0, 0, 0},              // 1 ocean
    {5, 5, 2, 0, 0},              // 2 lake
    {6, 2, 2, 0, 0},              // 3 park
    {kOff, kOff, 0, 0, 0},        // 4 urban
    {6, 6, 2, 0, 0},              // 5 river
    {kOff, 4, 1, 0, 0},           // 6 golf
    {kOff, 4, 1, 0, 0},           // 7 cemetery
    {4, 4, 1, 0, 0},              // 8 airport
    {5, 4, 1, 0, 0},              // 9
    {0, 0, 0, 0, 0},              // 10 state border
    {0, 0, 0, 0, 0},              // 11 county border
    {kOff, kOff, kOff, kOff, 0},  // 12 railway
    {kOff, kOff, kOff, 0, 0},     // 13 campus
    {kOff, kOff, kOff, 0, 0},     // 14 hospital
    {kOff, 4, 1, 0, 0},           // 15 building
    {kOff, kOff, kOff, kOff, 0},  // 16
    {5, 4, 1, 0, 0},              // 17
    {kOff, 3, 1, 0, 0},           // 18 forest
    {kOff, kOff, kOff, 0, 0},     // 19 industrial
};

int DetailColumn(int detail) {
    if (detail < 128)
        return 0;
    if (detail < 192)
        return 1;
    if (detail < 256)
        return 2;
    if (detail < 320)
        return 3;
    return 4;
}

// A head whose cells are not finite and positive, or whose counts are negative,
// would send the drawers' cell arithmetic anywhere.
bool IsUsableHeader(const container::GridHeader& header) {
    return std::isfinite(header.originLongitude) && std::isfinite(header.originLatitude) &&
           std::isfinite(header.cellWidth) && std::isfinite(header.cellHeight) &&
           container::IsPlausibleGrid(header);
}

}  // namespace

void PolygonFeatureBuffer::Release() {
    mapdb::FreeBlock(points);
    points = nullptr;
    capacity = 0;
}

PolygonFile::PolygonFile() {
    for (int32_t& threshold : detailThresholds)
        threshold = kKindOff;
    screenBuffer = static_cast<POINT*>(mapdb::TryAlloc(kInitialScreenPoints * sizeof(POINT)));
    screenCapacity = screenBuffer ? kInitialScreenPoints : 0;
}

PolygonFile::~PolygonFile() {
    mapdb::FreeBlock(screenBuffer);
}

int PolygonFile::Open(LPCWSTR name) {
    uint8_t bytes[container::kHeaderSize];
    if (file.OpenInFolder(g_dataFolder, name, kDataFileRead | kDataFileMapped, nullptr) == 0 &&
        CheckDataFileHeader(file, polygons::kMagic, name) == 0 &&
        file.Read(bytes + container::kMagicSize,
                  static_cast<int>(container::kHeaderSize - container::kMagicSize)) ==
            static_cast<int>(container::kHeaderSize - container::kMagicSize)) {
        std::memcpy(bytes, polygons::kMagic, container::kMagicSize);
        header = container::DecodeHeader(bytes);
        if (IsUsableHeader(header))
            return 0;
    }
    // Nothing of another or a broken file may stay: a zero grid draws nothing.
    header = container::GridHeader{};
    file.Close();
    return 1;
}

void PolygonFile::SetDetailThresholds(int detail) {
    const int column = DetailColumn(detail);
    for (int kind = 0; kind < kThresholdKinds; ++kind) {
        const int8_t level = kLevelByDetail[kind][column];
        detailThresholds[kind] =
            level == kOff ? kKindOff : static_cast<int32_t>(level) << polygons::kLevelShift;
    }
}

PolygonCellRange PolygonFile::CellsUnder(const GeoRect& rect) const {
    if (header.cellWidth <= 0 || header.cellHeight <= 0)
        return {};
    // Truncated towards zero before the file's first column is taken off, as the
    // cells are counted from the source grid's origin.
    auto cell = [](double position, double origin, double size, int32_t first) {
        return TruncateToInt32(std::trunc((position - origin) / size) - first);
    };
    auto column = [&](FLOAT longitude) {
        return cell(longitude, header.originLongitude, header.cellWidth, header.firstColumn);
    };
    auto row = [&](FLOAT latitude) {
        return cell(latitude, header.originLatitude, header.cellHeight, header.firstRow);
    };
    return {column(rect.west), row(rect.south), column(rect.east), row(rect.north)};
}

int ReadPolygonFeature(ChunkStream& stream) {
    PolygonFeatureBuffer& buffer = g_polygonFeatureBuffer;
    uint8_t head[polygons::kFeatureHeaderSize];
    if (stream.ReadBytes(head, sizeof head) != sizeof head)
        return 1;
    buffer.header.word = container::LoadU32(head + polygons::kFeatureWordOffset);
    buffer.header.minLongitude = container::LoadF32(head + polygons::kBoxMinLongitudeOffset);
    buffer.header.minLatitude = container::LoadF32(head + polygons::kBoxMinLatitudeOffset);
    buffer.header.maxLongitude = container::LoadF32(head + polygons::kBoxMaxLongitudeOffset);
    buffer.header.maxLatitude = container::LoadF32(head + polygons::kBoxMaxLatitudeOffset);
    const uint32_t count = buffer.header.PointCount();
    // The count is checked against what the block still holds before anything is
    // allocated for it: a corrupt word would otherwise ask for 8 MB per feature.
    const size_t left = static_cast<size_t>(stream.data + stream.rawSize - stream.cursor);
    if (left / polygons::kPointSize < count)
        return 1;
    if (static_cast<int64_t>(count) > buffer.capacity) {
        mapdb::FreeBlock(buffer.points);
        buffer.points = static_cast<MapPoint*>(mapdb::TryAlloc(count * sizeof(MapPoint)));
        buffer.capacity = buffer.points ? static_cast<int32_t>(count) : 0;
        if (!buffer.points)
            return 1;
    }
    const uint8_t* at = stream.cursor;
    for (uint32_t i = 0; i < count; ++i, at += polygons::kPointSize) {
        const polygons::Position position = formats::chunk_payload::DecodePosition(at);
        buffer.points[i] = {position.latitude, position.longitude};
    }
    stream.cursor += count * polygons::kPointSize;
    return 0;
}
