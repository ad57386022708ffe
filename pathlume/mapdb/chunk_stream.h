// The one process-wide decompressor of map blocks: a compressed block (u32 packed
// size, u32 raw size, zlib stream; formats/compressed_block.h) is inflated into one
// reusable buffer, from which the decoders read its contents in sequence. A block
// that ends as our writer ends one and fits the input buffer is inflated in one call
// by libdeflate; any other goes to zlib, whose state and window come from a private
// arena so that inflating a chunk does not fragment the program heap.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "pathlume/foundation/heap.h"
#include "platform/kernel/wintypes.h"

// Where the stream reads a block from: the data file object of the container, or
// anything that reads like it. Read returns the bytes copied (fewer at the end);
// Seek moves to an absolute offset, false when it cannot.
// Names the block at an input's current position for ChunkStream's cache of
// inflated blocks: the file's one opening and the offset.
struct ChunkBlockKey {
    const void* source = nullptr;
    uint32_t serial = 0;
    uint32_t offset = 0;
    bool operator==(const ChunkBlockKey&) const = default;
};

class IChunkInput {
  public:
    virtual int Read(void* buffer, int count) = 0;
    virtual bool Seek(uint32_t offset) = 0;
    // False: the input's blocks are inflated every time.
    virtual bool BlockKey(ChunkBlockKey* /*key*/) { return false; }

  protected:
    ~IChunkInput() = default;
};

class CDataFile;
struct libdeflate_decompressor;

// The map container's file object as the stream's input.
class DataFileChunkInput : public IChunkInput {
  public:
    explicit DataFileChunkInput(CDataFile* file) : file_(file) {}
    int Read(void* buffer, int count) override;
    bool Seek(uint32_t offset) override;
    // A file open for reading only: one that is written may change under the cache.
    bool BlockKey(ChunkBlockKey* key) override;

  private:
    CDataFile* file_;
};

class ChunkStream {
  public:
    // Address space reserved for the decompressed block: a raw size beyond it is
    // refused.
    static constexpr uint32_t kRegionSize = 8u * 1024 * 1024;
    static constexpr uint32_t kInputBufferSize = 65536;

    ChunkStream();
    ~ChunkStream();
    ChunkStream(const ChunkStream&) = delete;
    ChunkStream& operator=(const ChunkStream&) = delete;

    // Allocates the input buffer; 0, or 1 when it cannot be allocated.
    int SetInputBuffer(uint32_t size);
    // Reads the block at the input's current position and inflates it: 0 success, 1
    // when the 8-byte head cannot be read, -1 when the block cannot be inflated
    // whole (short input, a zlib error, or fewer or more bytes than the raw size).
    int Inflate();
    // Copies n bytes and advances, when n bytes remain in the block; returns n or 0.
    uint32_t ReadBytes(void* dest, uint32_t n);
    // ReadBytes on g_currentChunkStream: 1 when all n bytes were read, else 0.
    static int Read(void* dest, uint32_t n);

    IChunkInput* file = nullptr;  // the caller sets it before each Inflate
    BYTE* inputBuffer = nullptr;
    uint32_t inputCapacity = 0;
    BYTE* data = nullptr;
    uint32_t dataCapacity = 0;
    uint32_t rawSize = 0;
    BYTE* cursor = nullptr;

    // The inflated blocks kept, and how many bytes they hold together.
    size_t CachedBlocks() const { return cache_.size(); }
    size_t CachedBytes() const { return cachedBytes_; }
    void ClearCache();

  private:
    // A block read again soon (a route's chunks are loaded by the nearest-link walk,
    // then by the search's window; dropped chunks come back with the next window) is
    // copied from here instead of inflated again: the most recently used blocks, up
    // to kCacheBytes together.
    static constexpr size_t kCacheBytes = 2u * 1024 * 1024;
    static constexpr size_t kCacheBlocks = 256;
    struct CachedBlock {
        ChunkBlockKey key;
        uint32_t packedSize = 0;
        uint64_t lastUse = 0;
        std::vector<BYTE> raw;
    };

    int InflateBody(uint32_t packedSize, uint32_t expectedSize);
    // zlib over input read a piece at a time, or over input already in memory.
    int InflatePieces(uint32_t packedSize, uint32_t expectedSize);
    int InflateBuffer(const BYTE* packed, uint32_t packedSize, uint32_t expectedSize);
    bool FromCache(const ChunkBlockKey& key);
    void Keep(const ChunkBlockKey& key, uint32_t packedSize);

    CPageHeap region_;
    libdeflate_decompressor* decompressor_ = nullptr;  // made at the first block
    std::vector<CachedBlock> cache_;
    size_t cachedBytes_ = 0;
    uint64_t uses_ = 0;
};

extern ChunkStream g_chunkStream;
// Every reader goes through this pointer; the map database points it at g_chunkStream.
extern ChunkStream* g_currentChunkStream;

// In the header: the decoders read a chunk a field at a time.
inline uint32_t ChunkStream::ReadBytes(void* dest, uint32_t n) {
    const size_t left = static_cast<size_t>(data + rawSize - cursor);
    if (n > left)
        return 0;
    if (n > 0)
        std::memcpy(dest, cursor, n);
    cursor += n;
    return n;
}

inline int ChunkStream::Read(void* dest, uint32_t n) {
    return g_currentChunkStream && g_currentChunkStream->ReadBytes(dest, n) == n ? 1 : 0;
}

// The allocator zlib uses while inflating: one block that grows to the largest need
// seen, with overflow blocks for the one inflate that first needs more.
namespace InflateArena {

inline constexpr uint32_t kInitialBlockSize = 63920;
inline constexpr int kMaxSpill = 10;

// Allocates the first block; blockSize is `size` when that succeeds.
void Init(uint32_t size);
void* Alloc(void* opaque, unsigned items, unsigned size);
void Free(void* opaque, void* address);
// Starts a new inflate: keeps the current block, or replaces it (and every spill
// block) by one block of the largest total seen.
void Reset();
// Frees every block.
void Release();

// Figures for tests.
uint32_t BlockSize();
uint32_t HighWater();
int SpillCount();

}  // namespace InflateArena
