// Decoding an inflated chunk (formats/chunk_payload.h) into the records of
// map_records.h. The decoders read through ChunkStream::Read and check every count,
// index and slot against what they read: a corrupt chunk ends in a read error (4)
// with its report, never in a read or write outside the chunk's own blocks.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/map_records.h"
#include "platform/kernel/wintypes.h"

// What a decode needs of the map database: its switches, the node/link block being
// filled, and layer 0's record of the overview cell that covers the chunk's cell.
struct ChunkDecodeContext {
    // 0: aux points are not kept; 1: compact shapes; any other value: full shapes.
    DWORD keepAuxPoints = 0;
    DWORD layer0UsesFileT = 0;
    BYTE* bumpBlock = nullptr;
    BYTE* bumpCursor = nullptr;
    BYTE* bumpEnd = nullptr;
    // Null when the chunk is itself in layer 0 or its overview cell has no record.
    MapChunk* overview = nullptr;
    uint32_t overviewSlot = 0;  // that record's slot in layer 0's cache
};

// Bytes of the node/link block for a header: room for every node (slots, name,
// alignment) and every sc link, from sizeof of the native records.
uint64_t NodeLinkBlockSize(const formats::chunk_payload::ChunkHeader& header);
