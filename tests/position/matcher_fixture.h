// The matcher's tests: a feed of fixes the test queues, the grid maps of the
// built-in town opened in a database the matcher works on, and drives along the
// town's connected roads with seeded noise.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <random>
#include <vector>

#include "pathlume/mapdb/map_database.h"
#include "pathlume/position/fix_source.h"
#include "pathlume/position/map_matcher.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/position/drives.h"
#include "tools/discmaker/network.h"

namespace position_test {

class QueuedFeed final : public IFixSource {
  public:
    int PopFix(QueuedFix* fix) override {
        if (fixes.empty())
            return 1;
        *fix = fixes.front();
        fixes.pop_front();
        return 0;
    }
    FLOAT FixHeading() override { return heading; }
    FLOAT FixSpeedMph() override { return speedMph; }
    bool FixValid() override { return valid; }
    QueuedFix FixPosition() override { return position; }
    bool IsReplaying() override { return replaying; }
    bool PositionHold() override { return hold; }

    void Push(double latitude, double longitude, double headingDegrees, double mph = 30) {
        fixes.push_back({static_cast<FLOAT>(latitude), static_cast<FLOAT>(longitude)});
        heading = static_cast<FLOAT>(headingDegrees);
        speedMph = static_cast<FLOAT>(mph);
    }

    std::deque<QueuedFix> fixes;
    FLOAT heading = 0;
    FLOAT speedMph = 0;
    bool valid = true;
    QueuedFix position;
    bool replaying = false;
    bool hold = false;
};

// What a drive gave: fixes matched (Snap 0, a current link), and after the first
// five, those whose matched point lies on the driven link.
struct DriveFigures {
    size_t fixes = 0;
    size_t matched = 0;
    size_t onRoad = 0;
};
DriveFigures RunDrive(CMapMatcher& matcher, QueuedFeed& feed, const discmaker::Network& town,
                      const std::vector<DriveFix>& drive);

class MatcherTest : public mapdb_test::GridMapsTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Queues the fix and snaps it as the main view does; the Snap result.
    int SnapFix(double latitude, double longitude, double headingDegrees, double mph = 30);
    // The matched point of g_vehicleLocation as latitude and longitude.
    static discmaker::LatLon MatchedPoint();
    // Every hypothesis link named once, and every counted one held.
    void ExpectHypothesesSound() const;

    // Closed at TearDown, which then checks that no map block is left: every hold the
    // matcher and the location took was given back.
    std::optional<CMapDatabase> dbStorage_;
    CMapDatabase& db_ = dbStorage_.emplace();
    CMapMatcher matcher_;
    QueuedFeed feed_;
};

}  // namespace position_test
