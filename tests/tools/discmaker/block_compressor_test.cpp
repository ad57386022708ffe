// The discs' blocks made on all cores: the converters' own writer's bytes at the
// device's level, every block inflating back at the discs' level, order kept.
#include "tools/discmaker/block_compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

#include "mapferry/convert/compressed_block.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace {

using namespace discmaker;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Words of a small alphabet with some noise: compressible, not trivially.
Bytes SampleRaw(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes raw(size);
    for (size_t i = 0; i < size; ++i)
        raw[i] = static_cast<uint8_t>(i % 7 == 0 ? random() : 'a' + random() % 6);
    return raw;
}

class BlockCompressorTest : public testing_support::RootsTest {
  protected:
    fs::path Write(const char* name, const Bytes& bytes) {
        const fs::path path = roots_.base() / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static Bytes Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(BlockCompressorTest, Level9IsTheConvertersOwnBlock) {
    // Three pieces: two full, one short.
    const Bytes raw = SampleRaw(2 * 0x80000 + 1234, 1);
    const fs::path rawPath = Write("raw", raw), blockPath = roots_.base() / "block";
    {
        CFile source(platform::HostPathText(rawPath).c_str(), CFile::modeRead);
        CFile block(platform::HostPathText(blockPath).c_str(),
                    CFile::modeCreate | CFile::modeReadWrite);
        ASSERT_EQ(WriteCompressedBlock(&source, static_cast<DWORD>(raw.size()), nullptr, &block),
                  kBlockWriteOk);
    }
    ReleaseCompressedBlockBuffer();
    EXPECT_EQ(CompressBlock(raw.data(), raw.size(), 9), Read(blockPath));
}

TEST_F(BlockCompressorTest, BlocksInflateBackInTheirOrder) {
    std::vector<Bytes> raws;
    for (unsigned i = 0; i < 40; ++i)
        raws.push_back(SampleRaw(i == 7 ? 0x80000 + 1 : 100 + 997 * i, i));
    raws.push_back({});  // an empty cell still makes a block
    std::vector<const Bytes*> pointers;
    for (const Bytes& raw : raws)
        pointers.push_back(&raw);
    const std::vector<Bytes> blocks = CompressBlocks(pointers, kDiscCompressionLevel, 4);
    ASSERT_EQ(blocks.size(), raws.size());
    Bytes file;
    for (const Bytes& block : blocks)
        file.insert(file.end(), block.begin(), block.end());
    const fs::path path = Write("blocks", file);
    CFile in(platform::HostPathText(path).c_str(), CFile::modeRead);
    CBlockReader reader(&in);
    for (size_t i = 0; i < raws.size(); ++i) {
        ASSERT_EQ(reader.ReadBlock(), 0) << i;
        ASSERT_EQ(Bytes(reader.GetData(), reader.GetData() + reader.GetRawSize()), raws[i]) << i;
    }
    EXPECT_EQ(CompressBlocks(pointers, kDiscCompressionLevel, 1), blocks) << "one thread or four";
}

TEST(BlockCompressor, AStreamedBlockIsTheBlockOfItsBytesAtOnce) {
    // Whatever the bytes arrive in, the pieces are those of the whole: none, a
    // short block, a piece and a byte, and three pieces given in uneven parts.
    for (const size_t size : {size_t{0}, size_t{5000}, size_t{0x80000 + 1}, size_t{0x180000 - 7}}) {
        const Bytes raw = SampleRaw(size, static_cast<unsigned>(size));
        for (const size_t part : {size_t{1}, size_t{4093}, size_t{0x80000}, size_t{0x90000}}) {
            if (part == 1 && size > 5000)
                continue;
            BlockStream stream;
            for (size_t at = 0; at < size; at += part)
                stream.Append(raw.data() + at, std::min(part, size - at));
            EXPECT_EQ(stream.Finish(), CompressBlock(raw.data(), raw.size()))
                << size << " bytes in parts of " << part;
        }
    }
}

TEST(BlockCompressor, ABlockLargerThanReadersAcceptIsRefused) {
    const Bytes tooLarge(formats::compressed_block::kMaxRawSize + 1);
    EXPECT_THROW(CompressBlock(tooLarge.data(), tooLarge.size()), std::runtime_error);
    BlockStream stream;
    EXPECT_THROW(stream.Append(tooLarge), std::runtime_error);
}

}  // namespace
