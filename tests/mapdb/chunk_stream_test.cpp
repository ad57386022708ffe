// The chunk stream: blocks inflate whole or not at all, reads stop at the block's
// end, and the inflate arena adapts to the largest need.
#include "pathlume/mapdb/chunk_stream.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <fstream>
#include <numeric>
#include <random>
#include <stdexcept>
#include <vector>

#include "formats/compressed_block.h"
#include "formats/little_endian.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/paths.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"

namespace {

using mapdb_test::InflateBlock;
using mapdb_test::MakeBlock;
using mapdb_test::MemoryInput;

std::vector<uint8_t> Counting(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

// A block whose zlib stream is finished (final block and checksum), as our writer
// never leaves one: it goes to zlib instead of the one-call inflate.
std::vector<uint8_t> MakeFinishedBlock(const std::vector<uint8_t>& raw) {
    uLongf packedSize = compressBound(raw.size());
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), raw.size(), 9) != Z_OK)
        throw std::runtime_error("compress2");
    packed.resize(packedSize);
    std::vector<uint8_t> block(formats::compressed_block::kHeadSize);
    formats::StoreU32(block.data(), static_cast<uint32_t>(packed.size()));
    formats::StoreU32(block.data() + 4, static_cast<uint32_t>(raw.size()));
    block.insert(block.end(), packed.begin(), packed.end());
    return block;
}

std::vector<uint8_t> Noise(size_t size) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// Our writer's blocks (inflated in one call), a finished stream and a block larger
// than the input buffer (both by zlib) give the same bytes and leave the input just
// past the block.
TEST(ChunkStreamTest, EveryWayOfInflatingGivesTheBlocksBytes) {
    struct Case {
        const char* what;
        std::vector<uint8_t> raw;
        std::vector<uint8_t> block;
    };
    const std::vector<uint8_t> counting = Counting(20000), noise = Noise(100000);
    const Case cases[] = {
        {"sync-flushed", counting, MakeBlock(counting)},
        {"finished", counting, MakeFinishedBlock(counting)},
        {"larger than the input buffer", noise, MakeBlock(noise)},
    };
    for (const Case& c : cases) {
        ASSERT_GT(c.block.size(), formats::compressed_block::kHeadSize) << c.what;
        std::vector<uint8_t> bytes = c.block;
        const std::vector<uint8_t> next = MakeBlock(Counting(10));
        bytes.insert(bytes.end(), next.begin(), next.end());
        MemoryInput input(bytes);
        ASSERT_EQ(InflateBlock(input), 0) << c.what;
        std::vector<uint8_t> got(c.raw.size());
        ASSERT_EQ(ChunkStream::Read(got.data(), static_cast<uint32_t>(got.size())), 1) << c.what;
        EXPECT_EQ(got, c.raw) << c.what;
        ASSERT_EQ(g_chunkStream.Inflate(), 0) << c.what;
        EXPECT_EQ(g_chunkStream.rawSize, 10u) << c.what;
    }
}

TEST(ChunkStreamTest, ReadsStopExactlyAtTheEndOfTheBlock) {
    MemoryInput input(MakeBlock(Counting(100)));
    ASSERT_EQ(InflateBlock(input), 0);
    EXPECT_EQ(g_chunkStream.rawSize, 100u);
    std::vector<uint8_t> got(101);
    ASSERT_EQ(ChunkStream::Read(got.data(), 60), 1);
    ASSERT_EQ(ChunkStream::Read(got.data() + 60, 40), 1);  // exactly what remains
    got.resize(100);
    EXPECT_EQ(got, Counting(100));
    uint8_t more = 0;
    EXPECT_EQ(ChunkStream::Read(&more, 1), 0);

    // A block of raw size 0 inflates to nothing; every read of a byte fails.
    MemoryInput empty(MakeBlock({}));
    ASSERT_EQ(InflateBlock(empty), 0);
    EXPECT_EQ(ChunkStream::Read(&more, 1), 0);
    EXPECT_EQ(ChunkStream::Read(&more, 0), 1);
}

TEST(ChunkStreamTest, TheBufferGrowsAndIsReused) {
    MemoryInput large(MakeBlock(Counting(300000)));
    ASSERT_EQ(InflateBlock(large), 0);
    const uint32_t capacity = g_chunkStream.dataCapacity;
    EXPECT_GE(capacity, 300000u);
    BYTE* data = g_chunkStream.data;
    MemoryInput small(MakeBlock(Counting(1000)));
    ASSERT_EQ(InflateBlock(small), 0);
    EXPECT_EQ(g_chunkStream.dataCapacity, capacity);
    EXPECT_EQ(g_chunkStream.data, data);
    std::vector<uint8_t> got(1000);
    ASSERT_EQ(ChunkStream::Read(got.data(), 1000), 1);
    EXPECT_EQ(got, Counting(1000));
}

// A block read again from the same opening of a file comes from the cache, and the
// input is left past it as an inflate leaves it; the file opened again (rewritten in
// between) is inflated afresh.
TEST(ChunkStreamTest, BlocksReadAgainComeFromTheCacheOfTheirFilesOpening) {
    testing_support::TempRoots roots;
    const std::filesystem::path path = roots.base() / "blocks.bin";
    auto write = [&](uint8_t salt) {
        std::vector<uint8_t> first = Counting(5000), second = Counting(70);
        for (uint8_t& b : first)
            b = static_cast<uint8_t>(b ^ salt);
        std::vector<uint8_t> bytes = MakeBlock(first);
        const std::vector<uint8_t> next = MakeBlock(second);
        bytes.insert(bytes.end(), next.begin(), next.end());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return first;
    };
    mapdb_test::EnsureStream();
    g_chunkStream.ClearCache();
    std::vector<uint8_t> expected = write(0);
    CDataFile file;
    ASSERT_EQ(file.Open(platform::HostPathText(path).c_str(), kDataFileRead | kDataFileMapped), 0);
    DataFileChunkInput input(&file);
    auto readFirstThenSecond = [&] {
        g_chunkStream.file = &input;
        ASSERT_TRUE(input.Seek(0));
        ASSERT_EQ(g_chunkStream.Inflate(), 0);
        std::vector<uint8_t> got(expected.size());
        ASSERT_EQ(ChunkStream::Read(got.data(), static_cast<uint32_t>(got.size())), 1);
        EXPECT_EQ(got, expected);
        // The next block follows where the first left the input.
        ASSERT_EQ(g_chunkStream.Inflate(), 0);
        EXPECT_EQ(g_chunkStream.rawSize, 70u);
    };
    readFirstThenSecond();
    EXPECT_EQ(g_chunkStream.CachedBlocks(), 2u);
    readFirstThenSecond();
    EXPECT_EQ(g_chunkStream.CachedBlocks(), 2u);

    file.Close();
    expected = write(0x5A);
    ASSERT_EQ(file.Open(platform::HostPathText(path).c_str(), kDataFileRead | kDataFileMapped), 0);
    readFirstThenSecond();
    EXPECT_EQ(g_chunkStream.CachedBlocks(), 4u);
    file.Close();
    g_chunkStream.ClearCache();
}

// Every way a block can fail: its result, and nothing of it readable afterwards.
TEST(ChunkStreamTest, BrokenBlocksFailAndLeaveNothingToRead) {
    const std::vector<uint8_t> raw = Counting(5000);
    const std::vector<uint8_t> good = MakeBlock(raw);
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        int expected;
    };
    std::vector<Case> cases;
    cases.push_back({"head cut short", {good.begin(), good.begin() + 5}, 1});
    cases.push_back({"stream cut short", {good.begin(), good.end() - 10}, -1});
    // The stream is whole but holds fewer bytes than the head promises.
    cases.push_back({"raw size larger than the stream", MakeBlock(raw, 6000), -1});
    cases.push_back({"raw size smaller than the stream", MakeBlock(raw, 4000), -1});
    cases.push_back({"raw size past the 8 MB region", MakeBlock(raw, 9 * 1024 * 1024), -1});
    std::vector<uint8_t> garbage = good;
    for (size_t i = 10; i < garbage.size(); ++i)
        garbage[i] ^= 0x5A;
    cases.push_back({"corrupt stream", garbage, -1});
    for (const Case& c : cases) {
        // A good block first, so that stale bytes would be there to read.
        MemoryInput first(good);
        ASSERT_EQ(InflateBlock(first), 0);
        MemoryInput input(c.block);
        EXPECT_EQ(InflateBlock(input), c.expected) << c.what;
        uint8_t byte = 0;
        EXPECT_EQ(ChunkStream::Read(&byte, 1), 0) << c.what;
    }
}

TEST(ChunkStreamTest, ArenaSpillsOnceThenFitsInOneBlock) {
    mapdb_test::EnsureStream();
    // A first block far too small for zlib's state and window.
    InflateArena::Release();
    InflateArena::Init(4096);
    // Our writer's blocks are inflated without zlib: the arena is not touched.
    const uint32_t highWaterBefore = InflateArena::HighWater();
    MemoryInput ours(MakeBlock(Counting(2000)));
    ASSERT_EQ(InflateBlock(ours), 0);
    EXPECT_EQ(InflateArena::SpillCount(), 0);
    EXPECT_EQ(InflateArena::HighWater(), highWaterBefore);
    MemoryInput first(MakeFinishedBlock(Counting(2000)));
    ASSERT_EQ(InflateBlock(first), 0);
    EXPECT_GT(InflateArena::SpillCount(), 0);
    const uint32_t highWater = InflateArena::HighWater();
    EXPECT_GT(highWater, 4096u);

    MemoryInput second(MakeFinishedBlock(Counting(3000)));
    ASSERT_EQ(InflateBlock(second), 0);
    EXPECT_EQ(InflateArena::SpillCount(), 0);
    EXPECT_EQ(InflateArena::BlockSize(), highWater);
    std::vector<uint8_t> got(3000);
    ASSERT_EQ(ChunkStream::Read(got.data(), 3000), 1);
    EXPECT_EQ(got, Counting(3000));

    // Steady state: no block is allocated or freed per inflate.
    const long blocks = mapdb::LiveBlocks();
    MemoryInput third(MakeFinishedBlock(Counting(3000)));
    ASSERT_EQ(InflateBlock(third), 0);
    EXPECT_EQ(mapdb::LiveBlocks(), blocks);
}

}  // namespace
