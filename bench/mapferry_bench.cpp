// The installer's figures on the Andorra desktop (the extract filed under California):
// the region picture built from the region data, the size estimate a click on a
// region makes, and the city page's size range for one radius step.
#include <filesystem>
#include <vector>

#include "bench/bench_main.h"
#include "formats/source_disc.h"
#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/size_tables.h"
#include "mapferry/ui/city_page.h"
#include "mapferry/ui/region_page.h"
#include "platform/kernel/text.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"

namespace {

namespace fs = std::filesystem;

// The discs made once, in a folder of this run.
bool LoadDesktop() {
    static const bool loaded = [] {
        const fs::path extract = SharedOsmExtract("andorra.osm.pbf");
        if (!fs::exists(extract))
            return false;
        const fs::path out = fs::temp_directory_path() / "mapferry_bench_discs";
        fs::remove_all(out);
        discmaker::Network network = discmaker::ReadOsm(extract, "CA");
        discmaker::BuildDiscs(network, out);
        const std::u16string folder = platform::Utf8ToWide(out.string());
        LoadDiscInformation(folder.c_str());
        for (int layer = 0; layer < formats::source_disc::kLayerCount; ++layer)
            RegionData(layer).Load(layer, folder.c_str());
        SizeTables().Load(folder.c_str());
        CRegionData::BuildBinTables();
        return true;
    }();
    return loaded;
}

void PictureBuild(benchmark::State& state) {
    if (!LoadDesktop()) {
        state.SkipWithError("the Andorra extract is not there");
        return;
    }
    for (auto _ : state)
        CRegionData::BuildBinTables();
}
BENCHMARK(PictureBuild)->Unit(benchmark::kMillisecond);

void EstimateOnClick(benchmark::State& state) {
    if (!LoadDesktop()) {
        state.SkipWithError("the Andorra extract is not there");
        return;
    }
    const std::vector<DWORD> california = {(4u << 16) | 3u};
    for (auto _ : state)
        benchmark::DoNotOptimize(MegabytesOf(EstimateChoiceBytes(california)));
}
BENCHMARK(EstimateOnClick)->Unit(benchmark::kMillisecond);

void CityRangePerRadiusStep(benchmark::State& state) {
    if (!LoadDesktop()) {
        state.SkipWithError("the Andorra extract is not there");
        return;
    }
    namespace mc = formats::map_container;
    const DiscInformation disc = CurrentDiscInformation();
    const mc::GridHeader overview =
        mc::DecodeHeader(disc.mapHeaders[formats::source_disc::kLayerOverview].data());
    const mc::GridHeader detailed =
        mc::DecodeHeader(disc.mapHeaders[formats::source_disc::kLayerDetailed].data());
    const int row = 6;  // California
    const DWORD word = CityRegionChoiceWord(row);
    int step = 0;
    for (auto _ : state) {
        step = step % 6 + 1;
        const CityRectangle rectangle =
            CityCellRectangle(overview, detailed, 42.5063f, 1.5218f, 25 * step);
        std::vector<DWORD> choice(rectangle.begin(), rectangle.end());
        CMapCut* cut = BuildSelection(choice.data(), row, 1);
        benchmark::DoNotOptimize(
            SizeRangeOf(cut ? SizeTables().SumSelection(*cut, 1, &word, 1) : 0).upperMB);
    }
}
BENCHMARK(CityRangePerRadiusStep)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return RunBenchmarksAndPrintPeakMemory(argc, argv);
}
