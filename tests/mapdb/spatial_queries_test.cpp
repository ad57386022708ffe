// The point-to-segment projection, the nearest point of a link and the map bounds.
#include "pathlume/mapdb/spatial_queries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pathlume/mapdb/map_database.h"

namespace {

TEST(SpatialQueriesTest, ProjectPointOnSegmentClampsToTheEnds) {
    const struct {
        FlatPoint point;
        FLOAT footX, footY, distance2;
    } cases[] = {
        {{2, 1}, 2, 0, 1},   // foot inside
        {{-1, 1}, 0, 0, 2},  // before the start
        {{0, 3}, 0, 0, 9},   // t = 0 exactly: the start
        {{4, 0}, 4, 0, 0},   // t = 1 exactly: the end
        {{6, -1}, 4, 0, 5},  // past the end
    };
    for (const auto& c : cases) {
        FLOAT x = -99, y = -99;
        EXPECT_FLOAT_EQ(ProjectPointOnSegment(c.point, 0, 0, 4, 0, &x, &y), c.distance2)
            << c.point.x << "," << c.point.y;
        EXPECT_FLOAT_EQ(x, c.footX);
        EXPECT_FLOAT_EQ(y, c.footY);
    }
    // A segment of length 0 answers its start, never a NaN.
    FLOAT x = -99, y = -99;
    EXPECT_FLOAT_EQ(ProjectPointOnSegment({3, 4}, 0, 0, 0, 0, &x, &y), 25);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

// A link from `from` through `shape` to `to`.
struct TestLink {
    MapNode fromNode{};
    MapNode toNode{};
    std::vector<MapPoint> shape;
    MapLink link{};

    TestLink(MapPoint from, std::vector<MapPoint> points, MapPoint to) : shape(std::move(points)) {
        fromNode.position = from;
        toNode.position = to;
        link.fromNode = &fromNode;
        link.toNode = &toNode;
        link.shapePoints = shape.empty() ? nullptr : shape.data();
        link.shapeInfo = static_cast<uint16_t>(shape.size());
    }
};

TEST(SpatialQueriesTest, NearestPointNumbersSegmentsFromTheFromNode) {
    // At 60 degrees north a degree of longitude is half a degree of latitude.
    TestLink l({60.0f, 10.0f}, {{60.0f, 10.02f}, {60.01f, 10.02f}}, {60.01f, 10.04f});
    MapPoint p;
    EXPECT_EQ(l.link.NearestPoint(60.001f, 10.01f, &p), 0u);
    EXPECT_NEAR(p.latitude, 60.0f, 1e-6);
    EXPECT_NEAR(p.longitude, 10.01f, 2e-5);
    EXPECT_EQ(l.link.NearestPoint(60.005f, 10.021f, &p), 1u);
    EXPECT_NEAR(p.latitude, 60.005f, 1e-5);
    EXPECT_NEAR(p.longitude, 10.02f, 1e-5);
    // The last segment ends at the to-node and carries the shape point count.
    EXPECT_EQ(l.link.NearestPoint(60.02f, 10.05f, &p), 2u);
    EXPECT_NEAR(p.latitude, 60.01f, 1e-6);
    EXPECT_NEAR(p.longitude, 10.04f, 1e-5);
    EXPECT_EQ(l.link.NearestPoint(60.02f, 10.05f, nullptr), 2u);

    // 0.006 degrees of longitude west of the second segment is 0.003 in the flat
    // frame, nearer than the 0.004 degrees of latitude north of the first.
    EXPECT_EQ(l.link.NearestPoint(60.004f, 10.014f, nullptr), 1u);
}

TEST(SpatialQueriesTest, NearestPointKeepsTheEarliestOfEqualSegments) {
    // The corner point is the nearest point of both segments.
    TestLink l({0.0f, 0.0f}, {{0.0f, 1.0f}}, {1.0f, 1.0f});
    MapPoint p;
    EXPECT_EQ(l.link.NearestPoint(-1.0f, 2.0f, &p), 0u);
    EXPECT_FLOAT_EQ(p.latitude, 0.0f);
    EXPECT_FLOAT_EQ(p.longitude, 1.0f);

    // Without shape points the one segment is 0; a reduced shape keeps two points.
    TestLink plain({0.0f, 0.0f}, {}, {1.0f, 1.0f});
    EXPECT_EQ(plain.link.NearestPoint(5.0f, 5.0f, &p), 0u);
    EXPECT_FLOAT_EQ(p.latitude, 1.0f);
    TestLink reduced({0.0f, 0.0f}, {{0.0f, 1.0f}, {0.0f, 2.0f}, {0.0f, 3.0f}}, {0.0f, 4.0f});
    reduced.link.shapeInfo |= kShapeReduced;
    EXPECT_EQ(reduced.link.NearestPoint(0.0f, 3.5f, nullptr), 2u);
}

TEST(SpatialQueriesTest, MatchLinkEndAnswersTheFromNodeOrTheShapeCount) {
    TestLink l({1.0f, 2.0f}, {{1.0f, 3.0f}, {1.0f, 4.0f}}, {1.0f, 5.0f});
    EXPECT_EQ(MatchLinkEnd(l.link, {1.0f, 2.0f}), 0);
    EXPECT_EQ(MatchLinkEnd(l.link, {1.0f, 5.0f}), 2);
    // Only an exact copy of the from-node's position is the start.
    EXPECT_EQ(MatchLinkEnd(l.link, {1.0f, std::nextafter(2.0f, 3.0f)}), 2);
    TestLink plain({1.0f, 2.0f}, {}, {1.0f, 5.0f});
    EXPECT_EQ(MatchLinkEnd(plain.link, {1.0f, 2.0f}), -1);
}

TEST(SpatialQueriesTest, IsInsideMapBoundsIncludesTheEdges) {
    CMapDatabase db;
    MapLayer& layer = db.layers[0];
    layer.south = 45.0f;
    layer.north = 46.0f;
    layer.west = -101.0f;
    layer.east = -100.0f;
    const struct {
        FLOAT lat, lon;
        int inside;
    } cases[] = {{45.5f, -100.5f, 1},   {45.0f, -101.0f, 1},   {46.0f, -100.0f, 1},
                 {44.999f, -100.5f, 0}, {46.001f, -100.5f, 0}, {45.5f, -101.001f, 0},
                 {45.5f, -99.999f, 0},  {NAN, -100.5f, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(IsInsideMapBounds(db, c.lat, c.lon), c.inside) << c.lat << "," << c.lon;
}

}  // namespace
