// The route list over the built-in town: entries that name the link by which the
// route leaves each node, the route's links marked, and back-links that run in a
// circle ending the build instead of the program.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/route/route_list.h"
#include "platform/kernel/msgbox.h"
#include "tests/route/route_test_maps.h"

namespace route_test {
namespace {

class RouteListTest : public RouteMapsTest {
  protected:
    void RouteAcross() {
        const MapPoint sw = SouthWest(), ne = NorthEast();
        const FLOAT lat = sw.latitude + (ne.latitude - sw.latitude) * 0.6f;
        ASSERT_TRUE(
            Route({lat, sw.longitude + 0.012f}, {lat, ne.longitude - 0.012f}, kRouteQuickest));
        ASSERT_TRUE(router_->state & kRouterRouteState);
        ASSERT_GE(router_->routeCount, 3);
    }
};

TEST_F(RouteListTest, EntriesLeaveByTheirLinksAndTheLinksAreMarked) {
    RouteAcross();
    FLOAT between = 0;
    for (int32_t i = 0; i < router_->routeCount; ++i) {
        const RouteEntry& entry = router_->routeList[i];
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_TRUE(entry.nodeRef & RouteEntry::kRoutingLevel);
        const MapNode* node = ResolveNodeRef(entry);
        ASSERT_NE(node, nullptr);
        const MapLink* link = node->Slots()[entry.Slot()];
        EXPECT_EQ(link->attributes, entry.attributes);
        EXPECT_EQ((entry.nodeRef & RouteEntry::kFlaggedLink) != 0,
                  (link->shapeInfo & kShapeMajorRoad) != 0);
        EXPECT_TRUE(link->shapeInfo & kShapeOnRoute);
        if (i + 1 < router_->routeCount)
            between += link->Length();
    }
    EXPECT_FLOAT_EQ(router_->routeLength,
                    router_->startPartLength + between + router_->destPartLength);
    // A reset takes the marks off again.
    std::vector<std::pair<const MapNode*, uint32_t>> marked;
    for (int32_t i = 0; i < router_->routeCount; ++i)
        marked.push_back({ResolveNodeRef(router_->routeList[i]), router_->routeList[i].Slot()});
    router_->FreeRouteList();
    for (const auto& [node, slot] : marked)
        EXPECT_FALSE(node->Slots()[slot]->shapeInfo & kShapeOnRoute);
}

// Back-links through two real nodes that point at each other: the build fails,
// silently unless the diagnostic checks are on, and marks nothing.
TEST_F(RouteListTest, BackLinksInACircleFailTheBuild) {
    RouteAcross();
    const MapNode* node = ResolveNodeRef(router_->routeList[0]);
    MapLink* link = node->Slots()[router_->routeList[0].Slot()];
    // A node that is no end of the link leaves it by its from-node.
    MapNode* first = link->fromNode;
    MapNode* second = link->toNode;
    ASSERT_TRUE(first && second);
    const uint32_t atFirst = link->FromSlot();
    const uint32_t atSecond = link->ToSlot();
    router_->FreeRouteList();
    router_->FreeManeuvers();

    // A start node whose one slot holds the link, and search states of our own.
    std::vector<BYTE> startBytes(MapNode::StorageSize(1, 0));
    auto* start = reinterpret_cast<MapNode*>(startBytes.data());
    start->slotCount = 1;
    start->Slots()[0] = link;
    NodeSearchState startState[1]{}, firstState[16]{}, secondState[16]{};
    startState[0].bytes[0] = static_cast<BYTE>(atFirst);
    firstState[atFirst].bytes[0] = static_cast<BYTE>(atSecond);
    secondState[atSecond].bytes[0] = static_cast<BYTE>(atFirst);
    start->searchState = startState;
    NodeSearchState* const firstSaved = first->searchState;
    NodeSearchState* const secondSaved = second->searchState;
    first->searchState = firstState;
    second->searchState = secondState;
    MapNode destination{};
    router_->startVirtualNode = start;
    router_->requiredStartSlot = 0;
    router_->destVirtualNode = &destination;
    const uint16_t shapeWord = link->shapeInfo;
    link->shapeInfo &= static_cast<uint16_t>(~kShapeOnRoute);

    platform::ClearMessageBoxes();
    EXPECT_EQ(router_->BuildRouteList(), 1);
    EXPECT_EQ(router_->routeList, nullptr);
    EXPECT_EQ(router_->routeCount, 0);
    EXPECT_FALSE(link->shapeInfo & kShapeOnRoute);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());

    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options2", 0x80000000);
    EXPECT_EQ(router_->BuildRouteList(), 1);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"BUILDROUTELIST ERROR 1");

    first->searchState = firstSaved;
    second->searchState = secondSaved;
    link->shapeInfo = shapeWord;
    router_->startVirtualNode = nullptr;
    router_->destVirtualNode = nullptr;
}

TEST_F(RouteListTest, KeysNameALinkThatResolvesAgain) {
    RouteAcross();
    const RouteEntry& entry = router_->routeList[router_->routeCount / 2];
    const MapNode* node = ResolveNodeRef(entry);
    const MapLink* link = node->Slots()[entry.Slot()];
    RouteEntry key{};
    ASSERT_TRUE(LinkKeyOf(link, &key));
    const MapNode* from = ResolveNodeRef(key);
    ASSERT_EQ(from, link->fromNode);
    EXPECT_EQ(from->Slots()[key.Slot()], link);
    EXPECT_FALSE(LinkKeyOf(nullptr, &key));
}

}  // namespace
}  // namespace route_test
