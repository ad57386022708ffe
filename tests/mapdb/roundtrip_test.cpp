// A whole map through the real disc builder and back: every chunk of the overview
// and detailed containers is inflated by the chunk stream and decoded into records,
// and the nodes, links and shape points must be the builder's network.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "formats/map_container.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/mapdb/chunk_decoder.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/paths.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"

namespace {

namespace fs = std::filesystem;
using mapdb_test::FileBytes;
namespace container = formats::map_container;
using discmaker::LatLon;
using discmaker::Network;

using Point = std::pair<float, float>;  // latitude, longitude as stored
using Polyline = std::vector<Point>;

Point ToPoint(const MapPoint& p) {
    return {p.latitude, p.longitude};
}
Point ToPoint(const LatLon& p) {
    return {static_cast<float>(p.lat), static_cast<float>(p.lon)};
}

// One container's chunks, decoded and kept loaded (the records must not move: the
// detailed chunks' links point into the overview chunks).
struct Layer {
    container::GridHeader header;
    std::map<uint32_t, MapChunk> chunks;
};

// Decodes every non-empty cell of a container file into `layer`; `overview` is
// given for the detailed layer.
void DecodeContainer(const fs::path& file, Layer& layer, Layer* overview,
                     std::map<uint32_t, MapChunk>* emptyOverviewRecords) {
    // The cell table is read here; the blocks through the container's file object,
    // mapped, as the map database opens it.
    const std::vector<uint8_t> bytes = FileBytes(file);
    CDataFile dataFile;
    ASSERT_EQ(dataFile.Open(platform::HostPathText(file).c_str(), kDataFileRead | kDataFileMapped),
              0);
    DataFileChunkInput input(&dataFile);
    ASSERT_GE(bytes.size(), container::kHeaderSize) << file;
    layer.header = container::DecodeHeader(bytes.data());
    ASSERT_TRUE(container::IsPlausibleGrid(layer.header));
    int32_t ratioX = 1, ratioY = 1;
    if (overview) {
        ratioX =
            static_cast<int32_t>(std::lround(overview->header.cellWidth / layer.header.cellWidth));
        ratioY = static_cast<int32_t>(
            std::lround(overview->header.cellHeight / layer.header.cellHeight));
    }
    mapdb_test::EnsureStream();
    for (uint32_t index = 0; index < container::CellCount(layer.header); ++index) {
        const uint32_t offset =
            container::LoadU32(bytes.data() + container::CellEntryOffset(index));
        if (offset == 0)
            continue;
        ASSERT_TRUE(input.Seek(offset));
        g_chunkStream.file = &input;
        ASSERT_EQ(g_chunkStream.Inflate(), 0) << file << " cell " << index;
        ChunkDecodeContext context;
        context.keepAuxPoints = 2;
        if (overview) {
            // The overview cell holding this detailed cell, as the map database finds it.
            const int32_t column = static_cast<int32_t>(index % layer.header.columns);
            const int32_t row = static_cast<int32_t>(index / layer.header.columns);
            const int32_t x =
                (layer.header.firstColumn + column) / ratioX - overview->header.firstColumn;
            const int32_t y = (layer.header.firstRow + row) / ratioY - overview->header.firstRow;
            const uint32_t cell = container::CellIndex(x, y, overview->header.columns);
            auto found = overview->chunks.find(cell);
            context.overview =
                found != overview->chunks.end() ? &found->second : &(*emptyOverviewRecords)[cell];
            context.overviewSlot = cell;
        }
        MapChunk& chunk = layer.chunks[index];
        chunk = MapChunk{};
        chunk.fileOffset = offset;
        ASSERT_EQ(chunk.Decode(context), 0) << file << " cell " << index;
        ASSERT_TRUE(chunk.IsLoaded());
    }
}

class RoundTripTest : public testing_support::RootsTest {
  protected:
    // Builds the discs, decodes both layers and compares them with the network.
    void Check(Network network, const discmaker::BuildOptions& options) {
        const long baseline = mapdb_test::StreamReadyBaseline();
        const fs::path out = roots_.base() / "disc";
        discmaker::BuildDiscs(network, out, options);  // fits the network in place

        Layer overview, detailed;
        std::map<uint32_t, MapChunk> emptyOverview;
        DecodeContainer(out / "CD1" / "mapdata" / "mapdata1.raz", overview, nullptr, nullptr);
        for (int disc = 1; disc <= 3; ++disc) {
            DecodeContainer(out / ("CD" + std::to_string(disc)) / "mapdata" /
                                ("mapdata2" + std::to_string(disc) + ".raz"),
                            detailed, &overview, &emptyOverview);
        }
        if (HasFatalFailure())
            return;
        EXPECT_GT(overview.chunks.size(), 1u);
        EXPECT_GT(detailed.chunks.size(), 1u);

        std::multiset<Polyline> scLinks;
        // ed halves: the real end's point, whether it is the from-end, the shape, the id.
        std::multiset<std::tuple<Point, bool, Polyline, int32_t>> edHalves;
        std::multiset<Point> nodes;
        size_t dead = 0;
        size_t emptySlots = 0;
        size_t proxies = 0;
        for (Layer* layer : {&overview, &detailed}) {
            for (auto& [index, chunk] : layer->chunks) {
                for (uint32_t i = 0; i < chunk.header.nodeCount; ++i) {
                    MapNode* node = chunk.nodes[i];
                    nodes.insert(ToPoint(node->position));
                }
                for (uint32_t i = 0; i < chunk.header.scLinkCount; ++i) {
                    const MapLink& link = chunk.links[i];
                    if (link.IsDead()) {
                        ++dead;
                        continue;
                    }
                    Polyline line{ToPoint(link.fromNode->position)};
                    for (uint32_t p = 0; p < link.GetShapePointCount(); ++p)
                        line.push_back(ToPoint(link.shapePoints[p]));
                    line.push_back(ToPoint(link.toNode->position));
                    scLinks.insert(line);
                }
                for (ChunkLevel* level : chunk.levels) {
                    if (!level)
                        continue;
                    EXPECT_EQ(level->sharedCount, 0);  // the builder shares no link
                    for (uint32_t i = 0; i < level->linkCount; ++i) {
                        const MapLink& link = level->links[i];
                        ASSERT_NE(link.fromNode, nullptr);
                        ASSERT_NE(link.toNode, nullptr);
                        EXPECT_FALSE(link.IsDead());
                        const bool fromIsBorder = link.fromNode->slotCount == MapNode::kSingleSlot;
                        EXPECT_NE(fromIsBorder, link.toNode->slotCount == MapNode::kSingleSlot);
                        Polyline shape;
                        for (uint32_t p = 0; p < link.GetShapePointCount(); ++p)
                            shape.push_back(ToPoint(link.shapePoints[p]));
                        const MapNode* real = fromIsBorder ? link.toNode : link.fromNode;
                        edHalves.insert(
                            {ToPoint(real->position), !fromIsBorder, shape, link.linkId});
                    }
                }
            }
        }
        for (auto& [index, record] : emptyOverview)
            proxies += record.proxies != nullptr;
        EXPECT_EQ(proxies, 0u) << "a detailed link reached an overview cell without chunk";

        // Every slot of every node holds its link once both layers are in.
        for (Layer* layer : {&overview, &detailed}) {
            for (auto& [index, chunk] : layer->chunks) {
                for (uint32_t i = 0; i < chunk.header.nodeCount; ++i) {
                    const MapNode* node = chunk.nodes[i];
                    for (uint32_t s = 0; s < node->slotCount; ++s)
                        emptySlots += node->Slots()[s] == nullptr;
                    EXPECT_EQ(node->UseCount() + 0u,
                              node->slotCount -
                                  static_cast<uint32_t>(std::count(
                                      node->Slots(), node->Slots() + node->slotCount, nullptr)));
                }
            }
        }

        // Network side: every link as an sc link or as two ed halves with one id.
        std::multiset<Point> touched;
        std::set<uint32_t> touchedNodes;
        size_t unmatched = 0;
        std::set<int32_t> ids;
        for (uint32_t l = 0; l < network.links.size(); ++l) {
            const discmaker::Link& link = network.links[l];
            touchedNodes.insert(link.from);
            touchedNodes.insert(link.to);
            Polyline line;
            for (const LatLon& p : network.LinkPoints(l))
                line.push_back(ToPoint(p));
            auto sc = scLinks.find(line);
            if (sc != scLinks.end()) {
                scLinks.erase(sc);
                continue;
            }
            // Several links may leave one node with the same shape: take the from-half
            // whose id has a to-half at the link's other end.
            const Polyline shape(line.begin() + 1, line.end() - 1);
            bool matched = false;
            for (auto half = edHalves.begin(); half != edHalves.end() && !matched; ++half) {
                if (std::get<0>(*half) != line.front() || !std::get<1>(*half) ||
                    std::get<2>(*half) != shape)
                    continue;
                const int32_t id = std::get<3>(*half);
                auto toHalf = edHalves.find({line.back(), false, shape, id});
                if (toHalf == edHalves.end())
                    continue;
                EXPECT_TRUE(ids.insert(id).second) << "link id " << id << " twice";
                edHalves.erase(toHalf);
                edHalves.erase(half);
                matched = true;
            }
            unmatched += !matched;
        }
        for (uint32_t n : touchedNodes)
            touched.insert(ToPoint(network.nodes[n].position));

        // Disc record numbers count from 0, and a link id below 1 reads as no link: the
        // one sc link with record 0 is dead here (the device files carry offsets).
        EXPECT_LE(dead, 1u);
        EXPECT_EQ(unmatched, dead);
        EXPECT_EQ(emptySlots, 2 * dead);
        EXPECT_TRUE(scLinks.empty()) << scLinks.size() << " sc links not in the network";
        EXPECT_TRUE(edHalves.empty()) << edHalves.size() << " ed halves not in the network";
        EXPECT_EQ(nodes, touched);

        for (auto& [index, chunk] : detailed.chunks)
            chunk.FreeStorage();
        for (auto& [index, chunk] : overview.chunks)
            chunk.FreeStorage();
        for (auto& [index, record] : emptyOverview)
            record.FreeProxyNodes();
        EXPECT_EQ(mapdb::LiveBlocks(), baseline);
    }
};

TEST_F(RoundTripTest, BuiltInTownReadsBackAsBuilt) {
    discmaker::BuildOptions options;
    // Small cells, so that the town spans many chunks of both layers.
    options.layout.maxNodesPerDetailedCell = 60;
    options.layout.maxNodesPerOverviewCell = 200;
    Check(discmaker::BuildTown(5, 1500), options);
}

TEST_F(RoundTripTest, AndorraReadsBackAsBuilt) {
    const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared data folder is absent";
    Check(discmaker::ReadOsm(extract), {});
}

}  // namespace
