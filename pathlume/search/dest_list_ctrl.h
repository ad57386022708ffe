// The list of the destination screens: one or more lines a row, rows 43 pixels high
// (scaled), the selected row on blue, and for points of interest an arrow that points
// from the vehicle towards the row's place, in steps of 45 degrees relative to the
// direction of travel.
#pragma once

#include <array>
#include <functional>

#include "pathlume/foundation/text_list_wnd.h"
#include "pathlume/mapdb/map_records.h"

inline constexpr int kDestListRowHeight = 43;

// The arrow's direction: the sector (0 straight ahead, 1 45 degrees to the right, ...)
// of the bearing from the vehicle to the place (radians) less the vehicle's heading
// (degrees).
int ArrowSector(double bearingRadians, double headingDegrees);
// The bearing (radians, 0 north, clockwise) from one point to another.
double BearingRadians(const MapPoint& from, const MapPoint& to);
// The arrow's seven points in a square of side `side` centred at (cx, cy), turned by
// sector x 45 degrees.
std::array<POINT, 7> ArrowPolygon(int cx, int cy, float scale, int sector);

class CDestListCtrl : public CTextListWnd {
  public:
    CDestListCtrl();

    // Creates the list with the row height of the destination lists.
    BOOL Create(CWnd* parent, const RECT& rect, UINT id, DWORD style, BOOL arrows);
    void Draw(CDC* dc, int row) override;

    BOOL arrows = FALSE;
    // What the parent gives for the arrows: a row's place, and whether it has results.
    std::function<bool(int row, MapPoint* place)> rowPlace;
    std::function<bool()> parentHasResults;

  private:
    bool DrawsArrow(int row, const char* text) const;
    void DrawArrow(HDC dc, const RECT& square, int row);
};
