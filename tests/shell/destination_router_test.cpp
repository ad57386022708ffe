#include <gtest/gtest.h>

#include <cstring>

#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/route/router.h"
#include "platform/kernel/msgbox.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {
namespace {

class DestinationRouterTest : public AppTest {
  protected:
    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
        ASSERT_TRUE(Start());
        Pump();
    }
    void TearDown() override { Close(); }
    int RecentCount() {
        WCHAR path[MAX_PATH] = {};
        CDestList list;
        list.path = FormatDataFilePath(kListRecent, path);
        list.Load(0, 0);
        return static_cast<int>(list.records.size());
    }
};

TEST_F(DestinationRouterTest, RoutesToAStoredPlaceOnTheMapAndRemembersIt) {
    IDestinationRouter* router = GetDestinationRouter();
    ASSERT_NE(router, nullptr);
    EXPECT_FALSE(router->IsDetourActive());
    const discmaker::LatLon place = route_test::RouteTown().nodes[10].position;
    DestRecord record;
    ASSERT_TRUE(record.Set(static_cast<FLOAT>(place.lat), static_cast<FLOAT>(place.lon), 0, 0, 0,
                           "", "A place", "Town", nullptr));
    EXPECT_EQ(record.RouteTo(), 0);
    EXPECT_NE(record.linkId, 0u);
    EXPECT_EQ(RecentCount(), 1);
}

TEST_F(DestinationRouterTest, PlaceFarFromEveryRoadSaysSoAndIsNotRemembered) {
    DestRecord record;
    ASSERT_TRUE(record.Set(-40.0f, 170.0f, 0, 0, 0, "", "Nowhere", nullptr, nullptr));
    // Answered as a message box, the warning is on record without a drawn box to tap.
    platform::UseDrawnMessageBox(false);
    platform::ClearMessageBoxes();
    EXPECT_EQ(record.RouteTo(), 1);
    const std::vector<platform::ShownMessageBox> shown = platform::ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, u"No Route to Destination");
    EXPECT_EQ(RecentCount(), 0);
}

}  // namespace
}  // namespace shell_test
