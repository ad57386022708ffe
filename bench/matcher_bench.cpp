// The map matcher on the device files of the andorra extract: a 20 km drive over
// connected roads, one fix a second with up to 10 m of noise, each fix snapped as the
// main view snaps it. Prints the share matched and the median time per matched fix,
// then measures Snap per fix.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <vector>

#include "bench/mapdb_bench_maps.h"
#include "pathlume/position/fix_source.h"
#include "pathlume/position/map_matcher.h"
#include "tests/position/drives.h"

namespace {

// The drive's fixes, queued one at a time.
class DriveSource final : public IFixSource {
  public:
    int PopFix(QueuedFix* fix) override {
        if (queued.empty())
            return 1;
        *fix = queued.front();
        queued.pop_front();
        return 0;
    }
    FLOAT FixHeading() override { return heading; }
    FLOAT FixSpeedMph() override { return 30; }
    bool FixValid() override { return true; }
    QueuedFix FixPosition() override { return {}; }
    bool IsReplaying() override { return false; }
    bool PositionHold() override { return false; }

    std::deque<QueuedFix> queued;
    FLOAT heading = 0;
};

DriveSource g_source;
std::vector<position_test::DriveFix> g_drive;
CMapMatcher* g_matcher = nullptr;

int SnapOne(const position_test::DriveFix& f) {
    g_source.queued.push_back(
        {static_cast<FLOAT>(f.reported.lat), static_cast<FLOAT>(f.reported.lon)});
    g_source.heading = static_cast<FLOAT>(f.headingDegrees);
    return g_matcher->Snap(0, 0, 0);
}

void BM_SnapDriveFix(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SnapOne(g_drive[i]));
        i = (i + 1) % g_drive.size();
    }
    state.SetLabel("andorra drive, one fix a second");
}
BENCHMARK(BM_SnapDriveFix);

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    fs::path base;
    if (const int built = mapdb_bench::BuildAndorraMaps("matcher_bench", {}, base); built != 0)
        return built < 0 ? 0 : 1;
    const fs::path extract = SharedOsmExtract("andorra.osm.pbf");
    const discmaker::Network andorra = discmaker::ReadOsm(extract, "ON");
    g_drive = position_test::MakeDrive(andorra, 20, 10, 4);
    SetFixSource(&g_source);
    bool ran = false;
    {
        CMapDatabase db;
        if (db.Open() == 0) {
            CMapMatcher matcher;
            matcher.database = &db;
            g_matcher = &matcher;
            std::vector<double> times;
            size_t matched = 0;
            const auto start = std::chrono::steady_clock::now();
            for (const position_test::DriveFix& f : g_drive) {
                const auto before = std::chrono::steady_clock::now();
                const bool ok =
                    SnapOne(f) == 0 && g_vehicleLocation.link && !g_vehicleLocation.stale;
                const auto after = std::chrono::steady_clock::now();
                if (ok) {
                    ++matched;
                    times.push_back(
                        std::chrono::duration<double, std::milli>(after - before).count());
                }
            }
            const double total =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::sort(times.begin(), times.end());
            std::printf(
                "andorra drive: %zu fixes, matched %.1f %%, median %.3f ms per matched fix, "
                "%.2f s in all\n",
                g_drive.size(), 100.0 * matched / std::max<size_t>(g_drive.size(), 1),
                times.empty() ? 0.0 : times[times.size() / 2], total);
            ran = mapdb_bench::RunBenchmarks(argc, argv);
            matcher.ReleaseHypothesisLinks();
            g_vehicleLocation = MapLocation{};
        }
    }
    SetFixSource(nullptr);
    mapdb_bench::RemoveAndorraMaps(base);
    return ran ? 0 : 1;
}
