// The region picture: where the regions' cells lie on the region page's picture
// (and on the sub-area dialog's), and the hit test that finds the region under a
// click with an even-odd crossing test.
#pragma once

#include <vector>

#include "formats/map_container.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/region_record.h"

// +1 when q lies on one side of the line p1 p2, -1 on the other or on the line.
int SideOfLine(LONG x1, LONG y1, LONG x2, LONG y2, LONG x3, LONG y3);
// 1 when the segments ab and cd cross (or touch), else 0.
int SegmentsCross(POINT a, POINT b, POINT c, POINT d);
// Whether the point lies in the rectangle, or without one in the points' bounding
// rectangle (left and top inclusive, right and bottom exclusive).
int PointInPolygonBounds(const POINT* points, int count, LONG x, LONG y, const RECT* rect);
// Even-odd test with a ray to the right of the point; the rectangle (the points'
// bounding rectangle when null) is tested first.
int PointInPolygon(const POINT* points, int count, LONG x, LONG y, const RECT* rect);
void BoundingRectOfPoints(const POINT* points, int count, RECT* rect);

// The detailed grid's cells placed on a picture: north up, longitude scaled by the
// cosine of the placed cells' middle latitude, as large as the area allows and
// centred in it.
struct PictureGrid {
    bool valid = false;
    double left = 0;
    double top = 0;
    double cellWidth = 0;
    double cellHeight = 0;
    int32_t firstColumn = 0;  // the placed block of cells, in grid numbers
    int32_t lastRow = 0;      // the northernmost placed row, drawn at `top`

    RECT CellRect(int32_t firstColumn, int32_t lastColumn, int32_t row) const;
};

// Places grid cells [firstColumn, lastColumn] x [firstRow, lastRow] in the area; an
// unusable grid header or block gives an invalid placement.
PictureGrid FitGridBlock(const formats::map_container::GridHeader& grid, int32_t firstColumn,
                         int32_t lastColumn, int32_t firstRow, int32_t lastRow, RECT area);
// The whole grid.
PictureGrid FitGrid(const formats::map_container::GridHeader& grid, RECT area);
// Just the cells of the runs.
PictureGrid FitRuns(const formats::map_container::GridHeader& grid,
                    const std::vector<RegionSpanItem>& runs, RECT area);

// One rectangle outline per row run.
PictureOutlines OutlinesOfRuns(const PictureGrid& grid, const std::vector<RegionSpanItem>& runs);
// The centre of the outlines' bounding rectangles, as a label's place.
POINT CentreOfOutlines(const PictureOutlines& outlines);

// Cells as row runs: sorted by row and first column, runs of a row that overlap or
// meet joined.
std::vector<RegionSpanItem> MergeRuns(std::vector<RegionSpanItem> runs);

// Where the region page draws its picture, in its client coordinates.
inline constexpr RECT kRegionPictureArea = {0, 34, 520, 318};
