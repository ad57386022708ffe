// The map matcher on the built-in town: drives with noise, its edge cases, its
// holds on links across chunk purges, and the route preference.
#include "pathlume/position/map_matcher.h"

#include <gtest/gtest.h>

#include <cmath>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/position/travel_direction.h"
#include "platform/kernel/msgbox.h"
#include "tests/position/matcher_fixture.h"

namespace position_test {
namespace {

TEST(MatcherScoringTest, SegmentsScoreDistanceDirectionAndOneWayRules) {
    CMapMatcher m;
    m.pointX = 1;
    m.pointY = 1;
    m.step2 = 4;
    m.moveX = 2;  // moving east
    m.moveY = 0;
    FLOAT fx = 0, fy = 0;
    // Along an east-west segment nothing of the movement lies across it.
    EXPECT_FLOAT_EQ(m.ScoreSegment(0, 0, 4, 0, &fx, &fy), 1);
    EXPECT_FLOAT_EQ(m.crossTerm, 0);
    EXPECT_FLOAT_EQ(fx, 1);
    // Across a north-south one all of it does.
    EXPECT_FLOAT_EQ(m.ScoreSegment(0, 0, 0, 4, &fx, &fy), 1);
    EXPECT_FLOAT_EQ(m.crossTerm, 4);
    // A segment of no length: its start and the distance to it, and a finite cross
    // term (all of the movement across).
    EXPECT_FLOAT_EQ(m.ScoreSegment(3, 1, 3, 1, &fx, &fy), 4);
    EXPECT_EQ(fx, 3);
    EXPECT_EQ(fy, 1);
    EXPECT_FLOAT_EQ(m.crossTerm, 4);

    const struct {
        int noBackward, noForward;
        FLOAT x1, x2;  // segment from x1 to x2 along y = 0
        FLOAT penalty;
    } cases[] = {
        {1, 0, 4, 0, 10},  // 0x10: moving against the link's direction
        {1, 0, 0, 4, 0},   // 0x10: with it
        {0, 1, 0, 4, 10},  // 0x20: the link runs the other way
        {0, 0, 4, 0, 0},   // two-way
    };
    for (const auto& c : cases) {
        m.noBackward = c.noBackward;
        m.noForward = c.noForward;
        EXPECT_FLOAT_EQ(m.ScoreSegment(c.x1, 0, c.x2, 0, &fx, &fy), 1 + c.penalty)
            << c.noBackward << c.noForward << " " << c.x1;
    }
}

class MatcherSettingsTest : public testing_support::RootsTest {};

TEST_F(MatcherSettingsTest, RegistryValuesAreClampedAndAZeroDenominatorTakesTheDefault) {
    const struct {
        DWORD numDist;
        int32_t used;
    } cases[] = {{0, 1}, {1, 1}, {5, 5}, {10, 10}, {25, 10}};
    for (const auto& c : cases) {
        ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"NumDist", c.numDist), 0);
        CMapMatcher m;
        EXPECT_EQ(m.numDist, 10) << "the constructor reads no registry";
        m.LoadSettings();
        EXPECT_EQ(m.numDist, c.used) << c.numDist;
    }
    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ErrNormDenominator", 0), 0);
    CMapMatcher m;
    m.LoadSettings();
    EXPECT_FLOAT_EQ(m.ratio, 0.2f);
    EXPECT_NEAR(m.beta, 0.73394f, 1e-5);
    EXPECT_FLOAT_EQ(m.angleWeight, 5.0f);
}

// Drives of 20 km and more over the town's connected roads, one fix a second with
// up to 10 m of noise: nearly every fix is matched, onto the driven road.
TEST_F(MatcherTest, NoisyDrivesAreMatchedOntoTheDrivenRoads) {
    const auto& town = mapdb_test::GridMapsTown();
    for (uint32_t seed : {1u, 2u}) {
        const std::vector<DriveFix> drive = MakeDrive(town, 20, 10, seed);
        ASSERT_GT(drive.size(), 500u);
        const DriveFigures figures = RunDrive(matcher_, feed_, town, drive);
        EXPECT_GE(figures.matched, 0.95 * drive.size()) << "seed " << seed;
        EXPECT_GE(figures.onRoad, 0.90 * (drive.size() - 5)) << "seed " << seed;
        matcher_.Reset(0);
    }
}

// The layer-2 window moving far away frees the chunks the hypotheses' plain links
// lie in; the matcher finds them again (run under the sanitizers to see the reads).
TEST_F(MatcherTest, HypothesesFollowChunkPurgesAndReloads) {
    const auto& town = mapdb_test::GridMapsTown();
    const std::vector<DriveFix> drive = MakeDrive(town, 3, 5, 7);
    MapLayer& small = db_.layers[2];
    const MapPoint farAway{small.south + 0.001f, small.west + 0.001f};
    int matched = 0;
    for (size_t i = 0; i < drive.size(); ++i) {
        if (i % 20 == 10) {
            const uint32_t before = g_mapStorageGeneration;
            db_.LoadArea(2, farAway, small.header.cellWidth, small.header.cellHeight, 0, 0, true,
                         true);
            ASSERT_NE(g_mapStorageGeneration, before) << "the window move freed nothing";
        }
        const DriveFix& f = drive[i];
        matched += SnapFix(f.reported.lat, f.reported.lon, f.headingDegrees) == 0 &&
                   g_vehicleLocation.link && !g_vehicleLocation.stale;
        ExpectHypothesesSound();
    }
    EXPECT_GE(matched, 0.9 * drive.size());
}

TEST_F(MatcherTest, StandingStillJumpsAndNoMatchWhileDrawing) {
    const auto& town = mapdb_test::GridMapsTown();
    const std::vector<DriveFix> drive = MakeDrive(town, 1, 0, 3);
    const DriveFix& f = drive[10];
    ASSERT_EQ(SnapFix(f.truth.lat, f.truth.lon, f.headingDegrees), 0);
    ASSERT_EQ(SnapFix(f.truth.lat, f.truth.lon, f.headingDegrees), 0);
    // Standing still: the step is raised to 7.33 ft.
    EXPECT_FLOAT_EQ(matcher_.step2, matcher_.minStep2);
    EXPECT_NE(matcher_.link[matcher_.numDist - 1], nullptr);

    // A fix of the drive more than 1,875 ft on: every hypothesis goes and the search
    // starts afresh, so the best bias is the new offset's share alone.
    const DriveFix* far = nullptr;
    for (const DriveFix& g : drive) {
        const double dLat = (g.truth.lat - f.truth.lat) / 2.7411436e-6;
        const double dLon =
            (g.truth.lon - f.truth.lon) * std::cos(f.truth.lat * 0.017453292) / 2.7411436e-6;
        if (std::hypot(dLat, dLon) > 1900) {
            far = &g;
            break;
        }
    }
    ASSERT_NE(far, nullptr);
    const double north = far->truth.lat;
    ASSERT_EQ(SnapFix(far->truth.lat, far->truth.lon, far->headingDegrees), 0);
    const int last = matcher_.numDist - 1;
    ASSERT_NE(matcher_.link[last], nullptr);
    const FLOAT x = static_cast<FLOAT>(far->truth.lon) * g_vehicleLocation.cosLat;
    EXPECT_FLOAT_EQ(matcher_.biasX[last], (matcher_.footX[last] - x) * matcher_.ratio);
    EXPECT_LT(MetresFromLink(town, far->link, MatchedPoint()), 1.0);

    // While the map is drawn nothing is matched and the fix stays queued; with
    // Options2 bit 31 a box says so.
    platform::ClearMessageBoxes();
    g_mapRendering = 1;
    g_options2 = 0x80000000;
    EXPECT_EQ(SnapFix(north, far->truth.lon, 0), 1);
    EXPECT_EQ(feed_.fixes.size(), 1u);
    ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(platform::ShownMessageBoxes()[0].text, u"Snap during DrawMemDC");
    g_mapRendering = 0;
    g_options2 = 0;
    EXPECT_EQ(matcher_.SnapWithTimeout(300), 1);  // the queue runs dry
    EXPECT_TRUE(feed_.fixes.empty());

    // The position hold stops everything at once.
    feed_.hold = true;
    EXPECT_EQ(SnapFix(north, far->truth.lon, 0), 1);
    EXPECT_EQ(feed_.fixes.size(), 1u);
    feed_.hold = false;

    // Outside the map: nothing written.
    const MapPoint before = g_vehicleLocation.position;
    feed_.fixes.clear();
    EXPECT_EQ(SnapFix(10.0, 10.0, 0), 1);
    EXPECT_EQ(g_vehicleLocation.position.latitude, before.latitude);
}

// A router holding a route whose guidance link is a runner-up near the best: the
// vehicle is held on the route link. The matcher reads only the guidance links'
// ids, so the router hands out stand-ins carrying them.
class GuidanceRouter final : public IRouterServices {
  public:
    void SetStateBits(uint32_t bits) override { state |= bits; }
    uint32_t GetState() override { return state; }
    void ApplyAvoidMarks(MapChunk&) override {}
    void GetGuidanceLinks(MapLink** first, MapLink** second) override {
        guidance1.linkId = guidance1Id;
        *first = guidance1Id != kDeadLinkId ? &guidance1 : nullptr;
        *second = nullptr;
    }
    uint32_t state = kRouterRoutePresent;
    int32_t guidance1Id = kDeadLinkId;
    MapLink guidance1{};
};

TEST_F(MatcherTest, ARouteLinkNearlyAsGoodAsTheBestIsPreferred) {
    const auto& town = mapdb_test::GridMapsTown();
    const std::vector<DriveFix> drive = MakeDrive(town, 2, 0, 11);
    matcher_.routeAdjOnlyHwy = 0;
    GuidanceRouter router;
    SetRouterServices(&router);
    int held = 0, tried = 0;
    for (size_t i = 0; i < drive.size(); ++i) {
        const DriveFix& f = drive[i];
        const int last = matcher_.numDist - 1;
        // The guidance link: the best runner-up of the last fix other than the
        // matched link itself.
        router.guidance1Id = kDeadLinkId;
        for (int k = last - 1; k >= 0 && router.guidance1Id == kDeadLinkId; --k) {
            const MapLink* l = matcher_.link[k];
            if (l && g_vehicleLocation.link && l->linkId != g_vehicleLocation.linkId)
                router.guidance1Id = l->linkId;
        }
        matcher_.routeSnap = 0;
        SnapFix(f.truth.lat, f.truth.lon, f.headingDegrees);
        if (router.guidance1Id == kDeadLinkId || !g_vehicleLocation.link)
            continue;
        ++tried;
        if (matcher_.routeSnap) {
            ++held;
            EXPECT_EQ(g_vehicleLocation.linkId, router.guidance1Id);
        }
    }
    SetRouterServices(nullptr);
    EXPECT_GT(tried, 10);
    EXPECT_GT(held, 0);
}

}  // namespace
}  // namespace position_test
