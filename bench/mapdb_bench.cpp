// The map database on the device files of the andorra extract (disc builder, then
// the desktop generation run): chunks inflated and decoded, a full window load
// around a point, a one-column window move, and the memory of every window loaded.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/mapdb_bench_maps.h"
#include "formats/map_container.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/mapdb/chunk_decoder.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/paths.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;

// The detailed window of the route layers: 51 x 51 cells around the point.
constexpr int kRouteRadius = 25;
constexpr uint32_t kNodesPerDetailedCell = 150;

fs::path g_maps;

MapPoint Centre(const MapLayer& layer) {
    return {(layer.south + layer.north) / 2, (layer.west + layer.east) / 2};
}

int MoveTo(CMapDatabase& db, int k, const MapPoint& point, int radius) {
    const MapLayer& layer = db.layers[k];
    return db.LoadArea(k, point, 2.0f * radius * layer.header.cellWidth,
                       2.0f * radius * layer.header.cellHeight, 0, 0, true, false);
}

// Every chunk of both containers, inflated and decoded into a record and freed.
void BM_InflateAndDecode(benchmark::State& state) {
    struct Container {
        CDataFile file;
        std::vector<uint32_t> offsets;
    };
    Container containers[2];
    const char* names[2] = {"mapdata1.biz", "mapdata2.biz"};
    for (int c = 0; c < 2; ++c) {
        const std::u16string path = platform::HostPathText(g_maps / names[c]);
        if (containers[c].file.Open(path.c_str(), kDataFileRead | kDataFileMapped) != 0) {
            state.SkipWithError("cannot open the containers");
            return;
        }
        uint8_t head[container::kHeaderSize];
        containers[c].file.Seek(0, 0);
        containers[c].file.Read(head, sizeof(head));
        const container::GridHeader grid = container::DecodeHeader(head);
        for (uint32_t i = 0; i < container::CellCount(grid); ++i) {
            uint8_t entry[4];
            containers[c].file.Seek(static_cast<LONG>(container::CellEntryOffset(i)), 0);
            containers[c].file.Read(entry, 4);
            if (const uint32_t offset = container::LoadU32(entry))
                containers[c].offsets.push_back(offset);
        }
    }
    g_currentChunkStream = &g_chunkStream;
    if (!g_chunkStream.inputBuffer)
        g_chunkStream.SetInputBuffer(ChunkStream::kInputBufferSize);
    InflateArena::Init(InflateArena::kInitialBlockSize);
    int64_t chunks = 0, rawBytes = 0;
    for (auto _ : state) {
        for (Container& c : containers) {
            DataFileChunkInput input(&c.file);
            g_chunkStream.file = &input;
            for (uint32_t offset : c.offsets) {
                if (!input.Seek(offset) || g_chunkStream.Inflate() != 0) {
                    state.SkipWithError("a chunk did not inflate");
                    return;
                }
                rawBytes += g_chunkStream.rawSize;
                MapChunk record{};
                ChunkDecodeContext context;
                context.keepAuxPoints = 2;
                if (record.Decode(context) != 0) {
                    state.SkipWithError("a chunk did not decode");
                    return;
                }
                record.FreeStorage();
                ++chunks;
            }
        }
    }
    state.counters["chunks/s"] =
        benchmark::Counter(static_cast<double>(chunks), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(rawBytes);
    state.counters["chunks"] = static_cast<double>(chunks) / state.iterations();
}
BENCHMARK(BM_InflateAndDecode)->Unit(benchmark::kMillisecond);

// Layer 3's 51 x 51 window loaded around the map's centre into an empty layer (the
// overview chunks it needs are loaded beforehand, outside the timing).
void BM_LoadCacheWindowFull(benchmark::State& state) {
    int64_t cells = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto* db = new CMapDatabase;
        if (db->Open() != 0) {
            state.SkipWithError("cannot open the map");
            delete db;
            return;
        }
        db->LoadPinnedRange(3, 0, 0, db->layers[0].windowW, db->layers[0].windowH);
        const MapPoint centre = Centre(db->layers[3]);
        state.ResumeTiming();
        if (MoveTo(*db, 3, centre, kRouteRadius) != 0)
            state.SkipWithError("the window did not load");
        state.PauseTiming();
        cells += db->layers[3].loadedCount;
        delete db;
        state.ResumeTiming();
    }
    state.counters["chunks"] = static_cast<double>(cells) / state.iterations();
}
BENCHMARK(BM_LoadCacheWindowFull)->Unit(benchmark::kMillisecond);

// Layer 3's window of (2 x radius + 1) cells square moved by one column, east and
// west in turn, around the map's centre (the whole detailed grid fits in 51 x 51).
void BM_OneColumnMove(benchmark::State& state) {
    const int radius = static_cast<int>(state.range(0));
    CMapDatabase db;
    if (db.Open() != 0) {
        state.SkipWithError("cannot open the map");
        return;
    }
    db.LoadPinnedRange(3, 0, 0, db.layers[0].windowW, db.layers[0].windowH);
    MapPoint point = Centre(db.layers[3]);
    const FLOAT step = db.layers[3].header.cellWidth;
    MoveTo(db, 3, point, radius);
    bool east = true;
    for (auto _ : state) {
        point.longitude += east ? step : -step;
        east = !east;
        if (MoveTo(db, 3, point, radius) != 0)
            state.SkipWithError("the window did not load");
    }
    state.counters["window"] = 2 * radius + 1;
}
BENCHMARK(BM_OneColumnMove)->Arg(5)->Arg(10)->Unit(benchmark::kMicrosecond);

// The database with every window loaded around the map's centre: layer 1 (the
// display), 2, 3 and 4 (copies of layer 3's chunks), and the overview chunks they pin.
void ReportWindowMemory() {
    const SIZE_T committedBefore = g_heap.CommittedTop() - g_heap.ReservationBase();
    const long blocksBefore = mapdb::LiveBlocks();
    SIZE_T committed = 0;
    long blocks = 0;
    int chunks[kMapLayerCount] = {};
    {
        CMapDatabase db;
        if (db.Open() != 0)
            return;
        const MapPoint centre = Centre(db.layers[3]);
        MoveTo(db, 3, centre, kRouteRadius);
        MoveTo(db, 4, centre, kRouteRadius);
        MoveTo(db, 1, centre, (db.layers[1].cacheW - 3) / 2);  // the display layer, full
        MoveTo(db, 2, centre, 1);
        committed = g_heap.CommittedTop() - g_heap.ReservationBase();
        blocks = mapdb::LiveBlocks();
        for (int k = 0; k < kMapLayerCount; ++k)
            chunks[k] = db.layers[k].loadedCount;
    }
    std::printf(
        "All windows loaded (chunks per layer 0..4: %d %d %d %d %d): the program heap grew by "
        "%.1f MiB to %.1f MiB committed, %ld more map-database blocks\n",
        chunks[0], chunks[1], chunks[2], chunks[3], chunks[4],
        (committed - committedBefore) / 1048576.0, committed / 1048576.0, blocks - blocksBefore);
}

}  // namespace

int main(int argc, char** argv) {
    // Cells of a few hundred nodes, as a denser region's cells hold: the default
    // layout puts this small extract into a handful of cells.
    discmaker::BuildOptions options;
    options.layout.maxNodesPerDetailedCell = kNodesPerDetailedCell;
    options.layout.maxNodesPerOverviewCell = 8 * kNodesPerDetailedCell;
    fs::path base;
    if (const int built = mapdb_bench::BuildAndorraMaps("mapdb_bench", options, base); built != 0)
        return built < 0 ? 0 : 1;
    g_maps = base / "Maps";
    size_t mapBytes = 0;
    for (const char* name : {"mapdata1.biz", "mapdata2.biz"})
        mapBytes += fs::file_size(g_maps / name);
    int32_t columns = 0, rows = 0, cells = 0;
    {
        CMapDatabase db;
        if (db.Open() == 0) {
            columns = db.layers[3].header.columns;
            rows = db.layers[3].header.rows;
        }
    }
    {
        std::ifstream in(g_maps / "mapdata2.biz", std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        for (int32_t i = 0; i < columns * rows; ++i)
            cells += container::LoadU32(bytes.data() + container::CellEntryOffset(i)) != 0;
    }
    std::printf(
        "Data: the device files of andorra.osm.pbf, detailed cells of at most %u nodes "
        "(mapdata1.biz and mapdata2.biz: %.1f MiB; a detailed grid of %d x %d cells, %d of "
        "them with roads). "
        "BM_InflateAndDecode: every chunk of both containers inflated and decoded into records "
        "with full shapes, then freed (bytes_per_second = raw payload). BM_LoadCacheWindowFull: "
        "layer 3's %d x %d window loaded around the map's centre into an empty layer. "
        "BM_OneColumnMove/r: a window of 2r + 1 cells square moved by one column, east and "
        "west in turn.\n",
        kNodesPerDetailedCell, mapBytes / 1048576.0, columns, rows, cells, 2 * kRouteRadius + 1,
        2 * kRouteRadius + 1);
    ReportWindowMemory();

    const bool ran = mapdb_bench::RunBenchmarks(argc, argv);
    mapdb_bench::RemoveAndorraMaps(base);
    return ran ? 0 : 1;
}
