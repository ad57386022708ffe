#include "tests/mapdb/mapdb_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "formats/compressed_block.h"
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

}  // namespace mapdb_test
