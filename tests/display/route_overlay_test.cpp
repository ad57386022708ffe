#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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
    MapPoint GetStartLocation() override { return start ? start->fromNode->position : MapPoint{}; }
    MapLink* GetDestinationLink() override { return links.empty() ? nullptr : links.back(); }
    MapPoint GetDestinationPoint() override {
        if (links.empty())
            return {};
        MapLink* last = links.back();
        return last->fromNode == nodes.back() ? last->toNode->position : last->fromNode->position;
    }
    int32_t GetManeuverCount() override { return maneuver < 0 ? 0 : 2; }
    int32_t GetCurrentManeuver() override { return 0; }
    int32_t GetManeuverRouteIndex(int32_t) override { return maneuver; }

    MapLink* start = nullptr;
    std::vector<MapNode*> nodes;
    std::vector<MapLink*> links;
    int32_t maneuver = -1;
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

// A path of `count` links from a link in view.
bool LayPathOnScreen(const CMapView& view, int count, PathRoute& route) {
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

}  // namespace
