// The point-of-interest search on the built-in town (seed 7; --size=N links, 300000
// unless given): restaurants of every food type around the town's middle with
// distances, both sorts and names; every transportation point of the first region
// ("List All"); the address texts of 50 places.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/mapdb_bench_maps.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/poi_file.h"
#include "tools/discmaker/town.h"

namespace {

constexpr uint64_t kSeed = 7;
float g_lon = 0, g_lat = 0;

void BM_AroundTheCar(benchmark::State& state) {
    int found = 0;
    for (auto _ : state) {
        CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
        search.SetCentre(g_lon, g_lat);
        if (search.Search() != CPoiSearch::kFound) {
            state.SkipWithError("nothing found");
            return;
        }
        search.ComputeDistances();
        search.SortByDistance();
        search.SortByName(0);
        found = search.ResultCount();
    }
    state.counters["results"] = found;
}
BENCHMARK(BM_AroundTheCar)->Unit(benchmark::kMillisecond);

void BM_RegionListAll(benchmark::State& state) {
    int found = 0;
    for (auto _ : state) {
        CPoiSearch search(0xFF07, CPoiSearch::kInRegion, 0, 0);
        if (search.Search() != CPoiSearch::kFound) {
            state.SkipWithError("nothing found");
            return;
        }
        search.SortByName(0);
        found = search.ResultCount();
    }
    state.counters["results"] = found;
}
BENCHMARK(BM_RegionListAll)->Unit(benchmark::kMillisecond);

void BM_FiftyAddresses(benchmark::State& state) {
    CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
    search.SetCentre(g_lon, g_lat);
    if (search.Search() != CPoiSearch::kFound || search.ResultCount() < 50) {
        state.SkipWithError("fewer than 50 places");
        return;
    }
    CPoiResultArray group;
    for (int i = 0; i < 50; ++i)
        group.push_back(&search.Result(i));
    for (auto _ : state)
        search.FillAddressTexts(group, 50);
}
BENCHMARK(BM_FiftyAddresses)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    int size = 300000;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--size=", 7) == 0)
            size = std::atoi(argv[i] + 7);
    }
    std::filesystem::path base;
    const int built = mapdb_bench::BuildNetworkMaps(
        "poi_bench",
        [size] {
            discmaker::Network town = discmaker::BuildTown(kSeed, size);
            size_t restaurants = 0;
            for (const discmaker::Poi& p : town.pois)
                restaurants += p.category == discmaker::PoiCategory::Restaurant;
            // The car stands at the middle of the town's nodes.
            const discmaker::LatLon middle = town.nodes[town.nodes.size() / 2].position;
            g_lat = static_cast<float>(middle.lat);
            g_lon = static_cast<float>(middle.lon);
            std::setvbuf(stdout, nullptr, _IOLBF, 0);
            std::printf("Data: the town of seed %llu, %zu links, %zu points (%zu restaurants)\n",
                        static_cast<unsigned long long>(kSeed), town.links.size(), town.pois.size(),
                        restaurants);
            return town;
        },
        {}, base);
    if (built != 0)
        return 1;
    OpenMapIndexFiles();
    if (OpenPoiFile() != 0) {
        std::fprintf(stderr, "no poi.bin\n");
        return 1;
    }
    int args = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--size=", 7) != 0)
            argv[args++] = argv[i];
    }
    argc = args;
    mapdb_bench::RunBenchmarks(argc, argv);
    ClosePoiFile();
    CloseMapIndexFiles();
    mapdb_bench::RemoveExtractMaps(base);
    return 0;
}
