// Figures of a folder of device map files, read with the program's own map
// database: per container and layer the cells, nodes, links, kilometres of road
// per road class and dead ends, and optionally the link nearest to a point.
//
// The whole map is walked in bounded memory: the overview layer in tiles of cells
// that are purged after their walk, the detailed layer by moving its window over
// the grid. A link that crosses a cell border is stored as two halves that carry
// the whole link's length and id, so every link that is not an sc link of its
// chunk is counted once per id.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class CMapDatabase;

namespace mapstat {

// The class value of a link: (attributes & 0x1C0) >> 6.
inline constexpr int kClassCount = 8;
// "freeway", "highway", "arterial/collector", "street", "minor"; "class N" else.
std::string ClassName(int classValue);

// The detailed layer walked: layers 1 to 4 all read "mapdata2.biz".
inline constexpr int kDetailedLayer = 3;

struct ClassFigures {
    uint64_t links = 0;
    double km = 0;
};
using ClassTable = std::array<ClassFigures, kClassCount>;

struct LayerFigures {
    int layer = 0;
    std::string file;  // "mapdata1.biz", "mapdatat.biz" or "mapdata2.biz"
    bool detailed = false;
    int32_t columns = 0;
    int32_t rows = 0;
    uint64_t cellsWithData = 0;  // non-empty entries of the container's cell table
    uint64_t cellsWalked = 0;    // non-empty cells whose chunk was loaded and counted
    uint64_t cellsFailed = 0;    // non-empty cells that could not be loaded
    uint64_t nodes = 0;          // interior nodes of the walked chunks
    uint64_t links = 0;
    double km = 0;
    uint64_t deadEnds = 0;  // links with an end at a node no other link touches
    ClassTable classes{};
    double seconds = 0;
    uint64_t GridCells() const { return uint64_t(columns) * uint64_t(rows); }
};

struct NearestLink {
    bool found = false;
    int32_t linkId = 0;
    int classValue = 0;
    int layer = 0;
    std::string file;
    double metres = 0;
    uint32_t attributes = 0;
    // The link's street name when the folder holds the name files ("names.bin",
    // "linkinfo.bin"), else empty.
    std::string street;
};

struct Options {
    std::filesystem::path folder;
    bool at = false;  // look for the nearest link to (latitude, longitude)
    double latitude = 0;
    double longitude = 0;
    // How much is loaded at a time: overview tiles and detailed windows of this many
    // cells a side (the detailed window at least 2, at most 48). The figures do not
    // depend on them.
    // A window of full cells (the disc builder puts at most 3,000 nodes in one)
    // must fit the map database's cache: 16 x 16 overview cells or 29 x 24 detailed
    // cells of a region-sized map do not, and their cells fail to load.
    int32_t overviewTileCells = 8;
    int32_t detailedWindowCells = 16;
};

struct Report {
    std::filesystem::path folder;
    // "mapdata1.biz" (layer 0), "mapdatat.biz" (layer 0, when present), then the
    // detailed layer on "mapdata2.biz".
    std::vector<LayerFigures> layers;
    // The road network: layer 0 from "mapdata1.biz" plus the detailed layer.
    ClassTable network{};
    bool at = false;
    double latitude = 0;
    double longitude = 0;
    NearestLink nearest;
    double seconds = 0;
    // What is wrong besides unreadable cells, one line each ("mapdatat.biz: ...").
    std::vector<std::string> problems;

    // False when a non-empty cell could not be loaded or was not reached, or there
    // is a problem.
    bool Complete() const;
};

// The folder holds no usable map files; the text is one line.
class MapError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Points the program's map readers at the folder (g_dataFolder) and catches the
// boxes they show, for the life of the scope. Throws MapError for a path too long
// for the readers.
class DatabaseScope {
  public:
    explicit DatabaseScope(const std::filesystem::path& folder);
    ~DatabaseScope();
    DatabaseScope(const DatabaseScope&) = delete;
    DatabaseScope& operator=(const DatabaseScope&) = delete;

    // The first box shown, or empty.
    const std::string& FirstBox() const { return boxes_; }

  private:
    char16_t saved_[260];
    std::string boxes_;
};

// Checks the folder's map files as Examine does and opens the map database on them
// (the scope points the readers at the folder). Throws MapError as Examine does, and
// when the database refuses the files.
std::unique_ptr<CMapDatabase> OpenMapFolder(const std::filesystem::path& folder,
                                            const DatabaseScope& scope);

// Opens the folder's map files and walks them. Throws MapError when the folder is
// a file, or "mapdata1.biz" or "mapdata2.biz" is missing, unreadable or not a map
// container.
Report Examine(const Options& options);

// The link nearest to the point among the cells around it, in layer 0 and the
// detailed layer. Throws MapError as Examine does.
NearestLink FindNearestLink(const std::filesystem::path& folder, double latitude, double longitude);

// The report for people, ending with FiguresLine.
void PrintText(const Report& report, std::ostream& out);
// The report as one JSON object.
void PrintJson(const Report& report, std::ostream& out);
// The last line of the text output: the road network's figures.
std::string FiguresLine(const Report& report);

// "42.5,1.52" -> {42.5, 1.52}; throws std::invalid_argument for anything else or
// a position off the earth.
std::pair<double, double> ParsePoint(const std::string& text);

}  // namespace mapstat
