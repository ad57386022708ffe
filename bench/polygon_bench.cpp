// The area features of the north-bayreuth extract's device files: the whole map drawn
// flat into a 480 x 640 bitmap at detail 128 and 320, drawn in perspective with a
// clipper that fills what it is handed, and every feature of every cell read.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "bench/mapdb_bench_maps.h"
#include "formats/map_container.h"
#include "pathlume/mapdb/area_feature_view.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/index_file_io.h"
#include "pathlume/mapdb/polygon_file.h"
#include "tests/mapdb/flat_area_view.h"
#include "tests/platform/gdi/surface.h"

namespace {

namespace container = formats::map_container;

constexpr int kWidth = 480;
constexpr int kHeight = 640;

PolygonFile* g_file = nullptr;
mapdb_test::FlatAreaView* g_view = nullptr;
GeoRect g_rect;

// The whole grid of the file, as many metres to a pixel across as down.
GeoRect WholeMap(const container::GridHeader& h) {
    const double west = h.originLongitude + static_cast<double>(h.firstColumn) * h.cellWidth;
    const double south = h.originLatitude + static_cast<double>(h.firstRow) * h.cellHeight;
    const double east = west + static_cast<double>(h.columns) * h.cellWidth;
    const double north = south + static_cast<double>(h.rows) * h.cellHeight;
    const double cosine = std::cos((south + north) / 2 * M_PI / 180);
    const double perPixel = std::max((east - west) * cosine / kWidth, (north - south) / kHeight);
    const double x = (west + east) / 2, y = (south + north) / 2;
    return {static_cast<FLOAT>(x - perPixel * kWidth / cosine / 2),
            static_cast<FLOAT>(y - perPixel * kHeight / 2),
            static_cast<FLOAT>(x + perPixel * kWidth / cosine / 2),
            static_cast<FLOAT>(y + perPixel * kHeight / 2)};
}

// Args: detail value, zoom step.
void BM_DrawAreaFeatures2D(benchmark::State& state) {
    const int detail = static_cast<int>(state.range(0));
    const int zoom = static_cast<int>(state.range(1));
    gdi_testing::Surface frame(kWidth, kHeight, g_view->background);
    g_view->mode3D = false;
    g_file->SetDetailThresholds(detail);
    const PolygonCellRange cells = g_file->CellsUnder(g_rect);
    for (auto _ : state)
        DrawAreaFeatures2D(*g_file, frame.dc(), cells.c0, cells.r0, cells.c1, cells.r1, detail,
                           zoom);
}
BENCHMARK(BM_DrawAreaFeatures2D)->Args({128, 7})->Args({320, 2})->Unit(benchmark::kMillisecond);

void BM_DrawAreaFeatures3D(benchmark::State& state) {
    gdi_testing::Surface frame(kWidth, kHeight, g_view->background);
    g_view->mode3D = true;
    g_file->SetDetailThresholds(320);
    const PolygonCellRange cells = g_file->CellsUnder(g_rect);
    for (auto _ : state)
        DrawAreaFeatures3D(*g_file, frame.dc(), cells.c0, cells.r0, cells.c1, cells.r1, 320, 2, 0,
                           0.5f, 0.25f, g_rect.west, g_rect.north, g_rect.east, g_rect.south);
    g_view->mode3D = false;
}
BENCHMARK(BM_DrawAreaFeatures3D)->Unit(benchmark::kMillisecond);

// Every cell inflated and all its features read; bytes = the cells' inflated bytes.
void BM_ReadPolygonFeatures(benchmark::State& state) {
    ChunkStream& stream = *g_currentChunkStream;
    DataFileChunkInput input(&g_file->file);
    const container::GridHeader& h = g_file->header;
    int64_t bytes = 0, features = 0;
    for (auto _ : state) {
        for (uint32_t cell = 0; cell < container::CellCount(h); ++cell) {
            uint32_t offset = 0;
            if (!index_io::ReadU32At(g_file->file, container::CellEntryOffset(cell), offset) ||
                offset == 0)
                continue;
            stream.file = &input;
            uint8_t count[4];
            if (!input.Seek(offset) || stream.Inflate() != 0 || stream.ReadBytes(count, 4) != 4)
                continue;
            bytes += stream.rawSize;
            for (int32_t i = container::LoadI32(count); i > 0 && ReadPolygonFeature(stream) == 0;
                 --i)
                ++features;
        }
    }
    state.SetBytesProcessed(bytes);
    state.SetItemsProcessed(features);
}
BENCHMARK(BM_ReadPolygonFeatures)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const char* extract = "north-bayreuth.osm.gz";
    std::filesystem::path base;
    if (const int built = mapdb_bench::BuildExtractMaps("polygon_bench", extract,
                                                        discmaker::kDefaultOsmState, {}, base);
        built != 0)
        return built < 0 ? 0 : 1;
    bool ran = false;
    {
        PolygonFile file;
        if (file.Open(u"polygons.biz") != 0) {
            std::fprintf(stderr, "the polygon file of %s does not open\n", extract);
            return 1;
        }
        g_rect = WholeMap(file.header);
        mapdb_test::FlatAreaView view(g_rect, kWidth, kHeight);
        view.record = false;
        view.passThrough = true;
        SetAreaFeatureView(&view);
        g_file = &file;
        g_view = &view;
        std::printf(
            "Data: \"polygons.biz\" of %s (%d x %d cells of %.4f x %.4f degrees, %d bytes). "
            "BM_DrawAreaFeatures2D/L/zoom: the whole grid drawn flat into a 480 x 640 bitmap at "
            "detail L (ms per frame). BM_DrawAreaFeatures3D: the same through the perspective "
            "drawer at detail 320, its ribbon clipper filling the flat points unclipped. "
            "BM_ReadPolygonFeatures: every cell inflated and its features read (bytes_per_second "
            "= inflated bytes; items = features).\n",
            extract, file.header.columns, file.header.rows, file.header.cellWidth,
            file.header.cellHeight, file.file.Size());
        ran = mapdb_bench::RunBenchmarks(argc, argv);
        SetAreaFeatureView(nullptr);
        g_file = nullptr;
        g_view = nullptr;
    }
    mapdb_bench::RemoveExtractMaps(base);
    return ran ? 0 : 1;
}
