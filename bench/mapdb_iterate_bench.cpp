// One full link walk of the map database over a 5,000-foot box of the route layer,
// on the device files of the andorra extract (disc builder, then the desktop
// generation run).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bench/mapdb_bench_maps.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"

namespace {

namespace fs = std::filesystem;

constexpr double kBoxFeet = 5000.0;
constexpr double kDegreesPerFoot = 2.7411436e-6;  // of latitude
constexpr uint32_t kDetailedClasses = 0x140;

// The window cell of a layer that holds a point, as the database's link search
// converts it.
int32_t Column(const MapLayer& layer, double lon) {
    return static_cast<int32_t>((lon - layer.header.originLongitude) / layer.header.cellWidth) -
           layer.header.firstColumn - layer.windowX0;
}
int32_t Row(const MapLayer& layer, double lat) {
    return static_cast<int32_t>((lat - layer.header.originLatitude) / layer.header.cellHeight) -
           layer.header.firstRow - layer.windowY0;
}

void BM_WalkBox(benchmark::State& state) {
    CMapDatabase db;
    if (db.Open() != 0) {
        state.SkipWithError("cannot open the map");
        return;
    }
    MapLayer& route = db.layers[3];
    const MapPoint centre{(route.south + route.north) / 2, (route.west + route.east) / 2};
    const double halfLat = kBoxFeet / 2 * kDegreesPerFoot;
    const double halfLon = halfLat / std::cos(centre.latitude * 0.017453292);
    // The route layer's window around the box (and the overview chunks it reaches).
    if (db.LoadArea(3, centre, static_cast<FLOAT>(4 * halfLon), static_cast<FLOAT>(4 * halfLat), 0,
                    0, true, false) != 0) {
        state.SkipWithError("the window did not load");
        return;
    }
    const int32_t x0 = Column(route, centre.longitude - halfLon);
    const int32_t x1 = Column(route, centre.longitude + halfLon);
    const int32_t y0 = Row(route, centre.latitude - halfLat);
    const int32_t y1 = Row(route, centre.latitude + halfLat);
    int64_t links = 0;
    int64_t walks = 0;
    for (auto _ : state) {
        LinkIterator it;
        if (it.Init(route, x0, y0, x1, y1, kDetailedClasses, 7) == 0) {
            for (MapLink* link = it.Next(); link; link = it.Next()) {
                benchmark::DoNotOptimize(link);
                ++links;
            }
        }
        ++walks;
    }
    state.counters["links/walk"] = static_cast<double>(links) / std::max<int64_t>(walks, 1);
    state.counters["cells/walk"] = static_cast<double>((x1 - x0 + 1) * (y1 - y0 + 1));
    state.counters["links/s"] =
        benchmark::Counter(static_cast<double>(links), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WalkBox)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    fs::path base;
    if (const int built =
            mapdb_bench::BuildAndorraMaps("mapdb_iterate_bench", discmaker::BuildOptions{}, base);
        built != 0)
        return built < 0 ? 0 : 1;
    std::printf(
        "Data: the device files of andorra.osm.pbf. BM_WalkBox: one full link walk (classes 0-5, "
        "every loaded chunk) over the route layer's cells of a %.0f x %.0f ft box at the map's "
        "centre, its window loaded beforehand; links/walk counts the links returned.\n",
        kBoxFeet, kBoxFeet);

    const bool ran = mapdb_bench::RunBenchmarks(argc, argv);
    mapdb_bench::RemoveAndorraMaps(base);
    return ran ? 0 : 1;
}
