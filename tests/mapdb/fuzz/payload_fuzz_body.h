// The body of the chunk payload fuzz target, shared with the test that replays its
// corpus. Input: one byte of switches (bits 0-1 the aux-point mode, bit 2 a loaded
// overview chunk, bit 3 layer 0 bound to the other file), then the inflated payload.
// The payload is decoded as a detailed chunk whose overview record is either a
// small loaded chunk or an empty one; everything is freed again and a leaked block
// aborts.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/chunk_decoder.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/mapdb_memory.h"

namespace payload_fuzz {

// Makes the stream read `bytes` as the current block.
inline void PointStreamAt(std::vector<uint8_t>& bytes) {
    g_currentChunkStream = &g_chunkStream;
    g_chunkStream.data = bytes.data();
    g_chunkStream.rawSize = static_cast<uint32_t>(bytes.size());
    g_chunkStream.cursor = bytes.data();
}

// An overview chunk of three nodes with four slots each and no links.
inline std::vector<uint8_t> OverviewPayload() {
    namespace payload = formats::chunk_payload;
    payload::Chunk chunk;
    for (int i = 0; i < 3; ++i)
        chunk.nodes.push_back({{}, 4, {45.0f + i * 0.01f, -100.0f}});
    chunk.header.nodeCount = 3;
    chunk.header.slotWords = 9;
    return payload::EncodeChunk(chunk);
}

// Decodes one input; returns the decode result.
inline int DecodeOne(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const long baseline = mapdb::LiveBlocks();
    ChunkStream* const savedStream = g_currentChunkStream;
    BYTE* const savedData = g_chunkStream.data;
    const uint8_t switches = data[0];
    std::vector<uint8_t> bytes(data + 1, data + size);

    MapChunk overview{};
    if (switches & 4) {
        std::vector<uint8_t> overviewBytes = OverviewPayload();
        PointStreamAt(overviewBytes);
        ChunkDecodeContext overviewContext;
        if (overview.Decode(overviewContext) != 0)
            std::abort();
    }
    ChunkDecodeContext context;
    context.keepAuxPoints = switches & 3;
    context.layer0UsesFileT = (switches >> 3) & 1;
    context.overview = &overview;
    context.overviewSlot = 5;
    MapChunk chunk{};
    PointStreamAt(bytes);
    const int result = chunk.Decode(context);
    if (result != 0 && result != 2 && result != 4)
        std::abort();
    if (result == 0 && !chunk.IsLoaded())
        std::abort();
    chunk.FreeStorage();
    overview.FreeStorage();
    overview.FreeProxyNodes();
    // The stream must not keep pointing at this input.
    g_chunkStream.data = g_chunkStream.cursor = savedData;
    g_chunkStream.rawSize = 0;
    g_currentChunkStream = savedStream;
    if (mapdb::LiveBlocks() != baseline)
        std::abort();
    return result;
}

}  // namespace payload_fuzz
