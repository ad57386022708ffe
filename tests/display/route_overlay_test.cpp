#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_records.h"
#include "tests/display/frame_maps.h"
#include "tests/support/temp_root.h"

namespace {

// A route the test lays along consecutive links: entry i names the node where link
// i leaves, entry 0 the end of the start link.
class PathRoute : public IMapRoute {
  public:
    uint32_t GetState() override { return kRouteStateRouteExists; }
    int32_t GetRouteEntryCount() override { return static_cast<int32_t>(links.size()); }
    bool ResolveEntry(int32_t index, RouteStep* step) override {
        if (index < 0 || index >= GetRouteEntryCount())
            return false;
        step->node = nodes[index];
        step->link = links[index];
        return true;
    }
    MapLink* GetStartLink() override { return start; }
    uint32_t GetStartShapeIndex() override { return startShape; }
    MapPoint GetStartLocation() override {
        if (startPoint)
            return *startPoint;
        return start ? start->fromNode->position : MapPoint{};
    }
    MapLink* GetDestinationLink() override {
        return links.empty() || !toDestination ? nullptr : links.back();
    }
    MapPoint GetDestinationPoint() override {
        if (links.empty())
            return {};
        MapLink* last = links.back();
        return last->fromNode == nodes.back() ? last->toNode->position : last->fromNode->position;
    }
    // The destination is the last link's far end: all its shape lies before it.
    uint32_t GetDestinationSegment() override {
        if (links.empty())
            return 0;
        const MapLink* last = links.back();
        return last->fromNode == nodes.back() ? last->GetShapePointCount() : 0;
    }
    int32_t GetManeuverCount() override { return maneuver < 0 ? 0 : 2; }
    int32_t GetCurrentManeuver() override { return 0; }
    int32_t GetManeuverRouteIndex(int32_t) override { return maneuver; }

    MapLink* start = nullptr;
    std::optional<MapPoint> startPoint;  // else the start link's from-node
    uint32_t startShape = 0;
    std::vector<MapNode*> nodes;
    std::vector<MapLink*> links;
    int32_t maneuver = -1;
    bool toDestination = true;  // else the last link is not drawn
};

bool IsReal(const MapNode* node) {
    return node && node->position.latitude != ProxyNode::kLatitude;
}

bool SamePlace(const MapNode* a, const MapNode* b) {
    return a->position.latitude == b->position.latitude &&
           a->position.longitude == b->position.longitude;
}

// Walks on from the start link for `count` links, never back; a node split at a cell
// border continues in the link that meets it at the same place.
bool LayPath(MapLink* start, int count, const std::vector<MapLink*>& all, PathRoute& route) {
    route.start = start;
    MapNode* node = start->toNode;
    MapLink* from = start;
    while (static_cast<int>(route.links.size()) < count && IsReal(node)) {
        MapLink* next = nullptr;
        for (MapLink* link : all) {
            // Never back, never a link twice, never a link of no length.
            if (link == from || link->linkId == from->linkId || link == start ||
                std::find(route.links.begin(), route.links.end(), link) != route.links.end() ||
                SamePlace(link->fromNode, link->toNode))
                continue;
            const MapNode* far = SamePlace(link->fromNode, node) ? link->toNode : link->fromNode;
            if (SamePlace(far, from->fromNode) || SamePlace(far, from->toNode))
                continue;
            if (link->fromNode == node || link->toNode == node || SamePlace(link->fromNode, node) ||
                SamePlace(link->toNode, node)) {
                next = link;
                break;
            }
        }
        if (!next)
            return false;
        MapNode* near = SamePlace(next->fromNode, node) ? next->fromNode : next->toNode;
        route.nodes.push_back(near);
        route.links.push_back(next);
        node = near == next->fromNode ? next->toNode : next->fromNode;
        from = next;
    }
    return static_cast<int>(route.links.size()) == count;
}

// The links of the two detailed layers, with their nodes.
std::vector<MapLink*> LoadedLinks() {
    std::vector<MapLink*> all;
    for (int index : {0, 1}) {
        MapLayer& layer = g_mapDatabase.layers[index];
        LinkIterator it;
        if (!layer.directory || layer.windowW <= 0 ||
            it.Init(layer, 0, 0, layer.windowW - 1, layer.windowH - 1, 0x1C0, index == 0 ? 2 : 0) !=
                0)
            continue;
        while (MapLink* link = it.Next())
            if (!link->IsDead() && IsReal(link->fromNode) && IsReal(link->toNode))
                all.push_back(link);
    }
    return all;
}

// A path of `count` links from a link in view.
bool LayPathOnScreen(const CMapView& view, int count, PathRoute& route) {
    const std::vector<MapLink*> all = LoadedLinks();
    for (MapLink* link : all) {
        if (!view.IsLinkVisible(*link, 0) && !(link->shapeInfo & kShapeDrawn))
            continue;
        route = PathRoute();
        if (LayPath(link, count, all, route))
            return true;
    }
    return false;
}

class RouteOverlayTest : public testing_support::RootsTest {
  protected:
    void TearDown() override {
        SetMapRoute(nullptr);
        g_options2.store(0);
        g_map3DMode.store(0);
    }
};

bool Near(COLORREF a, COLORREF b) {
    for (int shift = 0; shift <= 16; shift += 8)
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > 48)
            return false;
    return true;
}

int CountColour(HDC dc, int width, int height, COLORREF colour) {
    int n = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (Near(GetPixel(dc, x, y), colour))
                ++n;
    return n;
}

TEST_F(RouteOverlayTest, TheStretchToTheNextManeuverTakesTheFirstColour) {
    for (bool view3D : {false, true}) {
        render::Options options = display_test::TownOptions();
        options.view3D = view3D;
        options.zoom = 6;  // the whole path in view
        render::Session session(options);
        ASSERT_TRUE(session.Loaded()) << session.Error();
        g_options2.store(kOptions2NoStreetLabels);
        session.DrawFrame();
        PathRoute route;
        ASSERT_TRUE(LayPathOnScreen(session.View(), 5, route));
        SetMapRoute(&route);
        const int mode = g_mapTheme.ColourMode();
        const COLORREF first = g_mapTheme.routeColours[mode];
        const COLORREF second = g_mapTheme.routeColours[2 + mode];
        ASSERT_NE(first, second);
        const int height = g_viewHeight.load();

        struct Case {
            int32_t maneuver;
            bool firstShown;
            bool secondShown;
        };
        // No maneuver: all in the first colour; the maneuver at index 1: the
        // stretch before it is the partial start only.
        const Case cases[] = {{-1, true, false}, {3, true, true}};
        for (const Case& c : cases) {
            route.maneuver = c.maneuver;
            session.DrawFrame();
            const int ones = CountColour(session.BackBuffer(), options.width, height, first);
            const int twos = CountColour(session.BackBuffer(), options.width, height, second);
            EXPECT_EQ(ones > 0, c.firstShown) << "3D " << view3D << " maneuver " << c.maneuver;
            EXPECT_EQ(twos > 0, c.secondShown) << "3D " << view3D << " maneuver " << c.maneuver;
        }
        SetMapRoute(nullptr);
    }
}

TEST_F(RouteOverlayTest, In3DAStartWithin10FeetOfItsLinkEndDrawsNoRibbon) {
    render::Options options = display_test::TownOptions();
    options.view3D = true;
    options.zoom = 0;
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    g_options2.store(kOptions2NoStreetLabels | kOptions2NoPoi | kOptions2NoPoiLabels);
    session.DrawFrame();
    PathRoute route;
    ASSERT_TRUE(LayPathOnScreen(session.View(), 1, route));
    // The start lies on the start link's last stretch, `feet` from the node where the
    // route leaves it.
    MapLink& start = *route.start;
    const uint32_t shapes = start.GetShapePointCount();
    const MapPoint end = start.toNode->position;
    const MapPoint before = shapes ? start.shapePoints[shapes - 1] : start.fromNode->position;
    const double c = std::cos(end.latitude * M_PI / 180);
    const double stretchFeet =
        std::hypot((before.longitude - end.longitude) * c, before.latitude - end.latitude) *
        0.01745329238 * 20902143.302568;
    ASSERT_GT(stretchFeet, 40.0);
    route.startShape = shapes;
    route.toDestination = false;
    SetMapRoute(&route);
    const COLORREF first = g_mapTheme.routeColours[g_mapTheme.ColourMode()];
    struct Case {
        double feet;
        bool drawn;
    };
    for (const Case& c : {Case{9.0, false}, Case{40.0, true}}) {
        const double f = c.feet / stretchFeet;
        route.startPoint =
            MapPoint{static_cast<float>(end.latitude + (before.latitude - end.latitude) * f),
                     static_cast<float>(end.longitude + (before.longitude - end.longitude) * f)};
        session.DrawFrame();
        EXPECT_EQ(CountColour(session.BackBuffer(), options.width, g_viewHeight.load(), first) > 0,
                  c.drawn)
            << c.feet << " ft";
    }
}

// The link the route takes from the end of the start link is drawn, whether it is a
// whole link on the way or already the destination's.
TEST_F(RouteOverlayTest, TheLinkAfterTheStartIsDrawn) {
    render::Options options = display_test::TownOptions();
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    g_options2.store(kOptions2NoStreetLabels | kOptions2NoPoi | kOptions2NoPoiLabels);
    session.DrawFrame();
    const COLORREF first = g_mapTheme.routeColours[g_mapTheme.ColourMode()];
    for (int links : {1, 3}) {
        PathRoute route;
        ASSERT_TRUE(LayPathOnScreen(session.View(), links, route));
        SetMapRoute(&route);
        session.DrawFrame();
        // The middle of the first stretch of the link leaving the start link's end.
        const MapLink& link = *route.links[0];
        const bool forward = link.fromNode == route.nodes[0];
        const uint32_t shapes = link.GetShapePointCount();
        const MapPoint a = route.nodes[0]->position;
        const MapPoint b = shapes ? link.shapePoints[forward ? 0 : shapes - 1]
                                  : (forward ? link.toNode : link.fromNode)->position;
        int x = 0, y = 0;
        session.View().MapToScreen2D((a.longitude + b.longitude) / 2, (a.latitude + b.latitude) / 2,
                                     &x, &y);
        ASSERT_TRUE(x >= 2 && y >= 2 && x + 2 < options.width && y + 2 < g_viewHeight.load())
            << x << "," << y;
        int near = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                near += Near(GetPixel(session.BackBuffer(), x + dx, y + dy), first);
        EXPECT_GT(near, 0) << links << " links, at " << x << "," << y;
        SetMapRoute(nullptr);
    }
}

TEST_F(RouteOverlayTest, NoRouteOrAnEmptyListDrawsNothing) {
    render::Options options = display_test::TownOptions();
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    PathRoute route;  // no links at all
    SetMapRoute(&route);
    session.DrawFrame();
    const int mode = g_mapTheme.ColourMode();
    EXPECT_EQ(CountColour(session.BackBuffer(), options.width, g_viewHeight.load(),
                          g_mapTheme.routeColours[mode]),
              0);
}

// A route along one link: no entries, its start and destination on that link.
class AlongRoute : public IMapRoute {
  public:
    uint32_t GetState() override { return kRouteStateRouteExists; }
    MapLink* GetStartLink() override { return link; }
    uint32_t GetStartShapeIndex() override { return startCut; }
    MapPoint GetStartLocation() override { return start; }
    MapLink* GetDestinationLink() override { return link; }
    uint32_t GetDestinationSegment() override { return destinationCut; }
    MapPoint GetDestinationPoint() override { return destination; }

    MapLink* link = nullptr;
    MapPoint start{}, destination{};
    uint32_t startCut = 0, destinationCut = 0;
};

// The point `fraction` of the way along the link's line and the shape points before it.
MapPoint AlongLine(const MapLink& link, double fraction, uint32_t* cut) {
    std::vector<MapPoint> line{link.fromNode->position};
    for (uint32_t k = 0; k < link.GetShapePointCount(); ++k)
        line.push_back(link.shapePoints[k]);
    line.push_back(link.toNode->position);
    std::vector<double> lengths;
    double total = 0;
    for (size_t k = 1; k < line.size(); ++k) {
        lengths.push_back(std::hypot(line[k].latitude - line[k - 1].latitude,
                                     line[k].longitude - line[k - 1].longitude));
        total += lengths.back();
    }
    double want = fraction * total;
    for (size_t k = 0; k < lengths.size(); ++k) {
        if (want <= lengths[k] || k + 1 == lengths.size()) {
            const double t = lengths[k] > 0 ? std::min(want / lengths[k], 1.0) : 0;
            *cut = static_cast<uint32_t>(k);
            return {static_cast<FLOAT>(line[k].latitude +
                                       t * (line[k + 1].latitude - line[k].latitude)),
                    static_cast<FLOAT>(line[k].longitude +
                                       t * (line[k + 1].longitude - line[k].longitude))};
        }
        want -= lengths[k];
    }
    *cut = 0;
    return line.front();
}

// A route along one link is drawn from its start to its destination, and not beyond.
TEST_F(RouteOverlayTest, ARouteAlongOneLinkIsDrawnBetweenItsEnds) {
    render::Options options = display_test::TownOptions();
    options.zoom = 0;
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    g_options2.store(kOptions2NoStreetLabels | kOptions2NoPoi | kOptions2NoPoiLabels);
    session.DrawFrame();
    const COLORREF first = g_mapTheme.routeColours[g_mapTheme.ColourMode()];
    CMapView& view = session.View();
    auto routeNear = [&](const MapLink& link, double fraction) {
        uint32_t cut = 0;
        const MapPoint p = AlongLine(link, fraction, &cut);
        int x = 0, y = 0;
        view.MapToScreen2D(p.longitude, p.latitude, &x, &y);
        int near = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                near += Near(GetPixel(session.BackBuffer(), x + dx, y + dy), first);
        return near;
    };
    // A link whose whole line is in view and long on the screen.
    AlongRoute route;
    for (MapLink* candidate : LoadedLinks()) {
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        view.MapToScreen2D(candidate->fromNode->position.longitude,
                           candidate->fromNode->position.latitude, &x0, &y0);
        view.MapToScreen2D(candidate->toNode->position.longitude,
                           candidate->toNode->position.latitude, &x1, &y1);
        const bool inside = std::min({x0, x1, y0, y1}) > 4 &&
                            std::max(x0, x1) < options.width - 4 &&
                            std::max(y0, y1) < g_viewHeight.load() - 4;
        if (inside && std::hypot(x1 - x0, y1 - y0) > 60)
            route.link = candidate;
    }
    ASSERT_NE(route.link, nullptr) << "no link long enough in view";
    route.start = AlongLine(*route.link, 0.3, &route.startCut);
    route.destination = AlongLine(*route.link, 0.7, &route.destinationCut);
    SetMapRoute(&route);
    session.DrawFrame();
    EXPECT_GT(routeNear(*route.link, 0.5), 0);
    EXPECT_EQ(routeNear(*route.link, 0.1), 0);
    EXPECT_EQ(routeNear(*route.link, 0.9), 0);
    // Driven the other way, the same stretch.
    std::swap(route.start, route.destination);
    std::swap(route.startCut, route.destinationCut);
    session.DrawFrame();
    EXPECT_GT(routeNear(*route.link, 0.5), 0);
    EXPECT_EQ(routeNear(*route.link, 0.1), 0);
    SetMapRoute(nullptr);
}

// Ribbons about lines in a frame of unit scale: a half width of 1 along a line of
// points 10 apart.
TEST(RouteRibbonOutline, MitresInnerPointsAndJoinsOrSquaresTheEnds) {
    auto P = [](float x, float y) { return MapPoint{y, x}; };
    auto offset = [](const std::vector<MapPoint>& outline, size_t i, size_t n) {
        // The left and right offsets of point i.
        return std::pair{outline[i], outline[2 * n - 1 - i]};
    };
    auto length = [](MapPoint a, MapPoint b) {
        return std::hypot(a.longitude - b.longitude, a.latitude - b.latitude) / 2;
    };
    const double deg = M_PI / 180;
    struct Case {
        const char* what;
        std::vector<MapPoint> line;
        std::optional<double> before, after;
        size_t point;       // whose offset is checked
        double halfLength;  // its distance from the centre line
        double direction;   // of the offset pair (left minus right), radians
    };
    const Case cases[] = {
        {"straight: square ends", {P(0, 0), P(10, 0)}, {}, {}, 0, 1, 90 * deg},
        {"right angle: mitre",
         {P(0, 0), P(10, 0), P(10, 10)},
         {},
         {},
         1,
         std::sqrt(2.0),
         135 * deg},
        // A turn of 170 degrees is mitred as one of 135.
        {"sharp turn held at 135",
         {P(0, 0), P(10, 0), P(10 + 10 * std::cos(170 * deg), 10 * std::sin(170 * deg))},
         {},
         {},
         1,
         1 / std::cos(67.5 * deg),
         (90 + 67.5) * deg},
        {"joint before: mitre", {P(0, 0), P(10, 0)}, 90 * deg, {}, 0, std::sqrt(2.0), 135 * deg},
        // 150 degrees: the mitre 1 / cos 75 = 3.9 passes 2.5, so square to the
        // incoming direction (north, so the offset runs west-east).
        {"joint before: squared", {P(0, 0), P(10, 0)}, 150 * deg, {}, 0, 1, 240 * deg},
        {"joint after: mitre", {P(0, 0), P(10, 0)}, {}, 90 * deg, 1, std::sqrt(2.0), 135 * deg},
        {"joint after: squared", {P(0, 0), P(10, 0)}, {}, -150 * deg, 1, 1, 90 * deg},
        {"repeated points collapse",
         {P(0, 0), P(0, 0), P(10, 0), P(10, 0)},
         {},
         {},
         1,
         1,
         90 * deg},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double* before = c.before ? &*c.before : nullptr;
        const double* after = c.after ? &*c.after : nullptr;
        const std::vector<MapPoint> outline = RouteRibbonOutline(c.line, 1.0f, 1.0, before, after);
        size_t n = 1;
        for (size_t i = 1; i < c.line.size(); ++i)
            n += c.line[i].latitude != c.line[i - 1].latitude ||
                 c.line[i].longitude != c.line[i - 1].longitude;
        ASSERT_EQ(outline.size(), 2 * n);
        const auto [left, right] = offset(outline, c.point, n);
        EXPECT_NEAR(length(left, right), c.halfLength, 1e-4);
        double direction =
            std::atan2(left.latitude - right.latitude, left.longitude - right.longitude);
        double want = std::remainder(c.direction, 2 * M_PI);
        EXPECT_NEAR(std::remainder(direction - want, 2 * M_PI), 0.0, 1e-4);
    }
    EXPECT_TRUE(RouteRibbonOutline({P(1, 1), P(1, 1)}, 1.0f, 1.0, nullptr, nullptr).empty());
}

}  // namespace
