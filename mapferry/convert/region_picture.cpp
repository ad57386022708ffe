#include "mapferry/convert/region_picture.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/region_names.h"

namespace sd = formats::source_disc;
namespace mc = formats::map_container;

// ---- Geometry --------------------------------------------------------------------

int SideOfLine(LONG x1, LONG y1, LONG x2, LONG y2, LONG x3, LONG y3) {
    // In 64 bits: picture points are small, but a product of two 32-bit differences
    // is not.
    const int64_t left = int64_t{y2 - int64_t{y1}} * (int64_t{x3} - x1);
    const int64_t right = (int64_t{y3} - y1) * (int64_t{x2} - x1);
    return left < right ? 1 : -1;
}

int SegmentsCross(POINT a, POINT b, POINT c, POINT d) {
    const int s1 = SideOfLine(a.x, a.y, b.x, b.y, c.x, c.y);
    const int s2 = SideOfLine(a.x, a.y, b.x, b.y, d.x, d.y);
    const int s3 = SideOfLine(c.x, c.y, d.x, d.y, a.x, a.y);
    const int s4 = SideOfLine(c.x, c.y, d.x, d.y, b.x, b.y);
    return (s1 * s2 > 0 || s3 * s4 > 0) ? 0 : 1;
}

void BoundingRectOfPoints(const POINT* points, int count, RECT* rect) {
    *rect = RECT{0, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
        if (i == 0) {
            *rect = RECT{points[0].x, points[0].y, points[0].x, points[0].y};
            continue;
        }
        rect->left = std::min(rect->left, points[i].x);
        rect->top = std::min(rect->top, points[i].y);
        rect->right = std::max(rect->right, points[i].x);
        rect->bottom = std::max(rect->bottom, points[i].y);
    }
}

int PointInPolygonBounds(const POINT* points, int count, LONG x, LONG y, const RECT* rect) {
    RECT bounds;
    if (rect) {
        bounds = *rect;
    } else {
        BoundingRectOfPoints(points, count, &bounds);
    }
    return x >= bounds.left && x < bounds.right && y >= bounds.top && y < bounds.bottom ? 1 : 0;
}

int PointInPolygon(const POINT* points, int count, LONG x, LONG y, const RECT* rect) {
    if (count <= 0 || !PointInPolygonBounds(points, count, x, y, rect))
        return 0;
    RECT bounds;
    if (rect) {
        bounds = *rect;
    } else {
        BoundingRectOfPoints(points, count, &bounds);
    }
    const POINT from{x, y};
    const POINT to{bounds.right + 50, y};
    int crossings = 0;
    for (int i = 0; i + 1 < count; ++i)
        crossings += SegmentsCross(from, to, points[i], points[i + 1]);
    crossings += SegmentsCross(from, to, points[count - 1], points[0]);
    return crossings % 2;
}

int PictureOutlines::HitTest(LONG x, LONG y) const {
    for (size_t i = 0; i < outlines.size(); ++i) {
        const std::vector<POINT>& points = outlines[i];
        if (points.empty())
            continue;
        const RECT* rect = i < outlineRects.size() ? &outlineRects[i] : nullptr;
        if (PointInPolygon(points.data(), static_cast<int>(points.size()), x, y, rect))
            return 1;
    }
    return 0;
}

void PictureOutlines::AddOutline(std::vector<POINT> points) {
    RECT rect;
    BoundingRectOfPoints(points.data(), static_cast<int>(points.size()), &rect);
    outlines.push_back(std::move(points));
    outlineRects.push_back(rect);
}

bool RegionRecord::HasSubAreaOutlines() const {
    return std::any_of(subAreas.begin(), subAreas.end(),
                       [](const SubAreaRecord& sub) { return !sub.outlines.empty(); });
}

// ---- Placing the grid ------------------------------------------------------------

RECT PictureGrid::CellRect(int32_t first, int32_t last, int32_t row) const {
    auto at = [](double value) { return static_cast<LONG>(std::lround(value)); };
    return RECT{at(left + (first - firstColumn) * cellWidth),
                at(top + (lastRow - row) * cellHeight),
                at(left + (last + 1 - firstColumn) * cellWidth),
                at(top + (lastRow - row + 1) * cellHeight)};
}

PictureGrid FitGridBlock(const mc::GridHeader& grid, int32_t firstColumn, int32_t lastColumn,
                         int32_t firstRow, int32_t lastRow, RECT area) {
    PictureGrid placed;
    const double width = area.right - area.left;
    const double height = area.bottom - area.top;
    if (!(grid.cellWidth > 0) || !(grid.cellHeight > 0) || !std::isfinite(grid.cellWidth) ||
        !std::isfinite(grid.cellHeight) || !std::isfinite(grid.originLatitude) ||
        lastColumn < firstColumn || lastRow < firstRow || width <= 0 || height <= 0)
        return placed;
    const double middleLatitude =
        grid.originLatitude +
        (grid.firstRow + (static_cast<double>(firstRow) + lastRow + 1) / 2.0) * grid.cellHeight;
    // A grid reaching a pole would have no width: its cells keep a sliver.
    const double shrink = std::max(std::cos(middleLatitude * M_PI / 180.0), 0.01);
    const double worldWidth =
        (static_cast<double>(lastColumn) - firstColumn + 1) * grid.cellWidth * shrink;
    const double worldHeight = (static_cast<double>(lastRow) - firstRow + 1) * grid.cellHeight;
    const double scale = std::min(width / worldWidth, height / worldHeight);
    placed.valid = true;
    placed.cellWidth = grid.cellWidth * shrink * scale;
    placed.cellHeight = grid.cellHeight * scale;
    placed.firstColumn = firstColumn;
    placed.lastRow = lastRow;
    placed.left = area.left + (width - worldWidth * scale) / 2.0;
    placed.top = area.top + (height - worldHeight * scale) / 2.0;
    return placed;
}

PictureGrid FitGrid(const mc::GridHeader& grid, RECT area) {
    if (grid.columns <= 0 || grid.rows <= 0)
        return {};
    return FitGridBlock(grid, 0, grid.columns - 1, 0, grid.rows - 1, area);
}

PictureGrid FitRuns(const mc::GridHeader& grid, const std::vector<RegionSpanItem>& runs,
                    RECT area) {
    if (runs.empty())
        return {};
    int32_t firstColumn = runs[0].firstColumn, lastColumn = runs[0].lastColumn;
    int32_t firstRow = runs[0].row, lastRow = runs[0].row;
    for (const RegionSpanItem& run : runs) {
        firstColumn = std::min(firstColumn, run.firstColumn);
        lastColumn = std::max(lastColumn, run.lastColumn);
        firstRow = std::min(firstRow, run.row);
        lastRow = std::max(lastRow, run.row);
    }
    return FitGridBlock(grid, firstColumn, lastColumn, firstRow, lastRow, area);
}

PictureOutlines OutlinesOfRuns(const PictureGrid& grid, const std::vector<RegionSpanItem>& runs) {
    PictureOutlines out;
    if (!grid.valid)
        return out;
    for (const RegionSpanItem& run : runs) {
        const RECT cell = grid.CellRect(run.firstColumn, run.lastColumn, run.row);
        out.AddOutline({{cell.left, cell.top},
                        {cell.right, cell.top},
                        {cell.right, cell.bottom},
                        {cell.left, cell.bottom}});
    }
    return out;
}

POINT CentreOfOutlines(const PictureOutlines& outlines) {
    if (outlines.outlineRects.empty())
        return POINT{0, 0};
    RECT all = outlines.outlineRects[0];
    for (const RECT& rect : outlines.outlineRects) {
        all.left = std::min(all.left, rect.left);
        all.top = std::min(all.top, rect.top);
        all.right = std::max(all.right, rect.right);
        all.bottom = std::max(all.bottom, rect.bottom);
    }
    return POINT{(all.left + all.right) / 2, (all.top + all.bottom) / 2};
}

std::vector<RegionSpanItem> MergeRuns(std::vector<RegionSpanItem> runs) {
    std::sort(runs.begin(), runs.end(), [](const RegionSpanItem& a, const RegionSpanItem& b) {
        return a.row != b.row ? a.row < b.row : a.firstColumn < b.firstColumn;
    });
    std::vector<RegionSpanItem> merged;
    for (const RegionSpanItem& run : runs) {
        if (!merged.empty() && merged.back().row == run.row &&
            int64_t{run.firstColumn} <= int64_t{merged.back().lastColumn} + 1) {
            merged.back().lastColumn = std::max(merged.back().lastColumn, run.lastColumn);
        } else {
            merged.push_back(run);
        }
    }
    return merged;
}

// ---- The page's tables -----------------------------------------------------------

namespace {

constexpr int kRegions = kInstallerRegionCount;
constexpr int kSubAreas = sd::kSubAreaBits;

struct BinTables {
    std::array<std::array<std::vector<RegionSpanItem>, sd::kLayerCount>, kRegions> regions;
    std::array<std::array<std::array<std::vector<RegionSpanItem>, sd::kLayerCount>, kSubAreas>,
               kRegions>
        subAreas;
};

BinTables& TheBinTables() {
    static BinTables* tables = new BinTables;
    return *tables;
}

std::array<CRegionData::CityRegionRow, kCityRegionRows>& TheCityRegionTable() {
    // Until it is built every row has its choice word and no cells.
    static auto* table = [] {
        auto* rows = new std::array<CRegionData::CityRegionRow, kCityRegionRows>;
        for (int row = 0; row < kCityRegionRows; ++row)
            (*rows)[row] = {static_cast<int32_t>(CityRegionChoiceWord(row)), -1, -1, -1, -1};
        return rows;
    }();
    return *table;
}

const std::vector<RegionSpanItem> kNoRuns;

}  // namespace

void CRegionData::BuildBinTables() {
    BuildBinTables(kRegionPictureArea);
}

void CRegionData::BuildBinTables(RECT pictureArea) {
    BinTables& tables = TheBinTables();
    for (int layer = 0; layer < sd::kLayerCount; ++layer) {
        std::array<std::vector<RegionSpanItem>, kRegions> regionRuns;
        std::array<std::array<std::vector<RegionSpanItem>, kSubAreas>, kRegions> subAreaRuns;
        for (const RegionDataRecord& record : RegionData(layer).Records()) {
            const uint32_t region = sd::RegionOfKey(record.entryKey);
            const uint32_t subArea = record.entryKey & sd::kSubAreaMask;
            if (region >= kRegions || !record.Usable())
                continue;
            regionRuns[region].insert(regionRuns[region].end(), record.spans.begin(),
                                      record.spans.end());
            if (subArea >= 1 && subArea <= kSubAreas) {
                auto& runs = subAreaRuns[region][subArea - 1];
                runs.insert(runs.end(), record.spans.begin(), record.spans.end());
            }
        }
        for (int region = 0; region < kRegions; ++region) {
            tables.regions[region][layer] = MergeRuns(std::move(regionRuns[region]));
            for (int k = 0; k < kSubAreas; ++k)
                tables.subAreas[region][k][layer] = MergeRuns(std::move(subAreaRuns[region][k]));
        }
    }

    const mc::GridHeader grid =
        mc::DecodeHeader(CurrentDiscInformation().mapHeaders[sd::kLayerDetailed].data());
    const PictureGrid placed = FitGrid(grid, pictureArea);
    RegionTable& records = ProgramRegions();
    for (int region = 0; region < kRegions && region < static_cast<int>(records.size()); ++region) {
        RegionRecord& record = records[region];
        static_cast<PictureOutlines&>(record) =
            OutlinesOfRuns(placed, tables.regions[region][sd::kLayerDetailed]);
        record.label = RegionLabel{};
        record.label.shown = record.outlines.empty() ? 0 : 1;
        record.label.at = CentreOfOutlines(record);
        for (size_t k = 0; k < record.subAreas.size() && k < kSubAreas; ++k) {
            SubAreaRecord& sub = record.subAreas[k];
            static_cast<PictureOutlines&>(sub) =
                OutlinesOfRuns(placed, tables.subAreas[region][k][sd::kLayerDetailed]);
            sub.label = RegionLabel{};
            sub.label.shown = sub.outlines.empty() ? 0 : 1;
            sub.label.at = CentreOfOutlines(sub);
        }
    }
}

const std::vector<RegionSpanItem>& CRegionData::BinTable(int region, int layer) {
    if (region < 0 || region >= kRegions || layer < 0 || layer >= sd::kLayerCount)
        return kNoRuns;
    return TheBinTables().regions[region][layer];
}

const std::vector<RegionSpanItem>& CRegionData::SubAreaBinTable(int region, int subArea,
                                                                int layer) {
    if (region < 0 || region >= kRegions || subArea < 0 || subArea >= kSubAreas || layer < 0 ||
        layer >= sd::kLayerCount)
        return kNoRuns;
    return TheBinTables().subAreas[region][subArea][layer];
}

void CRegionData::BuildCityRegionTable() {
    auto& table = TheCityRegionTable();
    for (int row = 0; row < kCityRegionRows; ++row) {
        const DWORD word = CityRegionChoiceWord(row);
        CityRegionRow out = {static_cast<int32_t>(word), -1, -1, -1, -1};
        bool any = false;
        for (uint32_t key : ExpandChoiceWords(&word, 1)) {
            const RegionDataRecord* record = RegionData(sd::kLayerDetailed).FindRecord(key);
            if (!record || !record->Usable())
                continue;
            for (const RegionSpanItem& span : record->spans) {
                out[1] = any ? std::min(out[1], span.firstColumn) : span.firstColumn;
                out[2] = any ? std::max(out[2], span.lastColumn) : span.lastColumn;
                out[3] = any ? std::min(out[3], span.row) : span.row;
                out[4] = any ? std::max(out[4], span.row) : span.row;
                any = true;
            }
        }
        table[row] = out;
    }
}

CRegionData::CityRegionRow CRegionData::CityRegion(int row) {
    if (row < 0 || row >= kCityRegionRows)
        return {static_cast<int32_t>(CityRegionChoiceWord(row)), -1, -1, -1, -1};
    return TheCityRegionTable()[row];
}
