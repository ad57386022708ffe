// The link nearest to a point on the grid maps of the built-in town: on a road it is
// that road, and a radius shorter than the nearest road answers none.
#include "pathlume/mapdb/snap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/mapdb/grid_maps.h"
#include "tools/discmaker/disc_layout.h"

namespace {

using discmaker::InPrebuiltRegion;
using mapdb_test::GridMapsTest;
using mapdb_test::GridMapsTown;

constexpr double kInfinite = std::numeric_limits<double>::infinity();

MapPoint At(double lat, double lon) {
    MapPoint point;
    point.latitude = static_cast<FLOAT>(lat);
    point.longitude = static_cast<FLOAT>(lon);
    return point;
}

class SnapTest : public GridMapsTest {};

TEST_F(SnapTest, APointOnARoadSnapsOntoIt) {
    const discmaker::Network& town = GridMapsTown();
    int checked = 0;
    for (uint32_t i = 0; i < town.links.size() && checked < 40; i += 37) {
        if (InPrebuiltRegion(town, town.links[i]))
            continue;
        const std::vector<discmaker::LatLon> points = town.LinkPoints(i);
        // The middle of the link's first piece, clear of its ends' crossings.
        const discmaker::LatLon& a = points[0];
        const discmaker::LatLon& b = points[1];
        if (std::hypot(a.lat - b.lat, a.lon - b.lon) < 0.001)
            continue;
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        const MapPoint probe = At((a.lat + b.lat) / 2, (a.lon + b.lon) / 2);
        const LinkSnap snap = SnapToNearestLink(db, probe, 1000.0);
        SCOPED_TRACE("link " + std::to_string(i));
        ASSERT_TRUE(snap.Found());
        EXPECT_LT(snap.metres, 5.0);
        EXPECT_NE(snap.link->fromNode->slotCount, MapNode::kSingleSlot);
        EXPECT_NE(snap.link->toNode->slotCount, MapNode::kSingleSlot);
        EXPECT_LE(snap.segment, snap.link->GetShapePointCount());
        EXPECT_TRUE(snap.layer == 0 || snap.layer == kSnapDetailedLayer);
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

TEST_F(SnapTest, TheRadiusBoundsTheAnswer) {
    // 600 m south of the town's southernmost node.
    const discmaker::Network& town = GridMapsTown();
    discmaker::LatLon south{90, 0};
    for (const discmaker::Link& link : town.links) {
        const discmaker::LatLon& from = town.nodes[link.from].position;
        if (!InPrebuiltRegion(town, link) && from.lat < south.lat)
            south = from;
    }
    const MapPoint probe = At(south.lat - 0.0054, south.lon);
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    const LinkSnap nearest = SnapToNearestLink(db, probe, kInfinite);
    ASSERT_TRUE(nearest.Found());
    EXPECT_GT(nearest.metres, 500.0);
    EXPECT_LT(nearest.metres, 700.0);
    const LinkSnap within = SnapToNearestLink(db, probe, nearest.metres * 1.01);
    ASSERT_TRUE(within.Found());
    EXPECT_EQ(within.link->linkId, nearest.link->linkId);
    EXPECT_FALSE(SnapToNearestLink(db, probe, nearest.metres * 0.99).Found());
}

TEST_F(SnapTest, NoAnswerOffTheMapOrForABadPoint) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    EXPECT_FALSE(SnapToNearestLink(db, At(-60, 100), 1000.0).Found());
    EXPECT_FALSE(SnapToNearestLink(db, At(NAN, 0), kInfinite).Found());
    EXPECT_FALSE(SnapToNearestLink(db, At(95, 0), kInfinite).Found());
    const discmaker::LatLon& node = GridMapsTown().nodes.front().position;
    EXPECT_FALSE(SnapToNearestLink(db, At(node.lat, node.lon), -1.0).Found());
}

}  // namespace
