#include "tools/mapstat/mapstat.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <ostream>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "formats/map_container.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/text.h"

namespace mapstat {

namespace fs = std::filesystem;
namespace container = formats::map_container;

namespace {

using Clock = std::chrono::steady_clock;
// Keys stay in the order they are written.
using Json = nlohmann::ordered_json;

constexpr const char* kOverviewFile = "mapdata1.biz";
constexpr const char* kReducedOverviewFile = "mapdatat.biz";
constexpr const char* kDetailedFile = "mapdata2.biz";

// The detailed window's side in cells: inside the layer's 51-cell window limit, so
// the window the database computes is the one asked for; a span of 0 would mean
// the layer's default span, so at least 2.
constexpr int32_t kMaxDetailedWindow = 48;
constexpr int32_t kMinDetailedWindow = 2;
// Every class value up to 7.
constexpr uint32_t kAllClasses = 0x1C0;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int ClassOf(const MapLink& link) {
    return static_cast<int>((link.attributes & kAttrClassMask) >> 6);
}

// A stored length is radians of arc on the map's sphere.
double KmOf(const MapLink& link) {
    float radians;
    static_assert(sizeof radians == sizeof link.word0);
    std::memcpy(&radians, &link.word0, sizeof radians);
    // A corrupt length must not spoil the sums.
    if (!std::isfinite(radians) || radians < 0)
        return 0;
    return radians * kEarthRadiusKm;
}

bool IsBorderNode(const MapNode* node) {
    return node->slotCount == MapNode::kSingleSlot;
}

bool IsPlaceholder(const MapNode* node) {
    return node->position.latitude == ProxyNode::kLatitude;
}

// slotCount counts every link end at the node in the whole network, loaded or not.
bool IsDeadEnd(const MapLink& link) {
    for (const MapNode* node : {link.fromNode, link.toNode}) {
        if (node && !IsBorderNode(node) && !IsPlaceholder(node) && node->slotCount == 1)
            return true;
    }
    return false;
}

bool IsScLink(const MapChunk& chunk, const MapLink* link) {
    return chunk.links && link >= chunk.links && link < chunk.links + chunk.header.scLinkCount;
}

// The head of a container file as a check before the database opens it: empty
// when it is usable, else what is wrong.
std::string CheckContainer(const fs::path& path, container::GridHeader* grid = nullptr) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "missing or unreadable";
    uint8_t bytes[container::kHeaderSize];
    if (!in.read(reinterpret_cast<char*>(bytes), sizeof bytes))
        return "too short for a map container";
    const container::GridHeader header = container::DecodeHeader(bytes);
    if (!container::HasMagic(header, container::kMagic))
        return "not a map container";
    if (!container::IsPlausibleGrid(header))
        return "holds an unusable grid";
    if (!container::IsDeviceGrid(header))
        return "its cells are not powers of two of a degree";
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    if (error || size < container::TableEnd(header))
        return "its cell table is cut short";
    if (grid)
        *grid = header;
    return {};
}

// One bit per cell of a grid.
class CellSet {
  public:
    CellSet(int32_t columns, int32_t rows)
        : columns_(columns), rows_(rows), bits_((uint64_t(columns) * uint64_t(rows) + 63) / 64) {}
    bool Contains(int32_t x, int32_t y) const {
        if (x < 0 || y < 0 || x >= columns_ || y >= rows_)
            return false;
        const uint64_t i = Index(x, y);
        return (bits_[i / 64] >> (i % 64)) & 1;
    }
    void Insert(int32_t x, int32_t y) {
        const uint64_t i = Index(x, y);
        bits_[i / 64] |= uint64_t{1} << (i % 64);
    }
    bool AnyIn(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const {
        for (int32_t y = std::max(y0, 0); y <= std::min(y1, rows_ - 1); ++y) {
            for (int32_t x = std::max(x0, 0); x <= std::min(x1, columns_ - 1); ++x) {
                if (Contains(x, y))
                    return true;
            }
        }
        return false;
    }

  private:
    uint64_t Index(int32_t x, int32_t y) const { return uint64_t(x) + uint64_t(columns_) * y; }
    int32_t columns_, rows_;
    std::vector<uint64_t> bits_;
};

// The non-empty cells of the layer's container, read from its cell table a row at
// a time.
CellSet CellsWithData(MapLayer& layer, uint64_t* count) {
    const int32_t columns = layer.header.columns, rows = layer.header.rows;
    CellSet cells(columns, rows);
    std::vector<uint8_t> row(size_t(columns) * container::kCellEntrySize);
    *count = 0;
    for (int32_t y = 0; y < rows && columns > 0; ++y) {
        const uint64_t offset = container::CellEntryOffset(container::CellIndex(0, y, columns));
        if (offset > INT32_MAX || layer.file->Seek(static_cast<int>(offset), 0) != 0 ||
            layer.file->Read(row.data(), static_cast<int>(row.size())) !=
                static_cast<int>(row.size()))
            break;
        for (int32_t x = 0; x < columns; ++x) {
            if (container::LoadU32(row.data() + size_t(x) * container::kCellEntrySize) != 0) {
                cells.Insert(x, y);
                ++*count;
            }
        }
    }
    return cells;
}

// Counts one layer's links over successive loads of parts of its grid: each cell
// once, each link that is not an sc link once per id.
class LayerCounter {
  public:
    LayerCounter(MapLayer& layer, LayerFigures& figures)
        : layer_(layer),
          figures_(figures),
          withData_(CellsWithData(layer, &figures.cellsWithData)),
          counted_(layer.header.columns, layer.header.rows) {
        figures_.columns = layer.header.columns;
        figures_.rows = layer.header.rows;
    }

    const CellSet& WithData() const { return withData_; }

    // Walks window cells (x0, y0)..(x1, y1) of what is loaded now; cells counted by
    // an earlier call add nothing.
    void Walk(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        const int32_t width = x1 - x0 + 1, height = y1 - y0 + 1;
        if (width <= 0 || height <= 0)
            return;
        std::vector<bool> fresh(size_t(width) * size_t(height));
        for (int32_t y = y0; y <= y1; ++y) {
            for (int32_t x = x0; x <= x1; ++x) {
                const MapChunk* chunk = layer_.GetChunkRecord(x, y);
                const int32_t cx = layer_.windowX0 + x, cy = layer_.windowY0 + y;
                if (!chunk || !chunk->IsLoaded() || layer_.GetChunkIndex(x, y) < 0 ||
                    counted_.Contains(cx, cy))
                    continue;
                counted_.Insert(cx, cy);
                fresh[size_t(x - x0) + size_t(width) * (y - y0)] = true;
                ++figures_.cellsWalked;
                figures_.nodes += chunk->header.nodeCount;
            }
        }
        LinkIterator it;
        if (it.Init(layer_, x0, y0, x1, y1, kAllClasses, 7) != 0)
            return;
        for (MapLink* link = it.Next(); link; link = it.Next()) {
            if (IsScLink(*it.chunk, link)) {
                if (!fresh[size_t(it.x - x0) + size_t(width) * (it.y - y0)])
                    continue;
                if (IsDeadEnd(*link))
                    ++figures_.deadEnds;
                Add(*link);
                continue;
            }
            // A half shows only its own cell's end: any sighting may reveal the
            // dead end.
            if (IsDeadEnd(*link) && deadEndIds_.insert(link->linkId).second)
                ++figures_.deadEnds;
            if (seenIds_.insert(link->linkId).second)
                Add(*link);
        }
    }

    // Non-empty cells that no walk counted could not be loaded.
    void Finish() {
        figures_.cellsFailed =
            figures_.cellsWithData - std::min(figures_.cellsWithData, figures_.cellsWalked);
    }

  private:
    void Add(const MapLink& link) {
        const int c = ClassOf(link);
        const double km = KmOf(link);
        ++figures_.links;
        figures_.km += km;
        ++figures_.classes[c].links;
        figures_.classes[c].km += km;
    }

    MapLayer& layer_;
    LayerFigures& figures_;
    CellSet withData_;
    CellSet counted_;
    std::unordered_set<int32_t> seenIds_;
    std::unordered_set<int32_t> deadEndIds_;
};

// Layer 0 covers the whole overview grid: load a tile of cells, walk it, purge it.
LayerFigures WalkOverview(CMapDatabase& db, const char* file, int32_t tile) {
    const Clock::time_point start = Clock::now();
    MapLayer& layer = db.layers[0];
    LayerFigures figures;
    figures.layer = 0;
    figures.file = file;
    LayerCounter counter(layer, figures);
    for (int32_t ty = 0; ty < layer.windowH; ty += tile) {
        for (int32_t tx = 0; tx < layer.windowW; tx += tile) {
            const int32_t x1 = std::min(tx + tile, layer.windowW) - 1;
            const int32_t y1 = std::min(ty + tile, layer.windowH) - 1;
            if (!counter.WithData().AnyIn(tx, ty, x1, y1))
                continue;
            for (int32_t y = ty; y <= y1; ++y) {
                for (int32_t x = tx; x <= x1; ++x) {
                    if (counter.WithData().Contains(x, y))
                        db.GetChunk(0, x, y);
                }
            }
            counter.Walk(tx, ty, x1, y1);
            for (int32_t y = ty; y <= y1; ++y) {
                for (int32_t x = tx; x <= x1; ++x)
                    MapChunk::RebuildLevels(layer, x, y, false);
            }
        }
    }
    counter.Finish();
    figures.seconds = Seconds(start);
    return figures;
}

// Drops the detailed window's chunks, then the overview chunks they pinned, so
// that no more than one window's worth of both is ever loaded.
void ReleaseWindow(CMapDatabase& db) {
    db.layers[kDetailedLayer].DropAll(true);
}

// Loads, each on its own, the overview cells under detailed cells (c0, r0)..(c1, r1)
// of the file grid; a cell that fails stays out.
void LoadOverviewUnder(CMapDatabase& db, int32_t c0, int32_t r0, int32_t c1, int32_t r1) {
    const MapLayer& layer = db.layers[kDetailedLayer];
    int32_t x0, y0, x1, y1, page, inPage;
    // Relative to whatever window the layer has: the cells asked for are absolute.
    db.GetOverviewCell(kDetailedLayer, c0 - layer.windowX0, r0 - layer.windowY0, &x0, &y0, &page,
                       &inPage);
    db.GetOverviewCell(kDetailedLayer, c1 - layer.windowX0, r1 - layer.windowY0, &x1, &y1, &page,
                       &inPage);
    // Pinned for the detailed layer, as its window's load would, so that the window's
    // release drops them again.
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x)
            db.LoadPinnedRange(kDetailedLayer, x, y, x, y);
    }
}

// The detailed layer's window moved over the grid in bands of rows; each window
// walks the cells no earlier window counted.
LayerFigures WalkDetailed(CMapDatabase& db, int32_t window) {
    const Clock::time_point start = Clock::now();
    MapLayer& layer = db.layers[kDetailedLayer];
    LayerFigures figures;
    figures.layer = kDetailedLayer;
    figures.file = kDetailedFile;
    figures.detailed = true;
    LayerCounter counter(layer, figures);
    const auto& head = layer.header;
    const FLOAT spanLon = (window - 1) * head.cellWidth;
    const FLOAT spanLat = (window - 1) * head.cellHeight;
    for (int32_t row = 0; row < head.rows;) {
        int32_t nextRow = row + window;
        for (int32_t column = 0; column < head.columns;) {
            const int32_t lastColumn = column + window - 1;
            const int32_t lastRow = row + window - 1;
            if (!counter.WithData().AnyIn(column, row, lastColumn, lastRow)) {
                column += window;
                continue;
            }
            // The centre of the window's middle, so that its edges fall inside the
            // first and last cells asked for.
            MapPoint centre;
            centre.longitude = layer.west + (column + window * 0.5f) * head.cellWidth;
            centre.latitude = layer.south + (row + window * 0.5f) * head.cellHeight;
            // With the overview chunks under the window: a detailed link that ends at
            // an overview node is dead while that node's chunk is not loaded.
            if (db.LoadArea(kDetailedLayer, centre, spanLon, spanLat, 0, 0, true, false) != 0) {
                // A cell that failed stops the window's load, an overview cell before
                // the window has even moved: the overview cells under the window are
                // loaded one by one, the window is moved without them, and its cells
                // are loaded one by one, so that only the broken cells stay out.
                ReleaseWindow(db);
                LoadOverviewUnder(db, column, row, lastColumn, lastRow);
                db.LoadArea(kDetailedLayer, centre, spanLon, spanLat, 0, 0, false, false);
                for (int32_t y = 0; y < layer.windowH; ++y) {
                    for (int32_t x = 0; x < layer.windowW; ++x) {
                        if (counter.WithData().Contains(layer.windowX0 + x, layer.windowY0 + y))
                            db.GetChunk(kDetailedLayer, x, y);
                    }
                }
            }
            counter.Walk(0, 0, layer.windowW - 1, layer.windowH - 1);
            // Move on from the window the database made; never stand still.
            column = std::max(column + 1, layer.windowX1 + 1);
            nextRow = std::min(nextRow, std::max(row + 1, layer.windowY1 + 1));
            ReleaseWindow(db);
        }
        row = nextRow;
    }
    counter.Finish();
    figures.seconds = Seconds(start);
    return figures;
}

// The link nearest to the point among the cells around it, in layer 0 and the
// detailed layer.
NearestLink FindNearest(CMapDatabase& db, double lat, double lon) {
    NearestLink nearest;
    MapPoint point;
    point.latitude = static_cast<FLOAT>(lat);
    point.longitude = static_cast<FLOAT>(lon);
    const LinkSnap snap =
        SnapToNearestLink(db, point, std::numeric_limits<double>::infinity(), SnapLinks::kAny);
    if (!snap.Found())
        return nearest;
    nearest.found = true;
    nearest.linkId = snap.link->linkId;
    nearest.classValue = ClassOf(*snap.link);
    nearest.layer = snap.layer;
    nearest.file = snap.layer == 0 ? kOverviewFile : kDetailedFile;
    nearest.metres = snap.metres;
    nearest.attributes = snap.link->attributes;
    // The name files are optional: a folder of containers alone has no names.
    OpenMapIndexFiles();
    if (g_namesFile.IsOpen() && g_linkInfo.IsOpen()) {
        char street[kStreetTextSize];
        nearest.street = GetLinkStreetName(g_linkInfo, nearest.linkId, nearest.attributes, 0,
                                           street, sizeof street, false);
    }
    CloseMapIndexFiles();
    return nearest;
}

std::unique_ptr<CMapDatabase> OpenDatabase(const fs::path& folder, const DatabaseScope& scope) {
    auto db = std::make_unique<CMapDatabase>();
    if (db->Open() != 0) {
        std::string why = scope.FirstBox();
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
            why.pop_back();
        throw MapError(folder.string() + ": the map database cannot open the files" +
                       (why.empty() ? "" : " (" + why + ")"));
    }
    return db;
}

void AddClasses(ClassTable& total, const ClassTable& part) {
    for (int c = 0; c < kClassCount; ++c) {
        total[c].links += part[c].links;
        total[c].km += part[c].km;
    }
}

std::string Number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::isfinite(value) ? value : 0.0);
    return text;
}

// A figure as JSON shows it: rounded to `decimals` places, 0 for what is not finite.
double Rounded(double value, int decimals) {
    if (!std::isfinite(value))
        return 0;
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

// The classes that hold links, in class order.
Json JsonClasses(const ClassTable& classes) {
    Json out = Json::array();
    for (int c = 0; c < kClassCount; ++c) {
        if (classes[c].links == 0)
            continue;
        out.push_back({{"class", c},
                       {"name", ClassName(c)},
                       {"links", classes[c].links},
                       {"km", Rounded(classes[c].km, 3)}});
    }
    return out;
}

void PrintClasses(const ClassTable& classes, std::ostream& out) {
    char line[160];
    for (int c = 0; c < kClassCount; ++c) {
        if (classes[c].links == 0)
            continue;
        std::snprintf(line, sizeof line, "    %d %-20s %10llu links %12.1f km\n", c,
                      ClassName(c).c_str(), static_cast<unsigned long long>(classes[c].links),
                      classes[c].km);
        out << line;
    }
}

ClassFigures Sum(const ClassTable& classes) {
    ClassFigures total;
    for (const ClassFigures& figures : classes) {
        total.links += figures.links;
        total.km += figures.km;
    }
    return total;
}

}  // namespace

static_assert(MAX_PATH == 260, "the scope keeps a whole data folder");

DatabaseScope::DatabaseScope(const fs::path& folder) {
    std::memcpy(saved_, g_dataFolder, sizeof saved_);
    const std::u16string text = platform::HostPathText(fs::absolute(folder)) + u"/";
    if (text.size() >= MAX_PATH)
        throw MapError(folder.string() + ": the path is too long for the map database");
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
    platform::SetMessageBoxHandler(
        [this](HWND, const std::u16string& text, const std::u16string&, UINT type) {
            if (boxes_.empty())
                boxes_ = platform::WideToUtf8(text);
            return platform::DefaultMessageBoxAnswer(type);
        });
}

DatabaseScope::~DatabaseScope() {
    platform::SetMessageBoxHandler({});
    std::memcpy(g_dataFolder, saved_, sizeof saved_);
}

std::string ClassName(int classValue) {
    switch (classValue) {
        case 1:
            return "freeway";
        case 2:
            return "highway";
        case 3:
            return "arterial/collector";
        case 4:
            return "street";
        case 5:
            return "minor";
        default:
            return "class " + std::to_string(classValue);
    }
}

bool Report::Complete() const {
    if (!problems.empty())
        return false;
    for (const LayerFigures& layer : layers) {
        if (layer.cellsFailed > 0 || layer.cellsWalked != layer.cellsWithData)
            return false;
    }
    return true;
}

static bool SameGrid(const container::GridHeader& a, const container::GridHeader& b) {
    return a.originLongitude == b.originLongitude && a.originLatitude == b.originLatitude &&
           a.firstColumn == b.firstColumn && a.firstRow == b.firstRow && a.columns == b.columns &&
           a.rows == b.rows && a.cellWidth == b.cellWidth && a.cellHeight == b.cellHeight;
}

// Throws MapError unless both containers the database needs are usable. What is
// wrong with "mapdatat.biz", when it is there, goes to `reducedProblem`: layer 0
// reads it with "mapdata1.biz"'s grid.
static void CheckFolder(const fs::path& folder, std::string* reducedProblem) {
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_directory(folder, error))
        throw MapError(folder.string() + ": a file, not a folder of map files");
    if (!fs::is_directory(folder, error))
        throw MapError(folder.string() + ": no such folder");
    container::GridHeader overviewGrid, reducedGrid;
    const std::string overviewProblem = CheckContainer(folder / kOverviewFile, &overviewGrid);
    const std::string detailedProblem = CheckContainer(folder / kDetailedFile);
    if (!overviewProblem.empty() && !detailedProblem.empty())
        throw MapError(folder.string() + " holds no readable map files (" + kOverviewFile + ": " +
                       overviewProblem + ", " + kDetailedFile + ": " + detailedProblem + ")");
    for (const auto& [file, problem] :
         {std::pair{kOverviewFile, overviewProblem}, std::pair{kDetailedFile, detailedProblem}}) {
        if (!problem.empty())
            throw MapError((folder / file).string() + ": " + problem);
    }
    if (!reducedProblem || !fs::exists(folder / kReducedOverviewFile, error))
        return;
    *reducedProblem = CheckContainer(folder / kReducedOverviewFile, &reducedGrid);
    if (reducedProblem->empty() && !SameGrid(overviewGrid, reducedGrid))
        *reducedProblem = std::string("its grid is not ") + kOverviewFile + "'s";
}

Report Examine(const Options& options) {
    const Clock::time_point start = Clock::now();
    const fs::path& folder = options.folder;
    std::string reducedProblem;
    CheckFolder(folder, &reducedProblem);

    Report report;
    report.folder = folder;
    if (!reducedProblem.empty())
        report.problems.push_back(std::string(kReducedOverviewFile) + ": " + reducedProblem);
    {
        DatabaseScope scope(folder);
        std::unique_ptr<CMapDatabase> db = OpenDatabase(folder, scope);
        const int32_t tile = std::max(options.overviewTileCells, 1);
        const int32_t window =
            std::clamp(options.detailedWindowCells, kMinDetailedWindow, kMaxDetailedWindow);
        report.layers.push_back(WalkOverview(*db, kOverviewFile, tile));
        if (db->mapFileT.IsOpen() && reducedProblem.empty()) {
            // Layer 0 reads the reduced overview, then goes back to the main one.
            db->layers[0].SetChunkFile(&db->mapFileT);
            report.layers.push_back(WalkOverview(*db, kReducedOverviewFile, tile));
            db->layers[0].SetChunkFile(&db->mapFile1);
        }
        report.layers.push_back(WalkDetailed(*db, window));
        if (options.at) {
            report.at = true;
            report.latitude = options.latitude;
            report.longitude = options.longitude;
            report.nearest = FindNearest(*db, options.latitude, options.longitude);
        }
    }
    AddClasses(report.network, report.layers.front().classes);
    AddClasses(report.network, report.layers.back().classes);
    report.seconds = Seconds(start);
    return report;
}

std::unique_ptr<CMapDatabase> OpenMapFolder(const fs::path& folder, const DatabaseScope& scope) {
    CheckFolder(folder, nullptr);
    return OpenDatabase(folder, scope);
}

NearestLink FindNearestLink(const fs::path& folder, double latitude, double longitude) {
    DatabaseScope scope(folder);
    std::unique_ptr<CMapDatabase> db = OpenMapFolder(folder, scope);
    return FindNearest(*db, latitude, longitude);
}

std::pair<double, double> ParsePoint(const std::string& text) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos)
        throw std::invalid_argument("--at wants LAT,LON, not \"" + text + "\"");
    auto number = [&](const std::string& part, double limit, const char* what) {
        size_t used = 0;
        double value = 0;
        try {
            value = std::stod(part, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (part.empty() || used != part.size() || !std::isfinite(value) ||
            std::fabs(value) > limit)
            throw std::invalid_argument(std::string("--at: bad ") + what + " \"" + part + "\"");
        return value;
    };
    return {number(text.substr(0, comma), 90, "latitude"),
            number(text.substr(comma + 1), 180, "longitude")};
}

std::string FiguresLine(const Report& report) {
    uint64_t cells = 0, nodes = 0, deadEnds = 0;
    if (!report.layers.empty()) {
        for (const LayerFigures* layer : {&report.layers.front(), &report.layers.back()}) {
            cells += layer->cellsWalked;
            nodes += layer->nodes;
            deadEnds += layer->deadEnds;
        }
    }
    const ClassFigures total = Sum(report.network);
    char line[200];
    std::snprintf(line, sizeof line,
                  "%s: cells %llu, nodes %llu, links %llu, km %.1f, dead ends %llu, %.2f s",
                  report.Complete() ? "checked" : "incomplete",
                  static_cast<unsigned long long>(cells), static_cast<unsigned long long>(nodes),
                  static_cast<unsigned long long>(total.links), total.km,
                  static_cast<unsigned long long>(deadEnds), report.seconds);
    return line;
}

void PrintText(const Report& report, std::ostream& out) {
    out << "map files in " << report.folder.string() << "\n";
    char line[200];
    for (const LayerFigures& layer : report.layers) {
        out << layer.file << ", layer " << layer.layer
            << (layer.detailed ? " (the detailed layer)" : " (overview)") << "\n";
        std::snprintf(line, sizeof line,
                      "  cells      %llu of %llu with data walked (grid %d x %d, %llu cells)\n",
                      static_cast<unsigned long long>(layer.cellsWalked),
                      static_cast<unsigned long long>(layer.cellsWithData), layer.columns,
                      layer.rows, static_cast<unsigned long long>(layer.GridCells()));
        out << line;
        if (layer.cellsFailed > 0)
            out << "  FAILED     " << layer.cellsFailed << " cells could not be loaded\n";
        std::snprintf(line, sizeof line,
                      "  nodes      %llu\n  links      %llu, %.1f km\n  dead ends  %llu\n",
                      static_cast<unsigned long long>(layer.nodes),
                      static_cast<unsigned long long>(layer.links), layer.km,
                      static_cast<unsigned long long>(layer.deadEnds));
        out << line;
        PrintClasses(layer.classes, out);
        std::snprintf(line, sizeof line, "  seconds    %.3f\n", layer.seconds);
        out << line;
    }
    for (const std::string& problem : report.problems)
        out << "PROBLEM " << problem << "\n";
    if (!report.layers.empty()) {
        out << "road network (" << report.layers.front().file << " and "
            << report.layers.back().file << ")\n";
        PrintClasses(report.network, out);
    }
    if (report.at) {
        std::snprintf(line, sizeof line, "%.7f,%.7f", report.latitude, report.longitude);
        const NearestLink& nearest = report.nearest;
        if (nearest.found) {
            out << "nearest link to " << line << ": id " << nearest.linkId << ", class "
                << nearest.classValue << " (" << ClassName(nearest.classValue) << "), layer "
                << nearest.layer << " (" << nearest.file << "), " << Number(nearest.metres, 1)
                << " m";
            if (!nearest.street.empty())
                out << ", " << nearest.street;
            out << "\n";
        } else {
            out << "nearest link to " << line << ": none in the loaded cells\n";
        }
    }
    out << FiguresLine(report) << "\n";
}

void PrintJson(const Report& report, std::ostream& out) {
    Json json;
    json["folder"] = report.folder.string();
    Json layers = Json::array();
    for (const LayerFigures& layer : report.layers) {
        layers.push_back({{"layer", layer.layer},
                          {"file", layer.file},
                          {"detailed", layer.detailed},
                          {"cells", layer.cellsWalked},
                          {"cells_with_data", layer.cellsWithData},
                          {"cells_failed", layer.cellsFailed},
                          {"grid_cells", layer.GridCells()},
                          {"nodes", layer.nodes},
                          {"links", layer.links},
                          {"km", Rounded(layer.km, 3)},
                          {"dead_ends", layer.deadEnds},
                          {"seconds", Rounded(layer.seconds, 3)},
                          {"classes", JsonClasses(layer.classes)}});
    }
    json["layers"] = std::move(layers);
    const ClassFigures total = Sum(report.network);
    json["network"] = {{"links", total.links},
                       {"km", Rounded(total.km, 3)},
                       {"classes", JsonClasses(report.network)}};
    if (report.at) {
        const NearestLink& nearest = report.nearest;
        json["nearest"] = nullptr;
        if (nearest.found) {
            json["nearest"] = {{"latitude", Rounded(report.latitude, 7)},
                               {"longitude", Rounded(report.longitude, 7)},
                               {"link", nearest.linkId},
                               {"class", nearest.classValue},
                               {"name", ClassName(nearest.classValue)},
                               {"layer", nearest.layer},
                               {"file", nearest.file},
                               {"metres", Rounded(nearest.metres, 2)}};
            if (!nearest.street.empty())
                json["nearest"]["street"] = nearest.street;
        }
    }
    json["problems"] = report.problems;
    json["complete"] = report.Complete();
    json["seconds"] = Rounded(report.seconds, 3);
    // A folder name that is not UTF-8 is shown with replacement characters rather
    // than failing the whole report.
    out << json.dump(1, ' ', false, Json::error_handler_t::replace) << "\n";
}

}  // namespace mapstat
