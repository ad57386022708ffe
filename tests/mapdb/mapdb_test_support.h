// Shared pieces of the map database tests: an in-memory input for the chunk
// stream, a block writer, and decoding a payload into a chunk record.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/chunk_decoder.h"
#include "pathlume/mapdb/chunk_stream.h"

namespace mapdb_test {

class MemoryInput : public IChunkInput {
  public:
    explicit MemoryInput(std::vector<uint8_t> bytes = {}) : bytes_(std::move(bytes)) {}
    int Read(void* buffer, int count) override;
    bool Seek(uint32_t offset) override;
    std::vector<uint8_t>& Bytes() { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
};

// A compressed block as the writers make it: level 9, sync-flushed, unfinished.
// rawSizeOverride replaces the head's raw size when it is not -1.
std::vector<uint8_t> MakeBlock(const std::vector<uint8_t>& raw, int64_t rawSizeOverride = -1);

// Points the chunk stream at g_chunkStream with its input buffer and the arena.
void EnsureStream();

// EnsureStream, with the inflate arena holding its first block again (a database
// releases it when destroyed); then the heap blocks counted, as a leak baseline.
long StreamReadyBaseline();

// Inflates `block` through the stream; the Inflate result.
int InflateBlock(MemoryInput& input);

// Inflates a block of the payload and decodes it into `chunk`: the Decode result, or
// 4 when the block itself did not inflate.
int DecodePayload(const std::vector<uint8_t>& payload, MapChunk& chunk,
                  ChunkDecodeContext& context);

}  // namespace mapdb_test
