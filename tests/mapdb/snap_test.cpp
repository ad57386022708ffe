// The link nearest to a point on the grid maps of the built-in town: on a road it is
// that road, and a radius shorter than the nearest road answers none.
#include "pathlume/mapdb/snap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/link_iterator.h"
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

bool NetworkEnd(const MapNode* node) {
    return node && node->slotCount != MapNode::kSingleSlot &&
           node->position.latitude != ProxyNode::kLatitude;
}

// The nearest routable link, measured whole, among every link of window cells
// (x0, y0)..(x1, y1) of a layer.
double NearestMetres(CMapDatabase& db, int layerIndex, int32_t x0, int32_t y0, int32_t x1,
                     int32_t y1, const MapPoint& probe) {
    namespace payload = formats::chunk_payload;
    double best = kInfinite;
    LinkIterator it;
    if (it.Init(db.layers[layerIndex], x0, y0, x1, y1, 0x1C0, 7) != 0)
        return best;
    const double scale = std::cos(probe.latitude * 3.14159265358979323846 / 180.0);
    for (MapLink* link = it.Next(); link; link = it.Next()) {
        if (!NetworkEnd(link->fromNode) || !NetworkEnd(link->toNode) ||
            (link->attributes & (payload::kKindRoad | payload::kKindCarpool)) == 0)
            continue;
        MapPoint nearest;
        link->NearestPoint(probe.latitude, probe.longitude, &nearest);
        best = std::min(best, std::hypot((nearest.longitude - probe.longitude) * scale,
                                         nearest.latitude - probe.latitude) *
                                  111194.93);
    }
    return best;
}

// Links whose points lie farther than the best answer are passed over unmeasured:
// on roads, at crossings (where links tie at 0 m) and beside them, the answer is
// never farther than the nearest link of the detailed window or of the overview
// cells around the point, every one measured.
TEST_F(SnapTest, NoNearerLinkIsPassedOver) {
    const discmaker::Network& town = GridMapsTown();
    int checked = 0;
    for (uint32_t i = 0; i < town.links.size() && checked < 60; i += 29) {
        if (InPrebuiltRegion(town, town.links[i]))
            continue;
        const std::vector<discmaker::LatLon> points = town.LinkPoints(i);
        const discmaker::LatLon& a = points[0];
        const discmaker::LatLon& b = points[1];
        for (const double offset : {0.0, 0.00003, 0.0004, 0.003}) {
            // At the link's start (a crossing), or beside the middle of its first piece.
            const MapPoint probe =
                offset == 0 ? At(a.lat, a.lon)
                            : At((a.lat + b.lat) / 2 + offset, (a.lon + b.lon) / 2 - offset);
            CMapDatabase db;
            ASSERT_EQ(db.Open(), 0);
            const LinkSnap snap = SnapToNearestLink(db, probe, 1000.0);
            MapLayer& overview = db.layers[0];
            const int32_t column =
                static_cast<int32_t>(overview.FileColumnOf(probe.longitude) - overview.windowX0);
            const int32_t row =
                static_cast<int32_t>(overview.FileRowOf(probe.latitude) - overview.windowY0);
            const MapLayer& detailed = db.layers[kSnapDetailedLayer];
            const double nearest =
                std::min(NearestMetres(db, 0, column - 1, row - 1, column + 1, row + 1, probe),
                         NearestMetres(db, kSnapDetailedLayer, 0, 0, detailed.windowW - 1,
                                       detailed.windowH - 1, probe));
            SCOPED_TRACE("link " + std::to_string(i) + ", offset " + std::to_string(offset));
            if (nearest > 1000.0)
                continue;
            ASSERT_TRUE(snap.Found());
            EXPECT_LE(snap.metres, nearest + 1e-6);
            ++checked;
        }
    }
    EXPECT_GE(checked, 40);
}

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
