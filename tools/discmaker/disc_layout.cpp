#include "tools/discmaker/disc_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "formats/city_list.h"
#include "formats/source_disc.h"

namespace discmaker {

namespace sd = formats::source_disc;
namespace mc = formats::map_container;

// ---- Built-in states -------------------------------------------------------------

const std::vector<BuiltInState>& BuiltInStates() {
    return InstallerStates();
}

const BuiltInState* FindBuiltInState(const std::string& code) {
    return FindInstallerState(code);
}

// ---- Cells -----------------------------------------------------------------------

namespace {

// Positions are stored as f32 on the discs: cells are decided on the stored value,
// so a reader that recomputes the cell of a stored point finds the same one.
// Kept out of line: GCC 12 at -O2 and above drops a vectorised float round trip
// of both fields of a position, which left release builds with unrounded points.
[[gnu::noinline]] double Stored(double degrees) {
    return static_cast<double>(static_cast<float>(degrees));
}

int32_t ClampIndex(double value, int32_t count) {
    if (!(value >= 0))
        return 0;  // also NaN
    if (value >= count)
        return count - 1;
    return static_cast<int32_t>(value);
}

bool SideAdjacent(Cell a, Cell b) {
    int dc = std::abs(a.column - b.column), dr = std::abs(a.row - b.row);
    return dc + dr == 1;
}

}  // namespace

Cell DiscLayout::CellIn(const GridHeader& grid, LatLon p) {
    double x =
        std::floor((Stored(p.lon) - grid.originLongitude) / grid.cellWidth) - grid.firstColumn;
    double y = std::floor((Stored(p.lat) - grid.originLatitude) / grid.cellHeight) - grid.firstRow;
    return {ClampIndex(x, grid.columns), ClampIndex(y, grid.rows)};
}

LatLon DiscLayout::CellOrigin(const GridHeader& grid, Cell cell) {
    return {grid.originLatitude + static_cast<double>(grid.cellHeight) * (cell.row + grid.firstRow),
            grid.originLongitude +
                static_cast<double>(grid.cellWidth) * (cell.column + grid.firstColumn)};
}

Cell DiscLayout::OverviewCell(LatLon p) const {
    return CellIn(overview, p);
}
Cell DiscLayout::DetailedCell(LatLon p) const {
    return CellIn(detailed, p);
}
Cell DiscLayout::PolygonCell(LatLon p) const {
    return CellIn(polygons, p);
}
Cell DiscLayout::PoiCell(LatLon p) const {
    return CellIn(poi, p);
}

int DiscLayout::DiscOfColumn(int32_t column) const {
    if (column < c2)
        return 0;
    if (column < c3)
        return 1;
    return 2;
}

int32_t DiscLayout::FirstColumn(int disc) const {
    return disc == 0 ? 0 : disc == 1 ? c2 : c3;
}

int32_t DiscLayout::ColumnCount(int disc) const {
    return disc == 0 ? c2 : disc == 1 ? c3 - c2 : detailed.columns - c3;
}

uint32_t DiscLayout::EntryOfArea(const Network& network, uint32_t area) const {
    uint32_t region = network.RegionOf(area);
    return region < entryOfRegion.size() ? entryOfRegion[region] : kNone;
}

uint32_t DiscLayout::EntryOfLink(const Network& network, uint32_t link) const {
    uint32_t region = network.RegionOfLink(link);
    return region < entryOfRegion.size() ? entryOfRegion[region] : kNone;
}

uint32_t DiscLayout::EntryOfPoi(const Network& network, uint32_t poi) const {
    const Poi& p = network.pois.at(poi);
    uint32_t entry = EntryOfArea(network, p.city);
    if (entry == kNone && p.link != kNone)
        entry = EntryOfLink(network, p.link);
    return entry;
}

// ---- Planning --------------------------------------------------------------------

namespace {

GridHeader MakeGrid(const char (&magic)[4], double originLon, double originLat, int32_t columns,
                    int32_t rows, double cellWidth, double cellHeight) {
    GridHeader grid;
    std::memcpy(grid.magic, magic, 4);
    grid.originLongitude = static_cast<float>(originLon);
    grid.originLatitude = static_cast<float>(originLat);
    grid.columns = columns;
    grid.rows = rows;
    grid.cellWidth = static_cast<float>(cellWidth);
    grid.cellHeight = static_cast<float>(cellHeight);
    return grid;
}

// Detailed cells: from about 110 m to one degree a side; the narrow side of a
// cell, its width at the grid's poleward edge, at least about 110 m.
constexpr double kMinDetailedCell = 1.0 / 1024;
constexpr double kMaxDetailedCell = 1.0;
constexpr double kMinNarrowCell = 1.0 / 1024;
constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180;

constexpr char kContainerMagic[4] = {'N', 'T', 'C', '5'};
constexpr char kPolygonMagic[4] = {'P', 'Y', '0', '0'};
constexpr char kPoiMagic[4] = {'N', 'P', 'L', '6'};

// The largest number of the points in one cell of a square grid of `size` degrees.
uint32_t MaxPerCell(const std::vector<LatLon>& points, double originLon, double originLat,
                    double size) {
    std::map<std::pair<int64_t, int64_t>, uint32_t> counts;
    uint32_t most = 0;
    for (const LatLon& p : points) {
        auto key =
            std::make_pair(static_cast<int64_t>(std::floor((Stored(p.lon) - originLon) / size)),
                           static_cast<int64_t>(std::floor((Stored(p.lat) - originLat) / size)));
        most = std::max(most, ++counts[key]);
    }
    return most;
}

}  // namespace

DiscLayout PlanDiscLayout(const Network& network, const std::filesystem::path& out,
                          const LayoutOptions& options) {
    if (network.nodes.empty() || network.links.empty()) {
        throw std::runtime_error("the network has no roads to write");
    }
    DiscLayout layout;
    layout.out = out;
    for (int disc = 0; disc < kDiscCount; ++disc) {
        layout.discs[disc] = out / ("CD" + std::to_string(disc + 1));
        layout.mapData[disc] = layout.discs[disc] / "mapdata";
    }
    layout.dataVersion = options.dataVersion == 0 ? 1 : options.dataVersion;

    Bounds bounds = NetworkBounds(network);
    std::vector<LatLon> allNodes, majorNodes;
    std::vector<bool> major(network.nodes.size(), false);
    for (const Link& link : network.links) {
        if (IsMajorClass(link.roadClass))
            major[link.from] = major[link.to] = true;
    }
    for (size_t i = 0; i < network.nodes.size(); ++i) {
        allNodes.push_back(network.nodes[i].position);
        if (major[i])
            majorNodes.push_back(network.nodes[i].position);
    }

    // Cells are powers of two of a degree, so that origins and edges are exact in
    // the f32 fields and every reader finds the same cell for a point. The map
    // database sizes its cache of detailed cells by their narrow side (the width at
    // the grid's poleward edge): below kMinNarrowCell it cannot open the map. The
    // preferred size is an eighth of the extent, smaller where the chunk limits
    // need it, larger where the narrow side needs it.
    const double extent = std::max(bounds.maxLat - bounds.minLat, bounds.maxLon - bounds.minLon);
    const double preferred =
        std::clamp(std::exp2(std::floor(std::log2(std::max(extent, 1e-9) / 8))), kMinDetailedCell,
                   kMaxDetailedCell);
    std::vector<double> sizes;
    for (double size = preferred; size >= kMinDetailedCell; size /= 2)
        sizes.push_back(size);
    for (double size = preferred * 2; size <= kMaxDetailedCell; size *= 2)
        sizes.push_back(size);
    bool narrowFound = false;
    double detailedSize = 0;
    int32_t ratio = 0;
    for (double size : sizes) {
        for (int32_t r : {4, 2, 1}) {
            const double overviewSize = size * r;
            const double originLon =
                std::floor(Stored(bounds.minLon) / overviewSize) * overviewSize;
            const double originLat =
                std::floor(Stored(bounds.minLat) / overviewSize) * overviewSize;
            const double northEdge =
                originLat +
                (std::floor((Stored(bounds.maxLat) - originLat) / overviewSize) + 1) * overviewSize;
            const double narrow = size * std::min(std::cos(originLat * kRadiansPerDegree),
                                                  std::cos(northEdge * kRadiansPerDegree));
            if (narrow < kMinNarrowCell)
                continue;
            narrowFound = true;
            if (MaxPerCell(allNodes, originLon, originLat, size) <=
                    options.maxNodesPerDetailedCell &&
                MaxPerCell(majorNodes, originLon, originLat, overviewSize) <=
                    options.maxNodesPerOverviewCell) {
                detailedSize = size;
                ratio = r;
                break;
            }
        }
        if (ratio != 0)
            break;
    }
    if (!narrowFound) {
        throw std::runtime_error(
            "the roads reach too near a pole to be mapped (the maps hold roads from 89.75 degrees "
            "south to 89.75 degrees north)");
    }
    if (ratio == 0)
        throw std::runtime_error("the network is too dense for the chunk limits");
    const double overviewSize = detailedSize * ratio;
    const double originLon = std::floor(Stored(bounds.minLon) / overviewSize) * overviewSize;
    const double originLat = std::floor(Stored(bounds.minLat) / overviewSize) * overviewSize;
    int32_t overviewColumns =
        static_cast<int32_t>(std::floor((Stored(bounds.maxLon) - originLon) / overviewSize)) + 1;
    const int32_t overviewRows =
        static_cast<int32_t>(std::floor((Stored(bounds.maxLat) - originLat) / overviewSize)) + 1;
    // Three discs each need a column, and the last disc the column before the last.
    while (overviewColumns * ratio < 4)
        ++overviewColumns;
    const uint64_t detailedCells =
        uint64_t(overviewColumns) * ratio * uint64_t(overviewRows) * ratio;
    if (detailedCells > mc::kMaxCells)
        throw std::runtime_error("the network covers too many cells");

    layout.detailRatio = ratio;
    layout.poiRatio = ratio;
    layout.overview = MakeGrid(kContainerMagic, originLon, originLat, overviewColumns, overviewRows,
                               overviewSize, overviewSize);
    layout.detailed = MakeGrid(kContainerMagic, originLon, originLat, overviewColumns * ratio,
                               overviewRows * ratio, detailedSize, detailedSize);
    layout.polygons = MakeGrid(kPolygonMagic, originLon, originLat, overviewColumns, overviewRows,
                               overviewSize, overviewSize);
    layout.poi = MakeGrid(kPoiMagic, originLon, originLat, overviewColumns, overviewRows,
                          detailedSize * layout.poiRatio, detailedSize * layout.poiRatio);

    // Split columns: about a third of the nodes on each disc.
    const int32_t total = layout.detailed.columns;
    std::vector<uint64_t> perColumn(total, 0);
    for (const LatLon& p : allNodes)
        ++perColumn[layout.DetailedCell(p).column];
    uint64_t sum = 0;
    for (uint64_t n : perColumn)
        sum += n;
    int32_t c2 = 0, c3 = 0;
    uint64_t running = 0;
    for (int32_t column = 0; column < total; ++column) {
        running += perColumn[column];
        if (c2 == 0 && running * 3 >= sum)
            c2 = column + 1;
        if (c3 == 0 && running * 3 >= sum * 2)
            c3 = column + 1;
    }
    c3 = std::clamp(c3, 2, total - 2);
    c2 = std::clamp(c2, 1, c3 - 1);
    if (c3 <= c2)
        c3 = c2 + 1;
    layout.c2 = c2;
    layout.c3 = c3;
    if (!sd::SplitColumnsValid(c2, c3, total))
        throw std::runtime_error("no valid split of the columns");

    // One list entry per region, by region number.
    std::vector<uint32_t> order(network.regions.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return network.regions[a].number < network.regions[b].number;
    });
    layout.entryOfRegion.assign(network.regions.size(), kNone);
    for (uint32_t region : order) {
        layout.entryOfRegion[region] = static_cast<uint32_t>(layout.entries.size());
        layout.entries.push_back(
            {region, network.regions[region].area, network.regions[region].number});
    }
    return layout;
}

// ---- Fitting links to the grid ---------------------------------------------------

namespace {

struct SubSegment {
    size_t segment;  // index of the segment's first point
    double t0, t1;   // part of the segment
    Cell cell;
    double km;
};

LatLon Lerp(LatLon a, LatLon b, double t) {
    return {a.lat + (b.lat - a.lat) * t, a.lon + (b.lon - a.lon) * t};
}

// Parameters in (0, 1) where the segment crosses a grid line.
std::vector<double> Crossings(const GridHeader& grid, LatLon a, LatLon b) {
    std::vector<double> ts;
    auto lines = [&](double from, double to, double origin, double size) {
        if (from == to)
            return;
        double lo = std::min(from, to), hi = std::max(from, to);
        for (double k = std::ceil((lo - origin) / size); origin + k * size < hi; ++k) {
            double t = (origin + k * size - from) / (to - from);
            if (t > 0 && t < 1)
                ts.push_back(t);
        }
    };
    lines(a.lon, b.lon, grid.originLongitude, grid.cellWidth);
    lines(a.lat, b.lat, grid.originLatitude, grid.cellHeight);
    std::sort(ts.begin(), ts.end());
    ts.erase(std::unique(ts.begin(), ts.end(), [](double x, double y) { return y - x < 1e-12; }),
             ts.end());
    return ts;
}

// Moves a point whose stored position lies on a grid line a little way north or
// east, off the line: a node on a border would make a half-link with both ends on
// the border, and one on a corner would join cells that share no side.
LatLon OffGridLines(const GridHeader& grid, LatLon p) {
    auto onLine = [](double v, double origin, double size) {
        double k = (Stored(v) - origin) / size;
        return k == std::floor(k);
    };
    for (double step = grid.cellHeight * 1e-4; onLine(p.lat, grid.originLatitude, grid.cellHeight);
         step *= 2) {
        p.lat += step;
    }
    for (double step = grid.cellWidth * 1e-4; onLine(p.lon, grid.originLongitude, grid.cellWidth);
         step *= 2) {
        p.lon += step;
    }
    return p;
}

// A point of the cell near `p`, for a cut node whose stored position would land in a
// neighbouring cell.
LatLon IntoCell(const GridHeader& grid, Cell cell, LatLon p) {
    LatLon sw = DiscLayout::CellOrigin(grid, cell);
    double marginLon = grid.cellWidth * 1e-2, marginLat = grid.cellHeight * 1e-2;
    p.lon = std::clamp(p.lon, sw.lon + marginLon, sw.lon + grid.cellWidth - marginLon);
    p.lat = std::clamp(p.lat, sw.lat + marginLat, sw.lat + grid.cellHeight - marginLat);
    return p;
}

}  // namespace

void FitLinksToGrid(Network& network, const DiscLayout& layout) {
    const GridHeader& grid = layout.detailed;
    // Work on the positions as they will be stored, so that every cell decided here
    // is the cell a reader finds.
    auto stored = [](LatLon p) { return LatLon{Stored(p.lat), Stored(p.lon)}; };
    for (Node& node : network.nodes)
        node.position = stored(OffGridLines(grid, stored(node.position)));
    for (Link& l : network.links) {
        for (LatLon& p : l.shape)
            p = stored(p);
    }
    // The cell of a point between stored ones, without rounding it.
    auto exactCell = [&](LatLon p) {
        double x = std::floor((p.lon - grid.originLongitude) / grid.cellWidth) - grid.firstColumn;
        double y = std::floor((p.lat - grid.originLatitude) / grid.cellHeight) - grid.firstRow;
        return Cell{ClampIndex(x, grid.columns), ClampIndex(y, grid.rows)};
    };

    const uint32_t count = static_cast<uint32_t>(network.links.size());
    for (uint32_t link = 0; link < count; ++link) {
        std::vector<LatLon> points = network.LinkPoints(link);
        // A segment through a corner gets a point beside the corner, so that it
        // passes through a cell that shares a side with both.
        std::vector<LatLon> path;
        path.push_back(points[0]);
        for (size_t i = 1; i < points.size(); ++i) {
            LatLon a = points[i - 1], b = points[i];
            for (double t : Crossings(grid, a, b)) {
                LatLon q = Lerp(a, b, t);
                double kx = (q.lon - grid.originLongitude) / grid.cellWidth;
                double ky = (q.lat - grid.originLatitude) / grid.cellHeight;
                if (std::abs(kx - std::round(kx)) < 1e-9 && std::abs(ky - std::round(ky)) < 1e-9) {
                    double eps = 1e-2;
                    path.push_back(
                        stored({q.lat - (b.lat > a.lat ? 1 : -1) * grid.cellHeight * eps,
                                q.lon + (b.lon > a.lon ? 1 : -1) * grid.cellWidth * eps}));
                }
            }
            path.push_back(b);
        }

        std::vector<SubSegment> subs;
        for (size_t i = 0; i + 1 < path.size(); ++i) {
            std::vector<double> ts = Crossings(grid, path[i], path[i + 1]);
            ts.insert(ts.begin(), 0.0);
            ts.push_back(1.0);
            double km = DistanceKm(path[i], path[i + 1]);
            for (size_t k = 0; k + 1 < ts.size(); ++k) {
                LatLon mid = Lerp(path[i], path[i + 1], (ts[k] + ts[k + 1]) / 2);
                subs.push_back({i, ts[k], ts[k + 1], exactCell(mid), km * (ts[k + 1] - ts[k])});
            }
        }
        // Runs of sub-segments in one cell.
        struct Run {
            Cell cell;
            size_t first, last;  // sub-segments
        };
        std::vector<Run> runs;
        for (size_t s = 0; s < subs.size(); ++s) {
            if (runs.empty() || !(runs.back().cell == subs[s].cell))
                runs.push_back({subs[s].cell, s, s});
            else
                runs.back().last = s;
        }
        const Cell fromCell = DiscLayout::CellIn(grid, path.front());
        const Cell toCell = DiscLayout::CellIn(grid, path.back());

        // Greedy: a piece may hold two cells that share a side; cut in the middle of
        // the run before the cell that would make a third.
        std::vector<size_t> cutRuns;
        std::vector<Cell> held{fromCell};
        auto fail = [&](Cell a, Cell b) {
            throw std::runtime_error("link " + std::to_string(link) + " (source id " +
                                     std::to_string(network.links[link].sourceId) +
                                     ") cannot be fitted to the grid: cells " +
                                     std::to_string(a.column) + "/" + std::to_string(a.row) +
                                     " and " + std::to_string(b.column) + "/" +
                                     std::to_string(b.row) + " share no side");
        };
        auto visit = [&](Cell cell, size_t runIndex, bool haveRun) {
            if (std::find(held.begin(), held.end(), cell) != held.end())
                return;
            if (held.size() == 1 && SideAdjacent(held[0], cell)) {
                held.push_back(cell);
                return;
            }
            if (!haveRun)
                fail(held[0], cell);
            cutRuns.push_back(runIndex);
            held = {runs[runIndex].cell};
            if (!(cell == held[0])) {
                if (!SideAdjacent(held[0], cell))
                    fail(held[0], cell);
                held.push_back(cell);
            }
        };
        for (size_t r = 0; r < runs.size(); ++r)
            visit(runs[r].cell, r == 0 ? 0 : r - 1, r > 0);
        visit(toCell, runs.empty() ? 0 : runs.size() - 1, !runs.empty());
        if (cutRuns.empty() && path.size() == points.size())
            continue;

        // The cut nodes, each in the middle of its run.
        struct CutPoint {
            size_t segment;
            double t;
            LatLon p;
        };
        std::vector<CutPoint> cutPoints;
        for (size_t r : cutRuns) {
            double km = 0;
            for (size_t s = runs[r].first; s <= runs[r].last; ++s)
                km += subs[s].km;
            double half = km / 2, walked = 0;
            for (size_t s = runs[r].first; s <= runs[r].last; ++s) {
                if (walked + subs[s].km >= half || s == runs[r].last) {
                    double f = subs[s].km > 0 ? (half - walked) / subs[s].km : 0.5;
                    double t = subs[s].t0 + (subs[s].t1 - subs[s].t0) * std::clamp(f, 0.0, 1.0);
                    LatLon p = stored(Lerp(path[subs[s].segment], path[subs[s].segment + 1], t));
                    if (!(DiscLayout::CellIn(grid, p) == runs[r].cell))
                        p = stored(IntoCell(grid, runs[r].cell, p));
                    p = stored(OffGridLines(grid, p));
                    cutPoints.push_back({subs[s].segment, t, p});
                    break;
                }
                walked += subs[s].km;
            }
        }
        std::vector<LatLon> full;
        std::vector<size_t> cuts;
        size_t next = 0;
        bool cutAtNext = false;  // a cut that falls on the next point of the path
        for (size_t i = 0; i < path.size(); ++i) {
            full.push_back(path[i]);
            if (cutAtNext)
                cuts.push_back(full.size() - 1);
            cutAtNext = false;
            for (; next < cutPoints.size() && cutPoints[next].segment == i; ++next) {
                const CutPoint& cut = cutPoints[next];
                if (cut.t <= 1e-12) {
                    cuts.push_back(full.size() - 1);
                } else if (cut.t >= 1 - 1e-12) {
                    cutAtNext = true;
                } else {
                    full.push_back(cut.p);
                    cuts.push_back(full.size() - 1);
                }
            }
        }
        // Never at the ends; once per point.
        cuts.erase(std::remove_if(cuts.begin(), cuts.end(),
                                  [&](size_t c) { return c == 0 || c + 1 >= full.size(); }),
                   cuts.end());
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        if (cuts.empty()) {
            network.links[link].shape.assign(full.begin() + 1, full.end() - 1);
            continue;
        }
        CutLink(network, link, full, cuts);
    }
    // Pieces within two cells may still carry more points than a chunk record holds.
    ValidateNetwork(network);
}

// ---- Folders and files -----------------------------------------------------------

void CreateFolders(const DiscLayout& layout) {
    std::filesystem::create_directories(layout.out);
    for (int disc = 0; disc < kDiscCount; ++disc)
        std::filesystem::create_directories(layout.mapData[disc]);
}

namespace {

class Bytes {
  public:
    void U32(uint32_t v) {
        uint8_t b[4];
        sd::StoreU32(b, v);
        data_.insert(data_.end(), b, b + 4);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        U32(bits);
    }
    void U8(uint8_t v) { data_.push_back(v); }
    void Raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
    }
    const std::vector<uint8_t>& data() const { return data_; }

  private:
    std::vector<uint8_t> data_;
};

uint64_t WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    return bytes.size();
}

uint64_t WriteText(const std::filesystem::path& path, const std::string& text) {
    return WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string FourNumbers(long a, long b, long c, long d) {
    return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
           std::to_string(d) + "\r\n";
}

// Packed bytes of each cell's block in a container file (blocks follow the table
// in cell order; a block runs to the next one, the last to the end of the file).
std::vector<uint32_t> BlockSizes(const std::filesystem::path& path, uint32_t cells) {
    std::vector<uint32_t> sizes(cells, 0);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return sizes;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (bytes.size() < mc::kHeaderSize)
        return sizes;
    mc::GridHeader head = mc::DecodeHeader(bytes.data());
    if (mc::CellCount(head) != cells || mc::TableEnd(head) > bytes.size())
        return sizes;
    std::vector<std::pair<uint32_t, uint32_t>> offsets;  // offset, cell
    for (uint32_t cell = 0; cell < cells; ++cell) {
        uint32_t offset = mc::LoadU32(bytes.data() + mc::CellEntryOffset(cell));
        if (offset != 0 && offset < bytes.size())
            offsets.push_back({offset, cell});
    }
    std::sort(offsets.begin(), offsets.end());
    for (size_t i = 0; i < offsets.size(); ++i) {
        uint64_t end = i + 1 < offsets.size() ? offsets[i + 1].first : bytes.size();
        sizes[offsets[i].second] = static_cast<uint32_t>(end - offsets[i].first);
    }
    return sizes;
}

uint64_t FileSize(const std::filesystem::path& path) {
    std::error_code ec;
    uint64_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// Latin-1 text of UTF-8 names for the city lists; characters beyond it become '?'.
std::string ToLatin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        size_t len;
        if (c < 0x80)
            cp = c, len = 1;
        else if ((c & 0xE0) == 0xC0)
            cp = c & 0x1F, len = 2;
        else if ((c & 0xF0) == 0xE0)
            cp = c & 0x0F, len = 3;
        else if ((c & 0xF8) == 0xF0)
            cp = c & 0x07, len = 4;
        else
            cp = '?', len = 1;
        if (i + len > utf8.size())
            len = utf8.size() - i, cp = '?';
        for (size_t k = 1; k < len; ++k)
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out += cp < 0x100 ? static_cast<char>(cp) : '?';
        i += len;
    }
    return out;
}

struct RegionRecord {
    uint32_t key = 0;
    uint32_t entry = 0;
    std::vector<std::array<int32_t, 3>> spans;  // row, first column, last column
    std::array<int32_t, 4> bounds{};
};

// The spans of a set of cells: row by row, runs of neighbouring columns.
std::vector<std::array<int32_t, 3>> SpansOf(const std::set<Cell>& cells) {
    // Ordered by column then row in std::set; regroup by row.
    std::map<int32_t, std::vector<int32_t>> rows;
    for (const Cell& c : cells)
        rows[c.row].push_back(c.column);
    std::vector<std::array<int32_t, 3>> spans;
    for (auto& [row, columns] : rows) {
        std::sort(columns.begin(), columns.end());
        for (size_t i = 0; i < columns.size();) {
            size_t j = i;
            while (j + 1 < columns.size() && columns[j + 1] == columns[j] + 1)
                ++j;
            spans.push_back({row, columns[i], columns[j]});
            i = j + 1;
        }
    }
    if (spans.size() >= sd::kMaxSpanItems) {
        // Too many pieces for one record: one span per row from its first to last cell.
        spans.clear();
        for (auto& [row, columns] : rows)
            spans.push_back({row, columns.front(), columns.back()});
    }
    return spans;
}

bool InsideRing(const std::vector<LatLon>& ring, LatLon p) {
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        if ((ring[i].lat > p.lat) != (ring[j].lat > p.lat) &&
            p.lon <
                (ring[j].lon - ring[i].lon) * (p.lat - ring[i].lat) / (ring[j].lat - ring[i].lat) +
                    ring[i].lon) {
            inside = !inside;
        }
    }
    return inside;
}

// Which sub-area of a region a point belongs to: the one whose outline holds it,
// else the one whose outline's centre is nearest.
size_t SubAreaOf(const Region& region, LatLon p) {
    for (size_t k = 0; k < region.subAreas.size(); ++k) {
        if (region.subAreas[k].outline.size() >= 3 && InsideRing(region.subAreas[k].outline, p))
            return k;
    }
    size_t best = 0;
    double bestKm = -1;
    for (size_t k = 0; k < region.subAreas.size(); ++k) {
        const auto& outline = region.subAreas[k].outline;
        if (outline.empty())
            continue;
        LatLon mid{};
        for (const LatLon& q : outline)
            mid.lat += q.lat, mid.lon += q.lon;
        mid.lat /= outline.size(), mid.lon /= outline.size();
        double km = DistanceKm(mid, p);
        if (bestKm < 0 || km < bestKm)
            best = k, bestKm = km;
    }
    return best;
}

}  // namespace

uint64_t WriteLayoutFiles(const Network& network, const DiscLayout& layout) {
    uint64_t written = 0;
    const int32_t total = layout.detailed.columns;

    written += WriteText(layout.out / "cdinfo.ini",
                         FourNumbers(layout.dataVersion, layout.c2, layout.c3, total));
    for (int disc = 0; disc < kDiscCount; ++disc) {
        written += WriteText(layout.discs[disc] / "mapid.ini",
                             FourNumbers(layout.FirstColumn(disc), layout.ColumnCount(disc), total,
                                         layout.dataVersion));
    }
    {
        std::vector<uint8_t> bytes(sd::kMapHeadersFileSize);
        mc::EncodeHeader(layout.overview, bytes.data());
        mc::EncodeHeader(layout.detailed, bytes.data() + sd::kMapHeaderSize);
        written += WriteFile(layout.out / "mh.ini", bytes);
    }

    // The cells each list entry's data touches, per sub-area (a region without
    // sub-areas has one part) and layer (polygons use the overview grid). A cell
    // belongs to every part that has something in it.
    const size_t entryCount = layout.entries.size();
    struct Part {
        std::set<Cell> overview, detailed;
        uint64_t points = 0;
    };
    std::vector<std::vector<Part>> parts(entryCount);
    for (uint32_t entry = 0; entry < entryCount; ++entry) {
        const Region& region = network.regions[layout.entries[entry].region];
        parts[entry].resize(std::max<size_t>(1, region.subAreas.size()));
    }
    std::vector<uint64_t> linksOfEntry(entryCount, 0);
    auto add = [&](uint32_t entry, LatLon p) {
        const Region& region = network.regions[layout.entries[entry].region];
        Part& part = parts[entry][region.subAreas.empty() ? 0 : SubAreaOf(region, p)];
        part.overview.insert(layout.OverviewCell(p));
        part.detailed.insert(layout.DetailedCell(p));
        ++part.points;
    };
    for (uint32_t link = 0; link < network.links.size(); ++link) {
        uint32_t entry = layout.EntryOfLink(network, link);
        if (entry == kNone)
            continue;
        ++linksOfEntry[entry];
        for (const LatLon& p : network.LinkPoints(link))
            add(entry, p);
    }
    for (uint32_t poi = 0; poi < network.pois.size(); ++poi) {
        uint32_t entry = layout.EntryOfPoi(network, poi);
        if (entry != kNone)
            add(entry, network.pois[poi].position);
    }

    // Region records: one per entry key, all three layers naming the same entries.
    std::array<std::vector<RegionRecord>, sd::kLayerCount> records;
    std::vector<uint32_t> recordEntry;  // per record index (same in all layers)
    std::vector<double> recordShare;    // the record's share of its entry
    for (uint32_t entry = 0; entry < entryCount; ++entry) {
        const Region& region = network.regions[layout.entries[entry].region];
        uint64_t entryPoints = 0;
        for (const Part& part : parts[entry])
            entryPoints += part.points;
        for (size_t k = 0; k < parts[entry].size(); ++k) {
            const Part& part = parts[entry][k];
            const uint32_t key = sd::EntryKey(region.number, static_cast<uint32_t>(k + 1));
            const std::set<Cell>* layerCells[sd::kLayerCount] = {&part.overview, &part.detailed,
                                                                 &part.overview};
            for (int layer = 0; layer < sd::kLayerCount; ++layer) {
                RegionRecord record;
                record.key = key;
                record.entry = entry;
                record.spans = SpansOf(*layerCells[layer]);
                if (!record.spans.empty()) {
                    record.bounds = {record.spans[0][1], record.spans[0][2], record.spans[0][0],
                                     record.spans[0][0]};
                    for (const auto& sp : record.spans) {
                        record.bounds[0] = std::min(record.bounds[0], sp[1]);
                        record.bounds[1] = std::max(record.bounds[1], sp[2]);
                        record.bounds[2] = std::min(record.bounds[2], sp[0]);
                        record.bounds[3] = std::max(record.bounds[3], sp[0]);
                    }
                }
                records[layer].push_back(std::move(record));
            }
            recordEntry.push_back(entry);
            recordShare.push_back(entryPoints == 0
                                      ? 1.0 / parts[entry].size()
                                      : static_cast<double>(part.points) / entryPoints);
        }
    }
    for (int layer = 0; layer < sd::kLayerCount; ++layer) {
        Bytes bytes;
        bytes.U32(static_cast<uint32_t>(records[layer].size()));
        for (const RegionRecord& r : records[layer]) {
            bytes.U32(0);
            bytes.U32(static_cast<uint32_t>(r.spans.size()));
            bytes.U32(r.key);
            for (int32_t b : r.bounds)
                bytes.I32(b);
            bytes.U32(1);
            bytes.U32(r.entry);
            for (uint32_t k = 1; k < sd::kMaxListEntries; ++k)
                bytes.U32(0);
        }
        for (const RegionRecord& r : records[layer]) {
            for (const auto& s : r.spans) {
                bytes.I32(s[0]);
                bytes.I32(s[1]);
                bytes.I32(s[2]);
            }
        }
        static const char* const kNames[] = {"rgndata1.in", "rgndata2.in", "rgndatap.in"};
        written += WriteFile(layout.out / kNames[layer], bytes.data());
    }

    // Size tables from the blocks the writers produced.
    const GridHeader* grids[sd::kLayerCount] = {&layout.overview, &layout.detailed,
                                                &layout.polygons};
    std::array<std::vector<uint32_t>, sd::kLayerCount> cellSizes;
    cellSizes[0] = BlockSizes(layout.mapData[0] / "mapdata1.raz", mc::CellCount(layout.overview));
    cellSizes[1].assign(mc::CellCount(layout.detailed), 0);
    for (int disc = 0; disc < kDiscCount; ++disc) {
        std::vector<uint32_t> sizes =
            BlockSizes(layout.mapData[disc] / ("mapdata2" + std::to_string(disc + 1) + ".raz"),
                       mc::CellCount(layout.detailed));
        for (int32_t row = 0; row < layout.detailed.rows; ++row) {
            for (int32_t column = layout.FirstColumn(disc);
                 column < layout.FirstColumn(disc) + layout.ColumnCount(disc); ++column) {
                uint32_t index = mc::CellIndex(column, row, layout.detailed.columns);
                cellSizes[1][index] = sizes[index];
            }
        }
    }
    cellSizes[2] = BlockSizes(layout.mapData[2] / "polygons.raz", mc::CellCount(layout.polygons));
    static const char* const kSizeNames[] = {"mapdata1.sz", "mapdata2.sz", "polygons.sz"};
    for (int layer = 0; layer < sd::kLayerCount; ++layer) {
        Bytes bytes;
        bytes.U32(static_cast<uint32_t>(grids[layer]->firstColumn));
        bytes.U32(static_cast<uint32_t>(grids[layer]->firstRow));
        bytes.U32(static_cast<uint32_t>(grids[layer]->columns));
        bytes.U32(static_cast<uint32_t>(grids[layer]->rows));
        bytes.U32(static_cast<uint32_t>(mc::kHeaderSize));
        for (uint32_t size : cellSizes[layer])
            bytes.U32(size);
        written += WriteFile(layout.out / kSizeNames[layer], bytes.data());
    }

    // Per-entry sizes: each file shared out by the entry's links, the network cells
    // summed over the record's own spans.
    {
        uint64_t allLinks = 0;
        for (uint64_t n : linksOfEntry)
            allLinks += n;
        auto share = [&](uint64_t bytes, uint32_t entry, double part) -> uint32_t {
            if (allLinks == 0)
                return 0;
            double v = static_cast<double>(bytes) * linksOfEntry[entry] / allLinks * part;
            return static_cast<uint32_t>(std::min(v, 4.0e9));
        };
        const auto& disc1 = layout.mapData[0];
        const uint64_t fileBytes[10] = {
            0,
            FileSize(disc1 / "names.raw"),
            FileSize(disc1 / "stnl.raw"),
            FileSize(disc1 / "lsr.raw") + FileSize(disc1 / "lsrs.raw"),
            FileSize(disc1 / "linkinfo.raz"),
            FileSize(disc1 / "lfoidx.raz"),
            FileSize(disc1 / "azbc.raw"),
            FileSize(disc1 / "az.raw"),
            FileSize(layout.mapData[2] / "poi.raw"),
            FileSize(disc1 / "sttypes.raw") + FileSize(layout.mapData[2] / "strabbr.bin"),
        };
        Bytes bytes;
        bytes.U32(static_cast<uint32_t>(recordEntry.size()));
        bytes.U32(sd::kSizeInfoRecordSize);
        for (size_t i = 0; i < recordEntry.size(); ++i) {
            const uint32_t entry = recordEntry[i];
            bytes.U32(records[0][i].key);
            for (int word = sd::kSizeFirstFileWord; word <= sd::kSizeLastFileWord; ++word) {
                bytes.U32(share(fileBytes[word], entry, recordShare[i]));
            }
            uint64_t sums[2] = {0, 0};
            for (int layer = 0; layer < 2; ++layer) {
                for (const auto& s : records[layer][i].spans) {
                    for (int32_t column = s[1]; column <= s[2]; ++column) {
                        sums[layer] +=
                            cellSizes[layer][mc::CellIndex(column, s[0], grids[layer]->columns)];
                    }
                }
            }
            bytes.U32(static_cast<uint32_t>(std::min<uint64_t>(sums[0], UINT32_MAX)));
            // The companion blocks hold the overview geometry reduced: about half.
            bytes.U32(static_cast<uint32_t>(std::min<uint64_t>(sums[0] / 2, UINT32_MAX)));
            bytes.U32(static_cast<uint32_t>(std::min<uint64_t>(sums[1], UINT32_MAX)));
        }
        written += WriteFile(layout.out / "sizeinfo.sz", bytes.data());
    }

    // City lists of the built-in states, cities by name.
    std::filesystem::create_directories(layout.out / "cities");
    for (const ListEntry& entry : layout.entries) {
        if (entry.area == kNone)
            continue;
        const BuiltInState* state = FindBuiltInState(network.areas[entry.area].code);
        if (!state || state->region != entry.regionNumber)
            continue;
        std::vector<formats::city_list::City> cities;
        for (uint32_t area = 0; area < network.areas.size(); ++area) {
            const Area& a = network.areas[area];
            if (a.kind != AreaKind::City || network.StateOf(area) != entry.area)
                continue;
            cities.push_back({static_cast<float>(a.center.lat), static_cast<float>(a.center.lon),
                              ToLatin1(a.name)});
        }
        if (cities.empty())
            continue;
        std::stable_sort(cities.begin(), cities.end(),
                         [](const auto& a, const auto& b) { return a.name < b.name; });
        Bytes bytes;
        const std::vector<uint8_t> list = formats::city_list::Encode(cities);
        bytes.Raw(list.data(), list.size());
        written +=
            WriteFile(layout.out / "cities" / (std::string(state->code) + ".dat"), bytes.data());
    }
    return written;
}

bool InPrebuiltRegion(const Network& network, const Link& link) {
    for (uint32_t area : {link.leftArea, link.rightArea}) {
        for (int depth = 0; area != kNone && area < network.areas.size() && depth < 8; ++depth) {
            if (network.areas[area].code == kPrebuiltRegionCode)
                return true;
            area = network.areas[area].parent;
        }
    }
    return false;
}

}  // namespace discmaker
