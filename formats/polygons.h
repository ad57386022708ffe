// The area features drawn under the roads: "polygons.raz" on data discs 2 and 3,
// "polygons.biz" on the device. The file opens with the 36-byte grid head of the map
// container (formats/map_container.h) with the magic "PY00", then the cell table
// (columns x rows u32, row-major, absolute offset of the cell's block, 0 = empty),
// then one compressed block (formats/compressed_block.h) per non-empty cell.
//
// On the disc the blocks follow each other in cell-table order with nothing between
// them: the converter copies a cell's bytes from its offset up to the next non-zero
// offset of the table, or up to the end of the file for the last cell.
//
// A cell's block inflates to:
//   i32        feature count (0 or less: none)
//   features   each a 20-byte header, then its points
//
// Feature header:
//   offset 0   u32  bits 0-19 point count N, bits 20-23 detail level, bits 24-28
//                   kind, bit 31 set = open line, clear = closed area
//   offset 4   f32  bounding box minimum longitude
//   offset 8   f32  minimum latitude
//   offset 12  f32  maximum longitude
//   offset 16  f32  maximum latitude
// Points: N x {f32 latitude, f32 longitude}. The box holds longitude first, the
// points latitude first. A feature with N = 0 covers its whole cell.
//
// Little-endian. docs/formats/map-data.md tells how the builder cuts features into
// cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"

namespace formats::polygons {

using chunk_payload::Position;

inline constexpr char kMagic[4] = {'P', 'Y', '0', '0'};

inline constexpr size_t kFeatureCountSize = 4;

inline constexpr size_t kFeatureWordOffset = 0;
inline constexpr size_t kBoxMinLongitudeOffset = 4;
inline constexpr size_t kBoxMinLatitudeOffset = 8;
inline constexpr size_t kBoxMaxLongitudeOffset = 12;
inline constexpr size_t kBoxMaxLatitudeOffset = 16;
inline constexpr size_t kFeatureHeaderSize = 20;
static_assert(kBoxMaxLatitudeOffset + 4 == kFeatureHeaderSize, "a feature header is five words");
inline constexpr size_t kPointSize = chunk_payload::kPositionSize;

inline constexpr uint32_t kPointCountMask = 0x000FFFFF;
inline constexpr uint32_t kMaxPointCount = kPointCountMask;
inline constexpr int kLevelShift = 20;
inline constexpr uint32_t kLevelMask = 0x00F00000;
inline constexpr uint32_t kMaxLevel = 15;
inline constexpr int kKindShift = 24;
inline constexpr uint32_t kKindMask = 0x1F000000;
inline constexpr uint32_t kMaxKind = 31;
inline constexpr uint32_t kOpenLine = 0x80000000u;

struct Feature {
    uint32_t kind = 0;
    uint32_t level = 0;
    bool openLine = false;
    float minLongitude = 0;
    float minLatitude = 0;
    float maxLongitude = 0;
    float maxLatitude = 0;
    std::vector<Position> points;
};

constexpr uint32_t FeatureWord(uint32_t pointCount, uint32_t level, uint32_t kind, bool openLine) {
    return (pointCount & kPointCountMask) | (level << kLevelShift & kLevelMask) |
           (kind << kKindShift & kKindMask) | (openLine ? kOpenLine : 0);
}

inline void AppendFeature(std::vector<uint8_t>& out, const Feature& feature) {
    uint8_t head[kFeatureHeaderSize];
    map_container::StoreU32(head + kFeatureWordOffset,
                            FeatureWord(static_cast<uint32_t>(feature.points.size()), feature.level,
                                        feature.kind, feature.openLine));
    map_container::StoreF32(head + kBoxMinLongitudeOffset, feature.minLongitude);
    map_container::StoreF32(head + kBoxMinLatitudeOffset, feature.minLatitude);
    map_container::StoreF32(head + kBoxMaxLongitudeOffset, feature.maxLongitude);
    map_container::StoreF32(head + kBoxMaxLatitudeOffset, feature.maxLatitude);
    out.insert(out.end(), head, head + kFeatureHeaderSize);
    for (const Position& point : feature.points)
        chunk_payload::AppendPosition(out, point);
}

inline std::vector<uint8_t> EncodeCell(const std::vector<Feature>& features) {
    std::vector<uint8_t> out(kFeatureCountSize);
    map_container::StoreI32(out.data(), static_cast<int32_t>(features.size()));
    for (const Feature& feature : features)
        AppendFeature(out, feature);
    return out;
}

// Parses an inflated cell; false when a feature runs past `size`. A count of 0 or
// less is an empty cell.
inline bool DecodeCell(const uint8_t* data, size_t size, std::vector<Feature>& features) {
    features.clear();
    if (size < kFeatureCountSize)
        return false;
    const int32_t count = map_container::LoadI32(data);
    size_t at = kFeatureCountSize;
    for (int32_t i = 0; i < count; ++i) {
        if (size - at < kFeatureHeaderSize)
            return false;
        const uint32_t word = map_container::LoadU32(data + at + kFeatureWordOffset);
        Feature feature;
        feature.kind = (word & kKindMask) >> kKindShift;
        feature.level = (word & kLevelMask) >> kLevelShift;
        feature.openLine = (word & kOpenLine) != 0;
        feature.minLongitude = map_container::LoadF32(data + at + kBoxMinLongitudeOffset);
        feature.minLatitude = map_container::LoadF32(data + at + kBoxMinLatitudeOffset);
        feature.maxLongitude = map_container::LoadF32(data + at + kBoxMaxLongitudeOffset);
        feature.maxLatitude = map_container::LoadF32(data + at + kBoxMaxLatitudeOffset);
        at += kFeatureHeaderSize;
        const uint32_t pointCount = word & kPointCountMask;
        if ((size - at) / kPointSize < pointCount)
            return false;
        feature.points.resize(pointCount);
        for (Position& point : feature.points) {
            point = chunk_payload::DecodePosition(data + at);
            at += kPointSize;
        }
        features.push_back(std::move(feature));
    }
    return true;
}

}  // namespace formats::polygons
