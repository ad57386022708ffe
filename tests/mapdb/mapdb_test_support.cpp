#include "tests/mapdb/mapdb_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "formats/compressed_block.h"
#include "formats/little_endian.h"
#include "formats/map_container.h"
#include "pathlume/mapdb/mapdb_memory.h"

namespace mapdb_test {

int MemoryInput::Read(void* buffer, int count) {
    const size_t n = std::min<size_t>(static_cast<size_t>(count), bytes_.size() - at_);
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<int>(n);
}

bool MemoryInput::Seek(uint32_t offset) {
    if (offset > bytes_.size())
        return false;
    at_ = offset;
    return true;
}

std::vector<uint8_t> MakeBlock(const std::vector<uint8_t>& raw, int64_t rawSizeOverride) {
    z_stream stream{};
    if (deflateInit(&stream, 9) != Z_OK)
        throw std::runtime_error("deflateInit");
    std::vector<uint8_t> packed(deflateBound(&stream, raw.size()) + 64);
    stream.next_in = const_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    if (deflate(&stream, Z_SYNC_FLUSH) != Z_OK)
        throw std::runtime_error("deflate");
    packed.resize(stream.total_out);
    deflateEnd(&stream);

    std::vector<uint8_t> block(formats::compressed_block::kHeadSize);
    formats::StoreU32(block.data(), static_cast<uint32_t>(packed.size()));
    formats::StoreU32(block.data() + 4, rawSizeOverride >= 0
                                            ? static_cast<uint32_t>(rawSizeOverride)
                                            : static_cast<uint32_t>(raw.size()));
    block.insert(block.end(), packed.begin(), packed.end());
    return block;
}

void EnsureStream() {
    static bool ready = false;
    g_currentChunkStream = &g_chunkStream;
    if (ready)
        return;
    ready = true;
    g_chunkStream.SetInputBuffer(ChunkStream::kInputBufferSize);
    InflateArena::Init(InflateArena::kInitialBlockSize);
}

long StreamReadyBaseline() {
    EnsureStream();
    InflateArena::Init(InflateArena::kInitialBlockSize);
    return mapdb::LiveBlocks();
}

int InflateBlock(MemoryInput& input) {
    EnsureStream();
    g_chunkStream.file = &input;
    return g_chunkStream.Inflate();
}

int DecodePayload(const std::vector<uint8_t>& payload, MapChunk& chunk,
                  ChunkDecodeContext& context) {
    MemoryInput input(MakeBlock(payload));
    if (InflateBlock(input) != 0)
        return 4;
    return chunk.Decode(context);
}

void WriteRowContainer(const std::filesystem::path& file, float cellWidth, float cellHeight,
                       int32_t columns, const std::vector<std::vector<uint8_t>>& payloads) {
    namespace container = formats::map_container;
    container::GridHeader head;
    std::memcpy(head.magic, container::kMagic, 4);
    head.originLongitude = -100.0f;
    head.originLatitude = 45.0f;
    head.columns = columns;
    head.rows = 1;
    head.cellWidth = cellWidth;
    head.cellHeight = cellHeight;
    std::vector<uint8_t> bytes(container::kHeaderSize + 4 * columns);
    container::EncodeHeader(head, bytes.data());
    for (int32_t i = 0; i < columns; ++i) {
        if (i >= static_cast<int32_t>(payloads.size()) || payloads[i].empty())
            continue;
        formats::StoreU32(bytes.data() + container::CellEntryOffset(i),
                          static_cast<uint32_t>(bytes.size()));
        const std::vector<uint8_t> block = MakeBlock(payloads[i]);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

formats::chunk_payload::Position Pos(float latitude, float longitude) {
    formats::chunk_payload::Position p;
    p.latitude = latitude;
    p.longitude = longitude;
    return p;
}

formats::chunk_payload::LinkRecord RoadLink(uint16_t fromRef, uint16_t toRef, int32_t id,
                                            std::vector<formats::chunk_payload::Position> points) {
    formats::chunk_payload::LinkRecord link;
    link.fromRef = fromRef;
    link.toRef = toRef;
    link.body.linkId = id;
    link.body.attributes = 0x40;
    link.body.shapeInfo = static_cast<uint16_t>(points.size());
    link.inlinePoints = std::move(points);
    return link;
}

std::vector<uint8_t> EncodeSharedChunk(formats::chunk_payload::Chunk chunk) {
    namespace payload = formats::chunk_payload;
    payload::ChunkHeader& h = chunk.header;
    h.nodeCount = static_cast<uint16_t>(chunk.nodes.size());
    h.edLinkCount = static_cast<uint16_t>(chunk.edLinks.size());
    h.slotWords = 0;
    for (const payload::NodeRecord& node : chunk.nodes)
        h.slotWords = static_cast<uint16_t>(h.slotWords + node.SlotCount());
    for (int side = 0; side < payload::kSideCount; ++side) {
        h.sides[side].levelNodes = static_cast<uint16_t>(chunk.sideNodes[side].size());
        h.sides[side].levelLinks = 0;
    }
    return payload::EncodeChunk(chunk);
}

std::vector<std::vector<uint8_t>> ThreeCellRoad(
    std::vector<formats::chunk_payload::Position> middlePoints) {
    namespace payload = formats::chunk_payload;
    const float lat = kRoadLatitude;
    // A: interior node a0; the road leaves it to the east border.
    payload::Chunk a;
    a.nodes.push_back({{}, 1, Pos(lat, RoadLongitude(0.5f))});
    a.sideNodes[payload::kSideEast] = {Pos(lat, RoadLongitude(1))};
    a.edLinks.push_back(RoadLink(payload::kRefShared | 0, 1, 77, {Pos(lat, RoadLongitude(0.8f))}));
    // B: no interior node; the road crosses from the west border to the east one.
    payload::Chunk b;
    b.sideNodes[payload::kSideEast] = {Pos(lat, RoadLongitude(2))};
    b.sideNodes[payload::kSideWest] = {Pos(lat, RoadLongitude(1))};
    b.edLinks.push_back(RoadLink(payload::kRefShared | 1, 0, 77, std::move(middlePoints)));
    // C: from the west border to interior node c0.
    payload::Chunk c;
    c.nodes.push_back({{}, 1, Pos(lat, RoadLongitude(2.5f))});
    c.sideNodes[payload::kSideWest] = {Pos(lat, RoadLongitude(2))};
    c.edLinks.push_back(RoadLink(payload::kRefShared | 1, 0, 77, {Pos(lat, RoadLongitude(2.2f))}));
    return {EncodeSharedChunk(a), EncodeSharedChunk(b), EncodeSharedChunk(c)};
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

MapLocation HoldCopy(const MapLink& real, int32_t id) {
    auto* counted = static_cast<CountedLink*>(mapdb::TryAllocZeroed(sizeof(CountedLink)));
    counted->refCount = 1;
    counted->link = real;
    counted->link.shapePoints = nullptr;
    counted->link.linkId = id;
    counted->link.flags = kLinkCounted | kLinkHeld | kLinkEd;
    MapLocation location;
    location.Set(&counted->link, 0);
    location.lat = real.fromNode->position.latitude;
    location.cosLat = std::cos(location.lat * 0.017453292f);
    location.scaledLon = real.fromNode->position.longitude * location.cosLat;
    return location;
}

}  // namespace mapdb_test
