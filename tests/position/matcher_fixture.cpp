#include "tests/position/matcher_fixture.h"

#include <cmath>
#include <map>
#include <numbers>

#include "pathlume/position/travel_direction.h"
#include "tests/support/vehicle_holds.h"

namespace position_test {

DriveFigures RunDrive(CMapMatcher& matcher, QueuedFeed& feed, const discmaker::Network& town,
                      const std::vector<DriveFix>& drive) {
    DriveFigures figures;
    figures.fixes = drive.size();
    for (size_t i = 0; i < drive.size(); ++i) {
        const DriveFix& f = drive[i];
        feed.Push(f.reported.lat, f.reported.lon, f.headingDegrees);
        const int result = matcher.Snap(0, 0, 0);
        const MapLocation& at = g_vehicleLocation;
        const bool ok = result == 0 && at.link && !at.stale;
        figures.matched += ok;
        if (i >= 5 && ok) {
            const discmaker::LatLon point{at.lat, at.scaledLon / at.cosLat};
            figures.onRoad += MetresFromLink(town, f.link, point) < 3.0;
        }
    }
    return figures;
}

void MatcherTest::SetUp() {
    GridMapsTest::SetUp();
    ASSERT_EQ(db_.Open(), 0);
    matcher_.database = &db_;
    g_vehicleLocation = MapLocation{};
    g_travelDirection = CTravelDirection{};
    SetFixSource(&feed_);
}

void MatcherTest::TearDown() {
    testing_support::ForgetVehicle(matcher_);
    g_travelDirection = CTravelDirection{};
    SetFixSource(nullptr);
    dbStorage_.reset();
    ExpectNothingLeaked();
    GridMapsTest::TearDown();
}

int MatcherTest::SnapFix(double latitude, double longitude, double headingDegrees, double mph) {
    feed_.Push(latitude, longitude, headingDegrees, mph);
    return matcher_.Snap(0, 0, 0);
}

discmaker::LatLon MatcherTest::MatchedPoint() {
    const MapLocation& at = g_vehicleLocation;
    return {at.lat, at.cosLat != 0 ? at.scaledLon / at.cosLat : 0};
}

void MatcherTest::ExpectHypothesesSound() const {
    for (int i = 0; i < matcher_.numDist; ++i) {
        const MapLink* l = matcher_.link[i];
        if (!l)
            continue;
        for (int j = i + 1; j < matcher_.numDist; ++j)
            EXPECT_NE(l, matcher_.link[j]) << "slots " << i << " and " << j;
        if (l->flags & kLinkCounted) {
            EXPECT_TRUE(l->flags & kLinkHeld) << "slot " << i;
        }
    }
}

}  // namespace position_test
