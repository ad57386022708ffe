// The road network containers of the data discs: "mapdata1.raz" (the overview
// network, disc 1) and "mapdata21.raz" to "mapdata23.raz" (the detailed network,
// one per disc, each with the cells of its split columns). docs/formats/map-data.md
// tells how the network is laid out in their chunks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"
#include "tools/discmaker/block_compressor.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/network.h"

namespace discmaker {

struct LinkInfoTables;

inline constexpr int kOverviewLayer = 0;
inline constexpr int kDetailedLayer = 1;

// The attribute word's class value of a road class: the device knows five classes,
// 0x40 (most important) to 0x140.
uint32_t DeviceClassValue(RoadClass roadClass);

// Where the containers put a node: the layer whose chunk holds it (-1: no link
// touches it, it is not written), that chunk's cell and the node's index there, and
// its link slots.
struct NodePlace {
    int layer = -1;
    Cell cell;
    uint32_t index = 0;
    uint32_t slotCount = 0;
};

// Where the containers put a link: its layer and the cell of the chunk that holds
// it; a link across a cell border is written in `cell` (from its from-node to a
// border node of `side`) and in the neighbour cell across that side (from the same
// border node to its to-node).
struct LinkPlace {
    Cell cell;
    int8_t layer = kDetailedLayer;
    bool crossing = false;
    int8_t side = 0;
    uint8_t fromSlot = 0;  // the link's slots at its end nodes (at most 15 each)
    uint8_t toSlot = 0;
};

// Decides the layer, chunk and slots of every node and link. Throws
// std::runtime_error, naming the node or link, when the network breaks what the
// chunk records can hold (see the requests at the end of network.h).
class MapPlacement {
  public:
    MapPlacement(const Network& network, const DiscLayout& layout);

    const std::vector<NodePlace>& Nodes() const { return m_nodes; }
    const std::vector<LinkPlace>& Links() const { return m_links; }
    // A node's turn restrictions as its record stores them.
    const std::vector<uint8_t>& Restrictions(uint32_t node) const;
    // The cell word of a link-information record: bit 31 for the detailed grid,
    // then the index (column + columns x row) of the link's cell in its grid.
    uint32_t CellWord(uint32_t link) const;
    // The overview cell that holds a detailed cell, as the map database finds it.
    Cell OverviewOf(Cell detailed) const;

  private:
    const DiscLayout& m_layout;
    std::vector<NodePlace> m_nodes;
    std::vector<LinkPlace> m_links;
    std::map<uint32_t, std::vector<uint8_t>> m_restrictions;  // only nodes that have some
};

// Per link of the network, the cell word of its link-information record.
std::vector<uint32_t> LinkCellWords(const Network& network, const DiscLayout& layout);

// Builds the chunks of a layer, or of the cells `keep` accepts, and hands each to
// `take` with its cell index as soon as it is made, so that a layer's chunks are
// never all held at once. linkRecords gives each link's link-information record
// number, which the links carry.
void BuildChunks(
    const Network& network, const DiscLayout& layout, const MapPlacement& placement,
    const std::vector<uint32_t>& linkRecords, int layer,
    const std::function<bool(uint32_t cellIndex)>& keep,
    const std::function<void(uint32_t cellIndex, formats::chunk_payload::Chunk&&)>& take);

// Writes a gridded file of compressed blocks: the head (with `magic`), the cell
// table, and one block per given cell in cell-index order, the blocks back to back,
// deflated at `level`. Returns the file's size. Throws std::runtime_error when the
// file cannot be written.
uint64_t WriteBlockContainer(const std::filesystem::path& file,
                             formats::map_container::GridHeader header, const char (&magic)[4],
                             const std::map<uint32_t, std::vector<uint8_t>>& cells,
                             int level = kDiscCompressionLevel);

// Writes "mapdata1.raz" into disc 1's mapdata folder and "mapdata2N.raz" into disc
// N's (layout.mapData). Returns the bytes written. Throws std::runtime_error when a
// file cannot be written or the network does not fit the chunks.
uint64_t WriteMapDataFiles(const Network& network, const DiscLayout& layout,
                           const LinkInfoTables& linkInfo);

}  // namespace discmaker
