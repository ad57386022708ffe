#include "mapferry/convert/compressed_block.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include "tests/support/temp_root.h"

namespace {

namespace block = formats::compressed_block;
using Bytes = std::vector<BYTE>;

// Bytes shaped like a map cell: names from a small vocabulary, f32 positions a
// little apart, a few attribute words, small counts and short coordinate deltas.
Bytes MapLikeData(size_t size, unsigned seed) {
    static const char* const kNames[] = {"MAIN ST", "OAK AVE",   "ELM ST",     "1ST ST",
                                         "HWY 9",   "PARK BLVD", "MILL RD",    "CEDAR LN",
                                         "LAKE DR", "RIVER RD",  "STATION SQ", "HILL CT"};
    static const uint32_t kAttributes[] = {0x41A30001, 0x41A30002, 0x00000310,
                                           0x80000003, 0x41000BFF, 0x00020001};
    std::mt19937 random(seed);
    Bytes out;
    out.reserve(size + 64);
    auto put = [&out](const void* p, size_t n) {
        const BYTE* b = static_cast<const BYTE*>(p);
        out.insert(out.end(), b, b + n);
    };
    float lat = 47.6f;
    float lon = -122.3f;
    while (out.size() < size) {
        const char* name = kNames[random() % std::size(kNames)];
        BYTE length = static_cast<BYTE>(std::strlen(name));
        put(&length, 1);
        put(name, length);
        lat += static_cast<float>(static_cast<int>(random() % 200) - 100) * 1e-5f;
        lon += static_cast<float>(static_cast<int>(random() % 200) - 100) * 1e-5f;
        put(&lat, 4);
        put(&lon, 4);
        uint32_t attributes = kAttributes[random() % std::size(kAttributes)];
        put(&attributes, 4);
        uint16_t points = static_cast<uint16_t>(random() % 12);
        put(&points, 2);
        for (uint16_t i = 0; i < points; ++i) {
            int16_t delta = static_cast<int16_t>(static_cast<int>(random() % 64) - 32);
            put(&delta, 2);
        }
    }
    out.resize(size);
    return out;
}

void WriteAll(LPCWSTR path, const Bytes& bytes) {
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.Close();
}

Bytes ReadAll(LPCWSTR path) {
    CFile file(path, CFile::modeRead);
    Bytes bytes(static_cast<size_t>(file.GetLength()));
    EXPECT_EQ(file.Read(bytes.data(), static_cast<UINT>(bytes.size())), bytes.size());
    return bytes;
}

block::BlockHead HeadAt(const Bytes& file, size_t offset) {
    uint8_t head[block::kHeadSize];
    std::memcpy(head, file.data() + offset, sizeof head);
    return block::DecodeHead(head);
}

// The stream as the format defines it: level 9, sync flush after every 512 KiB,
// never finished.
Bytes ReferenceStream(const Bytes& raw) {
    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, 9), Z_OK);
    Bytes out;
    for (size_t done = 0; done < raw.size();) {
        size_t piece = std::min<size_t>(0x80000, raw.size() - done);
        stream.next_in = const_cast<BYTE*>(raw.data() + done);
        stream.avail_in = static_cast<uInt>(piece);
        do {
            BYTE buffer[65536];
            stream.next_out = buffer;
            stream.avail_out = sizeof buffer;
            EXPECT_NE(deflate(&stream, Z_SYNC_FLUSH), Z_STREAM_ERROR);
            out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
        } while (stream.avail_out == 0);
        done += piece;
    }
    deflateEnd(&stream);
    return out;
}

// Reads the whole block at `offset` through the windowed reader in requests of
// `step` bytes; returns false (with a test failure) when a request fails.
bool StreamRead(CFile* file, ULONGLONG offset, size_t size, size_t step, Bytes* out) {
    file->Seek(static_cast<LONGLONG>(offset), CFile::begin);
    CBlockStreamReader reader(file);
    EXPECT_EQ(reader.Begin(), 0);
    EXPECT_EQ(reader.GetRawSize(), size);
    out->assign(size, 0);
    for (size_t done = 0; done < size;) {
        size_t n = std::min(step, size - done);
        int result = reader.Read(out->data() + done, static_cast<DWORD>(n));
        if (result != 0) {
            ADD_FAILURE() << "Read at " << done << " returned " << result;
            return false;
        }
        done += n;
    }
    BYTE extra = 0;
    EXPECT_EQ(reader.Read(&extra, 1), -1);
    return true;
}

class CompressedBlockTest : public testing_support::RootsTest {
  protected:
    ~CompressedBlockTest() override { platform::ClearWriteFailure(); }

    // Writes `raw` as one block into a fresh file after `prefix` bytes of filler;
    // returns the whole file.
    Bytes WriteBlockFile(const Bytes& raw, size_t prefix = 0, int* result = nullptr) {
        WriteAll(u"\\raw.bin", raw);
        CFile source(u"\\raw.bin", CFile::modeRead);
        CFile out(u"\\block.bin", CFile::modeCreate | CFile::modeWrite);
        Bytes filler(prefix, 0xA5);
        out.Write(filler.data(), static_cast<UINT>(filler.size()));
        int written = WriteCompressedBlock(&source, static_cast<DWORD>(raw.size()), nullptr, &out);
        if (result) {
            *result = written;
        } else {
            EXPECT_EQ(written, kBlockWriteOk);
        }
        EXPECT_EQ(source.GetPosition(), raw.size());
        out.Close();
        return ReadAll(u"\\block.bin");
    }
};

TEST_F(CompressedBlockTest, BothReadersReturnEveryByteAtPieceBoundaries) {
    const size_t kSizes[] = {0, 1, 524287, 524288, 524289, 5 * 1024 * 1024 + 12345};
    for (size_t size : kSizes) {
        SCOPED_TRACE(size);
        Bytes raw = MapLikeData(size, static_cast<unsigned>(size));
        const size_t kPrefix = 13;  // a block starts wherever its index says
        Bytes file = WriteBlockFile(raw, kPrefix);
        block::BlockHead head = HeadAt(file, kPrefix);
        EXPECT_EQ(head.rawSize, size);
        ASSERT_EQ(file.size(), kPrefix + block::kHeadSize + head.packedSize);
        Bytes stream(file.begin() + kPrefix + block::kHeadSize, file.end());
        EXPECT_EQ(stream, ReferenceStream(raw));
        if (size == 0) {
            EXPECT_EQ(head.packedSize, 0u);
        }

        CFile in(u"\\block.bin", CFile::modeRead);
        in.Seek(kPrefix, CFile::begin);
        CBlockReader whole(&in);
        ASSERT_EQ(whole.ReadBlock(), 0);
        EXPECT_EQ(in.GetPosition(), file.size());
        ASSERT_EQ(whole.GetRawSize(), size);
        Bytes copy(size);
        if (size > 10) {
            ASSERT_EQ(whole.Read(copy.data(), static_cast<DWORD>(size - 10)), size - 10);
            EXPECT_EQ(whole.Read(copy.data(), 11), 0u);  // more than remains: nothing
            ASSERT_EQ(whole.Read(copy.data() + size - 10, 10), 10u);
        } else if (size > 0) {
            ASSERT_EQ(whole.Read(copy.data(), static_cast<DWORD>(size)), size);
        }
        EXPECT_TRUE(copy == raw);
        EXPECT_EQ(whole.Read(copy.data(), 1), 0u);

        for (size_t step : {size_t{70001}, size + 1}) {
            Bytes streamed;
            if (StreamRead(&in, kPrefix, size, step, &streamed)) {
                EXPECT_TRUE(streamed == raw) << "step " << step;
            }
        }
        // The raw buffer is released after each container file and grows again.
        ReleaseCompressedBlockBuffer();
    }
}

TEST_F(CompressedBlockTest, ConsecutiveBlocksReadInTurnAndReplaceEachOther) {
    Bytes first = MapLikeData(300000, 1);
    Bytes second = MapLikeData(2000, 2);
    WriteAll(u"\\raw.bin", first);
    WriteAll(u"\\raw2.bin", second);
    {
        CFile a(u"\\raw.bin", CFile::modeRead);
        CFile b(u"\\raw2.bin", CFile::modeRead);
        CFile out(u"\\block.bin", CFile::modeCreate | CFile::modeWrite);
        ASSERT_EQ(WriteCompressedBlock(&a, 300000, nullptr, &out), 0);
        ASSERT_EQ(WriteCompressedBlock(&b, 2000, nullptr, &out), 0);
    }
    CFile in(u"\\block.bin", CFile::modeRead);
    CBlockReader reader(&in);
    ASSERT_EQ(reader.ReadBlock(), 0);
    const BYTE* buffer = reader.GetData();
    ASSERT_EQ(reader.ReadBlock(), 0);
    EXPECT_EQ(reader.GetData(), buffer);  // the larger buffer is kept
    Bytes copy(2000);
    ASSERT_EQ(reader.Read(copy.data(), 2000), 2000u);
    EXPECT_TRUE(copy == second);
    EXPECT_EQ(in.GetPosition(), in.GetLength());
}

TEST_F(CompressedBlockTest, EmptyBlockIsAHeadOfTwoZeros) {
    Bytes file = WriteBlockFile({});
    EXPECT_EQ(file, Bytes(8, 0));
    CFile in(u"\\block.bin", CFile::modeRead);
    CBlockReader whole(&in);
    EXPECT_EQ(whole.ReadBlock(), 0);
    EXPECT_EQ(whole.GetRawSize(), 0u);
    in.SeekToBegin();
    CBlockStreamReader streamed(&in);
    EXPECT_EQ(streamed.Begin(), 0);
    BYTE b = 0;
    EXPECT_EQ(streamed.Read(&b, 0), 0);
    EXPECT_EQ(streamed.Read(&b, 1), -1);
}

TEST_F(CompressedBlockTest, InPlaceBlockReplacesTheChunkAndCarriesItsHeader) {
    // A file of: 6 bytes before, a 100,000-byte chunk, written in place.
    Bytes chunk = MapLikeData(100000, 7);
    Bytes content(6, 0x11);
    content.insert(content.end(), chunk.begin(), chunk.end());
    WriteAll(u"\\cells.bin", content);
    BYTE header[block::kChunkHeaderSize];
    for (size_t i = 0; i < sizeof header; ++i) {
        header[i] = static_cast<BYTE>(0xC0 + i);
    }
    ULONGLONG end = 0;
    {
        CFile file(u"\\cells.bin", CFile::modeReadWrite);
        file.Seek(6, CFile::begin);
        ASSERT_EQ(WriteCompressedBlock(&file, 100000, header, nullptr), 0);
        end = file.GetPosition();
    }
    Bytes written = ReadAll(u"\\cells.bin");
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 6), Bytes(6, 0x11));
    block::BlockHead head = HeadAt(written, 6);
    EXPECT_EQ(head.rawSize, 100000u);
    EXPECT_EQ(end, 6 + block::kHeadSize + head.packedSize);

    Bytes expected = chunk;
    std::memcpy(expected.data(), header, sizeof header);
    CFile in(u"\\cells.bin", CFile::modeRead);
    in.Seek(6, CFile::begin);
    CBlockReader reader(&in);
    ASSERT_EQ(reader.ReadBlock(), 0);
    Bytes copy(100000);
    ASSERT_EQ(reader.Read(copy.data(), 100000), 100000u);
    EXPECT_TRUE(copy == expected);
}

TEST_F(CompressedBlockTest, StreamEndIsNeverWrittenSoOnlySyncFlushReadingWorks) {
    Bytes raw = MapLikeData(600000, 3);
    Bytes file = WriteBlockFile(raw);
    Bytes stream(file.begin() + block::kHeadSize, file.end());

    Bytes out(raw.size() + 16);
    uLongf outLength = static_cast<uLongf>(out.size());
    EXPECT_NE(uncompress(out.data(), &outLength, stream.data(), stream.size()), Z_OK);

    z_stream finishing{};
    ASSERT_EQ(inflateInit(&finishing), Z_OK);
    finishing.next_in = stream.data();
    finishing.avail_in = static_cast<uInt>(stream.size());
    finishing.next_out = out.data();
    finishing.avail_out = static_cast<uInt>(out.size());
    EXPECT_NE(inflate(&finishing, Z_FINISH), Z_STREAM_END);
    inflateEnd(&finishing);

    z_stream syncing{};
    ASSERT_EQ(inflateInit(&syncing), Z_OK);
    syncing.next_in = stream.data();
    syncing.avail_in = static_cast<uInt>(stream.size());
    syncing.next_out = out.data();
    syncing.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&syncing, Z_SYNC_FLUSH), Z_OK);
    EXPECT_EQ(syncing.avail_in, 0u);
    EXPECT_EQ(syncing.total_out, raw.size());
    inflateEnd(&syncing);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), out.begin()));
}

TEST_F(CompressedBlockTest, StreamReadPastTheEndCopiesWhatTheBlockHad) {
    for (size_t size : {size_t{1000}, size_t{600000}}) {
        SCOPED_TRACE(size);
        Bytes raw = MapLikeData(size, 4);
        WriteBlockFile(raw);
        CFile in(u"\\block.bin", CFile::modeRead);
        CBlockStreamReader reader(&in);
        ASSERT_EQ(reader.Begin(), 0);
        Bytes out(size + 5000, 0xEE);
        EXPECT_EQ(reader.Read(out.data(), static_cast<DWORD>(out.size())), -1);
        EXPECT_TRUE(std::equal(raw.begin(), raw.end(), out.begin()));
        EXPECT_EQ(reader.Read(out.data(), 1), -1);
    }
}

// What each reader says about a damaged block.
struct Damage {
    const char* name;
    void (*apply)(Bytes& file, const Bytes& raw);
    int readBlock;     // CBlockReader::ReadBlock
    int begin;         // CBlockStreamReader::Begin
    int streamResult;  // the first failing CBlockStreamReader::Read when Begin succeeds
};

void SetHead(Bytes& file, int64_t packedChange, int64_t rawChange) {
    block::BlockHead head = HeadAt(file, 0);
    head.packedSize = static_cast<uint32_t>(head.packedSize + packedChange);
    head.rawSize = static_cast<uint32_t>(head.rawSize + rawChange);
    uint8_t bytes[block::kHeadSize];
    block::EncodeHead(head, bytes);
    std::memcpy(file.data(), bytes, sizeof bytes);
}

// A block whose stream was finished, with the packed size covering 7 bytes
// beyond the stream's end.
void FinishedStreamWithStrayBytes(Bytes& file, const Bytes& raw) {
    Bytes packed(compressBound(raw.size()));
    uLongf packedLength = static_cast<uLongf>(packed.size());
    ASSERT_EQ(compress2(packed.data(), &packedLength, raw.data(), raw.size(), 9), Z_OK);
    packed.resize(packedLength);
    packed.insert(packed.end(), 7, 0x5A);
    file.assign(block::kHeadSize, 0);
    file.insert(file.end(), packed.begin(), packed.end());
    SetHead(file, static_cast<int64_t>(packed.size()), static_cast<int64_t>(raw.size()));
}

TEST_F(CompressedBlockTest, DamagedBlocksAreReportedAndHandOutNoStaleBytes) {
    // A 700,000-byte block followed by another block's bytes, so that a packed
    // size too large reads into them rather than into the end of the file.
    const Damage kCases[] = {
        {"head cut short", [](Bytes& f, const Bytes&) { f.resize(5); }, 1, 1, 0},
        {"stream cut in the middle", [](Bytes& f, const Bytes&) { f.resize(f.size() / 2); }, -1, 0,
         -2},
        {"stream cut in the first piece", [](Bytes& f, const Bytes&) { f.resize(1000); }, -1, 3, 0},
        {"raw size one more than the stream holds",
         [](Bytes& f, const Bytes&) { SetHead(f, 0, 1); }, -1, 0, -3},
        {"raw size one less than the stream holds",
         [](Bytes& f, const Bytes&) { SetHead(f, 0, -1); }, -1, 0, -3},
        {"packed size short of the stream", [](Bytes& f, const Bytes&) { SetHead(f, -5000, 0); },
         -1, 0, -3},
        {"packed size past the stream", [](Bytes& f, const Bytes&) { SetHead(f, 3000, 0); }, -1, 0,
         -3},
        {"zlib header damaged", [](Bytes& f, const Bytes&) { f[block::kHeadSize] ^= 0xFF; }, -1, 4,
         0},
        {"deflate data damaged",
         [](Bytes& f, const Bytes&) { std::fill_n(f.begin() + 40, 64, 0xFF); }, -1, 4, 0},
        {"raw size above 64 MiB",
         [](Bytes& f, const Bytes&) { SetHead(f, 0x10000000, 64 * 1024 * 1024); }, -1, 1, 0},
        {"raw size above 1,032 times the packed size",
         [](Bytes& f, const Bytes&) { SetHead(f, -(int64_t)HeadAt(f, 0).packedSize + 10, 0); }, -1,
         1, 0},
        {"finished stream with stray bytes after its end", FinishedStreamWithStrayBytes, -1, 0, -3},
    };
    Bytes raw = MapLikeData(700000, 5);
    Bytes good = WriteBlockFile(raw);
    Bytes trailing = WriteBlockFile(MapLikeData(40000, 6));
    good.insert(good.end(), trailing.begin(), trailing.end());
    Bytes small = MapLikeData(100, 8);
    Bytes smallBlock = WriteBlockFile(small);

    for (const Damage& damage : kCases) {
        SCOPED_TRACE(damage.name);
        Bytes file = good;
        damage.apply(file, raw);
        // A good small block first, then the damaged one in the same file.
        Bytes content = smallBlock;
        content.insert(content.end(), file.begin(), file.end());
        WriteAll(u"\\damaged.bin", content);

        CFile in(u"\\damaged.bin", CFile::modeRead);
        CBlockReader whole(&in);
        ASSERT_EQ(whole.ReadBlock(), 0);
        const BYTE* buffer = whole.GetData();
        EXPECT_EQ(whole.ReadBlock(), damage.readBlock);
        EXPECT_EQ(whole.GetRawSize(), 0u);
        BYTE byte = 0;
        EXPECT_EQ(whole.Read(&byte, 1), 0u);
        if (std::string_view(damage.name).starts_with("raw size above")) {
            EXPECT_EQ(whole.GetData(), buffer);  // refused before allocating
        }

        in.Seek(static_cast<LONGLONG>(smallBlock.size()), CFile::begin);
        CBlockStreamReader streamed(&in);
        int begun = streamed.Begin();
        EXPECT_EQ(begun, damage.begin);
        Bytes out(raw.size() + 1);
        if (begun == 0) {
            int result = 0;
            size_t done = 0;
            while (result == 0 && done < out.size()) {
                size_t n = std::min<size_t>(100000, out.size() - done);
                result = streamed.Read(out.data() + done, static_cast<DWORD>(n));
                done += n;
            }
            EXPECT_EQ(result, damage.streamResult);
            EXPECT_EQ(streamed.Read(&byte, 1), damage.streamResult);  // and stays failed
        } else {
            EXPECT_LT(streamed.Read(&byte, 1), 0);
        }
    }
}

TEST_F(CompressedBlockTest, HighlyCompressibleBlocksStayWithinTheRatioLimit) {
    // Zeros pack as tightly as deflate can; the ratio limit must still admit them.
    Bytes raw(3 * 1024 * 1024, 0);
    Bytes file = WriteBlockFile(raw);
    block::BlockHead head = HeadAt(file, 0);
    EXPECT_GT(head.rawSize / head.packedSize, 500u);
    CFile in(u"\\block.bin", CFile::modeRead);
    CBlockReader reader(&in);
    ASSERT_EQ(reader.ReadBlock(), 0);
    EXPECT_EQ(reader.GetRawSize(), raw.size());
    Bytes streamed;
    if (StreamRead(&in, 0, raw.size(), 1 << 20, &streamed)) {
        EXPECT_TRUE(streamed == raw);
    }
}

TEST_F(CompressedBlockTest, WriteFailuresComeBackAsResults) {
    Bytes raw = MapLikeData(1200000, 9);  // three pieces
    Bytes file = WriteBlockFile(raw);
    const ULONGLONG packed = HeadAt(file, 0).packedSize;
    struct Case {
        ULONGLONG allowance;  // bytes the disk takes before it is full
        int expected;
    };
    const Case kCases[] = {
        {0, kBlockWriteHeadFailed},
        {7, kBlockWriteHeadFailed},
        {8, kBlockWritePieceFailed},
        {8 + packed / 2, kBlockWritePieceFailed},
        {8 + packed - 1, kBlockWritePieceFailed},
        {8 + packed, kBlockWriteHeadFailed},  // the packed size cannot be filled in
        {8 + packed + 4, kBlockWriteOk},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.allowance);
        CFile source(u"\\raw.bin", CFile::modeRead);
        CFile out(u"\\out.bin", CFile::modeCreate | CFile::modeWrite);
        platform::FailWritesAfter(c.allowance);
        EXPECT_EQ(WriteCompressedBlock(&source, static_cast<DWORD>(raw.size()), nullptr, &out),
                  c.expected);
        platform::ClearWriteFailure();
    }
}

// A stream whose seeks fail, as a device that cannot seek would.
class CUnseekableFile : public CFile {
  public:
    using CFile::CFile;
    ULONGLONG Seek(LONGLONG, UINT) override {
        AfxThrowFileException(CFileException::badSeek, ERROR_SEEK);
    }
};

TEST_F(CompressedBlockTest, SourceFailuresComeBackAsResults) {
    WriteAll(u"\\raw.bin", MapLikeData(5000, 10));
    {
        CFile source(u"\\raw.bin", CFile::modeRead);
        CFile out(u"\\out.bin", CFile::modeCreate | CFile::modeWrite);
        EXPECT_EQ(WriteCompressedBlock(&source, 5001, nullptr, &out), kBlockWriteRawReadFailed);
        EXPECT_EQ(WriteCompressedBlock(nullptr, 10, nullptr, &out), kBlockWriteRawReadFailed);
        source.SeekToBegin();
        EXPECT_EQ(WriteCompressedBlock(&source, block::kMaxRawSize + 1, nullptr, &out),
                  kBlockWriteOutOfMemory);
        EXPECT_EQ(out.GetLength(), 0u);
    }
    {
        CUnseekableFile source(u"\\raw.bin", CFile::modeReadWrite);
        EXPECT_EQ(WriteCompressedBlock(&source, 5000, nullptr, nullptr), kBlockWriteSeekBackFailed);
    }
    {
        // With a destination the source is never sought.
        CUnseekableFile source(u"\\raw.bin", CFile::modeRead);
        CFile out(u"\\out.bin", CFile::modeCreate | CFile::modeWrite);
        EXPECT_EQ(WriteCompressedBlock(&source, 5000, nullptr, &out), kBlockWriteOk);
    }
}

}  // namespace
