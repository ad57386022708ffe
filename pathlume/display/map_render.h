// The frame's drawing objects: the road pens by pass and draw class, the dashed pen
// of the special roads and the 3D brushes, made from the theme for one frame.
#pragma once

#include "pathlume/display/map_view.h"

// Pen groups: A class colour, B the 0x80000 roads, C the narrow type (half width),
// D roads with neither type bit; E to H their casings.
enum MapPenGroup { kPenA, kPenB, kPenC, kPenD, kPenE, kPenF, kPenG, kPenH, kPenGroups };
// Entries of the special colours: the dashed roads, the 0x80000 roads, the narrow
// type and roads with neither type bit.
enum MapSpecialColour { kSpecialDashed, kSpecialB, kSpecialNarrow, kSpecialNoType };

struct MapGdiSet {
    COLORREF classFill[5] = {};
    COLORREF special[4] = {};
    COLORREF classCasing[5] = {};
    COLORREF specialCasing[4] = {};
    HPEN pens[kPenGroups][5] = {};
    HPEN dashed = nullptr;
    // 3D: the four special colours, then the five class fill colours.
    HBRUSH brushes[9] = {};

    MapGdiSet() = default;
    ~MapGdiSet();
    MapGdiSet(const MapGdiSet&) = delete;
    MapGdiSet& operator=(const MapGdiSet&) = delete;
};
