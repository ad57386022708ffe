// The calculated route over the base map: polylines along its links in 2D, filled
// ribbons in 3D; the stretch up to the next maneuver in the first route colour and
// the rest in the second.
#include <algorithm>
#include <cmath>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/mapdb/geometry.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
// A start position this close to its link's end (10 feet, radians of arc) draws no
// partial first ribbon.
constexpr double kStartRibbonMinimum = 4.7841985e-7;
constexpr double kMaxTurn = 135.0 * kRadiansPerDegree;

// The link's points in route direction, leaving `node`: the whole link, or, with
// `cut`, up to the shape index where `end` lies, then `end`.
void RoutePoints(const MapLink& link, const MapNode* node, const MapPoint* end, uint32_t cut,
                 std::vector<MapPoint>& out) {
    out.clear();
    const uint32_t shapes = link.GetShapePointCount();
    const bool forward = link.fromNode == node;
    if (node)
        out.push_back(node->position);
    if (!end) {
        for (uint32_t k = 0; k < shapes; ++k)
            out.push_back(link.shapePoints[forward ? k : shapes - 1 - k]);
        const MapNode* far = forward ? link.toNode : link.fromNode;
        if (far)
            out.push_back(far->position);
        return;
    }
    // The position lies between shape points cut - 1 and cut.
    const uint32_t s = std::min(cut, shapes);
    if (forward)
        for (uint32_t k = 0; k < s; ++k)
            out.push_back(link.shapePoints[k]);
    else
        for (uint32_t k = shapes; k > s; --k)
            out.push_back(link.shapePoints[k - 1]);
    out.push_back(*end);
}

}  // namespace

void CMapView::DrawRoute(HDC dc, int withStartShape) {
    IMapRoute& route = GetMapRoute();
    if (!(route.GetState() & kRouteStateRouteExists))
        return;
    const int32_t count = route.GetRouteEntryCount();
    if (count <= 0)
        return;
    const bool view3D = g_map3DMode.load() != 0;
    const int mode = g_mapTheme.ColourMode();
    const COLORREF colours[2] = {g_mapTheme.routeColours[mode], g_mapTheme.routeColours[2 + mode]};
    const int width = view3D ? 3 : std::max(g_mapTheme.GetRoutePenWidth(), 1);
    HPEN pens[2] = {CreatePen(PS_SOLID, width, colours[0]), CreatePen(PS_SOLID, width, colours[1])};
    HBRUSH brushes[2] = {nullptr, nullptr};
    if (view3D) {
        brushes[0] = CreateSolidBrush(colours[0]);
        brushes[1] = CreateSolidBrush(colours[1]);
    }
    HGDIOBJ oldPen = SelectObject(dc, pens[0]);
    HGDIOBJ oldBrush = view3D ? SelectObject(dc, brushes[0]) : nullptr;

    int32_t m = -1;
    if (route.GetManeuverCount() > 0) {
        const int32_t current = route.GetCurrentManeuver();
        if (current >= 0 && current < route.GetManeuverCount())
            m = route.GetManeuverRouteIndex(current);
    }
    const MapLink* vehicleLink = g_vehicleLocation.GetLink(false);
    auto shown = [&](const MapLink& link) {
        return (vehicleLink && link.linkId == vehicleLink->linkId) || IsLinkVisible(link, 0);
    };
    std::vector<MapPoint> line;
    auto draw = [&](const MapLink& link, int colour) {
        SelectObject(dc, pens[colour]);
        if (view3D) {
            SelectObject(dc, brushes[colour]);
            DrawRouteRibbon(dc, link, line);
        } else {
            DrawRouteLine(dc, line);
        }
    };

    RouteStep first;
    if (route.ResolveEntry(0, &first) && first.node) {
        MapLink* start = route.GetStartLink();
        const MapPoint position = route.GetStartLocation();
        if (start && shown(*start)) {
            RoutePoints(*start, first.node, &position,
                        withStartShape
                            ? route.GetStartShapeIndex()
                            : (start->fromNode == first.node ? 0 : start->GetShapePointCount()),
                        line);
            const double c = std::cos(position.latitude * kRadiansPerDegree);
            const double dLon = (position.longitude - first.node->position.longitude) * c;
            const double dLat = position.latitude - first.node->position.latitude;
            const double along = std::sqrt(dLon * dLon + dLat * dLat) * kRadiansPerDegree;
            if (!view3D || along > kStartRibbonMinimum)
                draw(*start, 0);
        }
    }
    for (int32_t i = 1; i + 1 < count; ++i) {
        RouteStep step;
        if (!route.ResolveEntry(i, &step) || !step.node || !step.link || !shown(*step.link))
            continue;
        RoutePoints(*step.link, step.node, nullptr, 0, line);
        draw(*step.link, (m == -1 || i <= m - 1) ? 0 : 1);
    }
    RouteStep last;
    MapLink* destination = route.GetDestinationLink();
    if (count > 1 && destination && route.ResolveEntry(count - 1, &last) && last.node &&
        shown(*destination)) {
        const MapPoint point = route.GetDestinationPoint();
        RoutePoints(*destination, last.node, &point, route.GetDestinationSegment(), line);
        draw(*destination, m == -1 ? 0 : 1);
    }

    SelectObject(dc, oldPen);
    if (view3D)
        SelectObject(dc, oldBrush);
    for (HPEN pen : pens)
        DeleteObject(pen);
    for (HBRUSH brush : brushes)
        if (brush)
            DeleteObject(brush);
}

void CMapView::DrawRouteLine(HDC dc, const std::vector<MapPoint>& line) {
    std::vector<POINT> screen;
    screen.reserve(line.size());
    for (const MapPoint& p : line) {
        POINT q{};
        MapToScreen2D(p.longitude, p.latitude, &q.x, &q.y);
        if (screen.empty() || screen.back().x != q.x || screen.back().y != q.y)
            screen.push_back(q);
    }
    // A link that collapses to one pixel is not drawn.
    if (screen.size() < 2)
        return;
    Polyline(dc, screen.data(), static_cast<int>(screen.size()));
}

void CMapView::DrawRouteRibbon(HDC dc, const MapLink& link, const std::vector<MapPoint>& line) {
    const size_t n = line.size();
    if (n < 2)
        return;
    const float w = GetRoadHalfWidth3D(link);
    const double c = std::max(std::cos(centreLatitude_ * kRadiansPerDegree), 0.01);
    // Directions of the segments in the flat frame (longitudes scaled by cos latitude).
    std::vector<double> heading(n - 1);
    for (size_t i = 0; i + 1 < n; ++i)
        heading[i] = std::atan2((line[i + 1].latitude - line[i].latitude),
                                (line[i + 1].longitude - line[i].longitude) * c);
    std::vector<MapPoint> outline(2 * n);
    for (size_t i = 0; i < n; ++i) {
        double direction = 0, length = w;
        if (i == 0) {
            direction = heading[0];
        } else if (i == n - 1) {
            direction = heading[n - 2];
        } else {
            // A mitred join, the turn held within 135 degrees.
            double t = heading[i] - heading[i - 1];
            while (t > M_PI)
                t -= 2 * M_PI;
            while (t < -M_PI)
                t += 2 * M_PI;
            t = std::clamp(t, -kMaxTurn, kMaxTurn);
            direction = heading[i - 1] + t / 2;
            length = w / std::cos(t / 2);
        }
        const double across = direction + M_PI / 2;
        const float offLon = static_cast<float>(std::cos(across) * length / c);
        const float offLat = static_cast<float>(std::sin(across) * length);
        outline[i] = {line[i].latitude + offLat, line[i].longitude + offLon};
        outline[2 * n - 1 - i] = {line[i].latitude - offLat, line[i].longitude - offLon};
    }
    std::vector<POINT> screen(outline.size());
    std::vector<float> floats(2 * outline.size());
    for (size_t i = 0; i < outline.size(); ++i) {
        int x = 0, y = 0;
        ProjectToScreen3D(projection_, outline[i].longitude, outline[i].latitude, &x, &y,
                          &floats[2 * i], &floats[2 * i + 1]);
        screen[i] = {x, y};
    }
    UntwistRibbon(outline.data(), static_cast<int>(outline.size()), screen.data(), floats.data(),
                  false);
    POINT firstPoint{};
    ClipRibbon3D(*this, dc, screen.data(), &firstPoint, static_cast<int>(screen.size()),
                 floats.data(), 0, std::sin(tilt_), std::cos(tilt_));
}
