// The companion chunk of an overview cell ("mapdatat.biz"): the cell's overview
// chunk with chains of links that meet at plain two-link nodes joined into single
// links, shapes thinned to a tolerance, and the nodes no link uses any more left
// out. The map database reads it in place of the overview chunk when the map is
// seen from far out.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/chunk_payload.h"
#include "platform/afx/afx_file.h"

// Shape tolerance of the companion chunks: 1/1024 degree.
inline constexpr float kCompanionShapeTolerance = 1.0f / 1024.0f;

// Links are joined only when their attributes agree in these bits.
inline constexpr uint32_t kJoinAttributeMask = 0x41A30BFF;

// Results of ClipMapGeometry and BuildCompanionChunk below the 28-byte header.
inline constexpr int kClipHeaderUnread = 1;
inline constexpr int kClipShapesUnread = 2;
// The chunk's records do not hold together (a short record, a node reference
// beyond the chunk's nodes): nothing is written.
inline constexpr int kClipRecordsBad = -1;

// Thins the shape points of a line from `start` to `end`: keeps, in their order,
// the points where the line bends by more than the tolerance from the chord, and
// the point where the straight final approach to `end` begins. Never more points
// than given; no points at all for a line that stays within the tolerance.
std::vector<formats::chunk_payload::Position> ReduceShapePoints(
    formats::chunk_payload::Position start, formats::chunk_payload::Position end,
    const std::vector<formats::chunk_payload::Position>& points, float tolerance);

// Builds the companion chunk of a chunk held in memory. Returns its length (at
// least the 28-byte header) with the bytes in `companion`, kClipHeaderUnread or
// kClipShapesUnread for a chunk too short for its header or its shape points, or
// kClipRecordsBad.
int BuildCompanionChunk(const uint8_t* chunk, size_t size, std::vector<uint8_t>* companion);

// The container writer's call for one overview cell: reads the cell's chunk back from
// the main output (from where the cell's raw chunk begins to its end), with
// `chunkHeader` (28 bytes) in place of the header found there, and writes its
// companion chunk at the companion output's end. Returns the companion's length in
// bytes; kClipHeaderUnread when the main output is too short for the header,
// kClipShapesUnread when it is too short for the shape points, kClipRecordsBad. At 0
// or less (and for those results) nothing is written.
int ClipMapGeometry(const uint8_t* chunkHeader, std::span<const uint8_t> mainOutput,
                    std::vector<uint8_t>* companionOutput);
