// One full link walk of the map database over a 5,000-foot box of the route layer,
// on the device files of the andorra extract (disc builder, then the desktop
// generation run).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;

constexpr double kBoxFeet = 5000.0;
constexpr double kDegreesPerFoot = 2.7411436e-6;  // of latitude
constexpr uint32_t kDetailedClasses = 0x140;

fs::path g_maps;

void SetDataFolder(const fs::path& folder) {
    const std::u16string text = platform::HostPathText(folder) + u"/";
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
}

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
    // <repository>/../shared/data/osm, beside the repository.
    const fs::path extract = fs::path(__FILE__).parent_path().parent_path().parent_path() /
                             "shared" / "data" / "osm" / "andorra.osm.pbf";
    if (!fs::exists(extract)) {
        std::printf("mapdb_iterate_bench: no %s: nothing measured\n", extract.c_str());
        return 0;
    }
    std::string pattern = (fs::temp_directory_path() / "mapdb-iterate-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path base = pattern;
    platform::SetDeviceRoot(base / "device");
    {
        mkmaps::PrivateDesktop desktop;
        discmaker::Network andorra = discmaker::ReadOsm(extract, "ON");
        discmaker::BuildDiscs(andorra, base / "disc");
        std::ostringstream out, err;
        const mkmaps::Figures figures =
            mkmaps::Generate({base / "disc", base / "Maps", {}}, out, err);
        platform::SetCurrentSide(platform::Side::Device);
        if (!figures.completed) {
            std::fprintf(stderr, "the generation failed: %s\n", err.str().c_str());
            return 1;
        }
    }
    g_maps = base / "Maps";
    SetDataFolder(g_maps);
    std::printf(
        "Data: the device files of andorra.osm.pbf. BM_WalkBox: one full link walk (classes 0-5, "
        "every loaded chunk) over the route layer's cells of a %.0f x %.0f ft box at the map's "
        "centre, its window loaded beforehand; links/walk counts the links returned.\n",
        kBoxFeet, kBoxFeet);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    g_dataFolder[0] = 0;
    platform::SetDeviceRoot({});
    std::error_code ignored;
    fs::remove_all(base, ignored);
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak resident memory of the process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
