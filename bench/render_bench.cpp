// Map frames of Andorra (the shared OpenStreetMap extract, through the disc builder
// and the generation run) drawn as the main view's repaint draws them, at Andorra la
// Vella on a 480 x 640 screen: 50 frames per case, each forced as after a move, in 2D
// and 3D at zoom steps 2 and 0, with every layer and with the street labels or the
// points of interest left out, so that their share of a frame shows.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "bench/mapdb_bench_maps.h"
#include "tools/render/render.h"

namespace {

namespace fs = std::filesystem;

fs::path g_maps;

// kRecollect: every layer, the points of interest collected anew in every frame, as
// after each 2000 ft of driving.
enum Layers { kEveryLayer, kNoStreetLabels, kNoPois, kRecollect };

void BM_Frame(benchmark::State& state) {
    render::Options options;
    options.maps = g_maps;
    options.latitude = 42.5047;
    options.longitude = 1.5236;
    options.view3D = state.range(0) != 0;
    options.zoom = static_cast<int>(state.range(1));
    options.out = "unused.png";
    render::Session session(options);
    if (!session.Loaded()) {
        state.SkipWithError(session.Error().c_str());
        return;
    }
    const auto layers = static_cast<Layers>(state.range(2));
    g_options2.store(layers == kNoStreetLabels ? kOptions2NoStreetLabels
                     : layers == kNoPois       ? kOptions2NoPoi | kOptions2NoPoiLabels
                                               : 0);
    std::vector<double> times;
    for (auto _ : state) {
        if (layers == kRecollect)
            session.View().RefreshPois();
        const double ms = session.DrawFrame();
        state.SetIterationTime(ms / 1000.0);
        times.push_back(ms);
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["labels"] = static_cast<double>(session.View().PlacedLabels().size());
    state.counters["poi_icons"] = static_cast<double>(session.View().Pois().DrawnIcons().size());
    state.SetLabel(std::string(options.view3D ? "3D" : "2D") + " step " +
                   std::to_string(options.zoom) +
                   (layers == kEveryLayer       ? ", every layer"
                    : layers == kNoStreetLabels ? ", no street labels"
                    : layers == kNoPois         ? ", no points of interest"
                                                : ", points collected every frame"));
    g_options2.store(0);
}
BENCHMARK(BM_Frame)
    ->ArgsProduct({{0, 1}, {2, 0}, {kEveryLayer, kNoStreetLabels, kNoPois, kRecollect}})
    ->Iterations(50)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    fs::path base;
    const int built = mapdb_bench::BuildAndorraMaps("render_bench", {}, base);
    if (built != 0)
        return built < 0 ? 0 : 1;
    g_maps = base / "Maps";
    std::printf("render_bench: Andorra at 42.5047,1.5236, 480x640 (scale 2), 50 frames a case\n");
    const bool ran = mapdb_bench::RunBenchmarks(argc, argv);
    mapdb_bench::RemoveExtractMaps(base);
    return ran ? 0 : 1;
}
