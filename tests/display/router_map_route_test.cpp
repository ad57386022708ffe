// The map view's router adapter over a real route across the built-in town, and the
// frame drawn with the route present.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/router_map_route.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/gdi/gdi.h"
#include "tests/display/frame_maps.h"

namespace {

class RouterMapRouteTest : public display_test::FrameTest {
  protected:
    // The town's frame at its centre with a route from there to the town node
    // nearest the offset point.
    static render::Options RouteOptions(double dLat, double dLon) {
        render::Options options = display_test::TownOptions();
        options.route = true;
        options.fromLatitude = options.latitude;
        options.fromLongitude = options.longitude;
        const discmaker::LatLon want{options.latitude + dLat, options.longitude + dLon};
        discmaker::LatLon best = display_test::FrameTown().nodes.front().position;
        for (const discmaker::Node& node : display_test::FrameTown().nodes)
            if (std::hypot(node.position.lat - want.lat, node.position.lon - want.lon) <
                std::hypot(best.lat - want.lat, best.lon - want.lon))
                best = node.position;
        options.toLatitude = best.lat;
        options.toLongitude = best.lon;
        return options;
    }
    // Pixels of one colour in the frame (the day maneuver arrow's green by default).
    static int ArrowPixels(render::Session& session, const render::Options& options,
                           COLORREF colour = 0x00FF00) {
        int count = 0;
        for (int y = 0; y < options.height; ++y)
            for (int x = 0; x < options.width; ++x)
                count += GetPixel(session.BackBuffer(), x, y) == colour;
        return count;
    }
};

TEST_F(RouterMapRouteTest, AnswersWhatTheRouterHolds) {
    const render::Options options = RouteOptions(0.006, 0.008);
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    ASSERT_FALSE(session.Arrived());
    ASSERT_NE(g_router, nullptr);
    CRouter& router = *g_router;
    IMapRoute& route = GetMapRoute();
    ASSERT_TRUE(route.GetState() & kRouteStateRouteExists);
    EXPECT_EQ(route.GetState(), router.state);
    ASSERT_GE(router.routeCount, 2);

    // Every entry resolves to the node and the link in its slot, as the router's own
    // lists read them; nothing outside the route resolves.
    for (int32_t i = 0; i < router.routeCount; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const RouteEntry& entry = router.routeList[i];
        RouteStep step;
        ASSERT_TRUE(route.ResolveEntry(i, &step));
        EXPECT_EQ(step.node, ResolveNodeRef(entry));
        EXPECT_EQ(step.link, step.node->Slots()[entry.Slot()]);
        EXPECT_EQ(step.link->linkId, entry.linkId);
    }
    ASSERT_EQ(route.GetRouteEntryCount(), router.routeCount);
    // The start link, as loaded now, with the segment the start lies on.
    ASSERT_NE(route.GetStartLink(), nullptr);
    EXPECT_EQ(route.GetStartLink(), router.routeStartLink);
    EXPECT_EQ(route.GetStartShapeIndex(), router.startSegment);
    RouteStep none;
    EXPECT_FALSE(route.ResolveEntry(-1, &none));
    EXPECT_FALSE(route.ResolveEntry(router.routeCount, &none));
    EXPECT_EQ(none.node, nullptr);

    // An entry made on the full network does not resolve in a chunk holding the
    // reduced one.
    const int32_t middle = router.routeCount / 2;
    RouteEntry& entry = router.routeList[middle];
    MapChunk* chunk = entry.chunk;
    const uint32_t savedFlags = chunk->flags;
    const uint32_t savedRef = entry.nodeRef;
    chunk->flags |= kChunkFromFileT;
    entry.nodeRef &= ~RouteEntry::kRoutingLevel;
    RouteStep step;
    EXPECT_FALSE(route.ResolveEntry(middle, &step));
    entry.nodeRef |= RouteEntry::kRoutingLevel;
    EXPECT_TRUE(route.ResolveEntry(middle, &step));
    chunk->flags = savedFlags;
    entry.nodeRef = savedRef;

    ASSERT_EQ(route.GetManeuverCount(), router.maneuverCount);
    for (int32_t m = 0; m < router.maneuverCount; ++m)
        EXPECT_EQ(route.GetManeuverRouteIndex(m), router.maneuvers[m].routeIndex);
    EXPECT_EQ(route.GetManeuverRouteIndex(-1), -1);
    EXPECT_EQ(route.GetManeuverRouteIndex(router.maneuverCount), -1);
    EXPECT_EQ(route.GetCurrentManeuver(), router.currentManeuver);
    EXPECT_EQ(route.GetDistanceToNextManeuver(), router.nextManeuverDistance);

    EXPECT_EQ(route.GetRouteEntryCount(), router.routeCount);
    EXPECT_EQ(route.GetStartLink(), router.routeStartLink);
    EXPECT_EQ(route.GetStartShapeIndex(), router.startSegment);
    EXPECT_EQ(route.GetStartLocation().latitude, router.startPoint.latitude);
    EXPECT_EQ(route.GetStartLocation().longitude, router.startPoint.longitude);
    EXPECT_EQ(route.GetDestinationLink(), router.routeDestLink);
    EXPECT_EQ(route.GetDestinationLink()->linkId, router.destLinkCopy.linkId);
    EXPECT_EQ(route.GetDestinationSegment(), router.destSegment);
    EXPECT_NEAR(route.GetDestinationPoint().latitude, options.toLatitude, 0.002);
    EXPECT_NEAR(route.GetDestinationPoint().longitude, options.toLongitude, 0.002);

    EXPECT_EQ(route.GetGuidancePhase(), 0);
    EXPECT_EQ(route.GetNextRouteLink(), nullptr);
    router.guidanceLinks[1] = route.GetDestinationLink();
    EXPECT_EQ(route.GetNextRouteLink(), router.routeDestLink);
    EXPECT_FALSE(route.IsStreetNameVariant());
    router.state |= kRouterStreetNameGuidance;
    EXPECT_TRUE(route.IsStreetNameVariant());
    router.state &= ~kRouterStreetNameGuidance;
    route.SetZoomBand(2);
    EXPECT_EQ(router.zoomBand, 2);

    // A reset through the adapter leaves no route to read, and the adapter routes
    // again from the same start to the same target.
    MapLink startCopy = *router.routeStartLink;
    const uint32_t startSegment = router.startSegment;
    const MapPoint startPoint = router.startPoint;
    MapLink destinationCopy = router.destLinkCopy;
    RouteTarget target = router.request;
    target.link = &destinationCopy;
    route.SetAvoidMarks(0);
    EXPECT_FALSE(router.state & kRouteStateAvoidMarksApplied);
    route.ResetRoute();
    EXPECT_FALSE(route.GetState() & kRouteStateRouteExists);
    EXPECT_EQ(route.GetDestinationLink(), nullptr);
    EXPECT_EQ(route.GetStartLink(), nullptr);
    EXPECT_EQ(route.GetRouteEntryCount(), 0);
    EXPECT_EQ(route.GetManeuverCount(), 0);
    EXPECT_FALSE(route.ResolveEntry(0, &step));
    route.CalculateRoute(&startCopy, startSegment, startPoint, target);
    EXPECT_TRUE(route.GetState() & kRouteStateRouteExists);
    EXPECT_GE(route.GetRouteEntryCount(), 2);
}

TEST_F(RouterMapRouteTest, FrameShowsTheRouteAndTheSessionTakesItAway) {
    const render::Options plain = display_test::TownOptions();
    int without = 0, routeWithout = 0;
    COLORREF routeColour = 0;
    {
        render::Session session(plain);
        ASSERT_TRUE(session.Loaded()) << session.Error();
        session.DrawFrame();
        without = ArrowPixels(session, plain);
        routeColour = g_mapTheme.routeColours[g_mapTheme.ColourMode()];
        routeWithout = ArrowPixels(session, plain, routeColour);
    }
    {
        const render::Options options = RouteOptions(0.006, 0.008);
        render::Session session(options);
        ASSERT_TRUE(session.Loaded()) << session.Error();
        session.DrawFrame();
        // The route's line and the next maneuver's arrow are drawn over the roads.
        EXPECT_GT(ArrowPixels(session, options, routeColour), routeWithout + 100);
        EXPECT_GT(ArrowPixels(session, options), without + 10);
        const COLORREF first = g_mapTheme.routeColours[g_mapTheme.ColourMode()];
        int routePixels = 0;
        for (int y = 0; y < g_viewHeight.load(); ++y)
            for (int x = 0; x < options.width; ++x)
                routePixels += GetPixel(session.BackBuffer(), x, y) == first;
        EXPECT_GT(routePixels, 100);
    }
    // The session's router and adapter go with it, and the maps open again although
    // the route's layers shared chunks with the drawn ones.
    EXPECT_EQ(g_router, nullptr);
    EXPECT_EQ(GetMapRoute().GetState(), 0u);
    render::Session again(plain);
    ASSERT_TRUE(again.Loaded()) << again.Error();
    again.DrawFrame();
    EXPECT_EQ(ArrowPixels(again, plain), without);
}

TEST_F(RouterMapRouteTest, RouteEndsThatDoNotRoute) {
    // Both ends on one link: an arrival, nothing to draw, the frame still made.
    render::Options options = RouteOptions(0, 0);
    {
        render::Session session(options);
        EXPECT_TRUE(session.Loaded()) << session.Error();
        EXPECT_TRUE(session.Arrived());
    }
    // An end far from every road fails the run.
    options = RouteOptions(0.006, 0.008);
    options.toLatitude += 1;
    render::Session session(options);
    EXPECT_FALSE(session.Loaded());
    EXPECT_NE(session.Error().find("no road within 1 km of the route's destination"),
              std::string::npos)
        << session.Error();
}

TEST_F(RouterMapRouteTest, RenderReportsTheRoute) {
    render::Options options = RouteOptions(0.006, 0.008);
    options.out = testing::TempDir() + "/render_route.png";
    const render::Figures figures = render::Render(options);
    ASSERT_TRUE(figures.ok) << figures.error;
    EXPECT_EQ(figures.route, "route");
    EXPECT_GE(figures.routeEntries, 2);
    EXPECT_GE(figures.maneuvers, 2);
    std::ostringstream text, json;
    render::PrintText(figures, options, text);
    EXPECT_NE(text.str().find("route: route, entries "), std::string::npos) << text.str();
    render::PrintJson(figures, options, json);
    const nlohmann::json parsed = nlohmann::json::parse(json.str());
    EXPECT_EQ(parsed["route"]["result"], "route");
    EXPECT_EQ(parsed["route"]["maneuvers"], figures.maneuvers);
    std::filesystem::remove(options.out);
}

TEST(RenderRouteOption, ParsesTwoPoints) {
    render::Options options;
    render::ParseRoute("39.1,-120.2:39.2,-120.3", &options);
    EXPECT_TRUE(options.route);
    EXPECT_DOUBLE_EQ(options.fromLatitude, 39.1);
    EXPECT_DOUBLE_EQ(options.toLongitude, -120.3);
    for (const char* bad : {"39.1,-120.2", "39.1,-120.2:", "39.1,-120.2:91,0", "a:b",
                            "39.1,-120.2:39.2,-120.3:1,1"}) {
        render::Options rejected;
        EXPECT_THROW(render::ParseRoute(bad, &rejected), render::OptionError) << bad;
        EXPECT_FALSE(rejected.route) << bad;
    }
    // The vehicle stands at --at, else at the route's start; one of them is needed.
    render::Options places;
    render::ParsePlaces("", "39.1,-120.2:39.2,-120.3", &places);
    EXPECT_DOUBLE_EQ(places.latitude, 39.1);
    EXPECT_DOUBLE_EQ(places.longitude, -120.2);
    render::ParsePlaces("40,-121", "39.1,-120.2:39.2,-120.3", &places);
    EXPECT_DOUBLE_EQ(places.latitude, 40);
    render::Options nowhere;
    EXPECT_THROW(render::ParsePlaces("", "", &nowhere), render::OptionError);
}

}  // namespace

namespace {

// A real route across Andorra la Vella, drawn through the adapter: the stretch to the
// next maneuver in the first route colour and the rest in the second, as lines in
// 2D and ribbons in 3D.
TEST_F(RouterMapRouteTest, AndorraRouteShowsBothStretches) {
    if (display_test::AndorraMapsFolder().empty())
        GTEST_SKIP() << "the shared OpenStreetMap extracts are absent";
    for (bool view3D : {false, true}) {
        render::Options options =
            display_test::AndorraOptions(display_test::kAndorraPoints[0], view3D, 0);
        options.zoom = 4;
        options.route = true;
        options.fromLatitude = options.latitude;
        options.fromLongitude = options.longitude;
        options.toLatitude = 42.5100;
        options.toLongitude = 1.5300;
        render::Session session(options);
        ASSERT_TRUE(session.Loaded()) << session.Error();
        g_options2.store(kOptions2NoStreetLabels | kOptions2NoPoi | kOptions2NoPoiLabels);
        session.DrawFrame();
        const int mode = g_mapTheme.ColourMode();
        int first = 0, second = 0;
        for (int y = 0; y < g_viewHeight.load(); ++y)
            for (int x = 0; x < options.width; ++x) {
                const COLORREF pixel = GetPixel(session.BackBuffer(), x, y);
                first += pixel == g_mapTheme.routeColours[mode];
                second += pixel == g_mapTheme.routeColours[2 + mode];
            }
        EXPECT_GT(first, 50) << (view3D ? "3D" : "2D");
        EXPECT_GT(second, 50) << (view3D ? "3D" : "2D");
    }
}

}  // namespace
