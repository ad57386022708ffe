// The file object on a 50 MiB map-like file, read plainly and through a mapped
// view, and a favourites list of 1,000 records loaded and saved.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/dest_list.h"
#include "platform/kernel/files.h"
#include "platform/kernel/roots.h"

namespace {

constexpr int kFileSize = 50 * 1024 * 1024;
constexpr const char16_t* kMapFile = u"\\Storage Card\\Zanter Wayscribe\\Maps\\bench.bin";
constexpr const char16_t* kFavourites = u"\\My Documents\\favorites.dat";
constexpr int kRecords = 1000;

bool PrepareMapFile() {
    CreateDirectoryW(u"\\Storage Card", nullptr);
    CreateDirectoryW(u"\\Storage Card\\Zanter Wayscribe", nullptr);
    CreateDirectoryW(u"\\Storage Card\\Zanter Wayscribe\\Maps", nullptr);
    CDataFile file;
    if (file.Open(kMapFile, kDataFileWrite) != 0) {
        return false;
    }
    std::vector<char> piece(1 << 20);
    for (int written = 0; written < kFileSize; written += static_cast<int>(piece.size())) {
        for (size_t i = 0; i < piece.size(); ++i) {
            piece[i] = static_cast<char>((written + i) * 2654435761u >> 13);
        }
        if (file.Write(piece.data(), static_cast<int>(piece.size())) !=
            static_cast<int>(piece.size())) {
            return false;
        }
    }
    return true;
}

bool PrepareFavourites() {
    CreateDirectoryW(u"\\My Documents", nullptr);
    CDestList list;
    list.path = kFavourites;
    for (int i = 0; i < kRecords; ++i) {
        DestRecord* record = new DestRecord;
        std::string number = std::to_string(100 + i * 7 % 9000);
        std::string line1 = number + " " + (i % 3 ? "North Lakeshore Boulevard" : "Elm St");
        std::string line2 = "Springfield Heights, IL";
        std::string name = "Favourite place " + std::to_string(kRecords - i);
        record->Set(41.8f + i * 0.001f, -87.6f - i * 0.001f, 0x1000u + i, 0, 0, number.c_str(),
                    line1.c_str(), line2.c_str(), i % 2 ? name.c_str() : nullptr);
        list.records.push_back(record);
    }
    return list.Save() == 0;
}

void ReadWholeFile(benchmark::State& state, DWORD flags) {
    const int request = static_cast<int>(state.range(0));
    std::vector<char> buffer(static_cast<size_t>(request));
    bool mapped = false;
    for (auto _ : state) {
        CDataFile file;
        if (file.Open(kMapFile, kDataFileRead | flags) != 0) {
            state.SkipWithError("open failed");
            return;
        }
        mapped = file.IsMapped();
        int total = 0;
        for (int got; (got = file.Read(buffer.data(), request)) > 0;) {
            total += got;
        }
        benchmark::DoNotOptimize(buffer.data());
        if (total != kFileSize) {
            state.SkipWithError("short read");
            return;
        }
    }
    if ((flags & kDataFileMapped) && !mapped) {
        state.SkipWithError("the file was not mapped");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

void BM_ReadPlain(benchmark::State& state) {
    ReadWholeFile(state, 0);
}
BENCHMARK(BM_ReadPlain)->Arg(64 * 1024)->Arg(4 * 1024 * 1024)->Unit(benchmark::kMillisecond);

void BM_ReadMapped(benchmark::State& state) {
    ReadWholeFile(state, kDataFileMapped);
}
BENCHMARK(BM_ReadMapped)->Arg(64 * 1024)->Arg(4 * 1024 * 1024)->Unit(benchmark::kMillisecond);

void BM_FavouritesLoad(benchmark::State& state) {
    const int sort = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CDestList list;
        list.path = kFavourites;
        if (list.Load(sort, 0) != 0 || list.records.size() != kRecords) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(list.records.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
}
BENCHMARK(BM_FavouritesLoad)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_FavouritesSave(benchmark::State& state) {
    CDestList list;
    list.path = kFavourites;
    if (list.Load(0, 0) != 0) {
        state.SkipWithError("load failed");
        return;
    }
    for (auto _ : state) {
        if (list.Save() != 0) {
            state.SkipWithError("save failed");
            return;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRecords);
}
BENCHMARK(BM_FavouritesSave)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "data-file-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    platform::SetDeviceRoot(std::filesystem::path(pattern) / "device");
    if (!PrepareMapFile() || !PrepareFavourites()) {
        std::fprintf(stderr, "could not prepare the files\n");
        return 1;
    }
    WIN32_FIND_DATA data{};
    HANDLE found = FindFirstFileW(kFavourites, &data);
    DWORD favouritesSize = found != INVALID_HANDLE_VALUE ? data.nFileSizeLow : 0;
    if (found != INVALID_HANDLE_VALUE) {
        FindClose(found);
    }
    std::printf(
        "Data: a %d MiB file of pseudo-random bytes in the page cache; a favourites list of %d "
        "records (%u bytes: house number, street, city, every other one named).\n"
        "BM_ReadPlain/BM_ReadMapped: open, read the whole file in requests of the given size "
        "(plain reads go to the system in pieces of at most 2 MiB), close; bytes_per_second is "
        "in binary units (G/s = GiB/s). BM_FavouritesLoad: load the list (argument 1: sorted by "
        "title). "
        "BM_FavouritesSave: write the list through a temporary file and a rename, after reading "
        "the old file to decide whether it must be kept aside.\n",
        kFileSize / (1024 * 1024), kRecords, favouritesSize);

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
