// A long press on the town's frame: the road beside the press, the hold menu, and
// the hold actions, also after the pressed road's chunk has gone.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "pathlume/display/map_view.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/kernel/text.h"
#include "platform/user/dialogs.h"
#include "tests/display/frame_maps.h"

namespace {

struct MenuItem {
    UINT id;
    std::string text;  // empty for a separator
};

// Records what the view asks of its main view.
class HoldHost : public render::HeadlessMapHost {
  public:
    using HeadlessMapHost::HeadlessMapHost;
    void ShowHoldMenu(HMENU menu, int x, int y) override {
        menus.emplace_back();
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            WCHAR text[256] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
            menus.back().push_back({GetMenuItemID(menu, i), platform::WideToUtf8(text)});
        }
        menuAt = {x, y};
    }
    void ShowInformation(LPCWSTR caption, LPCWSTR text) override {
        shown.push_back(platform::WideToUtf8(caption) + "|" + platform::WideToUtf8(text));
    }
    int AddToFavorites(const AddressHit& hit, int listKind, const char* text, const char*,
                       const char*, BOOL, BOOL) override {
        favourites.push_back({listKind, text});
        favouriteLink = hit.linkId;
        return 0;
    }
    void Refresh() override { ++refreshes; }

    std::vector<std::vector<MenuItem>> menus;
    POINT menuAt{};
    std::vector<std::string> shown;
    std::vector<std::pair<int, std::string>> favourites;
    int32_t favouriteLink = 0;
    int refreshes = 0;
};

// A route state the actions can ask for.
class HoldRoute : public IMapRoute {
  public:
    uint32_t GetState() override { return state; }
    void SetAvoidMarks(int on) override { calls.push_back("avoid " + std::to_string(on)); }
    void ResetRoute() override { calls.push_back("reset"); }
    void CalculateRoute(MapLink* startLink, uint32_t, MapPoint,
                        const RouteTarget& target) override {
        calls.push_back("route");
        routedTo = target.link ? target.link->linkId : 0;
        routedFrom = startLink ? startLink->linkId : 0;
    }
    uint32_t state = 0;
    std::vector<std::string> calls;
    int32_t routedTo = 0;
    int32_t routedFrom = 0;
};

std::unique_ptr<render::HeadlessMapHost> MakeHoldHost(int width, int clientHeight, int mapHeight) {
    return std::make_unique<HoldHost>(width, clientHeight, mapHeight);
}

class TapAndHoldTest : public display_test::FrameTest {
  protected:
    void SetUp() override {
        options_ = display_test::TownOptions();
        session_ = std::make_unique<render::Session>(options_, &MakeHoldHost);
        ASSERT_TRUE(session_->Loaded()) << session_->Error();
        g_options2.store(kOptions2NoStreetLabels | kOptions2NoPoi | kOptions2NoPoiLabels);
        session_->DrawFrame();
        SetMapRoute(&route_);
    }
    void TearDown() override {
        SetMapRoute(nullptr);
        session_.reset();
        display_test::FrameTest::TearDown();
    }
    HoldHost& Host() { return static_cast<HoldHost&>(session_->Host()); }
    CMapView& View() { return session_->View(); }

    // A point 5 px beside the middle of a long stretch of a drawn, named road of the
    // layer, far from its ends; the road's link.
    MapLink* PressBeside(int layerIndex, bool major, POINT* press) {
        MapLayer& layer = g_mapDatabase.layers[layerIndex];
        LinkIterator it;
        if (it.Init(layer, 0, 0, layer.windowW - 1, layer.windowH - 1, 0x1C0,
                    layerIndex == 0 ? 2 : 0) != 0)
            return nullptr;
        while (MapLink* link = it.Next()) {
            if (!(link->shapeInfo & kShapeDrawn) || !link->fromNode || !link->toNode ||
                ((link->attributes & kAttrClassMask) <= kRoadClassMajorLimit) != major)
                continue;
            char name[kStreetWordSize];
            GetLinkStreetName(g_linkInfo, link->linkId, link->attributes, 0, name, sizeof name,
                              false);
            if (!name[0] || std::string(name) == "NO NAME")
                continue;
            for (uint32_t k = 0; k <= link->GetShapePointCount(); ++k) {
                MapPoint a, b;
                link->GetEndPositions(k, &a, &b);
                POINT pa{}, pb{};
                View().MapToScreen2D(a.longitude, a.latitude, &pa.x, &pa.y);
                View().MapToScreen2D(b.longitude, b.latitude, &pb.x, &pb.y);
                const double dx = pb.x - pa.x, dy = pb.y - pa.y, length = std::hypot(dx, dy);
                const POINT middle{(pa.x + pb.x) / 2, (pa.y + pb.y) / 2};
                if (length < 60 || middle.x < 20 || middle.y < 20 || middle.x > 220 ||
                    middle.y > 248)
                    continue;
                *press = {middle.x + static_cast<LONG>(std::lround(-dy / length * 5)),
                          middle.y + static_cast<LONG>(std::lround(dx / length * 5))};
                return link;
            }
        }
        return nullptr;
    }

    render::Options options_;
    std::unique_ptr<render::Session> session_;
    HoldRoute route_;
};

std::string StreetOf(const MapLink& link) {
    char name[kStreetWordSize];
    return GetLinkStreetName(g_linkInfo, link.linkId, link.attributes, 0, name, sizeof name, false);
}

TEST_F(TapAndHoldTest, APressBesideARoadNamesItInTheMenu) {
    for (bool major : {true, false}) {
        SCOPED_TRACE(major ? "major road" : "street");
        POINT press{};
        MapLink* link = PressBeside(major ? 0 : 1, major, &press);
        ASSERT_NE(link, nullptr);
        const std::string street = StreetOf(*link);
        for (uint32_t state : {0u, kRouteStateRouteExists}) {
            route_.state = state;
            Host().menus.clear();
            ASSERT_EQ(View().OnTapAndHold(press.x, press.y), 1);
            EXPECT_EQ(View().Held().link.linkId, link->linkId);
            ASSERT_EQ(Host().menus.size(), 1u);
            const std::vector<MenuItem>& menu = Host().menus[0];
            const int32_t number = View().Held().addressNumber;
            EXPECT_EQ(menu[0].text, number >= 0 ? std::to_string(number) + " " + street : street);
            // The address line does what Cancel does.
            EXPECT_EQ(menu[0].id, kHoldCommandCancel);
            std::vector<UINT> ids;
            for (const MenuItem& item : menu)
                ids.push_back(item.id);
            const std::vector<UINT> want =
                state ? std::vector<UINT>{3008, 0, 3005, 3004, 3003, 0, 3006, 3007, 0, 3008}
                      : std::vector<UINT>{3008, 0, 3005, 3003, 0, 3006, 3007, 0, 3008};
            EXPECT_EQ(ids, want);
            EXPECT_EQ(menu.back().text, "Cancel");
            EXPECT_EQ(Host().menuAt.x, press.x + 2);
        }
        // The pressed pixel is red and the road marked magenta.
        EXPECT_EQ(GetPixel(session_->BackBuffer(), press.x, press.y), 0x0000FFu);
    }
}

TEST_F(TapAndHoldTest, WithoutRoadsNothingIsHeldOrShown) {
    POINT press{};
    MapLink* link = PressBeside(0, true, &press);
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(View().OnTapAndHold(press.x, press.y), 1);
    // The destination entry's region of the same road.
    LinkInfoRecord record;
    ASSERT_EQ(g_linkInfo.ReadRecord(link->linkId, record, false), 0);
    int area = -1;
    g_areaZones.GetAreaCode(record, 1, &area);
    const MapPoint foot = View().Held().foot;
    EXPECT_EQ(View().FindNearestRoadRegion(foot.longitude, foot.latitude), area);
    EXPECT_NE(area, CMapView::kNoRegion);
    g_mapDatabase.layers[0].DropAll(false);
    g_mapDatabase.layers[1].DropAll(false);
    Host().menus.clear();
    EXPECT_EQ(View().OnTapAndHold(press.x, press.y), 0);
    EXPECT_TRUE(Host().menus.empty());
    EXPECT_FALSE(View().Held().Held());
    EXPECT_EQ(View().FindNearestRoadRegion(foot.longitude, foot.latitude), CMapView::kNoRegion);
}

TEST_F(TapAndHoldTest, ActionsUseTheHeldRoadAndLetGoOfItsChunk) {
    POINT press{};
    MapLink* link = PressBeside(0, true, &press);
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(View().OnTapAndHold(press.x, press.y), 1);
    MapChunk* chunk = View().Held().handle.chunk;
    ASSERT_NE(chunk, nullptr);
    EXPECT_TRUE(chunk->flags & kChunkPinShield);

    std::string info;
    View().FormatBlockInfo(&info);
    EXPECT_FALSE(chunk->flags & kChunkPinShield);
    EXPECT_EQ(info.rfind("Block Info\r\nStreet:  " + StreetOf(*link) + "\r\n", 0), 0u) << info;
    EXPECT_NE(info.find("\r\nCoordinates\r\nLatitude:  "), std::string::npos) << info;
    EXPECT_NE(info.find("N\r\nLongitude:  "), std::string::npos) << info;
    EXPECT_NE(info.find("W\r\n"), std::string::npos) << info;
    LinkInfoRecord record;
    ASSERT_EQ(g_linkInfo.ReadRecord(link->linkId, record, false), 0);
    const uint16_t rightParity = (record.addressWord >> 12) & 3;
    if (record.right.from >= 0 && rightParity == 1) {
        EXPECT_NE(info.find("Right Addr:  " + std::to_string(record.right.from) + "-" +
                            std::to_string(record.right.to) + " (even)"),
                  std::string::npos)
            << info;
    }
    View().FormatBlockInfo(nullptr);
    ASSERT_EQ(Host().shown.size(), 1u);
    EXPECT_EQ(Host().shown[0], "Location Information|" + info);

    // The held place becomes the vehicle's position, then a route goes from there to
    // a second press.
    ASSERT_EQ(View().OnTapAndHold(press.x, press.y), 1);
    ASSERT_EQ(View().SetLocationAsPoint(), 1);
    EXPECT_EQ(g_vehicleLocation.GetLink(true)->linkId, link->linkId);
    EXPECT_TRUE(Host().panMode);
    ASSERT_EQ(Host().favourites.size(), 1u);
    EXPECT_EQ(Host().favourites[0].first, 1);
    EXPECT_EQ(Host().favouriteLink, link->linkId);
    POINT other{};
    MapLink* street = PressBeside(1, false, &other);
    ASSERT_NE(street, nullptr);
    ASSERT_EQ(View().OnTapAndHold(other.x, other.y), 1);
    route_.calls.clear();
    ASSERT_EQ(View().RouteToHeldPoint(), 1);
    EXPECT_EQ(route_.calls, (std::vector<std::string>{"avoid 0", "reset", "route"}));
    EXPECT_EQ(route_.routedTo, street->linkId);
    EXPECT_EQ(route_.routedFrom, link->linkId);
    EXPECT_EQ(Host().favourites.back().first, 1);
    EXPECT_GE(Host().refreshes, 1);
    g_vehicleLocation = MapLocation();
}

TEST_F(TapAndHoldTest, ActionsAfterTheChunkWasPurgedDoNothing) {
    POINT press{};
    MapLink* link = PressBeside(0, true, &press);
    ASSERT_NE(link, nullptr);
    const std::string street = StreetOf(*link);
    ASSERT_EQ(View().OnTapAndHold(press.x, press.y), 1);
    MapChunk* chunk = View().Held().handle.chunk;
    ASSERT_NE(chunk, nullptr);
    // The window moved on: every chunk of both layers is gone.
    g_mapDatabase.layers[1].DropAll(false);
    g_mapDatabase.layers[0].DropAll(false);
    ASSERT_FALSE(chunk->IsLoaded());

    std::string info;
    View().FormatBlockInfo(&info);
    EXPECT_EQ(info, street + "\r\nNo Information Available");
    EXPECT_EQ(View().FormatPointInfo(0), 1);
    EXPECT_TRUE(Host().favourites.empty());
    route_.calls.clear();
    EXPECT_EQ(View().RouteToHeldPoint(), 0);
    EXPECT_EQ(route_.calls, (std::vector<std::string>{"avoid 0", "reset"}));
    EXPECT_EQ(View().SetLocationAsPoint(), 0);
    EXPECT_FALSE(Host().panMode);
    EXPECT_FALSE(chunk->flags & kChunkPinShield);
}

}  // namespace

namespace {

// Handles of the three kinds of link against a chunk made by hand.
TEST(ResolveTapLink, FindsTheLinkOnlyWhileItsChunkStillHoldsIt) {
    MapLink scLinks[2] = {};
    MapLink sideLinks[3] = {};
    CountedLink counted{};
    SharedLinkEntry shared[2] = {};
    scLinks[1].linkId = 11;
    sideLinks[2].linkId = 22;
    counted.link.linkId = 33;
    counted.link.flags = kLinkCounted;
    shared[1].link = &counted;
    ChunkLevel level{};
    level.linkCount = 3;
    level.sharedCount = 2;
    level.links = sideLinks;
    level.shared = shared;
    MapChunk chunk{};
    chunk.flags = kChunkLoaded;
    chunk.links = scLinks;
    chunk.header.scLinkCount = 2;
    chunk.levels[2] = &level;

    struct Case {
        MapLink* link;
        uint16_t kind;
        uint16_t index;
        int32_t level;
        int32_t id;
    };
    for (const Case& c : {Case{&scLinks[1], 0, 1, 0, 11}, Case{&sideLinks[2], kLinkEd, 2, 2, 22},
                          Case{&counted.link, kLinkCounted, 1, 2, 33}}) {
        SCOPED_TRACE(c.id);
        LinkHandle handle;
        ASSERT_TRUE(MakeLinkHandle(&chunk, c.link, &handle));
        EXPECT_EQ(handle.kind, c.kind);
        EXPECT_EQ(handle.index, c.index);
        EXPECT_EQ(handle.level, c.level);
        EXPECT_EQ(ResolveTapLink(handle, c.id), c.link);
        // Another id at the same place: the record now holds another cell's chunk.
        EXPECT_EQ(ResolveTapLink(handle, c.id + 1), nullptr);
        EXPECT_EQ(handle.record, nullptr);
        // Fewer links than the index, then no chunk loaded at all.
        LinkHandle past = handle;
        past.index = 7;
        EXPECT_EQ(ResolveTapLink(past, c.id), nullptr);
        chunk.flags = 0;
        EXPECT_EQ(ResolveTapLink(handle, c.id), nullptr);
        chunk.flags = kChunkLoaded;
    }
    MapLink stranger{};
    LinkHandle none;
    EXPECT_FALSE(MakeLinkHandle(&chunk, &stranger, &none));
    // A handle without a chunk answers its stored record.
    none.record = &stranger;
    EXPECT_EQ(ResolveTapLink(none, 5), &stranger);
}

}  // namespace

namespace {

// The first loaded chunk of the overview window, with its cell.
MapChunk* FirstOverviewChunk(int32_t* column, int32_t* row) {
    MapLayer& overview = g_mapDatabase.layers[0];
    for (int32_t r = 0; r < overview.windowH; ++r)
        for (int32_t c = 0; c < overview.windowW; ++c)
            if (MapChunk* chunk = overview.GetChunkRecord(c, r); chunk && chunk->IsLoaded()) {
                *column = c;
                *row = r;
                return chunk;
            }
    return nullptr;
}

TEST_F(TapAndHoldTest, FarOutTheActionsTakeBackChunksAWalkSwappedForTheMainFile) {
    int32_t c = 0, r = 0;
    MapChunk* chunk = FirstOverviewChunk(&c, &r);
    ASSERT_NE(chunk, nullptr);
    // Close in nothing is reloaded.
    ASSERT_TRUE(View().IsCloseZoom());
    chunk->flags |= kChunkReloadedByWalk;
    View().LoadDetailedChunks();
    EXPECT_TRUE(chunk->flags & kChunkReloadedByWalk);
    EXPECT_FALSE(chunk->flags & kChunkFromFileT);

    View().StoreZoomIndex(7);
    View().ResetViewSpan();
    ASSERT_FALSE(View().IsCloseZoom());
    const uint32_t pins = chunk->flags & kChunkPinMask;
    View().LoadDetailedChunks();
    MapChunk* after = g_mapDatabase.layers[0].GetChunkRecord(c, r);
    ASSERT_NE(after, nullptr);
    ASSERT_TRUE(after->IsLoaded());
    EXPECT_TRUE(after->flags & kChunkFromFileT);
    EXPECT_EQ(after->flags & kChunkPinMask, pins);
    EXPECT_FALSE(after->flags & kChunkReloadedByWalk);
    // The layer reads the main file again afterwards.
    EXPECT_EQ(g_mapDatabase.layers[0].file, &g_mapDatabase.mapFile1);
}

}  // namespace
