// Map coordinates to pixels of the off-screen buffer and back: the flat (2D) stage,
// the perspective (3D) stage, their exact inverses, the near-plane clipping of the
// 3D view, and the small per-link and zoom queries the drawing passes ask.
#include <algorithm>
#include <cmath>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"

namespace {

int MapAreaHeight() {
    return RoundHalfAway(268.0f * g_screenScaleY.load());
}

}  // namespace

int CMapView::MarginFor() const {
    return projection_.clientHeight > MapAreaHeight() ? projection_.bottomMargin : 0;
}

void CMapView::MapToScreen2D(float longitude, float latitude, int* x, int* y) const {
    float fx = 0, fy = 0;
    ProjectToScreen3D(projection_, longitude, latitude, x, y, &fx, &fy);
    *y += MarginFor();
}

int CMapView::WorldToScreen(float x, float y, int* outX, int* outY, int flatOnly, int alreadyFlat,
                            float* outFlatX, float* outFlatY) const {
    float fx = x, fy = y;
    if (!alreadyFlat) {
        int ix = 0, iy = 0;
        ProjectToScreen3D(projection_, x, y, &ix, &iy, &fx, &fy);
    }
    *outX = TruncateToInt32(fx);
    *outY = TruncateToInt32(fy);
    if (outFlatX && outFlatY) {
        *outFlatX = fx;
        *outFlatY = fy;
    }
    const int h = MapAreaHeight();
    if (g_viewHeight.load() != h)
        g_viewHeight.store(h);
    if (flatOnly)
        return 1;
    int result = 1;
    if (g_map3DMode.load() != 0) {
        const float s = std::sin(tilt_), k = std::cos(tilt_);
        if ((static_cast<float>(projection_.height) - fy) * k + cameraDistance_ < nearDistance_)
            result = 0;
        // The perspective step adds the margin itself.
        ProjectToScreen(projection_, fx, fy, outX, outY, 0, s, k);
        return result;
    }
    *outY += MarginFor();
    return result;
}

void CMapView::FlatToWorld(double x, double y, float* longitude, float* latitude) const {
    const double u = x - (projection_.screenCentreX + projection_.offsetX);
    const double v = y - (projection_.screenCentreY + projection_.offsetY);
    const double sx = inverse_[0], sy = inverse_[1], r1 = inverse_[2], r2 = inverse_[3];
    if (r1 == 0) {
        *longitude = static_cast<float>(u * sx + projection_.centreLongitude);
        *latitude = static_cast<float>(projection_.centreLatitude - v * sy);
    } else {
        *longitude = static_cast<float>(u * sx - v * r1 + projection_.centreLongitude);
        *latitude = static_cast<float>(-((v * sy + u * r2) - projection_.centreLatitude));
    }
}

// A pixel stands for its centre: the forward transform truncates, so the centre of
// pixel (x, y) projects back onto (x, y).
void CMapView::ScreenToWorld(int x, int y, float* longitude, float* latitude) const {
    FlatToWorld(x + 0.5, y - MarginFor() + 0.5, longitude, latitude);
}

void CMapView::UnprojectPerspective(double x, double y, double* flatX, double* flatY) const {
    const double w = projection_.width, h = projection_.height;
    const double s = std::sin(double{tilt_}), k = std::cos(double{tilt_});
    const double d = cameraDistance_;
    y -= MarginFor();
    // y = (s + 1) h / 2 + w q / depth with q = -v s and depth = v k + d, solved for v.
    double t = y - (s + 1) * h * 0.5;
    const double horizon = -w * s / k;  // t where depth would be endless
    const double nearest = horizon * 0.999;
    if (t <= nearest)
        t = nearest;
    const double v = -t * d / (t * k + w * s);
    const double depth = v * k + d;
    *flatX = (x - w * 0.5) * depth / h + w * 0.5;
    *flatY = h - v;
}

void CMapView::ScreenToWorld3D(int x, int y, float* longitude, float* latitude) const {
    double fx = 0, fy = 0;
    UnprojectPerspective(x + 0.5, y + 0.5, &fx, &fy);
    FlatToWorld(fx, fy, longitude, latitude);
}

bool CMapView::IsCloseZoom() {
    const float value = g_mapTheme.GetZoomValue(zoomIndex_);
    return (g_options.load() & kOptionMetric) ? value <= 2000.0f : value <= 5280.0f;
}

void CMapView::ZoomToDetailLevel() {
    const int z = zoomIndex_;
    if (z >= 0 && z <= 2)
        detailLevel_ = 5;
    else if (z <= 4 && z >= 0)
        detailLevel_ = 4;
    else if (z == 5)
        detailLevel_ = 3;
    else if (z >= 6 && z <= 8)
        detailLevel_ = 2;
    else if (z >= 9 && z <= 16)
        detailLevel_ = 1;
    else
        detailLevel_ = 5;
}

namespace {

// The crossing of the edge from p to c with row q (the near row).
void CrossingPoint(const POINT& p, const POINT& c, int q, const float* pf, const float* cf,
                   float qf, POINT* out, float* outFloat) {
    if (c.x == p.x) {
        out->x = c.x;
    } else {
        const float g = static_cast<float>(c.y - p.y) / static_cast<float>(c.x - p.x);
        const float e = static_cast<float>(c.y - TruncateToInt32(c.x * g));
        out->x = g != 0 ? TruncateToInt32((q - e) * (1.0f / g)) : c.x;
    }
    out->y = q;
    if (outFloat && pf && cf) {
        if (cf[0] == pf[0]) {
            outFloat[0] = cf[0];
        } else {
            const float g = (cf[1] - pf[1]) / (cf[0] - pf[0]);
            const float e = cf[1] - cf[0] * g;
            outFloat[0] = g != 0 ? (qf - e) / g : cf[0];
        }
        outFloat[1] = qf;
    }
}

// The near-plane clip shared by the open chain and the closed outline.
void ClipAndDraw(const CMapView& view, HDC dc, POINT* points, POINT* outFirst, int count,
                 const float* flatFloats, bool closed, float yOffset, float s, float k) {
    if (count < 1) {
        if (outFirst && points)
            *outFirst = points[0];
        return;
    }
    const int h = g_viewHeight.load();
    const int q = h + TruncateToInt32(view.Projection().cameraDistance) / 2;
    const float qf = static_cast<float>(h) + view.Projection().cameraDistance / 2;
    std::vector<POINT> out;
    std::vector<float> outFloats;
    out.reserve(2 * static_cast<size_t>(count) + 8);
    if (flatFloats)
        outFloats.reserve(4 * static_cast<size_t>(count) + 16);
    auto emit = [&](const POINT& point, const float* pair) {
        out.push_back(point);
        if (flatFloats) {
            outFloats.push_back(pair ? pair[0] : static_cast<float>(point.x));
            outFloats.push_back(pair ? pair[1] : static_cast<float>(point.y));
        }
    };
    int previous = closed ? count - 1 : -1;
    for (int i = 0; i < count; ++i) {
        const bool inside = points[i].y < q;
        const float* here = flatFloats ? flatFloats + 2 * i : nullptr;
        if (previous >= 0) {
            const bool previousInside = points[previous].y < q;
            if (inside != previousInside) {
                POINT crossing;
                float crossingFloat[2] = {0, 0};
                CrossingPoint(points[previous], points[i], q,
                              flatFloats ? flatFloats + 2 * previous : nullptr, here, qf, &crossing,
                              flatFloats ? crossingFloat : nullptr);
                emit(crossing, flatFloats ? crossingFloat : nullptr);
            }
        }
        if (inside)
            emit(points[i], here);
        previous = i;
    }
    if (!out.empty() && g_map3DMode.load() != 0) {
        for (size_t i = 0; i < out.size(); ++i) {
            const float fx = flatFloats ? outFloats[2 * i] : static_cast<float>(out[i].x);
            const float fy = flatFloats ? outFloats[2 * i + 1] : static_cast<float>(out[i].y);
            int x = 0, y = 0;
            ProjectToScreen(view.Projection(), fx, fy, &x, &y, TruncateToInt32(yOffset), s, k);
            out[i] = {x, y};
            if (static_cast<int>(i) < count)
                points[i] = out[i];
        }
    }
    if (out.size() >= 2)
        Polygon(dc, out.data(), static_cast<int>(out.size()));
    if (outFirst)
        *outFirst = points[0];
}

}  // namespace

void ClipPolygon3D(const CMapView& view, HDC dc, POINT* points, POINT* outFirst, int count,
                   const float* flatFloats) {
    ClipAndDraw(view, dc, points, outFirst, count, flatFloats, false, 0, std::sin(view.GetTilt()),
                std::cos(view.GetTilt()));
}

void ClipRibbon3D(const CMapView& view, HDC dc, POINT* points, POINT* outFirst, int count,
                  const float* flatFloats, float yOffset, float sinTilt, float cosTilt) {
    ClipAndDraw(view, dc, points, outFirst, count, flatFloats, true, yOffset, sinTilt, cosTilt);
}

uint32_t GetRecordDrawFlags(const MapLink& link) {
    return (link.attributes & kDrawKeyMask) | ((link.shapeInfo & kShapeMajorRoad) ? 0x100000 : 0);
}

void SetRecordMarkFlag(MapLink& link, int on) {
    if (on)
        link.shapeInfo |= kShapeDrawn;
    else
        link.shapeInfo &= static_cast<uint16_t>(~kShapeDrawn);
}

int GetRoadDrawClass(const MapLink& link) {
    int drawClass = 5;
    switch (link.attributes & kAttrClassMask) {
        case 0x40:
            drawClass = 1;
            break;
        case 0x80:
            drawClass = 2;
            break;
        case 0xC0:
            drawClass = 3;
            break;
        case 0x100:
            drawClass = 4;
            break;
        default:
            break;
    }
    if (link.shapeInfo & kShapeMajorRoad)
        return std::min(drawClass, 2);
    return std::max(drawClass, 3);
}

float FastAtan2(float y, float x) {
    constexpr float kQuarterPi = 0.7853982f;
    constexpr float kPi = 3.14159265f;
    if (std::fabs(y) <= std::fabs(x)) {
        if (x > 0)
            return y / x * kQuarterPi;
        if (x == 0)
            return 0;
        const float r = y / x * kQuarterPi + kPi;
        return r >= kPi ? r - 2 * kPi : r;
    }
    if (y > 0)
        return kPi / 2 - x / y * kQuarterPi;
    return -kPi / 2 - x / y * kQuarterPi;
}

int SegmentMayCrossRect(float x1, float y1, float x2, float y2, float minX, float minY, float maxX,
                        float maxY) {
    auto classify = [](float v, float low, float high) {
        return v < low ? -1 : (v > high ? 1 : 0);
    };
    const int ax = classify(x1, minX, maxX), bx = classify(x2, minX, maxX);
    const int ay = classify(-y1, minY, maxY), by = classify(-y2, minY, maxY);
    if ((ax == 0 && ay == 0) || (bx == 0 && by == 0))
        return 1;
    if (ax == -bx && ay == -by)
        return 1;
    if (ax != bx && ay != by)
        return 1;
    return 0;
}
