// The calculated route over the base map: polylines along its links in 2D, filled
// ribbons in 3D; the stretch up to the next maneuver in the first route colour and
// the rest in the second.
#include <algorithm>
#include <cmath>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/house_numbers.h"

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

// The link's points in route direction between two positions on it, each given with
// its cut (the shape points before it from the from-node).
void StretchPoints(const MapLink& link, const MapPoint& from, uint32_t fromCut, const MapPoint& to,
                   uint32_t toCut, std::vector<MapPoint>& out) {
    out.clear();
    const uint32_t shapes = link.GetShapePointCount();
    fromCut = std::min(fromCut, shapes);
    toCut = std::min(toCut, shapes);
    out.push_back(from);
    for (uint32_t k = fromCut; k < toCut; ++k)
        out.push_back(link.shapePoints[k]);
    for (uint32_t k = fromCut; k > toCut; --k)
        out.push_back(link.shapePoints[k - 1]);
    out.push_back(to);
}

struct RoutePiece {
    const MapLink* link;
    std::vector<MapPoint> line;
    int colour;
};

bool SamePoint(const MapPoint& a, const MapPoint& b) {
    return a.latitude == b.latitude && a.longitude == b.longitude;
}

// Consecutive pieces of the route meet where one ends and the next begins.
bool Joined(const std::vector<MapPoint>& a, const std::vector<MapPoint>& b) {
    return !a.empty() && !b.empty() && SamePoint(a.back(), b.front());
}

double FlatHeading(const MapPoint& a, const MapPoint& b, double c) {
    return std::atan2(b.latitude - a.latitude, (b.longitude - a.longitude) * c);
}

// The direction of a line's first and last stretch of some length; false when it has
// none.
bool FirstHeading(const std::vector<MapPoint>& line, double c, double* heading) {
    for (size_t i = 1; i < line.size(); ++i)
        if (!SamePoint(line[i], line[0])) {
            *heading = FlatHeading(line[0], line[i], c);
            return true;
        }
    return false;
}

bool LastHeading(const std::vector<MapPoint>& line, double c, double* heading) {
    for (size_t i = line.size(); i-- > 1;)
        if (!SamePoint(line[i - 1], line.back())) {
            *heading = FlatHeading(line[i - 1], line.back(), c);
            return true;
        }
    return false;
}

double Normalized(double angle) {
    while (angle > M_PI)
        angle -= 2 * M_PI;
    while (angle < -M_PI)
        angle += 2 * M_PI;
    return angle;
}

}  // namespace

std::vector<MapPoint> RouteRibbonOutline(const std::vector<MapPoint>& points, float halfWidth,
                                         double cosLat, const double* before, const double* after) {
    // Repeated points have no direction.
    std::vector<MapPoint> line;
    for (const MapPoint& p : points)
        if (line.empty() || !SamePoint(line.back(), p))
            line.push_back(p);
    const size_t n = line.size();
    if (n < 2)
        return {};
    const double w = halfWidth;
    std::vector<double> heading(n - 1);
    for (size_t i = 0; i + 1 < n; ++i)
        heading[i] = FlatHeading(line[i], line[i + 1], cosLat);
    // A joint with the next link: the mitre, unless it would reach past 2.5 half
    // widths; then square to the incoming direction.
    auto joint = [w](double incoming, double outgoing, double* direction, double* length) {
        const double t = Normalized(outgoing - incoming);
        const double mitre = std::fabs(w / std::cos(t / 2));
        if (mitre > 2.5 * w) {
            *direction = incoming;
            *length = w;
        } else {
            *direction = incoming + t / 2;
            *length = w / std::cos(t / 2);
        }
    };
    std::vector<MapPoint> outline(2 * n);
    for (size_t i = 0; i < n; ++i) {
        double direction = 0, length = w;
        if (i == 0) {
            direction = heading[0];
            if (before)
                joint(*before, heading[0], &direction, &length);
        } else if (i == n - 1) {
            direction = heading[n - 2];
            if (after)
                joint(heading[n - 2], *after, &direction, &length);
        } else {
            // A mitred join, the turn held within 135 degrees.
            const double t =
                std::clamp(Normalized(heading[i] - heading[i - 1]), -kMaxTurn, kMaxTurn);
            direction = heading[i - 1] + t / 2;
            length = w / std::cos(t / 2);
        }
        const double across = direction + M_PI / 2;
        const float offLon = static_cast<float>(std::cos(across) * length / cosLat);
        const float offLat = static_cast<float>(std::sin(across) * length);
        outline[i] = {line[i].latitude + offLat, line[i].longitude + offLon};
        outline[2 * n - 1 - i] = {line[i].latitude - offLat, line[i].longitude - offLon};
    }
    return outline;
}

void CMapView::DrawRoute(HDC dc, int withStartShape) {
    IMapRoute& route = GetMapRoute();
    if (!(route.GetState() & kRouteStateRouteExists))
        return;
    const int32_t count = route.GetRouteEntryCount();
    // A route along its start link to the destination has no entries.
    MapLink* alongLink = nullptr;
    if (count == 0) {
        MapLink* start = route.GetStartLink();
        MapLink* destination = route.GetDestinationLink();
        if (start && destination && start->linkId == destination->linkId)
            alongLink = start;
    }
    if (count <= 0 && !alongLink)
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
    auto draw = [&](const MapLink&, int colour) {
        SelectObject(dc, pens[colour]);
        DrawRouteLine(dc, line);
    };

    // In 3D the pieces are drawn once all are known, so that each ribbon can join the
    // ribbons beside it.
    std::vector<RoutePiece> pieces;
    auto add = [&](const MapLink& link, int colour) {
        if (view3D)
            pieces.push_back({&link, line, colour});
        else
            draw(link, colour);
    };

    if (alongLink && shown(*alongLink)) {
        StretchPoints(*alongLink, route.GetStartLocation(), route.GetStartShapeIndex(),
                      route.GetDestinationPoint(), route.GetDestinationSegment(), line);
        add(*alongLink, 0);
    }
    RouteStep first;
    if (route.ResolveEntry(0, &first) && first.node) {
        MapLink* start = route.GetStartLink();
        const MapPoint position = route.GetStartLocation();
        if (start && shown(*start)) {
            const bool fromStart = start->fromNode == first.node;
            const uint32_t shapes = start->GetShapePointCount();
            const uint32_t index = std::min(route.GetStartShapeIndex(), shapes);
            RoutePoints(*start, first.node, &position,
                        withStartShape ? index : (fromStart ? 0 : shapes), line);
            // A start this close to the link's end draws no ribbon of its own.
            const double along = DistanceAlongLink(
                *start, fromStart, shapes ? static_cast<int32_t>(index) : -1, position);
            if (!view3D || along > kStartRibbonMinimum)
                add(*start, 0);
        }
    }
    // Every entry but the last names the whole link it leaves by, the first entry's
    // included: it runs from the end of the start link onwards.
    for (int32_t i = 0; i + 1 < count; ++i) {
        RouteStep step;
        if (!route.ResolveEntry(i, &step) || !step.node || !step.link || !shown(*step.link))
            continue;
        RoutePoints(*step.link, step.node, nullptr, 0, line);
        add(*step.link, (m == -1 || i <= m - 1) ? 0 : 1);
    }
    RouteStep last;
    MapLink* destination = route.GetDestinationLink();
    if (destination && route.ResolveEntry(count - 1, &last) && last.node && shown(*destination)) {
        const MapPoint point = route.GetDestinationPoint();
        RoutePoints(*destination, last.node, &point, route.GetDestinationSegment(), line);
        add(*destination, m == -1 ? 0 : 1);
    }
    const double c = std::max(std::cos(centreLatitude_ * kRadiansPerDegree), 0.01);
    for (size_t k = 0; k < pieces.size(); ++k) {
        RoutePiece& piece = pieces[k];
        double before = 0, after = 0;
        bool joinsBefore = k > 0 && Joined(pieces[k - 1].line, piece.line);
        bool joinsAfter = k + 1 < pieces.size() && Joined(piece.line, pieces[k + 1].line);
        if (joinsBefore)
            joinsBefore &= LastHeading(pieces[k - 1].line, c, &before);
        if (joinsAfter)
            joinsAfter &= FirstHeading(pieces[k + 1].line, c, &after);
        SelectObject(dc, pens[piece.colour]);
        SelectObject(dc, brushes[piece.colour]);
        DrawRouteRibbon(dc, *piece.link, piece.line, joinsBefore ? &before : nullptr,
                        joinsAfter ? &after : nullptr);
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

void CMapView::DrawRouteRibbon(HDC dc, const MapLink& link, const std::vector<MapPoint>& line,
                               const double* before, const double* after) {
    const double c = std::max(std::cos(centreLatitude_ * kRadiansPerDegree), 0.01);
    std::vector<MapPoint> outline =
        RouteRibbonOutline(line, GetRoadHalfWidth3D(link), c, before, after);
    if (outline.empty())
        return;
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
