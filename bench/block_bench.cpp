// Compressed blocks against plain zlib on the same map-like data: writing a
// block (level 9, 512 KiB sync-flushed pieces) from one file to another, reading
// it back with the whole-block reader and the windowed reader, and zlib's
// compress2 (level 9) and uncompress in memory. Throughput is MB/s of raw data.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "mapferry/convert/compressed_block.h"

namespace {

constexpr size_t kRawSize = 4 * 1024 * 1024;

// Shaped like a map cell: names from a small vocabulary, f32 positions a little
// apart, attribute words from a short list, small counts and coordinate deltas.
std::vector<BYTE> MapLikeData(size_t size) {
    static const char* const kNames[] = {"MAIN ST", "OAK AVE",   "ELM ST",     "1ST ST",
                                         "HWY 9",   "PARK BLVD", "MILL RD",    "CEDAR LN",
                                         "LAKE DR", "RIVER RD",  "STATION SQ", "HILL CT"};
    static const uint32_t kAttributes[] = {0x41A30001, 0x41A30002, 0x00000310,
                                           0x80000003, 0x41000BFF, 0x00020001};
    std::mt19937 random(2102);
    std::vector<BYTE> out;
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

const std::vector<BYTE>& RawData() {
    static const std::vector<BYTE> data = MapLikeData(kRawSize);
    return data;
}

// The raw data in "\raw.bin" and its block in "\block.bin" of a scratch device
// root; returns the block's packed size.
DWORD PrepareFiles() {
    const std::vector<BYTE>& raw = RawData();
    {
        CFile file(u"\\raw.bin", CFile::modeCreate | CFile::modeWrite);
        file.Write(raw.data(), static_cast<UINT>(raw.size()));
    }
    CFile source(u"\\raw.bin", CFile::modeRead);
    CFile out(u"\\block.bin", CFile::modeCreate | CFile::modeReadWrite);
    if (WriteCompressedBlock(&source, static_cast<DWORD>(raw.size()), nullptr, &out) != 0) {
        std::fprintf(stderr, "writing the block failed\n");
        std::exit(1);
    }
    return static_cast<DWORD>(out.GetLength() - formats::compressed_block::kHeadSize);
}

void SetRawThroughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kRawSize));
}

void BM_WriteCompressedBlock(benchmark::State& state) {
    CFile source(u"\\raw.bin", CFile::modeRead);
    CFile out(u"\\written.bin", CFile::modeCreate | CFile::modeWrite);
    for (auto _ : state) {
        source.SeekToBegin();
        out.SeekToBegin();
        if (WriteCompressedBlock(&source, kRawSize, nullptr, &out) != 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    SetRawThroughput(state);
}
BENCHMARK(BM_WriteCompressedBlock)->Unit(benchmark::kMillisecond);

void BM_CBlockReader(benchmark::State& state) {
    CFile in(u"\\block.bin", CFile::modeRead);
    CBlockReader reader(&in);
    for (auto _ : state) {
        in.SeekToBegin();
        if (reader.ReadBlock() != 0) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(reader.GetData());
    }
    SetRawThroughput(state);
}
BENCHMARK(BM_CBlockReader)->Unit(benchmark::kMillisecond);

void BM_CBlockStreamReader(benchmark::State& state) {
    CFile in(u"\\block.bin", CFile::modeRead);
    CBlockStreamReader reader(&in);
    std::vector<BYTE> request(64 * 1024);
    for (auto _ : state) {
        in.SeekToBegin();
        bool ok = reader.Begin() == 0;
        for (size_t done = 0; ok && done < kRawSize; done += request.size()) {
            ok = reader.Read(request.data(), static_cast<DWORD>(request.size())) == 0;
        }
        if (!ok) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(request.data());
    }
    SetRawThroughput(state);
}
BENCHMARK(BM_CBlockStreamReader)->Unit(benchmark::kMillisecond);

void BM_ZlibCompress2(benchmark::State& state) {
    const std::vector<BYTE>& raw = RawData();
    std::vector<BYTE> packed(compressBound(raw.size()));
    uLongf packedLength = 0;
    for (auto _ : state) {
        packedLength = static_cast<uLongf>(packed.size());
        if (compress2(packed.data(), &packedLength, raw.data(), raw.size(), 9) != Z_OK) {
            state.SkipWithError("compress2 failed");
            break;
        }
        benchmark::DoNotOptimize(packed.data());
    }
    state.counters["packed_bytes"] = static_cast<double>(packedLength);
    SetRawThroughput(state);
}
BENCHMARK(BM_ZlibCompress2)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompress(benchmark::State& state) {
    const std::vector<BYTE>& raw = RawData();
    std::vector<BYTE> packed(compressBound(raw.size()));
    uLongf packedLength = static_cast<uLongf>(packed.size());
    compress2(packed.data(), &packedLength, raw.data(), raw.size(), 9);
    std::vector<BYTE> out(raw.size());
    for (auto _ : state) {
        uLongf outLength = static_cast<uLongf>(out.size());
        if (uncompress(out.data(), &outLength, packed.data(), packedLength) != Z_OK) {
            state.SkipWithError("uncompress failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    SetRawThroughput(state);
}
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "block-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    platform::SetDeviceRoot(std::filesystem::path(pattern) / "device");

    DWORD packed = PrepareFiles();
    std::printf(
        "Data: %zu bytes of map-like records (names from 12 street names, f32 positions a "
        "little apart, 6 attribute words, u16 counts, s16 shape deltas); as one block %u "
        "packed bytes (ratio %.2f).\n"
        "BM_WriteCompressedBlock: file to file through CFile (page cache), level 9, 512 KiB "
        "sync-flushed pieces. BM_CBlockReader: the whole block from the file. "
        "BM_CBlockStreamReader: the same block through the 256 KiB window in 64 KiB requests. "
        "BM_ZlibCompress2/BM_ZlibUncompress: level 9, memory to memory. bytes_per_second is raw "
        "data.\n",
        kRawSize, packed, static_cast<double>(kRawSize) / packed);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    platform::SetDeviceRoot({});
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak resident memory of the process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
