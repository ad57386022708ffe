// Addresses both ways on the device files of the north-bayreuth extract: the
// address search with the resolution of its candidates on the map, and the
// nearest street at a point, for the extract's recorded addresses in turn.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/mapdb_bench_maps.h"
#include "formats/names.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/place_queries.h"

namespace {

namespace nm = formats::names;

struct Address {
    std::string line, city;  // in name form
    MapPoint building;
};
std::vector<Address> g_addresses;
CMapDatabase* g_db = nullptr;

// The recorded addresses of the extract, from the tests' table in the checkout.
std::vector<Address> ReadAddresses(const std::string& extract) {
    std::vector<Address> addresses;
    std::ifstream in(std::filesystem::path(PATHLUME_SOURCE_DIR) / "tests" / "tools" / "discmaker" /
                     "data" / "recorded_addresses.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string file, element, street, number, city, lat, lon;
        for (std::string* field : {&file, &element, &street, &number, &city, &lat, &lon})
            std::getline(fields, *field, '\t');
        if (file != extract)
            continue;
        addresses.push_back({nm::ToNameText(std::to_string(std::stoul(number)) + " " + street,
                                            nm::kMaxWrittenNameLength),
                             nm::ToNameText(city, nm::kMaxWrittenNameLength),
                             {std::stof(lat), std::stof(lon)}});
    }
    return addresses;
}

void BM_FindAndResolveAddress(benchmark::State& state) {
    size_t i = 0, candidates = 0;
    for (auto _ : state) {
        const Address& a = g_addresses[i++ % g_addresses.size()];
        const AddressSearch search = FindAddress(a.line.c_str(), a.city.c_str(), "", "");
        for (const AddressCandidate& candidate : search.candidates) {
            ResolvedAddress place;
            benchmark::DoNotOptimize(
                ResolveAddressHit(*g_db, candidate, search.houseNumber, 3, place));
            ++candidates;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["candidates_per_query"] =
        static_cast<double>(candidates) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FindAndResolveAddress)->Unit(benchmark::kMicrosecond);

void BM_FindNearestLinkAt(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        const Address& a = g_addresses[i++ % g_addresses.size()];
        benchmark::DoNotOptimize(FindNearestLinkAt(*g_db, 3, a.building, 0, 0).nearest);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindNearestLinkAt)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    const char* extract = "north-bayreuth.osm.gz";
    return mapdb_bench::RunOnExtractMaps(
        "geocode_bench", extract, argc, argv, [extract](CMapDatabase& db) {
            g_db = &db;
            g_addresses = ReadAddresses(extract);
            if (g_addresses.empty()) {
                std::fprintf(stderr, "no recorded addresses of %s\n", extract);
                return false;
            }
            std::printf(
                "Data: the device files of %s (default cells) and its %zu recorded addresses in "
                "turn. BM_FindAndResolveAddress: FindAddress on the street line and city, then "
                "ResolveAddressHit of each candidate on layer 3 (items = queries). "
                "BM_FindNearestLinkAt: the nearest link at each address's building, layer 3 then "
                "layer 0.\n",
                extract, g_addresses.size());
            return true;
        });
}
