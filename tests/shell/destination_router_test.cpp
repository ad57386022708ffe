#include <gtest/gtest.h>

#include <cstring>

#include "formats/link_info.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/router.h"
#include "pathlume/search/dest_record_actions.h"
#include "platform/kernel/msgbox.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"
#include "tests/shell/town_route.h"

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

namespace shell_test {
namespace {

class StoredLinkTest : public DestinationRouterTest {};

// A place on a crossing street's link, near the node where the record's own link
// meets it: the record's stored link decides, not the nearest road.
struct Corner {
    int32_t ownId = 0;
    uint32_t cellWord = 0;
    MapPoint place;
    int32_t crossingId = 0;
};

bool FindCorner(Corner& corner) {
    const LinkSnap snap = SnapToNearestLink(g_mapDatabase, TownPoint(0.45, 0.4), 1000.0);
    if (!snap.Found())
        return false;
    LinkInfoRecord own;
    if (g_linkInfo.ReadRecord(snap.link->linkId, own, true) != 0)
        return false;
    for (MapNode* node : {snap.link->fromNode, snap.link->toNode}) {
        for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
            MapLink* other = node->Slots()[s];
            LinkInfoRecord crossing;
            if (!other || other == snap.link ||
                g_linkInfo.ReadRecord(other->linkId, crossing, true) != 0 ||
                crossing.ItemCount() < 1 || crossing.firstItem.name == own.firstItem.name)
                continue;
            const MapNode* far = other->fromNode == node ? other->toNode : other->fromNode;
            const MapPoint& at = node->position;
            corner = {snap.link->linkId,
                      own.cellWord,
                      {at.latitude + (far->position.latitude - at.latitude) * 0.2f,
                       at.longitude + (far->position.longitude - at.longitude) * 0.2f},
                      other->linkId};
            return true;
        }
    }
    return false;
}

TEST_F(StoredLinkTest, ACornerRecordRoutesAlongItsOwnLinkUnlessItsNumberIsNotThere) {
    Corner corner;
    ASSERT_TRUE(FindCorner(corner)) << "no crossing street at the snapped link";
    DestRecord record;
    ASSERT_TRUE(record.Set(corner.place.latitude, corner.place.longitude,
                           static_cast<DWORD>(corner.ownId), corner.cellWord, 0, "", "Corner",
                           "Town", nullptr));
    EXPECT_NE(FindRecordLink(g_mapDatabase, record, kRecordRouteLayer, false), nullptr);
    EXPECT_EQ(record.RouteTo(), 0);
    ASSERT_NE(g_router->request.link, nullptr);
    EXPECT_EQ(g_router->request.link->linkId, corner.ownId);

    // A number the link does not carry: the stored link is not taken.
    DestRecord wrong;
    ASSERT_TRUE(wrong.Set(corner.place.latitude, corner.place.longitude,
                          static_cast<DWORD>(corner.ownId), corner.cellWord, 0, "999999", "Corner",
                          "Town", nullptr));
    EXPECT_EQ(FindRecordLink(g_mapDatabase, wrong, kRecordRouteLayer, false), nullptr);
    // A link that is gone: the nearest road is routed to and remembered.
    DestRecord gone;
    ASSERT_TRUE(gone.Set(corner.place.latitude, corner.place.longitude, 12345, corner.cellWord, 0,
                         "", "Corner", "Town", nullptr));
    EXPECT_EQ(gone.RouteTo(), 0);
    EXPECT_EQ(gone.linkId, static_cast<DWORD>(corner.crossingId));
}

}  // namespace
}  // namespace shell_test
