// Street texts and house numbers on the device files of the north-bayreuth extract:
// address records read in file order, a link's names with its house range, the
// house numbers at a point of a link, and the cross streets of the street with the
// most links.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "bench/mapdb_bench_maps.h"
#include "formats/link_info.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/street_texts.h"

namespace {

namespace li = formats::link_info;

// What the benchmarks share, set up once in main.
struct Data {
    std::vector<int32_t> records;  // every record's offset
    size_t recordsWithRange = 0;
    std::vector<MapLink*> links;  // the links of a loaded layer-3 window
    uint32_t longestArea = 0;
    uint32_t longestName = 0;
    size_t longestLinks = 0;
};
Data g_data;
CMapDatabase* g_db = nullptr;

// Reads every record of "linkinfo.bin" block by block, items too; the number read.
size_t ReadAllRecords(std::vector<int32_t>* offsets,
                      std::map<std::pair<uint32_t, uint32_t>, size_t>* streets) {
    size_t read = 0;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount(); ++area) {
        const li::Entry block = g_linkInfo.Area(area);
        int32_t offset = static_cast<int32_t>(block.blockOffset + li::kPairTableSize);
        for (uint32_t i = 0; i < block.recordCount; ++i) {
            LinkInfoRecord record;
            NameItem items[li::kMaxNameItems];
            if (g_linkInfo.ReadRecord(offset, record, false) != 0)
                return read;
            const int count = std::min(record.ItemCount(), li::kMaxNameItems);
            if (g_linkInfo.ReadNameItems(items, count) != count)
                return read;
            ++read;
            if (offsets)
                offsets->push_back(offset);
            if (streets && count > 0)
                ++(*streets)[{area, items[0].name}];
            if (offsets && (record.addressWord & (li::kLeftKindMask | li::kRightKindMask)))
                ++g_data.recordsWithRange;
            offset = g_linkInfo.File().Tell();
        }
    }
    return read;
}

void BM_ReadRecords(benchmark::State& state) {
    size_t read = 0;
    for (auto _ : state)
        read += ReadAllRecords(nullptr, nullptr);
    state.SetItemsProcessed(static_cast<int64_t>(read));
}
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMillisecond);

void BM_FormatHouseRange(benchmark::State& state) {
    char text[kStreetTextSize];
    size_t i = 0;
    for (auto _ : state) {
        const int32_t offset = g_data.records[i++ % g_data.records.size()];
        benchmark::DoNotOptimize(
            FormatHouseRange(g_linkInfo, offset, kAllNames, text, sizeof text, nullptr, true));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatHouseRange)->Unit(benchmark::kMicrosecond);

void BM_HouseNumbersAtPoint(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        const MapLink& link = *g_data.links[i++ % g_data.links.size()];
        MapPoint a, b;
        link.GetEndPositions(0, &a, &b);
        const MapPoint middle{(a.latitude + b.latitude) / 2, (a.longitude + b.longitude) / 2};
        int32_t left = 0, right = 0;
        benchmark::DoNotOptimize(HouseNumbersAtPoint(link, link.GetShapePointCount() > 0 ? 0 : -1,
                                                     middle, &left, &right));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HouseNumbersAtPoint)->Unit(benchmark::kMicrosecond);

void BM_ListCrossStreets(benchmark::State& state) {
    LfoIndexFile reader;
    size_t found = 0;
    for (auto _ : state) {
        found =
            ListCrossStreets(*g_db, reader, g_data.longestArea, g_data.longestName, -1, false, 0)
                .size();
    }
    state.counters["cross_streets"] = static_cast<double>(found);
}
BENCHMARK(BM_ListCrossStreets)->Unit(benchmark::kMillisecond);

// The live sc links of layer 3's window around the map's centre.
void CollectLinks(CMapDatabase& db) {
    MapLayer& layer = db.layers[3];
    const MapPoint centre{(layer.south + layer.north) / 2, (layer.west + layer.east) / 2};
    db.LoadArea(3, centre, 0.05f, 0.05f, 0, 0, true, true);
    for (int32_t y = 0; y < layer.windowH; ++y) {
        for (int32_t x = 0; x < layer.windowW; ++x) {
            MapChunk* record = layer.GetChunkRecord(x, y);
            for (uint32_t i = 0; record && record->IsLoaded() && i < record->header.scLinkCount;
                 ++i) {
                if (record->links[i].linkId > 0 && !record->links[i].IsDead())
                    g_data.links.push_back(&record->links[i]);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* extract = "north-bayreuth.osm.gz";
    return mapdb_bench::RunOnExtractMaps(
        "street_texts_bench", extract, argc, argv, [extract](CMapDatabase& db) {
            g_db = &db;
            std::map<std::pair<uint32_t, uint32_t>, size_t> streets;
            if (!g_linkInfo.IsOpen() || ReadAllRecords(&g_data.records, &streets) == 0)
                return false;
            for (const auto& [street, links] : streets) {
                if (links > g_data.longestLinks) {
                    g_data.longestLinks = links;
                    g_data.longestArea = street.first;
                    g_data.longestName = street.second;
                }
            }
            char name[kNameBufferSize];
            ReadNamesBinString(g_data.longestName, name);
            CollectLinks(db);
            std::printf(
                "Data: the device files of %s (default cells): %zu address records, %zu of them "
                "with house ranges. BM_ReadRecords: every record with its name items read in "
                "file order (items_per_second = records). BM_FormatHouseRange: the names of each "
                "record in turn with the house range. BM_HouseNumbersAtPoint: the numbers at the "
                "middle of the first segment of each of %zu links of layer 3 around the centre. "
                "BM_ListCrossStreets: the cross streets of %s, the street with the most records "
                "(%zu, area %u).\n",
                extract, g_data.records.size(), g_data.recordsWithRange, g_data.links.size(), name,
                g_data.longestLinks, g_data.longestArea);
            return true;
        });
}
