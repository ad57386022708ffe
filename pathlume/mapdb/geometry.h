// Small computations of the map database's, the router's, the matcher's and the map
// view's inner loops: the flat distance between two positions and the two
// projections of the map view (accent folding comes from name_text.h). No allocation.
#pragma once

#include <cstdint>

#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/map_records.h"

// Truncation towards zero that stays defined for values out of the int range (points
// far off screen, a depth of 0): the result is held to that range, NaN gives 0.
inline int32_t TruncateToInt32(double value) {
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

// The distance between two positions in radians of arc, in the flat frame
// (longitude x c, latitude); c = 0 takes the cosine of a's latitude.
FLOAT PointDistance(const MapPoint& a, const MapPoint& b, double c);

// What the projections read of the map view.
struct MapViewValues {
    FLOAT centreLongitude = 0;
    FLOAT centreLatitude = 0;
    FLOAT a = 0;  // longitude scale
    FLOAT b = 0;  // rotation terms, both 0 when the map is drawn north up
    FLOAT c = 0;  // latitude scale
    FLOAT d = 0;
    int32_t screenCentreX = 0;
    int32_t screenCentreY = 0;
    FLOAT offsetX = 0;
    FLOAT offsetY = 0;
    FLOAT cameraDistance = 0;  // 3D camera
    FLOAT nearDistance = 0;
    int32_t width = 0;  // map area in pixels
    int32_t height = 0;
    int32_t bottomMargin = 0;  // added when the client area is taller than 268 scaled pixels
    int32_t clientHeight = 0;  // the main window's client area
};

// Flat projection of a position; returns the truncated y.
int32_t ProjectToScreen3D(const MapViewValues& view, FLOAT longitude, FLOAT latitude, int32_t* ix,
                          int32_t* iy, FLOAT* fx, FLOAT* fy);

// Perspective screen point of a flat-projected point (x, y) with tilt t and depth k.
void ProjectToScreen(const MapViewValues& view, FLOAT x, FLOAT y, int32_t* sx, int32_t* sy,
                     int32_t extraY, FLOAT t, FLOAT k);
