#include "pathlume/mapdb/geometry.h"

#include <cmath>
#include <cstdint>

#include "pathlume/foundation/app_services.h"

FLOAT PointDistance(const MapPoint& a, const MapPoint& b, double c) {
    if (c == 0.0)
        c = std::cos(a.latitude * 0.017453292f);
    const FLOAT dLat = b.latitude - a.latitude;
    const FLOAT dLon = static_cast<FLOAT>((b.longitude - a.longitude) * c);
    return static_cast<FLOAT>(std::sqrt(double{dLon} * dLon + double{dLat} * dLat) *
                              0.01745329238474369);
}

int32_t ProjectToScreen3D(const MapViewValues& view, FLOAT longitude, FLOAT latitude, int32_t* ix,
                          int32_t* iy, FLOAT* fx, FLOAT* fy) {
    const FLOAT u = longitude - view.centreLongitude;
    const FLOAT v = view.centreLatitude - latitude;
    FLOAT x = u * view.a + view.screenCentreX + view.offsetX;
    FLOAT y = v * view.c + view.screenCentreY + view.offsetY;
    if (view.d != 0) {
        x += v * view.b;
        y -= u * view.d;
    }
    *fx = x;
    *fy = y;
    *ix = TruncateToInt32(x);
    *iy = TruncateToInt32(y);
    return *iy;
}

void ProjectToScreen(const MapViewValues& view, FLOAT x, FLOAT y, int32_t* sx, int32_t* sy,
                     int32_t extraY, FLOAT t, FLOAT k) {
    const FLOAT width = static_cast<FLOAT>(view.width);
    const FLOAT height = static_cast<FLOAT>(view.height);
    const FLOAT dx = x - width * 0.5f;
    const FLOAT h = height - y;
    FLOAT q = -(h * t);
    FLOAT z = h * k + view.cameraDistance;
    if (z < view.nearDistance) {
        z = view.nearDistance;
        const FLOAT nearY = static_cast<FLOAT>(TruncateToInt32(view.nearDistance / k)) + height;
        q = -((height - nearY) * t);
    }
    *sx = TruncateToInt32(height * dx / z + width * 0.5f);
    *sy = TruncateToInt32(static_cast<double>((t + 1) * height * 0.5f + width * q / z) + extraY);
    const double threshold = std::round(g_screenScaleY.load() * 268.0);
    if (view.clientHeight > threshold)
        *sy += view.bottomMargin;
}
