#include "pathlume/mapdb/chunk_stream.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "formats/compressed_block.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"

ChunkStream g_chunkStream;
ChunkStream* g_currentChunkStream = nullptr;
// The program's map database sets up g_chunkStream when it is constructed: it is
// defined here, after the stream, because within one file the order of
// construction (and, reversed, of destruction) is fixed.
CMapDatabase g_mapDatabase;

namespace {
namespace block = formats::compressed_block;
}

int DataFileChunkInput::Read(void* buffer, int count) {
    return file_->Read(buffer, count);
}

bool DataFileChunkInput::Seek(uint32_t offset) {
    return offset <= 0x7FFFFFFF && file_->Seek(static_cast<int>(offset), 0) == 0;
}

bool DataFileChunkInput::BlockKey(ChunkBlockKey* key) {
    if (!file_ || file_->OpenSerial() == 0 ||
        (file_->Mode() & (kDataFileWrite | kDataFileUpdate)) != 0)
        return false;
    const int at = file_->Tell();
    if (at < 0)
        return false;
    *key = {file_, file_->OpenSerial(), static_cast<uint32_t>(at)};
    return true;
}

ChunkStream::ChunkStream() = default;

int ChunkStream::SetInputBuffer(uint32_t size) {
    BYTE* buffer = static_cast<BYTE*>(mapdb::TryAlloc(size));
    if (!buffer)
        return 1;
    mapdb::FreeBlock(inputBuffer);
    inputBuffer = buffer;
    inputCapacity = size;
    return 0;
}

int ChunkStream::Inflate() {
    // The region is reserved at the first block rather than at construction, so
    // that the global stream needs no memory service during static start-up.
    if (!region_.Base()) {
        if (!region_.Reserve(kRegionSize))
            return -1;
        data = region_.Base();
    }
    ChunkBlockKey key;
    const bool keyed = file && file->BlockKey(&key);
    if (keyed && FromCache(key))
        return 0;
    uint8_t head[block::kHeadSize];
    if (!file || file->Read(head, block::kHeadSize) != static_cast<int>(block::kHeadSize)) {
        rawSize = 0;
        cursor = data;
        return 1;
    }
    const block::BlockHead blockHead = block::DecodeHead(head);
    // Until the block is whole, nothing of it may be read.
    rawSize = 0;
    cursor = data;
    if (blockHead.rawSize > kRegionSize || !inputBuffer)
        return -1;
    if (dataCapacity < blockHead.rawSize) {
        if (!region_.Grow(blockHead.rawSize))
            return -1;
        dataCapacity = blockHead.rawSize;
    }
    if (InflateBody(blockHead.packedSize, blockHead.rawSize) != 0)
        return -1;
    rawSize = blockHead.rawSize;
    cursor = data;
    if (keyed)
        Keep(key, blockHead.packedSize);
    return 0;
}

bool ChunkStream::FromCache(const ChunkBlockKey& key) {
    auto it = std::find_if(cache_.begin(), cache_.end(),
                           [&](const CachedBlock& c) { return c.key == key; });
    if (it == cache_.end())
        return false;
    const uint32_t size = static_cast<uint32_t>(it->raw.size());
    if (dataCapacity < size) {
        if (!region_.Grow(size))
            return false;
        dataCapacity = size;
    }
    // The input is left past the block, as an inflate leaves it.
    if (!file->Seek(key.offset + block::kHeadSize + it->packedSize))
        return false;
    std::memcpy(data, it->raw.data(), size);
    rawSize = size;
    cursor = data;
    it->lastUse = ++uses_;
    return true;
}

void ChunkStream::Keep(const ChunkBlockKey& key, uint32_t packedSize) {
    if (rawSize > kCacheBytes / 8)
        return;
    while (!cache_.empty() &&
           (cachedBytes_ + rawSize > kCacheBytes || cache_.size() >= kCacheBlocks)) {
        auto oldest = std::min_element(
            cache_.begin(), cache_.end(),
            [](const CachedBlock& a, const CachedBlock& b) { return a.lastUse < b.lastUse; });
        cachedBytes_ -= oldest->raw.size();
        *oldest = std::move(cache_.back());
        cache_.pop_back();
    }
    // Keeping is only a saving: without the memory the block is simply not kept.
    try {
        CachedBlock kept;
        kept.key = key;
        kept.packedSize = packedSize;
        kept.lastUse = ++uses_;
        kept.raw.assign(data, data + rawSize);
        cache_.push_back(std::move(kept));
        cachedBytes_ += rawSize;
    } catch (const std::bad_alloc&) {
    }
}

void ChunkStream::ClearCache() {
    cache_.clear();
    cachedBytes_ = 0;
}

namespace {

// A deflate stream's last block: final, stored, empty. Our blocks end with a sync
// flush (an empty stored block that is not final, ending on a byte boundary); this
// appended after it makes the stream one a whole-buffer inflate finishes.
constexpr uint8_t kFinalEmptyBlock[] = {0x01, 0x00, 0x00, 0xFF, 0xFF};
constexpr uint8_t kSyncFlushEnd[] = {0x00, 0x00, 0xFF, 0xFF};
constexpr uint32_t kZlibHeadSize = 2;

// zlib inflating one block into `out` with a sync flush per piece of input: a piece
// must be taken whole, and the block is good when it filled exactly the raw size.
class ZlibInflate {
  public:
    ZlibInflate(BYTE* out, uint32_t expectedSize) : expected_(expectedSize) {
        InflateArena::Reset();
        stream_.zalloc = InflateArena::Alloc;
        stream_.zfree = InflateArena::Free;
        stream_.opaque = nullptr;
        started_ = inflateInit(&stream_) == Z_OK;
        stream_.next_out = out;
        stream_.avail_out = expectedSize;
    }
    ~ZlibInflate() {
        if (started_)
            inflateEnd(&stream_);
    }
    ZlibInflate(const ZlibInflate&) = delete;
    ZlibInflate& operator=(const ZlibInflate&) = delete;

    bool Started() const { return started_; }
    bool Feed(const BYTE* piece, uint32_t size) {
        stream_.next_in = const_cast<BYTE*>(piece);
        stream_.avail_in = size;
        const int z = inflate(&stream_, Z_SYNC_FLUSH);
        // Input left over means the stream holds more than the raw size.
        return (z == Z_OK || z == Z_STREAM_END) && stream_.avail_in == 0;
    }
    // A stream that ends before it filled the raw size is as broken as one that
    // cannot be read: the decoders would read whatever the buffer held before.
    int Finish() const { return stream_.total_out == expected_ ? 0 : -1; }

  private:
    z_stream stream_{};
    uint32_t expected_;
    bool started_ = false;
};

// A zlib head of deflate with the 32 KB window and no preset dictionary: what a
// whole-buffer inflate treats exactly as zlib does.
bool PlainZlibHead(const BYTE* head) {
    return head[0] == 0x78 && (head[1] & 0x20) == 0 && ((head[0] << 8) | head[1]) % 31 == 0;
}

}  // namespace

ChunkStream::~ChunkStream() {
    region_.Release();
    mapdb::FreeBlock(inputBuffer);
    libdeflate_free_decompressor(decompressor_);
}

int ChunkStream::InflateBody(uint32_t packedSize, uint32_t expectedSize) {
    // A block whose input fits the buffer is read whole and inflated in one call;
    // one that ends otherwise than our writer ends a block goes to zlib from the same
    // bytes, so that zlib still decides every block the fast way does not take.
    const uint64_t whole = uint64_t{packedSize} + sizeof kFinalEmptyBlock;
    if (packedSize < kZlibHeadSize + sizeof kSyncFlushEnd || whole > inputCapacity)
        return InflatePieces(packedSize, expectedSize);
    if (file->Read(inputBuffer, static_cast<int>(packedSize)) != static_cast<int>(packedSize))
        return -1;
    if (PlainZlibHead(inputBuffer) && std::memcmp(inputBuffer + packedSize - sizeof kSyncFlushEnd,
                                                  kSyncFlushEnd, sizeof kSyncFlushEnd) == 0) {
        if (!decompressor_)
            decompressor_ = libdeflate_alloc_decompressor();
        if (decompressor_) {
            std::memcpy(inputBuffer + packedSize, kFinalEmptyBlock, sizeof kFinalEmptyBlock);
            size_t in = 0;
            size_t out = 0;
            const libdeflate_result result = libdeflate_deflate_decompress_ex(
                decompressor_, inputBuffer + kZlibHeadSize, whole - kZlibHeadSize, data,
                expectedSize, &in, &out);
            if (result == LIBDEFLATE_SUCCESS && in == whole - kZlibHeadSize && out == expectedSize)
                return 0;
        }
    }
    return InflateBuffer(inputBuffer, packedSize, expectedSize);
}

int ChunkStream::InflatePieces(uint32_t packedSize, uint32_t expectedSize) {
    ZlibInflate inflater(data, expectedSize);
    if (!inflater.Started())
        return -1;
    uint32_t remaining = packedSize;
    while (remaining > 0) {
        const uint32_t piece = std::min(remaining, inputCapacity);
        if (file->Read(inputBuffer, static_cast<int>(piece)) != static_cast<int>(piece) ||
            !inflater.Feed(inputBuffer, piece))
            return -1;
        remaining -= piece;
    }
    return inflater.Finish();
}

int ChunkStream::InflateBuffer(const BYTE* packed, uint32_t packedSize, uint32_t expectedSize) {
    ZlibInflate inflater(data, expectedSize);
    if (!inflater.Started() || !inflater.Feed(packed, packedSize))
        return -1;
    return inflater.Finish();
}

namespace InflateArena {

namespace {

// zlib keeps pointers in what it allocates: hand out aligned pieces.
constexpr uint32_t kAlignment = alignof(std::max_align_t);

uint32_t g_blockSize = 0;
BYTE* g_current = nullptr;
uint32_t g_currentCapacity = 0;
uint32_t g_used = 0;
int g_spillCount = 0;
BYTE* g_spill[kMaxSpill] = {};
uint32_t g_highWater = 0;
uint32_t g_runTotal = 0;

void FreeSpill() {
    for (int i = 0; i < g_spillCount; ++i) {
        mapdb::FreeBlock(g_spill[i]);
        g_spill[i] = nullptr;
    }
    g_spillCount = 0;
}

}  // namespace

void Init(uint32_t size) {
    BYTE* block = static_cast<BYTE*>(mapdb::TryAlloc(size));
    if (!block)
        return;
    mapdb::FreeBlock(g_current);
    g_current = block;
    g_currentCapacity = size;
    g_blockSize = size;
    g_used = 0;
}

void* Alloc(void* /*opaque*/, unsigned items, unsigned size) {
    const uint64_t asked = static_cast<uint64_t>(items) * size;
    const uint64_t rounded = (asked + kAlignment - 1) & ~uint64_t{kAlignment - 1};
    if (rounded > 0x40000000)
        return nullptr;
    const uint32_t n = static_cast<uint32_t>(rounded);
    g_runTotal += n;
    g_highWater = std::max(g_highWater, g_runTotal);
    if (g_current && g_used + n <= g_currentCapacity) {
        BYTE* piece = g_current + g_used;
        g_used += n;
        return piece;
    }
    // The spill list is fixed: an inflate that would need more blocks fails as an
    // out-of-memory inflate instead of writing past the list.
    if (g_current && g_spillCount == kMaxSpill)
        return nullptr;
    // A request larger than the block size gets a block of its own size.
    const uint32_t capacity = std::max(g_blockSize, n);
    BYTE* block = static_cast<BYTE*>(mapdb::TryAlloc(capacity));
    if (!block)
        return nullptr;
    if (g_current)
        g_spill[g_spillCount++] = g_current;
    g_current = block;
    g_currentCapacity = capacity;
    g_used = n;
    return block;
}

void Free(void* /*opaque*/, void* /*address*/) {}

void Reset() {
    if (g_spillCount == 0) {
        g_used = 0;
        g_runTotal = 0;
        return;
    }
    FreeSpill();
    mapdb::FreeBlock(g_current);
    g_current = nullptr;
    g_currentCapacity = 0;
    g_blockSize = g_highWater;
    g_current = static_cast<BYTE*>(mapdb::TryAlloc(g_blockSize));
    if (g_current)
        g_currentCapacity = g_blockSize;
    g_used = 0;
    g_runTotal = 0;
}

void Release() {
    FreeSpill();
    mapdb::FreeBlock(g_current);
    g_current = nullptr;
    g_currentCapacity = 0;
    g_used = 0;
    g_runTotal = 0;
}

uint32_t BlockSize() {
    return g_blockSize;
}
uint32_t HighWater() {
    return g_highWater;
}
int SpillCount() {
    return g_spillCount;
}

}  // namespace InflateArena
