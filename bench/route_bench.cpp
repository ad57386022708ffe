// One route of about 100 km over the built-in town of seed 7 with about 1,000,000
// links (the maps of `discmaker --town 7 --size 1100000`): cold (the map database
// opened afresh, nothing loaded) and warm (the same route again, after a cancel or
// while the last route is held), each split into the search, the route list and the
// maneuvers, with the nodes expanded, the open list's peak and the memory used.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>
#include <sstream>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/router.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSeed = 7;
// About a million links; the town's size limit grew far past that.
constexpr int kSize = 1100000;
constexpr double kRouteKm = 100.0;

struct Ends {
    MapPoint from;
    MapPoint to;
};
Ends g_ends;
double g_greatCircleKm = 0;
// Processor time of the last route call: on a busy machine the wall time says little.
double g_callCpuSeconds = 0;

void SetDataFolder(const fs::path& folder) {
    const std::u16string text = platform::HostPathText(folder) + u"/";
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
}

// Two nodes of the town about kRouteKm apart along a row, in its middle.
Ends PickEnds(const discmaker::Network& town) {
    double south = 90, north = -90, west = 180, east = -180;
    for (const discmaker::Node& node : town.nodes) {
        south = std::min(south, node.position.lat);
        north = std::max(north, node.position.lat);
        west = std::min(west, node.position.lon);
        east = std::max(east, node.position.lon);
    }
    const double lat = (south + north) / 2;
    const double span = kRouteKm / (111.32 * std::cos(lat * M_PI / 180));
    const double lon0 = (west + east) / 2 - span / 2;
    auto nearest = [&](double la, double lo) {
        MapPoint best{};
        double bestD = 1e30;
        for (const discmaker::Node& node : town.nodes) {
            const double d = std::hypot(node.position.lat - la, node.position.lon - lo);
            if (d < bestD) {
                bestD = d;
                best = {static_cast<FLOAT>(node.position.lat),
                        static_cast<FLOAT>(node.position.lon)};
            }
        }
        return best;
    };
    return {nearest(lat, lon0), nearest(lat, lon0 + span)};
}

// Runs the route once; false when no route was found.
bool RouteOnce(CRouter& router, bool reset = true) {
    if (reset)
        router.ResetRoute(0, 0, 0);
    const LinkSnap to = SnapToNearestLink(g_mapDatabase, g_ends.to, 1000);
    if (!to.Found())
        return false;
    MapLink toLink = *to.link;
    const LinkSnap from = SnapToNearestLink(g_mapDatabase, g_ends.from, 1000);
    if (!from.Found())
        return false;
    MapLink fromLink = *from.link;
    const RouteTarget target = SnappedTarget(to, &toLink);
    timespec before{}, after{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    router.CalculateRoute(&fromLink, from.segment, from.point, target, 0, 1);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    g_callCpuSeconds = static_cast<double>(after.tv_sec - before.tv_sec) +
                       static_cast<double>(after.tv_nsec - before.tv_nsec) * 1e-9;
    return (router.state & kRouterRouteState) != 0;
}

void Report(benchmark::State& state, const CRouter& router) {
    const CRouter::SearchFigures& f = router.lastSearch;
    const double lists = f.routeListSeconds + f.maneuverSeconds;
    state.counters["search_ms"] = (f.totalSeconds - lists) * 1e3;
    state.counters["call_cpu_ms"] = g_callCpuSeconds * 1e3;
    state.counters["route_list_ms"] = f.routeListSeconds * 1e3;
    state.counters["maneuvers_ms"] = f.maneuverSeconds * 1e3;
    state.counters["expanded"] = static_cast<double>(f.nodesExpanded);
    state.counters["open_peak"] = f.openPeak;
    state.counters["entries"] = router.routeCount;
    state.counters["maneuvers"] = router.maneuverCount;
    state.counters["route_km"] = router.routeLength * kEarthRadiusKm;
    state.counters["heap_MiB"] =
        static_cast<double>(g_heap.CommittedTop() - g_heap.ReservationBase()) / (1 << 20);
}

void BM_RouteCold(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        DestroyRouter();
        g_mapDatabase.~CMapDatabase();
        new (&g_mapDatabase) CMapDatabase();
        if (g_mapDatabase.Open() != 0) {
            state.SkipWithError("the maps do not open");
            return;
        }
        CRouter& router = CreateRouter();
        state.ResumeTiming();
        if (!RouteOnce(router)) {
            state.SkipWithError("no route");
            return;
        }
        state.SetIterationTime(router.lastSearch.totalSeconds);
        Report(state, router);
    }
}
BENCHMARK(BM_RouteCold)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

// Warm: the maps open and the same route calculated once already. Argument 1: the
// route is cancelled first (ResetRoute), which drops the chunks only the route
// pinned, so the search reads them again; 0: calculated again while the last route
// is held, as a new destination is, and the chunks both searches need stay loaded.
void BM_RouteWarm(benchmark::State& state) {
    const bool cancelFirst = state.range(0) != 0;
    if (!g_mapDatabase.mapFile1.IsOpen() && g_mapDatabase.Open() != 0) {
        state.SkipWithError("the maps do not open");
        return;
    }
    CRouter& router = CreateRouter();
    if (!RouteOnce(router)) {
        state.SkipWithError("no route");
        return;
    }
    for (auto _ : state) {
        if (!RouteOnce(router, cancelFirst)) {
            state.SkipWithError("no route");
            return;
        }
        state.SetIterationTime(router.lastSearch.totalSeconds);
        Report(state, router);
    }
}
BENCHMARK(BM_RouteWarm)
    ->ArgName("cancel_first")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    std::string pattern = (fs::temp_directory_path() / "route_bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path base = pattern;
    platform::SetDeviceRoot(base / "device");
    {
        mkmaps::PrivateDesktop desktop;
        discmaker::Network town = discmaker::BuildTown(kSeed, kSize);
        g_ends = PickEnds(town);
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        std::printf("Data: the town of seed %llu, %zu links, %zu nodes\n",
                    static_cast<unsigned long long>(kSeed), town.links.size(), town.nodes.size());
        discmaker::BuildDiscs(town, base / "disc", {});
        std::ostringstream out, err;
        const mkmaps::Figures figures =
            mkmaps::Generate({base / "disc", base / "Maps", {}}, out, err);
        platform::SetCurrentSide(platform::Side::Device);
        if (!figures.completed) {
            std::fprintf(stderr, "the generation failed: %s\n", err.str().c_str());
            return 1;
        }
    }
    SetDataFolder(base / "Maps");
    g_greatCircleKm = GeoDistance(g_ends.from, g_ends.to) * kEarthRadiusKm;
    std::printf("Route: %.6f,%.6f to %.6f,%.6f, %.1f km apart, Quickest\n", g_ends.from.latitude,
                g_ends.from.longitude, g_ends.to.latitude, g_ends.to.longitude, g_greatCircleKm);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DestroyRouter();
    // The database's files close now, while the platform's file objects still exist.
    g_mapDatabase.~CMapDatabase();
    new (&g_mapDatabase) CMapDatabase();
    g_dataFolder[0] = 0;
    platform::SetDeviceRoot({});
    std::error_code ignored;
    fs::remove_all(base, ignored);
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak resident memory of the process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
