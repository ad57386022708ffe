#include "tools/discmaker/mapdata_writer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <tuple>

#include "platform/afx/afx_file.h"
#include "platform/kernel/paths.h"
#include "tools/discmaker/block_compressor.h"
#include "tools/discmaker/linkinfo_writer.h"

namespace discmaker {

namespace payload = formats::chunk_payload;
namespace container = formats::map_container;

namespace {

// The sphere of the map database, in km.
constexpr double kEarthRadiusKm = 6370.97327862;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("map data: " + what);
}

std::string LinkText(uint32_t link) {
    return "link " + std::to_string(link);
}
std::string NodeText(uint32_t node) {
    return "node " + std::to_string(node);
}

int SideTowards(Cell from, Cell to) {
    for (int side = 0; side < payload::kSideCount; ++side) {
        if (from.column + payload::kSideColumnStep[side] == to.column &&
            from.row + payload::kSideRowStep[side] == to.row) {
            return side;
        }
    }
    return -1;
}

uint32_t SpeedCategory(int speedKmh) {
    uint32_t best = 0;
    for (uint32_t category = 1; category < 8; ++category) {
        if (std::abs(payload::kSpeedCategoryKmh[category] - speedKmh) <
            std::abs(payload::kSpeedCategoryKmh[best] - speedKmh)) {
            best = category;
        }
    }
    return best;
}

payload::Position ToPosition(LatLon point) {
    return {static_cast<float>(point.lat), static_cast<float>(point.lon)};
}

const GridHeader& GridOf(const DiscLayout& layout, int layer) {
    return layer == kOverviewLayer ? layout.overview : layout.detailed;
}

}  // namespace

uint32_t DeviceClassValue(RoadClass roadClass) {
    // The router and the map view treat 0x40 to 0xC0 as the major classes and no
    // class 0: freeways are 0x40, collectors share 0xC0 with the arterials, and
    // minor roads take the last class, 0x140, so that every road is drawn and
    // routed on.
    switch (roadClass) {
        case RoadClass::Freeway:
            return 0x40;
        case RoadClass::Highway:
            return 0x80;
        case RoadClass::Arterial:
        case RoadClass::Collector:
            return 0xC0;
        case RoadClass::Street:
            return 0x100;
        case RoadClass::Minor:
            return 0x140;
    }
    return 0x140;
}

// ---- Placement ------------------------------------------------------------------

Cell MapPlacement::OverviewOf(Cell detailed) const {
    // As the map database divides: absolute columns, truncating towards zero.
    const int32_t ratio = std::max(m_layout.detailRatio, 1);
    return {
        (m_layout.detailed.firstColumn + detailed.column) / ratio - m_layout.overview.firstColumn,
        (m_layout.detailed.firstRow + detailed.row) / ratio - m_layout.overview.firstRow};
}

const std::vector<uint8_t>& MapPlacement::Restrictions(uint32_t node) const {
    static const std::vector<uint8_t> none;
    const auto found = m_restrictions.find(node);
    return found == m_restrictions.end() ? none : found->second;
}

MapPlacement::MapPlacement(const Network& network, const DiscLayout& layout)
    : m_layout(layout), m_nodes(network.nodes.size()), m_links(network.links.size()) {
    const size_t nodeCount = network.nodes.size();
    for (uint32_t l = 0; l < network.links.size(); ++l) {
        const Link& link = network.links[l];
        if (link.from >= nodeCount || link.to >= nodeCount)
            Fail(LinkText(l) + " has no end node");
    }

    // A node that a major link touches is an overview node; one only detailed links
    // touch is a detailed node.
    for (const Link& link : network.links) {
        if (IsMajorClass(link.roadClass)) {
            m_nodes[link.from].layer = kOverviewLayer;
            m_nodes[link.to].layer = kOverviewLayer;
        }
    }
    for (const Link& link : network.links) {
        for (uint32_t end : {link.from, link.to}) {
            if (m_nodes[end].layer < 0)
                m_nodes[end].layer = kDetailedLayer;
        }
    }

    // Cells: the detailed cell of the position; an overview node's cell is the
    // overview cell of that detailed cell, so that detailed chunks and overview
    // chunks agree on which overview chunk covers them.
    std::vector<Cell> detailedCell(nodeCount);
    for (uint32_t n = 0; n < nodeCount; ++n) {
        detailedCell[n] = layout.DetailedCell(network.nodes[n].position);
        NodePlace& node = m_nodes[n];
        if (node.layer == kOverviewLayer) {
            node.cell = OverviewOf(detailedCell[n]);
        } else if (node.layer == kDetailedLayer) {
            node.cell = detailedCell[n];
        }
    }

    // Indexes within each chunk, in node order.
    std::map<std::pair<int, Cell>, uint32_t> nextIndex;
    for (NodePlace& node : m_nodes) {
        if (node.layer >= 0)
            node.index = nextIndex[{node.layer, node.cell}]++;
    }

    // Slots, in link order.
    for (uint32_t l = 0; l < network.links.size(); ++l) {
        const Link& link = network.links[l];
        m_links[l].fromSlot = m_nodes[link.from].slotCount++;
        m_links[l].toSlot = m_nodes[link.to].slotCount++;
    }
    for (uint32_t n = 0; n < nodeCount; ++n) {
        if (m_nodes[n].slotCount > payload::kMaxSlots) {
            Fail(NodeText(n) + " has " + std::to_string(m_nodes[n].slotCount) +
                 " link ends, more than a node record's 15 slots");
        }
    }

    // Turn restrictions: the slot of the link driven in, the slot of the link driven
    // out.
    for (const TurnRestriction& restriction : network.restrictions) {
        const uint32_t via = restriction.viaNode;
        if (via >= nodeCount || restriction.fromLink >= network.links.size() ||
            restriction.toLink >= network.links.size()) {
            Fail("a turn restriction names a link or node out of range");
        }
        const Link& in = network.links[restriction.fromLink];
        const Link& out = network.links[restriction.toLink];
        const LinkPlace& inPlace = m_links[restriction.fromLink];
        const LinkPlace& outPlace = m_links[restriction.toLink];
        if ((in.to != via && in.from != via) || (out.from != via && out.to != via)) {
            Fail("a turn restriction at " + NodeText(via) + " names a link that does not touch it");
        }
        const uint32_t inSlot = in.to == via ? inPlace.toSlot : inPlace.fromSlot;
        const uint32_t outSlot = out.from == via ? outPlace.fromSlot : outPlace.toSlot;
        const uint8_t byte = payload::RestrictionByte(inSlot, outSlot);
        std::vector<uint8_t>& bytes = m_restrictions[via];
        if (std::find(bytes.begin(), bytes.end(), byte) == bytes.end())
            bytes.push_back(byte);
        if (bytes.size() > payload::kMaxNameLength) {
            Fail(NodeText(via) + " has more than 15 turn restrictions");
        }
    }

    // Links: an sc link when one chunk can reach both ends, else two halves in two
    // cells that share a side.
    for (uint32_t l = 0; l < network.links.size(); ++l) {
        const Link& link = network.links[l];
        LinkPlace& place = m_links[l];
        const NodePlace& from = m_nodes[link.from];
        const NodePlace& to = m_nodes[link.to];
        Cell home;
        Cell other;
        if (IsMajorClass(link.roadClass)) {
            place.layer = kOverviewLayer;
            home = from.cell;
            other = to.cell;
        } else {
            place.layer = kDetailedLayer;
            home = detailedCell[link.from];
            other = detailedCell[link.to];
            const bool fromOverview = from.layer == kOverviewLayer;
            const bool toOverview = to.layer == kOverviewLayer;
            // A detailed chunk reaches the nodes of the overview chunk covering it.
            if (fromOverview && toOverview && from.cell == to.cell) {
                other = home;
            } else if (!fromOverview && toOverview && OverviewOf(home) == to.cell) {
                other = home;
            } else if (fromOverview && !toOverview && OverviewOf(other) == from.cell) {
                home = other;
            }
        }
        place.cell = home;
        if (home == other)
            continue;
        place.crossing = true;
        place.side = SideTowards(home, other);
        if (place.side < 0) {
            Fail(LinkText(l) + " runs from cell (" + std::to_string(home.column) + ", " +
                 std::to_string(home.row) + ") to cell (" + std::to_string(other.column) + ", " +
                 std::to_string(other.row) + "), which do not share a side");
        }
    }
}

uint32_t MapPlacement::CellWord(uint32_t link) const {
    const LinkPlace& place = m_links[link];
    const GridHeader& grid = GridOf(m_layout, place.layer);
    const uint32_t index = container::CellIndex(place.cell.column, place.cell.row, grid.columns);
    return place.layer == kDetailedLayer ? (index | 0x80000000u) : index;
}

std::vector<uint32_t> LinkCellWords(const Network& network, const DiscLayout& layout) {
    const MapPlacement placement(network, layout);
    std::vector<uint32_t> words(network.links.size());
    for (uint32_t l = 0; l < words.size(); ++l)
        words[l] = placement.CellWord(l);
    return words;
}

// ---- Chunks ---------------------------------------------------------------------

namespace {

// Where a link's shape first crosses the border on `side` of `cell`; `along` is the
// position along the border (longitude on a north or south side, latitude on an
// east or west one), which orders the border's nodes.
struct Crossing {
    uint32_t link = 0;
    LatLon point;
    double along = 0;
};

Crossing FindCrossing(const Network& network, const GridHeader& grid, uint32_t l, Cell cell,
                      int side) {
    const bool vertical = side == payload::kSideEast || side == payload::kSideWest;
    double border;
    if (vertical) {
        const int32_t column =
            grid.firstColumn + cell.column + (side == payload::kSideEast ? 1 : 0);
        border = double{grid.originLongitude} + column * double{grid.cellWidth};
    } else {
        const int32_t row = grid.firstRow + cell.row + (side == payload::kSideNorth ? 1 : 0);
        border = double{grid.originLatitude} + row * double{grid.cellHeight};
    }
    const std::vector<LatLon> points = network.LinkPoints(l);
    auto across = [&](const LatLon& p) { return vertical ? p.lon : p.lat; };
    Crossing crossing{l, {}, 0};
    bool found = false;
    for (size_t i = 0; i + 1 < points.size() && !found; ++i) {
        const double a = across(points[i]) - border;
        const double b = across(points[i + 1]) - border;
        if ((a <= 0 && b >= 0) || (a >= 0 && b <= 0)) {
            const double t = (a == b) ? 0.0 : a / (a - b);
            crossing.point = {points[i].lat + t * (points[i + 1].lat - points[i].lat),
                              points[i].lon + t * (points[i + 1].lon - points[i].lon)};
            found = true;
        }
    }
    if (!found) {
        // The ends lie on either side of the border by their cells; rounding can
        // still keep every point on one side: take the middle of the chord.
        crossing.point = {(points.front().lat + points.back().lat) / 2,
                          (points.front().lon + points.back().lon) / 2};
    }
    if (vertical) {
        crossing.point.lon = border;
    } else {
        crossing.point.lat = border;
    }
    crossing.along = vertical ? crossing.point.lat : crossing.point.lon;
    return crossing;
}

struct ChunkPlan {
    std::vector<uint32_t> nodes;
    std::vector<uint32_t> scLinks;
    std::array<std::vector<Crossing>, payload::kSideCount> sides;
};

// A border, named by its west or south cell and that cell's east or north side.
using BorderKey = std::tuple<int32_t, int32_t, int>;

payload::LinkBody LinkBodyOf(const Network& network, uint32_t l, uint32_t record) {
    const Link& link = network.links[l];
    const std::vector<LatLon> points = network.LinkPoints(l);
    double km = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        km += DistanceKm(points[i], points[i + 1]);

    uint32_t attributes =
        SpeedCategory(link.Speed()) | DeviceClassValue(link.roadClass) | payload::kKindRoad;
    switch (link.direction) {
        case Direction::Both:
            attributes |= payload::kDirectionBoth;
            break;
        case Direction::Forward:
            attributes |= payload::kDirectionForward;
            break;
        case Direction::Backward:
            attributes |= payload::kDirectionBackward;
            break;
    }
    if (link.ramp)
        attributes |= payload::kRamp;
    if (link.toll)
        attributes |= payload::kToll;
    if (link.roundabout)
        attributes |= payload::kRoundabout;

    payload::LinkBody body;
    body.length = static_cast<float>(km / kEarthRadiusKm);
    body.attributes = attributes;
    body.linkId = static_cast<int32_t>(record);
    body.shapeInfo = static_cast<uint16_t>(link.shape.size() & payload::kShapeCountMask);
    if (link.roadClass == RoadClass::Freeway)
        body.shapeInfo |= payload::kShapeMajorRoad;
    return body;
}

void CheckFits(uint64_t value, uint64_t limit, Cell cell, int layer, const char* what) {
    if (value > limit) {
        Fail(std::string(layer == kOverviewLayer ? "overview" : "detailed") + " cell (" +
             std::to_string(cell.column) + ", " + std::to_string(cell.row) + ") holds " +
             std::to_string(value) + " " + what + ", more than a chunk's " + std::to_string(limit));
    }
}

}  // namespace

void BuildChunks(const Network& network, const DiscLayout& layout, const MapPlacement& placement,
                 const std::vector<uint32_t>& linkRecords, int layer,
                 const std::function<bool(uint32_t cellIndex)>& keep,
                 const std::function<void(uint32_t cellIndex, payload::Chunk&&)>& take) {
    const GridHeader& grid = GridOf(layout, layer);
    if (linkRecords.size() != network.links.size())
        Fail("a link has no link-information record");

    // Only the kept cells are planned: a disc's share of the layer, not all of it.
    auto kept = [&](Cell cell) {
        if (cell.column < 0 || cell.row < 0 || cell.column >= grid.columns ||
            cell.row >= grid.rows) {
            Fail("a node or link lies outside the grid");
        }
        return !keep || keep(container::CellIndex(cell.column, cell.row, grid.columns));
    };
    std::map<Cell, ChunkPlan> plans;
    for (uint32_t n = 0; n < network.nodes.size(); ++n) {
        const NodePlace& node = placement.Nodes()[n];
        if (node.layer == layer && kept(node.cell))
            plans[node.cell].nodes.push_back(n);
    }

    std::map<BorderKey, std::vector<Crossing>> borders;
    for (uint32_t l = 0; l < network.links.size(); ++l) {
        const Link& link = network.links[l];
        const LinkPlace& place = placement.Links()[l];
        if (place.layer != layer)
            continue;
        if (link.shape.size() > payload::kMaxShapePoints) {
            Fail(LinkText(l) + " has " + std::to_string(link.shape.size()) +
                 " shape points, more than a link record's 1023");
        }
        if (!place.crossing) {
            if (kept(place.cell))
                plans[place.cell].scLinks.push_back(l);
            continue;
        }
        const Crossing crossing = FindCrossing(network, grid, l, place.cell, place.side);
        Cell cell = place.cell;
        int side = place.side;
        if (side == payload::kSideWest || side == payload::kSideSouth) {
            cell = {cell.column + payload::kSideColumnStep[side],
                    cell.row + payload::kSideRowStep[side]};
            side = payload::OppositeSide(side);
        }
        borders[{cell.column, cell.row, side}].push_back(crossing);
    }
    // Both cells of a border list its crossings in one order: along the border, then
    // by link.
    for (auto& [key, crossings] : borders) {
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) {
            return std::tie(a.along, a.link) < std::tie(b.along, b.link);
        });
        const auto [column, row, side] = key;
        const Cell near{column, row};
        const Cell far{column + payload::kSideColumnStep[side], row + payload::kSideRowStep[side]};
        if (kept(near))
            plans[near].sides[side] = crossings;
        if (kept(far))
            plans[far].sides[payload::OppositeSide(side)] = crossings;
    }
    borders.clear();

    for (auto& [cell, plan] : plans) {
        payload::Chunk chunk;
        payload::ChunkHeader& header = chunk.header;
        std::map<uint32_t, uint32_t> ownIndex;  // network node -> index in this chunk

        uint64_t slotWords = 0;
        uint64_t extraBytes = 0;
        for (uint32_t n : plan.nodes) {
            const NodePlace& node = placement.Nodes()[n];
            ownIndex[n] = node.index;
            payload::NodeRecord record;
            record.name = placement.Restrictions(n);
            record.countByte = static_cast<uint8_t>(node.slotCount);
            record.position = ToPosition(network.nodes[n].position);
            slotWords += node.slotCount - 1;
            extraBytes += payload::RoundedNameBytes(static_cast<uint32_t>(record.name.size()));
            chunk.nodes.push_back(std::move(record));
        }

        auto nodeRef = [&](uint32_t n) -> uint16_t {
            const NodePlace& node = placement.Nodes()[n];
            if (node.layer == layer) {
                const auto found = ownIndex.find(n);
                if (found == ownIndex.end())
                    Fail(NodeText(n) + " is referenced outside its chunk");
                return static_cast<uint16_t>(found->second);
            }
            // Only a detailed chunk reaches the overview chunk that covers it.
            if (layer != kDetailedLayer || placement.OverviewOf(cell) != node.cell) {
                Fail(NodeText(n) + " is referenced outside its chunk");
            }
            return static_cast<uint16_t>(payload::kRefOverview | node.index);
        };
        auto linkRecord = [&](uint32_t l) {
            const LinkPlace& place = placement.Links()[l];
            payload::LinkRecord record;
            record.slots = payload::SlotByte(place.fromSlot, place.toSlot);
            record.body = LinkBodyOf(network, l, linkRecords[l]);
            return record;
        };

        uint64_t auxCount = 0;
        for (uint32_t l : plan.scLinks) {
            const Link& link = network.links[l];
            payload::LinkRecord record = linkRecord(l);
            record.fromRef = nodeRef(link.from);
            record.toRef = nodeRef(link.to);
            for (const LatLon& point : link.shape)
                chunk.auxPoints.push_back(ToPosition(point));
            auxCount += link.shape.size();
            chunk.scLinks.push_back(std::move(record));
        }

        uint64_t borderBase = chunk.nodes.size();
        for (int side = 0; side < payload::kSideCount; ++side) {
            const std::vector<Crossing>& crossings = plan.sides[side];
            CheckFits(crossings.size(), 0xFFFF, cell, layer, "border nodes on a side");
            header.sides[side].levelNodes = static_cast<uint16_t>(crossings.size());
            header.sides[side].levelLinks = static_cast<uint16_t>(crossings.size());
            for (size_t j = 0; j < crossings.size(); ++j) {
                const uint32_t l = crossings[j].link;
                const Link& link = network.links[l];
                chunk.sideNodes[side].push_back(ToPosition(crossings[j].point));
                CheckFits(borderBase + j + 1, payload::kMaxNodeIndexes, cell, layer,
                          "nodes and border nodes");
                const uint16_t border = static_cast<uint16_t>(borderBase + j);
                // The half in the from-node's cell runs to the border node, the other
                // from it; both carry the whole link.
                payload::LinkRecord record = linkRecord(l);
                if (placement.Links()[l].cell == cell) {
                    record.fromRef = nodeRef(link.from);
                    record.toRef = border;
                } else {
                    record.fromRef = border;
                    record.toRef = nodeRef(link.to);
                }
                for (const LatLon& point : link.shape)
                    record.inlinePoints.push_back(ToPosition(point));
                chunk.edLinks.push_back(std::move(record));
            }
            borderBase += crossings.size();
        }

        CheckFits(chunk.nodes.size(), 0xFFFF, cell, layer, "nodes");
        CheckFits(chunk.scLinks.size(), 0xFFFF, cell, layer, "links");
        CheckFits(auxCount, 0xFFFF, cell, layer, "shape points");
        CheckFits(chunk.edLinks.size(), payload::kEdLinkCountMask, cell, layer, "border links");
        CheckFits(slotWords, 0xFFFF, cell, layer, "slot words");
        CheckFits(extraBytes, 0xFFFF, cell, layer, "restriction bytes");
        CheckFits(chunk.nodes.size(), payload::kMaxNodeIndexes, cell, layer, "nodes");
        header.slotWords = static_cast<uint16_t>(slotWords);
        header.nodeCount = static_cast<uint16_t>(chunk.nodes.size());
        header.scLinkCount = static_cast<uint16_t>(chunk.scLinks.size());
        header.auxCount = static_cast<uint16_t>(auxCount);
        header.edLinkCount = static_cast<uint16_t>(chunk.edLinks.size());
        header.extraBytes = static_cast<uint16_t>(extraBytes);
        take(container::CellIndex(cell.column, cell.row, grid.columns), std::move(chunk));
        plan = ChunkPlan{};
    }
}

// ---- Files ----------------------------------------------------------------------

uint64_t WriteBlockContainer(const std::filesystem::path& file, container::GridHeader header,
                             const char (&magic)[4],
                             const std::map<uint32_t, std::vector<uint8_t>>& cells, int level) {
    std::copy(magic, magic + 4, header.magic);
    const uint32_t cellCount = container::CellCount(header);
    std::vector<uint8_t> table(static_cast<size_t>(cellCount) * container::kCellEntrySize);
    uint8_t head[container::kHeaderSize];
    container::EncodeHeader(header, head);

    const std::u16string name = platform::HostPathText(file);
    CFile out;
    if (!out.Open(name.c_str(), CFile::modeCreate | CFile::modeReadWrite)) {
        Fail("cannot create " + file.string());
    }
    uint64_t size = 0;
    try {
        out.Write(head, sizeof head);
        out.Write(table.data(), static_cast<UINT>(table.size()));
        // Compressed a batch at a time on all cores, written in cell order.
        constexpr size_t kBatchBytes = 32u << 20;
        auto cell = cells.begin();
        while (cell != cells.end()) {
            std::vector<uint32_t> indexes;
            std::vector<const std::vector<uint8_t>*> raws;
            for (size_t bytes = 0; cell != cells.end() && (raws.empty() || bytes < kBatchBytes);
                 ++cell) {
                if (cell->first >= cellCount)
                    Fail("a cell lies outside the grid of " + file.string());
                indexes.push_back(cell->first);
                raws.push_back(&cell->second);
                bytes += cell->second.size();
            }
            const std::vector<std::vector<uint8_t>> blocks = CompressBlocks(raws, level);
            for (size_t i = 0; i < blocks.size(); ++i) {
                const ULONGLONG at = out.GetPosition();
                if (at > 0xFFFFFFFFu)
                    Fail(file.string() + " outgrows its 32-bit offsets");
                out.Write(blocks[i].data(), static_cast<UINT>(blocks[i].size()));
                container::StoreU32(table.data() + container::kCellEntrySize * indexes[i],
                                    static_cast<uint32_t>(at));
            }
        }
        size = out.GetPosition();
        out.Seek(container::kCellTableOffset, CFile::begin);
        out.Write(table.data(), static_cast<UINT>(table.size()));
        out.Close();
    } catch (CException* error) {
        error->Delete();
        out.Abort();
        Fail("cannot write " + file.string());
    } catch (...) {
        out.Abort();
        throw;
    }
    return size;
}

uint64_t WriteMapDataFiles(const Network& network, const DiscLayout& layout,
                           const LinkInfoTables& linkInfo) {
    const MapPlacement placement(network, layout);
    const std::vector<uint32_t>& records = linkInfo.recordOfLink;
    uint64_t bytes = 0;

    // Each chunk is encoded as it is made, so only the bytes of a layer's chunks are
    // held, not the chunks.
    auto encode = [&](int layer, const std::function<bool(uint32_t)>& keep) {
        std::map<uint32_t, std::vector<uint8_t>> cells;
        BuildChunks(network, layout, placement, records, layer, keep,
                    [&cells](uint32_t cell, payload::Chunk&& chunk) {
                        cells[cell] = payload::EncodeChunk(chunk);
                    });
        return cells;
    };

    bytes +=
        WriteBlockContainer(layout.mapData[0] / "mapdata1.raz", layout.overview, container::kMagic,
                            encode(kOverviewLayer, {}), kDiscCompressionLevel);

    const int32_t columns = std::max(layout.detailed.columns, 1);
    for (int disc = 0; disc < kDiscCount; ++disc) {
        const int32_t first = layout.FirstColumn(disc);
        const int32_t last = first + layout.ColumnCount(disc);
        const auto onDisc = [&](uint32_t index) {
            const int32_t column = static_cast<int32_t>(index % static_cast<uint32_t>(columns));
            return column >= first && column < last;
        };
        // One disc's chunks at a time.
        const std::string name = "mapdata2" + std::to_string(disc + 1) + ".raz";
        bytes +=
            WriteBlockContainer(layout.mapData[disc] / name, layout.detailed, container::kMagic,
                                encode(kDetailedLayer, onDisc), kDiscCompressionLevel);
    }
    return bytes;
}

}  // namespace discmaker
