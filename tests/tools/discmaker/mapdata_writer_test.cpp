#include "tools/discmaker/mapdata_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"
#include "mapferry/convert/compressed_block.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/paths.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/linkinfo_writer.h"
#include "tools/discmaker/town.h"

namespace {

using namespace discmaker;
namespace payload = formats::chunk_payload;
namespace container = formats::map_container;

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A container file decoded: its head and every non-empty cell's chunk, each block
// inflated by the converters' block reader.
struct DecodedContainer {
    container::GridHeader header;
    std::map<uint32_t, payload::Chunk> chunks;
    std::map<uint32_t, uint32_t> offsets;
};

DecodedContainer ReadContainer(const std::filesystem::path& path) {
    DecodedContainer decoded;
    const std::string bytes = ReadBytes(path);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_GE(bytes.size(), container::kHeaderSize) << path;
    if (bytes.size() < container::kHeaderSize)
        return decoded;
    decoded.header = container::DecodeHeader(data);
    EXPECT_TRUE(container::HasMagic(decoded.header, container::kMagic));
    EXPECT_TRUE(container::IsPlausibleGrid(decoded.header));
    EXPECT_GE(bytes.size(), container::TableEnd(decoded.header));

    const std::u16string name = platform::HostPathText(path);
    CFile file;
    EXPECT_TRUE(file.Open(name.c_str(), CFile::modeRead));
    CBlockReader reader(&file);
    uint64_t expectedEnd = container::TableEnd(decoded.header);
    for (uint32_t index = 0; index < container::CellCount(decoded.header); ++index) {
        const uint32_t offset = container::LoadU32(data + container::CellEntryOffset(index));
        if (offset == 0)
            continue;
        // Blocks follow each other in table order with nothing between them.
        EXPECT_EQ(offset, expectedEnd) << "cell " << index;
        file.Seek(offset, CFile::begin);
        EXPECT_EQ(reader.ReadBlock(), 0) << "cell " << index;
        expectedEnd = file.GetPosition();
        payload::Chunk chunk;
        const size_t used = payload::DecodeChunk(reader.GetData(), reader.GetRawSize(), chunk);
        EXPECT_EQ(used, reader.GetRawSize()) << "cell " << index << " is not one whole chunk";
        decoded.chunks[index] = std::move(chunk);
        decoded.offsets[index] = offset;
    }
    EXPECT_EQ(expectedEnd, bytes.size()) << "the file ends after its last block";
    return decoded;
}

GridHeader Grid(double cellSize, int32_t columns, int32_t rows) {
    GridHeader grid;
    std::memcpy(grid.magic, container::kMagic, 4);
    grid.originLongitude = -100.0f;
    grid.originLatitude = 45.0f;
    grid.columns = columns;
    grid.rows = rows;
    grid.cellWidth = static_cast<float>(cellSize);
    grid.cellHeight = static_cast<float>(cellSize);
    return grid;
}

// Overview cells of 0.04 degrees (2 x 2), detailed cells of 0.02 (4 x 4); the
// detailed columns go 0 | 1 | 2, 3 to the three discs.
DiscLayout SmallLayout(const std::filesystem::path& out) {
    DiscLayout layout;
    layout.out = out;
    for (int disc = 0; disc < kDiscCount; ++disc) {
        layout.discs[disc] = out / ("CD" + std::to_string(disc + 1));
        layout.mapData[disc] = layout.discs[disc] / "mapdata";
        std::filesystem::create_directories(layout.mapData[disc]);
    }
    layout.overview = Grid(0.04, 2, 2);
    layout.detailed = Grid(0.02, 4, 4);
    layout.polygons = layout.overview;
    layout.poi = layout.overview;
    layout.detailRatio = 2;
    layout.poiRatio = 2;
    layout.c2 = 1;
    layout.c3 = 2;
    return layout;
}

// A position inside detailed cell (column, row) at fractions (fx, fy) of the cell.
LatLon InDetailed(int column, int row, double fx = 0.5, double fy = 0.5) {
    return {45.0 + (row + fy) * 0.02, -100.0 + (column + fx) * 0.02};
}

Link MakeLink(uint32_t from, uint32_t to, RoadClass roadClass) {
    Link link;
    link.from = from;
    link.to = to;
    link.roadClass = roadClass;
    return link;
}

LinkInfoTables RecordsFor(const Network& network) {
    // Records in an order of their own, so that a link's record number differs from
    // its index.
    LinkInfoTables tables;
    const uint32_t count = static_cast<uint32_t>(network.links.size());
    tables.recordOfLink.resize(count);
    tables.linkOfRecord.resize(count);
    for (uint32_t l = 0; l < count; ++l) {
        tables.recordOfLink[l] = count - 1 - l;
        tables.linkOfRecord[count - 1 - l] = l;
    }
    return tables;
}

// Every kind of placement on the small grid:
//   overview: A-B freeway inside overview cell (0, 0); B-C freeway across into (1, 0)
//   detailed: D-A street inside detailed (0, 1) reaching overview node A; E-F street
//   across from (2, 1) to (3, 1) with a bend; C-G street from overview node C
//   (detailed (2, 0)) west into (1, 0); H-I one-way roundabout street inside (3, 3);
//   a street between overview nodes A and B (both in overview (0, 0)).
struct SmallNetwork {
    Network network;
    uint32_t a, b, c, d, e, f, g, h, i;
    uint32_t ab, bc, da, ef, cg, hi, abStreet;
};

SmallNetwork MakeSmallNetwork() {
    SmallNetwork s;
    Network& n = s.network;
    s.a = n.AddNode(InDetailed(0, 0, 0.3, 0.4));
    s.b = n.AddNode(InDetailed(1, 0, 0.5, 0.6));
    s.c = n.AddNode(InDetailed(2, 0, 0.4, 0.5));
    s.d = n.AddNode(InDetailed(0, 1, 0.5, 0.5));
    s.e = n.AddNode(InDetailed(2, 1, 0.6, 0.2));
    s.f = n.AddNode(InDetailed(3, 1, 0.4, 0.8));
    s.g = n.AddNode(InDetailed(1, 0, 0.7, 0.2));
    s.h = n.AddNode(InDetailed(3, 3, 0.2, 0.2));
    s.i = n.AddNode(InDetailed(3, 3, 0.8, 0.7));
    n.AddNode(InDetailed(1, 2));  // touched by no link: not written

    Link ab = MakeLink(s.a, s.b, RoadClass::Freeway);
    ab.shape = {InDetailed(0, 0, 0.8, 0.5), InDetailed(1, 0, 0.1, 0.55)};
    ab.speedKmh = 110;
    s.ab = n.AddLink(ab);
    Link bc = MakeLink(s.b, s.c, RoadClass::Highway);
    bc.shape = {InDetailed(1, 0, 0.9, 0.5), InDetailed(2, 0, 0.2, 0.3)};
    s.bc = n.AddLink(bc);
    s.da = n.AddLink(MakeLink(s.d, s.a, RoadClass::Street));
    Link ef = MakeLink(s.e, s.f, RoadClass::Minor);
    ef.shape = {InDetailed(2, 1, 0.9, 0.3), InDetailed(3, 1, 0.2, 0.5), InDetailed(3, 1, 0.3, 0.7)};
    s.ef = n.AddLink(ef);
    s.cg = n.AddLink(MakeLink(s.c, s.g, RoadClass::Street));
    Link hi = MakeLink(s.h, s.i, RoadClass::Street);
    hi.direction = Direction::Forward;
    hi.roundabout = true;
    hi.shape = {InDetailed(3, 3, 0.7, 0.2)};
    s.hi = n.AddLink(hi);
    s.abStreet = n.AddLink(MakeLink(s.b, s.a, RoadClass::Street));
    // No turn from the freeway at B onto the street back to A, nor onto B-C.
    n.restrictions.push_back({s.ab, s.b, s.abStreet});
    n.restrictions.push_back({s.ab, s.b, s.bc});
    return s;
}

bool SamePosition(const payload::Position& position, const LatLon& point) {
    return position.latitude == static_cast<float>(point.lat) &&
           position.longitude == static_cast<float>(point.lon);
}

// The layer-wide view of the written chunks, resolving every link end to the node
// record and position it names.
struct WrittenNetwork {
    const DiscLayout* layout = nullptr;
    std::map<uint32_t, payload::Chunk> overview;
    std::map<uint32_t, payload::Chunk> detailed;

    const payload::Chunk& ChunkAt(int layer, uint32_t index) const {
        return layer == kOverviewLayer ? overview.at(index) : detailed.at(index);
    }
    Cell CellOf(int layer, uint32_t index) const {
        const int32_t columns =
            layer == kOverviewLayer ? layout->overview.columns : layout->detailed.columns;
        return {static_cast<int32_t>(index % columns), static_cast<int32_t>(index / columns)};
    }
    // The node record an own or overview reference names; null for a border node.
    const payload::NodeRecord* Node(int layer, uint32_t index, uint16_t ref) const {
        const payload::Chunk& chunk = ChunkAt(layer, index);
        if (ref & payload::kRefOverview) {
            EXPECT_EQ(layer, kDetailedLayer) << "an overview chunk references another chunk";
            const Cell cell = CellOf(layer, index);
            const Cell over{(layout->detailed.firstColumn + cell.column) / layout->detailRatio -
                                layout->overview.firstColumn,
                            (layout->detailed.firstRow + cell.row) / layout->detailRatio -
                                layout->overview.firstRow};
            const payload::Chunk& covering =
                overview.at(container::CellIndex(over.column, over.row, layout->overview.columns));
            const uint32_t node = ref & payload::kRefIndexMask;
            EXPECT_LT(node, covering.nodes.size());
            return node < covering.nodes.size() ? &covering.nodes[node] : nullptr;
        }
        const uint32_t node = ref & payload::kRefIndexMask;
        return node < chunk.nodes.size() ? &chunk.nodes[node] : nullptr;
    }
};

WrittenNetwork ReadWritten(const DiscLayout& layout) {
    WrittenNetwork written;
    written.layout = &layout;
    const DecodedContainer overview = ReadContainer(layout.mapData[0] / "mapdata1.raz");
    EXPECT_EQ(std::memcmp(overview.header.magic, container::kMagic, 4), 0);
    EXPECT_EQ(std::memcmp(&overview.header.originLongitude, &layout.overview.originLongitude, 32),
              0);
    written.overview = overview.chunks;
    for (int disc = 0; disc < kDiscCount; ++disc) {
        const DecodedContainer detailed =
            ReadContainer(layout.mapData[disc] / ("mapdata2" + std::to_string(disc + 1) + ".raz"));
        // Every disc carries the head of the whole detailed grid, and only the cells
        // of its own columns.
        EXPECT_EQ(
            std::memcmp(&detailed.header.originLongitude, &layout.detailed.originLongitude, 32), 0);
        for (const auto& [index, chunk] : detailed.chunks) {
            EXPECT_EQ(layout.DiscOfColumn(static_cast<int32_t>(index % layout.detailed.columns)),
                      disc);
            written.detailed[index] = chunk;
        }
    }
    return written;
}

class MapDataWriterTest : public testing_support::RootsTest {
  protected:
    MapDataWriterTest() : layout_(SmallLayout(roots_.base() / "out")) {}

    WrittenNetwork WriteAndRead(const Network& network) {
        WriteMapDataFiles(network, layout_, RecordsFor(network));
        return ReadWritten(layout_);
    }

    DiscLayout layout_;
};

// Checks a whole written network against the one put in: every link once as an sc
// link or twice as matching halves, ends at the right positions, bodies, shapes,
// slots, border nodes and chunk sizing.
void CheckAgainstNetwork(const WrittenNetwork& written, const Network& network,
                         const LinkInfoTables& records) {
    // The link-information records name the chunk that holds each link (for a link
    // across a border, its from-node's half).
    const std::vector<uint32_t> cellWords = LinkCellWords(network, *written.layout);
    auto CellWord = [&](int layer, uint32_t index) {
        return layer == kDetailedLayer ? (index | 0x80000000u) : index;
    };
    struct Seen {
        int scCount = 0;
        int halves = 0;
    };
    std::map<uint32_t, Seen> seen;
    // Per written node record: the slots links were hooked into.
    std::map<const payload::NodeRecord*, std::set<uint32_t>> slotsUsed;

    auto checkBody = [&](const payload::LinkRecord& record, uint32_t l, int layer) {
        const Link& link = network.links[l];
        EXPECT_EQ(record.body.attributes & payload::kClassMask, DeviceClassValue(link.roadClass));
        EXPECT_EQ((record.body.attributes & payload::kClassMask) <= payload::kLastMajorClass,
                  layer == kOverviewLayer);
        EXPECT_EQ(record.ShapeCount(), link.shape.size());
        const double radians = network.LinkLengthKm(l) / 6370.97327862;
        EXPECT_NEAR(record.body.length, radians, radians * 1e-5);
        const uint32_t direction = record.body.attributes & payload::kDirectionMask;
        EXPECT_EQ(direction, link.direction == Direction::Both      ? payload::kDirectionBoth
                             : link.direction == Direction::Forward ? payload::kDirectionForward
                                                                    : payload::kDirectionBackward);
        EXPECT_EQ((record.body.attributes & payload::kRoundabout) != 0, link.roundabout);
        EXPECT_EQ((record.body.shapeInfo & payload::kShapeMajorRoad) != 0,
                  link.roadClass == RoadClass::Freeway);
        EXPECT_EQ(record.body.shapeInfo & 0x0C00, 0) << "bits 10 and 11 are the reader's";
    };
    auto hook = [&](const payload::NodeRecord* node, uint32_t slot, uint32_t l) {
        ASSERT_NE(node, nullptr) << "link " << l;
        EXPECT_LT(slot, node->SlotCount()) << "link " << l;
        EXPECT_TRUE(slotsUsed[node].insert(slot).second) << "slot " << slot << " taken twice";
    };

    for (int layer : {kOverviewLayer, kDetailedLayer}) {
        const auto& chunks = layer == kOverviewLayer ? written.overview : written.detailed;
        for (const auto& [index, chunk] : chunks) {
            const payload::ChunkHeader& header = chunk.header;
            // The node and link block the map database sizes fits the records exactly.
            uint32_t needed = static_cast<uint32_t>(chunk.scLinks.size()) * 28;
            uint32_t auxCount = 0;
            for (const payload::NodeRecord& node : chunk.nodes) {
                EXPECT_GT(node.SlotCount(), 0u) << "a written node has link slots";
                needed += (node.SlotCount() + 4) * 4 + payload::RoundedNameBytes(node.name.size());
            }
            EXPECT_EQ(payload::NodeLinkBlockBytes(header), needed);
            for (const payload::LinkRecord& link : chunk.scLinks)
                auxCount += link.ShapeCount();
            EXPECT_EQ(header.auxCount, auxCount);
            EXPECT_EQ(chunk.auxPoints.size(), auxCount);

            size_t aux = 0;
            for (const payload::LinkRecord& record : chunk.scLinks) {
                ASSERT_GE(record.body.linkId, 0);
                const uint32_t l = records.linkOfRecord.at(record.body.linkId);
                const Link& link = network.links[l];
                ++seen[l].scCount;
                checkBody(record, l, layer);
                EXPECT_EQ(cellWords[l], CellWord(layer, index)) << "link " << l;
                const payload::NodeRecord* from = written.Node(layer, index, record.fromRef);
                const payload::NodeRecord* to = written.Node(layer, index, record.toRef);
                ASSERT_NE(from, nullptr);
                ASSERT_NE(to, nullptr);
                EXPECT_TRUE(SamePosition(from->position, network.nodes[link.from].position))
                    << "link " << l;
                EXPECT_TRUE(SamePosition(to->position, network.nodes[link.to].position))
                    << "link " << l;
                hook(from, record.slots & 0x0F, l);
                hook(to, record.slots >> 4, l);
                for (const LatLon& point : link.shape) {
                    EXPECT_TRUE(SamePosition(chunk.auxPoints[aux++], point)) << "link " << l;
                }
            }

            uint32_t border = header.nodeCount;
            for (int side = 0; side < payload::kSideCount; ++side) {
                EXPECT_EQ(header.sides[side].levelLinks, header.sides[side].levelNodes);
                EXPECT_EQ(chunk.sideNodes[side].size(), header.sides[side].levelNodes);
                border += header.sides[side].levelNodes;
            }
            // The j-th ed link placed on a side ends at that side's j-th border node,
            // and the neighbour across lists the same border nodes.
            size_t ed = 0;
            uint32_t base = header.nodeCount;
            const Cell cell = written.CellOf(layer, index);
            for (int side = 0; side < payload::kSideCount; ++side) {
                const Cell across{cell.column + payload::kSideColumnStep[side],
                                  cell.row + payload::kSideRowStep[side]};
                const int32_t columns = layer == kOverviewLayer ? written.layout->overview.columns
                                                                : written.layout->detailed.columns;
                if (header.sides[side].levelNodes > 0) {
                    const payload::Chunk& neighbour = written.ChunkAt(
                        layer, container::CellIndex(across.column, across.row, columns));
                    EXPECT_EQ(neighbour.sideNodes[payload::OppositeSide(side)],
                              chunk.sideNodes[side]);
                }
                for (uint32_t j = 0; j < header.sides[side].levelNodes; ++j, ++ed) {
                    const payload::LinkRecord& record = chunk.edLinks.at(ed);
                    const uint32_t l = records.linkOfRecord.at(record.body.linkId);
                    const Link& link = network.links[l];
                    ++seen[l].halves;
                    checkBody(record, l, layer);
                    EXPECT_EQ(record.fromRef & payload::kRefShared, 0);
                    ASSERT_EQ(record.inlinePoints.size(), link.shape.size());
                    for (size_t k = 0; k < link.shape.size(); ++k) {
                        EXPECT_TRUE(SamePosition(record.inlinePoints[k], link.shape[k]));
                    }
                    const bool fromHalf = record.toRef == base + j;
                    EXPECT_TRUE(fromHalf || record.fromRef == base + j) << "link " << l;
                    const uint16_t realRef = fromHalf ? record.fromRef : record.toRef;
                    const payload::NodeRecord* real = written.Node(layer, index, realRef);
                    ASSERT_NE(real, nullptr);
                    const uint32_t realNode = fromHalf ? link.from : link.to;
                    EXPECT_TRUE(SamePosition(real->position, network.nodes[realNode].position));
                    hook(real, fromHalf ? record.slots & 0x0F : record.slots >> 4, l);
                    // The border node lies on the shared border.
                    const payload::Position& crossing = chunk.sideNodes[side][j];
                    const bool vertical = side == payload::kSideEast || side == payload::kSideWest;
                    const GridHeader& grid = layer == kOverviewLayer ? written.layout->overview
                                                                     : written.layout->detailed;
                    const double edge =
                        vertical ? grid.originLongitude + (grid.firstColumn + cell.column +
                                                           (side == payload::kSideEast)) *
                                                              double{grid.cellWidth}
                                 : grid.originLatitude +
                                       (grid.firstRow + cell.row + (side == payload::kSideNorth)) *
                                           double{grid.cellHeight};
                    EXPECT_NEAR(vertical ? crossing.longitude : crossing.latitude, edge, 1e-5);
                    if (fromHalf) {
                        EXPECT_EQ(cellWords[l], CellWord(layer, index)) << "link " << l;
                    }
                }
                base += header.sides[side].levelNodes;
            }
            EXPECT_EQ(ed, chunk.edLinks.size());
            EXPECT_LE(border, payload::kMaxNodeIndexes);
        }
    }

    for (uint32_t l = 0; l < network.links.size(); ++l) {
        const Seen& s = seen[l];
        EXPECT_TRUE((s.scCount == 1 && s.halves == 0) || (s.scCount == 0 && s.halves == 2))
            << "link " << l << ": " << s.scCount << " sc, " << s.halves << " halves";
    }
    // Each node record's slots are exactly its links' ends, and each node the links
    // touch is written once.
    size_t writtenNodes = 0;
    for (const auto* chunks : {&written.overview, &written.detailed}) {
        for (const auto& [index, chunk] : *chunks) {
            for (const payload::NodeRecord& node : chunk.nodes) {
                EXPECT_EQ(slotsUsed[&node].size(), node.SlotCount());
                ++writtenNodes;
            }
        }
    }
    std::set<uint32_t> touched;
    for (const Link& link : network.links)
        touched.insert({link.from, link.to});
    EXPECT_EQ(writtenNodes, touched.size());
}

TEST_F(MapDataWriterTest, SmallNetworkReadsBackWhole) {
    const SmallNetwork s = MakeSmallNetwork();
    const WrittenNetwork written = WriteAndRead(s.network);
    CheckAgainstNetwork(written, s.network, RecordsFor(s.network));

    // Overview: A and B in cell (0, 0), C in (1, 0); detailed nodes in their cells.
    ASSERT_EQ(written.overview.size(), 2u);
    EXPECT_EQ(written.overview.at(0).nodes.size(), 2u);
    EXPECT_EQ(written.overview.at(0).scLinks.size(), 1u);
    EXPECT_EQ(written.overview.at(0).sideNodes[payload::kSideEast].size(), 1u);
    EXPECT_EQ(written.overview.at(1).sideNodes[payload::kSideWest].size(), 1u);
    // Detailed chunks: (0, 1) with D-A, (1, 0) with G, its half of C-G and the street
    // between the overview nodes B and A (in its from-node's detailed cell), (2, 0)
    // with C-G's other half, (2, 1) and (3, 1) with E-F's halves, (3, 3) with H-I.
    std::set<uint32_t> cells;
    for (const auto& [index, chunk] : written.detailed)
        cells.insert(index);
    EXPECT_EQ(cells, (std::set<uint32_t>{1, 2, 4, 6, 7, 15}));
    const payload::Chunk& da = written.detailed.at(4);
    ASSERT_EQ(da.scLinks.size(), 1u);
    EXPECT_EQ(da.scLinks[0].toRef & payload::kRefOverview, payload::kRefOverview);
    const payload::Chunk& hi = written.detailed.at(15);
    ASSERT_EQ(hi.scLinks.size(), 1u);
    EXPECT_EQ(hi.scLinks[0].body.attributes & payload::kDirectionMask, payload::kDirectionForward);

    // B has three links in link order (A-B slot 0, B-C slot 1, the street back to A
    // slot 2); the two forbidden turns go from the freeway's slot to the others.
    const payload::Chunk& over = written.overview.at(0);
    const payload::NodeRecord& b = over.nodes[1];
    EXPECT_EQ(b.SlotCount(), 3u);
    EXPECT_EQ(b.name, (std::vector<uint8_t>{payload::RestrictionByte(0, 2),
                                            payload::RestrictionByte(0, 1)}));
    EXPECT_EQ(over.header.extraBytes, 4);
}

TEST_F(MapDataWriterTest, SameNetworkGivesSameBytes) {
    const SmallNetwork s = MakeSmallNetwork();
    WriteMapDataFiles(s.network, layout_, RecordsFor(s.network));
    const std::string first = ReadBytes(layout_.mapData[2] / "mapdata23.raz");
    const std::string overview = ReadBytes(layout_.mapData[0] / "mapdata1.raz");
    WriteMapDataFiles(s.network, layout_, RecordsFor(s.network));
    EXPECT_EQ(ReadBytes(layout_.mapData[2] / "mapdata23.raz"), first);
    EXPECT_EQ(ReadBytes(layout_.mapData[0] / "mapdata1.raz"), overview);
}

TEST_F(MapDataWriterTest, CellWordsNameTheChunkOfEachLink) {
    const SmallNetwork s = MakeSmallNetwork();
    const std::vector<uint32_t> words = LinkCellWords(s.network, layout_);
    EXPECT_EQ(words[s.ab], 0u);                     // overview (0, 0)
    EXPECT_EQ(words[s.bc], 0u);                     // its from-node's half
    EXPECT_EQ(words[s.da], 0x80000000u | 4);        // detailed (0, 1)
    EXPECT_EQ(words[s.cg], 0x80000000u | 2);        // C's detailed cell (2, 0)
    EXPECT_EQ(words[s.hi], 0x80000000u | 15);       // detailed (3, 3)
    EXPECT_EQ(words[s.abStreet], 0x80000000u | 1);  // B's detailed cell (1, 0)
}

TEST_F(MapDataWriterTest, NetworksTheChunksCannotHoldAreRefused) {
    struct Case {
        const char* what;
        void (*spoil)(SmallNetwork&);
    };
    const Case cases[] = {
        {"ends two cells apart",
         [](SmallNetwork& s) { s.network.AddLink(MakeLink(s.d, s.f, RoadClass::Street)); }},
        {"ends in diagonal cells",
         [](SmallNetwork& s) { s.network.AddLink(MakeLink(s.e, s.i, RoadClass::Street)); }},
        {"16 link ends at a node",
         [](SmallNetwork& s) {
             for (int k = 0; k < 15; ++k) {
                 const uint32_t other = s.network.AddNode(InDetailed(3, 3, 0.05 * k + 0.1, 0.9));
                 s.network.AddLink(MakeLink(s.h, other, RoadClass::Street));
             }
         }},
        {"1024 shape points",
         [](SmallNetwork& s) { s.network.links[s.hi].shape.resize(1024, InDetailed(3, 3)); }},
        {"a restriction through a node its link misses",
         [](SmallNetwork& s) {
             s.network.restrictions.push_back({s.hi, s.b, s.bc});
         }},
    };
    for (const Case& c : cases) {
        SmallNetwork s = MakeSmallNetwork();
        c.spoil(s);
        EXPECT_THROW(WriteMapDataFiles(s.network, layout_, RecordsFor(s.network)),
                     std::runtime_error)
            << c.what;
    }
    // The limits themselves are fine: 15 link ends and 1023 shape points.
    SmallNetwork s = MakeSmallNetwork();
    for (int k = 0; k < 14; ++k) {
        const uint32_t other = s.network.AddNode(InDetailed(3, 3, 0.05 * k + 0.1, 0.9));
        s.network.AddLink(MakeLink(s.h, other, RoadClass::Street));
    }
    s.network.links[s.hi].shape.assign(1023, InDetailed(3, 3, 0.5, 0.4));
    const WrittenNetwork written = WriteAndRead(s.network);
    CheckAgainstNetwork(written, s.network, RecordsFor(s.network));
}

// The built-in town through the writers that come before the map data, as the disc
// builder runs them.
TEST(MapDataWriterTownTest, TownReadsBackWhole) {
    testing_support::TempRoots roots;
    Network network = BuildTown(7, 400);
    ValidateNetwork(network);
    const DiscLayout layout = PlanDiscLayout(network, roots.base() / "out");
    FitLinksToGrid(network, layout);
    AssignPoiLinks(network);
    CreateFolders(layout);
    const NameTables names = WriteNameFiles(network, layout, layout.mapData[0]);
    const AreaTables areas = WriteAreaFiles(network, layout, names, layout.mapData[0]);
    const LinkInfoTables linkInfo =
        WriteLinkInfoFiles(network, layout, names, areas, layout.mapData[0]);

    const uint64_t bytes = WriteMapDataFiles(network, layout, linkInfo);
    uint64_t onDisc = std::filesystem::file_size(layout.mapData[0] / "mapdata1.raz");
    for (int disc = 0; disc < kDiscCount; ++disc) {
        onDisc += std::filesystem::file_size(layout.mapData[disc] /
                                             ("mapdata2" + std::to_string(disc + 1) + ".raz"));
    }
    EXPECT_EQ(bytes, onDisc);

    const WrittenNetwork written = ReadWritten(layout);
    CheckAgainstNetwork(written, network, linkInfo);
    // Both networks are there, and every disc has detailed cells.
    EXPECT_FALSE(written.overview.empty());
    std::set<int> discs;
    for (const auto& [index, chunk] : written.detailed) {
        discs.insert(layout.DiscOfColumn(static_cast<int32_t>(index % layout.detailed.columns)));
    }
    EXPECT_EQ(discs.size(), 3u);
    size_t crossings = 0;
    for (const auto* chunks : {&written.overview, &written.detailed}) {
        for (const auto& [index, chunk] : *chunks)
            crossings += chunk.edLinks.size();
    }
    EXPECT_GT(crossings, 0u);
}

}  // namespace
