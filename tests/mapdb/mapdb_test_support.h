// Shared pieces of the map database tests: an in-memory input for the chunk
// stream, a block writer, and decoding a payload into a chunk record.
#pragma once

#include <cstdint>
#include <filesystem>
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

// Writes a map container of `columns` x 1 cells west to east from (45 N, 100 W),
// whose blocks are the given payloads (an empty or missing payload leaves its cell
// empty).
void WriteRowContainer(const std::filesystem::path& file, float cellWidth, float cellHeight,
                       int32_t columns, const std::vector<std::vector<uint8_t>>& payloads);

// Pieces of hand-made chunks: a position, a freeway link with inline shape points,
// and a chunk encoded with its header counts filled in (every border node carrying
// a shared entry, so no plain side links).
formats::chunk_payload::Position Pos(float latitude, float longitude);
formats::chunk_payload::LinkRecord RoadLink(uint16_t fromRef, uint16_t toRef, int32_t id,
                                            std::vector<formats::chunk_payload::Position> points);
std::vector<uint8_t> EncodeSharedChunk(formats::chunk_payload::Chunk chunk);

// Payloads of a row of three 0.01-degree cells A | B | C from 100 W at latitude
// kRoadLatitude: one freeway (id 77) from interior node a0 (99.995 W) across the
// whole of B to interior node c0 (99.975 W), a shared crossing in each cell; B's
// part carries `middlePoints`.
inline constexpr float kRoadLatitude = 45.005f;
// The cells of the hand-made road rows: a power of two of a degree, as the map
// database demands; cell x of the row spans RoadLongitude(x) to RoadLongitude(x + 1).
inline constexpr float kRoadCell = 1.0f / 128;
inline constexpr float RoadLongitude(float cellsEast) {
    return -100.0f + cellsEast * kRoadCell;
}
std::vector<std::vector<uint8_t>> ThreeCellRoad(
    std::vector<formats::chunk_payload::Position> middlePoints);

// A whole file's bytes (empty when it cannot be read), and a file written whole.
std::vector<uint8_t> FileBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A location holding a counted copy of `real` (with the id given) at its from-node,
// as the vehicle holds a link across reloads; the copy is on the map heap and goes
// when the location lets it go.
MapLocation HoldCopy(const MapLink& real, int32_t id);

}  // namespace mapdb_test
