// Where everything goes on the discs: the grids of the three layers, the split of
// the detailed grid's columns among the three discs, the list entries (one per
// region) and the folders. PlanDiscLayout decides it from the network; the family
// writers read it, and WriteLayoutFiles writes the program-folder files and each
// disc's "mapid.ini".
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/map_container.h"
#include "mapferry/convert/region_names.h"
#include "tools/discmaker/network.h"

namespace discmaker {

using formats::map_container::GridHeader;

inline constexpr int kDiscCount = 3;

// A cell of a grid, counted from the grid's first cell (0-based, as the cell
// tables index them).
struct Cell {
    int32_t column = 0;
    int32_t row = 0;
    bool operator==(const Cell&) const = default;
    auto operator<=>(const Cell&) const = default;
};

// One list entry: the one area of "az.raw" (and entry of "azbc.raw", "stnl.raw",
// "nameidx.bin", "linkinfo.raz", "lfoidx.raz") of one region.
struct ListEntry {
    uint32_t region = kNone;  // index into Network::regions
    uint32_t area = kNone;    // the region's state area
    uint16_t regionNumber = 0;
};

struct DiscLayout {
    // Folders.
    std::filesystem::path out;                              // program folder
    std::array<std::filesystem::path, kDiscCount> discs;    // OUT/CD1 .. OUT/CD3
    std::array<std::filesystem::path, kDiscCount> mapData;  // OUT/CDn/mapdata

    uint32_t dataVersion = 1;

    // Layer grids; all share one origin and first column and row. The detailed
    // cell divides the overview cell by `detailRatio` in each direction; the
    // polygon grid is the overview grid; the point-of-interest grid's cells are
    // `poiRatio` detailed cells wide and high.
    GridHeader overview;  // layer 0, "mapdata1.raz", record 0 of "mh.ini"
    GridHeader detailed;  // layer 1, "mapdata2N.raz", record 1 of "mh.ini"
    GridHeader polygons;  // layer 2, "polygons.raz"
    GridHeader poi;       // "poi.raw"
    int32_t detailRatio = 1;
    int32_t poiRatio = 1;

    // Split columns of the detailed grid: disc 1 holds columns [0, c2), disc 2
    // [c2, c3), disc 3 [c3, detailed.columns).
    int32_t c2 = 1;
    int32_t c3 = 2;

    // List entries in list order; entry i is area i of "az.raw".
    std::vector<ListEntry> entries;
    // Per region of the network, its list entry (kNone: a region without entry).
    std::vector<uint32_t> entryOfRegion;

    // Disc (0, 1, 2) that holds a detailed column.
    int DiscOfColumn(int32_t column) const;
    // First detailed column of a disc and its number of columns.
    int32_t FirstColumn(int disc) const;
    int32_t ColumnCount(int disc) const;

    // Cells of a position in each grid; positions outside a grid are clamped to
    // its edge cells (the grids are planned to hold the whole network).
    Cell OverviewCell(LatLon p) const;
    Cell DetailedCell(LatLon p) const;
    Cell PolygonCell(LatLon p) const;
    Cell PoiCell(LatLon p) const;
    static Cell CellIn(const GridHeader& grid, LatLon p);
    // South-west corner of a cell of a grid.
    static LatLon CellOrigin(const GridHeader& grid, Cell cell);

    // List entry of an area (through its state), of a link (its left area, else its
    // right area) and of a point of interest; kNone when none.
    uint32_t EntryOfArea(const Network& network, uint32_t area) const;
    uint32_t EntryOfLink(const Network& network, uint32_t link) const;
    uint32_t EntryOfPoi(const Network& network, uint32_t poi) const;
};

// The installer's built-in states and provinces, in its list order, with the region
// number each is filed under. Region 11 is the prebuilt island region, which is not
// in the list.
using BuiltInState = InstallerState;
const std::vector<BuiltInState>& BuiltInStates();
// The state of a code ("CA", case-insensitive); null when it is not built in.
const BuiltInState* FindBuiltInState(const std::string& code);
inline constexpr uint16_t kPrebuiltRegion = kPrebuiltRegionNumber;
inline constexpr const char* kPrebuiltRegionName = "Hawaii";
inline constexpr const char* kPrebuiltRegionCode = "HI";
// Whether the link lies in an area of the prebuilt region (the town's island), which
// a generation run does not combine with the others.
bool InPrebuiltRegion(const Network& network, const Link& link);
// Folder, under the data disc's "mapdata" folder, of the prebuilt region's files.
inline constexpr const char* kPrebuiltFolder = "hawaii";

struct LayoutOptions {
    uint32_t dataVersion = 1;
    // Upper bounds on what one cell may hold; the planner halves the cells until
    // the network fits (chunk records count nodes in 14 bits).
    uint32_t maxNodesPerDetailedCell = 3000;
    uint32_t maxNodesPerOverviewCell = 6000;
};

// Decides grids, split columns and list entries for the network, with the discs
// under `out`. Deterministic: depends on the network and options only.
DiscLayout PlanDiscLayout(const Network& network, const std::filesystem::path& out,
                          const LayoutOptions& options = {});

// Cuts links so that each lies in one detailed cell or crosses one cell border
// between two cells that share a side, with at most the chunk's shape points. Run
// after planning; the cells do not change.
void FitLinksToGrid(Network& network, const DiscLayout& layout);

// Creates OUT, OUT/CDn and OUT/CDn/mapdata.
void CreateFolders(const DiscLayout& layout);

// Writes, under OUT: "cdinfo.ini", "mh.ini", "rgndata1.in", "rgndata2.in",
// "rgndatap.in", "mapdata1.sz", "mapdata2.sz", "polygons.sz", "sizeinfo.sz",
// the city lists "cities\%s.dat", the prebuilt folder of the region that cannot be
// combined; and each disc's "mapid.ini". Run after the family writers (the size
// tables measure their files). Returns the bytes written.
uint64_t WriteLayoutFiles(const Network& network, const DiscLayout& layout);

}  // namespace discmaker
