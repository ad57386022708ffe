// The receiver joined to the map matcher: the fixes it queues are matched with their
// own heading, and what the map database, the router and guidance ask of positioning
// reaches g_mapMatcher and g_travelDirection.
#include <gtest/gtest.h>

#include <bit>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/position_services.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/travel_direction.h"
#include "pathlume/route/positioning_services.h"
#include "tests/position/matcher_fixture.h"

namespace position_test {
namespace {

class ReceiverMatcherTest : public MatcherTest {
  protected:
    void SetUp() override {
        MatcherTest::SetUp();
        g_positionQueue.Clear();
        g_positionQueue.SetLastSpeed(5.0f);
        g_positionHold.store(0);
        g_mapMatcher.database = &db_;
        g_mapMatcher.Reset(0);
    }
    void TearDown() override {
        g_mapMatcher.ReleaseHypothesisLinks();
        g_mapMatcher.database = nullptr;
        g_positionQueue.Clear();
        MatcherTest::TearDown();
    }
};

TEST_F(ReceiverMatcherTest, QueuedFixesAreMatchedWithTheirOwnHeading) {
    const std::vector<DriveFix> drive = MakeDrive(mapdb_test::GridMapsTown(), 1, 0, 3);
    ASSERT_GT(drive.size(), 30u);
    CNmeaReceiver receiver;
    EXPECT_EQ(&GetFixSource(), static_cast<IFixSource*>(&receiver));

    // Two fixes queued before the matcher runs: the first is matched with its heading,
    // not with the one the receiver has gone on to.
    std::vector<DriveFix> two = {drive[10], drive[11]};
    two[0].headingDegrees = 45;
    two[1].headingDegrees = 225;
    const std::string nmea = DriveAsNmea(two);
    receiver.FrameBytes(nmea.data(), nmea.size());
    ASSERT_EQ(g_positionQueue.Count(), 2);
    EXPECT_FLOAT_EQ(receiver.GetFix().headingDegrees, 225);
    g_mapMatcher.Snap(0, 0, 0);
    EXPECT_FLOAT_EQ(g_vehicleLocation.matcherValue, 45);
    EXPECT_FLOAT_EQ(receiver.FixHeading(), 45);
    QueuedPosition popped;
    ASSERT_TRUE(receiver.LastPoppedFix(&popped));
    EXPECT_FLOAT_EQ(popped.latitude, static_cast<FLOAT>(two[0].reported.lat));

    // The drive on, matched as the main view does: SnapWithTimeout through the
    // positioning interface.
    IPositioningServices& positioning = GetPositioningServices();
    IPositionServices& position = GetPositionServices();
    int matched = 0;
    for (size_t i = 12; i < 30; ++i) {
        const std::string fix = DriveAsNmea({drive[i]}, static_cast<int>(i));
        receiver.FrameBytes(fix.data(), fix.size());
        positioning.SnapWithTimeout(300, 0);
        EXPECT_EQ(g_positionQueue.Count(), 0);
        matched += g_vehicleLocation.link && !g_vehicleLocation.stale;
    }
    EXPECT_GE(matched, 17);
    ASSERT_NE(g_vehicleLocation.link, nullptr);
    // The matched position reaches the copy the GPS threads read, and Close of a live
    // source saves it as the last position.
    const MapPoint shared = g_vehicleLocation.SharedPosition();
    EXPECT_EQ(shared.latitude, g_vehicleLocation.position.latitude);
    EXPECT_EQ(shared.longitude, g_vehicleLocation.position.longitude);
    receiver.SaveLastPosition(nullptr);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, 0),
              std::bit_cast<DWORD>(shared.latitude));
    EXPECT_TRUE(position.HasHypothesisLink(g_vehicleLocation.link));
    EXPECT_FALSE(position.HasHypothesisLink(nullptr));
    // Moving along the road: a direction, the same both interfaces tell.
    const TravelDirection travel = positioning.UpdateTravelDirection();
    EXPECT_NE(travel, kTravelUnknown);
    EXPECT_EQ(position.GetTravelDirection(), travel);

    // The resets of the map database and of the router drop the hypotheses.
    position.ResetMatcher();
    EXPECT_FALSE(position.HasHypothesisLink(g_vehicleLocation.link));
    const std::string fix = DriveAsNmea({drive[30]}, 30);
    receiver.FrameBytes(fix.data(), fix.size());
    positioning.SnapWithTimeout(300, 0);
    ASSERT_NE(g_mapMatcher.link[g_mapMatcher.numDist - 1], nullptr);
    positioning.ResetMatcher(0);
    EXPECT_EQ(g_mapMatcher.link[g_mapMatcher.numDist - 1], nullptr);

    // While positions are held nothing is matched and the queue stays.
    const std::string next = DriveAsNmea({drive[31]}, 31);
    receiver.FrameBytes(next.data(), next.size());
    g_positionHold.store(1);
    EXPECT_TRUE(receiver.PositionHold());
    EXPECT_EQ(positioning.SnapWithTimeout(300, 0), 1);
    EXPECT_EQ(g_positionQueue.Count(), 1);
    g_positionHold.store(0);
}

TEST_F(ReceiverMatcherTest, OnlyTheLivingReceiverIsTheFixSource) {
    {
        CNmeaReceiver receiver;
        EXPECT_EQ(&GetFixSource(), static_cast<IFixSource*>(&receiver));
        EXPECT_FALSE(receiver.IsReplaying());
        QueuedPosition none;
        EXPECT_FALSE(receiver.LastPoppedFix(&none));
    }
    QueuedFix fix;
    EXPECT_EQ(GetFixSource().PopFix(&fix), 1);
    EXPECT_FALSE(GetFixSource().FixValid());
}

}  // namespace
}  // namespace position_test
