// The matcher on the real roads of Andorra: a noisy drive of 20 km over connected
// roads, and the real trace beside the extract.
#include <gtest/gtest.h>

#include "platform/kernel/roots.h"
#include "tests/position/matcher_fixture.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/mkmaps/mkmaps.h"

namespace position_test {
namespace {

namespace fs = std::filesystem;

class AndorraMatcherTest : public testing_support::RootsTest {};

TEST_F(AndorraMatcherTest, DrivesAndTheRealTraceAreMatchedAlongTheirRoads) {
    const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    const fs::path trace = testing_support::SharedOsmFolder().parent_path() / "traces" /
                           "andorra_for_map_matching.gpx";
    if (!fs::exists(extract) || !fs::exists(trace))
        GTEST_SKIP() << "no " << extract << " or its trace: the shared data folder is absent";
    discmaker::Network andorra = discmaker::ReadOsm(extract, "ON");
    discmaker::BuildDiscs(andorra, roots_.base() / "disc", {});
    std::ostringstream out, err;
    const mkmaps::Figures built =
        mkmaps::Generate({roots_.base() / "disc", roots_.base() / "Maps", {}}, out, err);
    platform::SetCurrentSide(platform::Side::Device);
    ASSERT_TRUE(built.completed) << err.str();
    mapdb_test::SetDataFolder(roots_.base() / "Maps");

    QueuedFeed feed;
    SetFixSource(&feed);
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        CMapMatcher matcher;
        matcher.database = &db;
        g_vehicleLocation = MapLocation{};
        const std::vector<DriveFix> drive = MakeDrive(andorra, 20, 10, 4);
        const DriveFigures figures = RunDrive(matcher, feed, andorra, drive);
        EXPECT_GE(figures.matched, 0.95 * figures.fixes);
        EXPECT_GE(figures.onRoad, 0.90 * (figures.fixes - 5));

        // The real trace, resampled at 10 m a second: matched near its points.
        const std::vector<DriveFix> traced = Resample(ReadGpxTrack(trace), 10);
        ASSERT_GT(traced.size(), 50u);
        matcher.Reset(0);
        size_t matched = 0, near = 0;
        for (const DriveFix& f : traced) {
            feed.Push(f.reported.lat, f.reported.lon, f.headingDegrees);
            const bool ok =
                matcher.Snap(0, 0, 0) == 0 && g_vehicleLocation.link && !g_vehicleLocation.stale;
            matched += ok;
            const MapLocation& at = g_vehicleLocation;
            const double dLat = (at.lat - f.truth.lat) / 2.7411436e-6;
            const double dLon = (at.scaledLon / at.cosLat - f.truth.lon) * at.cosLat / 2.7411436e-6;
            near += ok && std::hypot(dLat, dLon) < 100;  // feet: the trace is drawn by hand
        }
        EXPECT_GE(matched, 0.9 * traced.size());
        EXPECT_GE(near, 0.9 * traced.size());
        matcher.ReleaseHypothesisLinks();
        g_vehicleLocation = MapLocation{};
    }
    SetFixSource(nullptr);
    mapdb_test::SetDataFolder({});
}

}  // namespace
}  // namespace position_test
