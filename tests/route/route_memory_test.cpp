// What the router holds after its routes: nothing once the route is reset, however
// many routes it made, and nothing half-made when memory runs out.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pathlume/foundation/block_pool.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/msgbox.h"
#include "tests/route/route_test_maps.h"

namespace route_test {
namespace {

int ChunksWithSearchState() {
    int count = 0;
    for (const int k : {0, 4, 3}) {
        MapLayer& layer = g_mapDatabase.layers[k];
        if (!layer.directory || layer.windowX0 == kNoWindow)
            continue;
        for (int32_t y = 0; y < layer.cacheH; ++y) {
            for (int32_t x = 0; x < layer.cacheW; ++x) {
                const MapChunk* record = layer.GetChunkRecord(x, y);
                count += record && record->searchSlots ? 1 : 0;
            }
        }
    }
    return count;
}

// The blocks the search pool can still hand out.
int FreeSearchPoolBlocks() {
    std::vector<void*> taken;
    while (void* block = g_blockAllocator2.Alloc())
        taken.push_back(block);
    for (void* block : taken)
        g_blockAllocator2.Free(block);
    return static_cast<int>(taken.size());
}

class RouteMemoryTest : public RouteMapsTest {
  protected:
    void ExpectNothingHeld() {
        EXPECT_EQ(router_->openList.count, 0);
        EXPECT_EQ(router_->parkedList.count, 0);
        EXPECT_EQ(router_->routeList, nullptr);
        EXPECT_EQ(router_->maneuvers, nullptr);
        EXPECT_EQ(router_->startVirtualNode, nullptr);
        EXPECT_EQ(router_->destVirtualNode, nullptr);
        EXPECT_EQ(ChunksWithSearchState(), 0);
        EXPECT_EQ(RouterHeapBlocks(), 0);
    }
};

TEST_F(RouteMemoryTest, AThousandRoutesObeyTheRulesAndLeaveNothingAfterTheReset) {
    const int poolBefore = FreeSearchPoolBlocks();
    platform::ClearMessageBoxes();
    const MapPoint sw = SouthWest(), ne = NorthEast();
    // The mainland: the island holds the south-west corner.
    const MapPoint low{sw.latitude + (ne.latitude - sw.latitude) * 0.55f,
                       sw.longitude + (ne.longitude - sw.longitude) * 0.45f};
    std::mt19937 random(21);
    std::uniform_real_distribution<float> fy(low.latitude, ne.latitude);
    std::uniform_real_distribution<float> fx(low.longitude, ne.longitude);
    int found = 0, broken = 0;
    std::string firstProblem;
    for (int i = 0; i < 1000; ++i) {
        const int method = i % 2 == 0 ? kRouteQuickest : kRouteShortest;
        if (!Route({fy(random), fx(random)}, {fy(random), fx(random)}, method))
            continue;
        if (!(router_->state & kRouterRouteState))
            continue;
        ++found;
        const std::string problem = CheckRouteRules(*router_);
        if (!problem.empty()) {
            ++broken;
            if (firstProblem.empty())
                firstProblem = "route " + std::to_string(i) + ": " + problem;
        }
    }
    EXPECT_GT(found, 900);
    EXPECT_EQ(broken, 0) << firstProblem;
    MapLink guidance{};
    router_->guidanceLinks[0] = router_->guidanceLinks[1] = &guidance;
    router_->ResetRoute(0, 0, 0);
    MapLink* first = &guidance;
    MapLink* second = &guidance;
    static_cast<IRouterServices&>(*router_).GetGuidanceLinks(&first, &second);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second, nullptr);
    ExpectNothingHeld();
    EXPECT_EQ(FreeSearchPoolBlocks(), poolBefore);
}

TEST_F(RouteMemoryTest, ASmallHeapGivesTheMemoryMessageAndNoRoute) {
    const MapPoint sw = SouthWest(), ne = NorthEast();
    const MapPoint from{sw.latitude + (ne.latitude - sw.latitude) * 0.6f,
                        sw.longitude + (ne.longitude - sw.longitude) * 0.5f};
    const MapPoint to{ne.latitude - (ne.latitude - sw.latitude) * 0.05f,
                      ne.longitude - (ne.longitude - sw.longitude) * 0.05f};
    ASSERT_TRUE(SnapEnds(from, to));
    // No page can be committed any more: the heap keeps what it holds and no more.
    platform::SetVirtualAllocFilter([](SIZE_T, DWORD type) { return (type & MEM_COMMIT) == 0; });
    platform::ClearMessageBoxes();
    RouteSnapped(kRouteQuickest);
    platform::SetVirtualAllocFilter({});
    EXPECT_FALSE(router_->state & kRouterRouteState);
    int memoryBoxes = 0, noRouteBoxes = 0;
    for (const platform::ShownMessageBox& box : platform::ShownMessageBoxes()) {
        memoryBoxes += box.text.rfind(u"Insufficient memory to calculate route.", 0) == 0;
        noRouteBoxes += box.text == u"No Route to Destination";
    }
    EXPECT_EQ(memoryBoxes, 1);
    EXPECT_EQ(noRouteBoxes, 0);
    EXPECT_TRUE(router_->lastSearch.outOfMemory);
    ExpectNothingHeld();
    // Memory back: the same route is found.
    platform::ClearMessageBoxes();
    ASSERT_TRUE(Route(from, to, kRouteQuickest));
    EXPECT_TRUE(router_->state & kRouterRouteState);
}

}  // namespace
}  // namespace route_test
