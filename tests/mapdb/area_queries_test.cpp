// Areas loaded around a point and links found by id in them, on device files of the
// built-in town made by the real generation chain.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;

class AreaQueriesTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        discmaker::BuildOptions options;
        options.layout.maxNodesPerDetailedCell = 30;
        options.layout.maxNodesPerOverviewCell = 200;
        discmaker::Network town = discmaker::BuildTown(9, 2000);
        discmaker::BuildDiscs(town, roots_.base() / "disc", options);
        std::ostringstream out, err;
        const mkmaps::Figures figures =
            mkmaps::Generate({roots_.base() / "disc", roots_.base() / "Maps", {}}, out, err);
        platform::SetCurrentSide(platform::Side::Device);
        ASSERT_TRUE(figures.completed) << err.str();
        const std::u16string text = platform::HostPathText(roots_.base() / "Maps") + u"/";
        std::copy(text.begin(), text.end(), g_dataFolder);
        g_dataFolder[text.size()] = 0;
        baseline_ = mapdb_test::StreamReadyBaseline();
    }
    void TearDown() override { g_dataFolder[0] = 0; }

    // The live links of every loaded chunk of a layer, sc and side links.
    template <typename F>
    static void ForEachLink(MapLayer& layer, F f) {
        for (int32_t y = 0; y < layer.windowH; ++y) {
            for (int32_t x = 0; x < layer.windowW; ++x) {
                MapChunk* record = layer.GetChunkRecord(x, y);
                if (!record || !record->IsLoaded())
                    continue;
                for (uint32_t i = 0; i < record->header.scLinkCount; ++i)
                    f(record->links[i]);
                for (ChunkLevel* level : record->levels) {
                    for (uint32_t i = 0; level && i < level->linkCount; ++i)
                        f(level->links[i]);
                }
            }
        }
    }

    long baseline_ = 0;
};

TEST_F(AreaQueriesTest, LinksAreFoundByIdNearAPoint) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        const MapPoint centre{(db.layers[3].south + db.layers[3].north) / 2,
                              (db.layers[3].west + db.layers[3].east) / 2};
        // A layer that never had a window answers null without reading anything.
        EXPECT_EQ(db.FindLink(4, centre, 1, 0, 0), nullptr);

        ASSERT_EQ(db.LoadAreaGrowing(3, centre, 0.01f), 0);
        MapLayer& layer = db.layers[3];
        EXPECT_TRUE(layer.ContainsPoint(centre.latitude, centre.longitude));
        EXPECT_GT(db.refTotal[1], 0);

        int checked = 0, far = 0, borders = 0;
        ForEachLink(layer, [&](MapLink& link) {
            if (link.IsDead() || link.linkId < 0 || (link.attributes & kAttrClassMask) > 0x140)
                return;
            const MapPoint at = link.fromNode->position;
            MapLink* found = db.FindLink(3, at, link.linkId, 0, 0);
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(found->linkId, link.linkId);
            if (checked++ % 7 == 0) {
                found = db.FindLink(3, at, link.linkId, 4, 0);
                ASSERT_NE(found, nullptr);
                EXPECT_EQ(found->linkId, link.linkId);
            }
            // An end on a border node (a neighbour not loaded) fails its end test.
            for (int end = 1; end <= 2; ++end) {
                const MapNode* node = end == 1 ? link.fromNode : link.toNode;
                if (node->slotCount != MapNode::kSingleSlot)
                    continue;
                ++borders;
                MapLink* tested = db.FindLink(3, at, link.linkId, 0, end);
                EXPECT_TRUE(tested == nullptr || tested != &link);
            }
            // 1,500 feet west of an end that lies just east of its cell's west edge:
            // the 2,000-foot box must reach that cell, however far north the map is.
            const MapPoint end = link.toNode->position;
            const double cellWest =
                layer.windowWest +
                std::floor((end.longitude - layer.windowWest) / layer.header.cellWidth) *
                    layer.header.cellWidth;
            const double c = std::cos(end.latitude * 0.017453292);
            const double west = 1500 * 2.7411436e-6 / c;
            if (end.longitude - cellWest < 0.001 && end.longitude - west > layer.windowWest) {
                ++far;
                found =
                    db.FindLink(3, MapPoint{end.latitude, static_cast<FLOAT>(end.longitude - west)},
                                link.linkId, 0, 0);
                ASSERT_NE(found, nullptr);
                EXPECT_EQ(found->linkId, link.linkId);
            }
        });
        EXPECT_GT(checked, 50);
        EXPECT_GT(far, 0);
        EXPECT_GT(borders, 0);
        EXPECT_EQ(db.FindLink(3, centre, 0x7FFFFFF0, 0, 0), nullptr);
        EXPECT_EQ(db.FindLink(3, centre, 0, 0, 3), nullptr);  // no such end test
    }
    InflateArena::Init(InflateArena::kInitialBlockSize);
    EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
}

TEST_F(AreaQueriesTest, GrowingAreasEndAndCountedLinksFindTheirTwin) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        const MapPoint centre{(db.layers[3].south + db.layers[3].north) / 2,
                              (db.layers[3].west + db.layers[3].east) / 2};
        // Far north the longitude factor is tiny: one pass, and it ends.
        EXPECT_EQ(db.LoadAreaGrowing(4, MapPoint{89.99f, centre.longitude}, 0.001f), 0);
        EXPECT_EQ(db.LoadAreaGrowing(4, centre, 0.0f), 0);

        // A counted copy of an overview link, as a holder keeps it, is replaced by the
        // overview's own record of that id; a plain link is left alone.
        ASSERT_EQ(db.LoadAreaGrowing(3, centre, 0.01f), 0);
        MapLink* overviewLink = nullptr;
        ForEachLink(db.layers[0], [&](MapLink& link) {
            if (!overviewLink && !link.IsDead() && link.linkId >= 0 &&
                (link.attributes & kAttrClassMask) <= 0xC0 &&
                db.layers[3].ContainsPoint(link.fromNode->position.latitude,
                                           link.fromNode->position.longitude))
                overviewLink = &link;
        });
        ASSERT_NE(overviewLink, nullptr);
        CountedLink counted{};
        counted.refCount = 1;
        counted.link = *overviewLink;
        counted.link.flags |= kLinkCounted;
        MapLink* link = &counted.link;
        EXPECT_EQ(db.ResolveLinkAcrossLayers(overviewLink->fromNode->position, link, 0.01f), 0);
        EXPECT_EQ(link, overviewLink);
        MapLink* plain = overviewLink->fromNode == nullptr ? nullptr : &counted.link;
        counted.link.flags &= static_cast<uint16_t>(~kLinkCounted);
        EXPECT_EQ(db.ResolveLinkAcrossLayers(overviewLink->fromNode->position, plain, 0.01f), 0);
        EXPECT_EQ(plain, &counted.link);
    }
    InflateArena::Init(InflateArena::kInitialBlockSize);
    EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
}

// The vehicle's held copy of a link, once only it holds it, is replaced by the
// loaded record of the same id; a copy nobody loaded any more is kept.
TEST_F(AreaQueriesTest, TheVehicleLocationFollowsReloads) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        const MapPoint centre{(db.layers[3].south + db.layers[3].north) / 2,
                              (db.layers[3].west + db.layers[3].east) / 2};
        ASSERT_EQ(db.LoadAreaGrowing(3, centre, 0.01f), 0);
        MapLink* real = nullptr;
        ForEachLink(db.layers[0], [&](MapLink& link) {
            if (!real && !link.IsDead() && link.linkId >= 0 &&
                (link.attributes & kAttrClassMask) <= 0xC0)
                real = &link;
        });
        ASSERT_NE(real, nullptr);
        auto holdCopy = [&](int32_t id) { return mapdb_test::HoldCopy(*real, id); };
        MapLocation location = holdCopy(real->linkId);
        // Another holder still counts it: nothing is done.
        CountedLink::FromLink(location.link)->refCount = 2;
        EXPECT_EQ(location.Refresh(db, 5), 1);
        CountedLink::FromLink(location.link)->refCount = 1;
        EXPECT_EQ(location.Refresh(db, 5), 0);
        EXPECT_EQ(location.link, real);
        EXPECT_EQ(location.tag, 5u);
        EXPECT_EQ(location.linkFlags, real->flags);

        MapLocation lost = holdCopy(0x7FFFFFF0);
        MapLink* kept = lost.link;
        EXPECT_EQ(lost.Refresh(db, 5), 1);
        EXPECT_EQ(lost.link, kept);
        lost.link->flags &= static_cast<uint16_t>(~kLinkHeld);
        MapLink::Release(CountedLink::FromLink(lost.link), true);
    }
    InflateArena::Init(InflateArena::kInitialBlockSize);
    EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
}

// A street (class above 0xC0) is looked for in the small layer 2, the one kept
// around the vehicle: with only that layer loaded the vehicle finds its street
// again, and not in the overview or the route layers.
TEST_F(AreaQueriesTest, TheVehicleFindsItsStreetAgainInTheSmallLayer) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& small = db.layers[2];
        const MapPoint centre{(small.south + small.north) / 2, (small.west + small.east) / 2};
        ASSERT_EQ(db.LoadArea(2, centre, small.header.cellWidth * 1.5f,
                              small.header.cellHeight * 1.5f, 0, 0, true, false),
                  0);
        EXPECT_EQ(db.layers[3].windowX0, kNoWindow);
        MapLink* street = nullptr;
        ForEachLink(small, [&](MapLink& link) {
            if (!street && !link.IsDead() && link.linkId >= 0 &&
                (link.attributes & kAttrClassMask) > 0xC0)
                street = &link;
        });
        ASSERT_NE(street, nullptr);
        MapLocation location = mapdb_test::HoldCopy(*street, street->linkId);
        EXPECT_EQ(location.Refresh(db, 7), 0);
        EXPECT_EQ(location.link, street);
        EXPECT_EQ(location.tag, 7u);
    }
    InflateArena::Init(InflateArena::kInitialBlockSize);
    EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
}

}  // namespace
