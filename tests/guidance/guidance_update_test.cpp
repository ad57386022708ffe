#include "pathlume/guidance/guidance_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pathlume/route/maneuver_list.h"
#include "pathlume/route/positioning_services.h"
#include "tests/guidance/guidance_fixture.h"
#include "tests/guidance/said.h"
#include "tests/mapdb/quiet_main_view.h"

namespace {

class ScreenView final : public mapdb_test::QuietMainView {
  public:
    DWORD GetScreenMode() override { return mode; }
    void SwitchScreen(int newMode) override {
        mode = static_cast<DWORD>(newMode);
        switches.push_back(newMode);
    }
    DWORD mode = 1;
    std::vector<int> switches;
};

class GuidanceDriveTest : public guidance_test::TownRouteTest {
  protected:
    void SetUp() override {
        TownRouteTest::SetUp();
        SetPositioningServices(&fix_);
        g_mainView.store(&view_);
        guidance_ = std::make_unique<CGuidance>(
            [this](const PhraseBuffer& phrase) { heard_.push_back(Said(phrase)); });
        SetRouteGuidance(guidance_.get());
    }
    void TearDown() override {
        SetRouteGuidance(nullptr);
        g_mainView.store(nullptr);
        TownRouteTest::TearDown();
    }

    // The matcher's answer: the vehicle on the link at the point.
    static void PlaceVehicle(MapLink* link, uint32_t segment, const MapPoint& point) {
        g_vehicleLocation.link = link;
        g_vehicleLocation.segment = segment;
        g_vehicleLocation.position = point;
        g_vehicleLocation.stale = 0;
    }

    // The vehicle at the node an entry leaves from, on the entry's link.
    void PlaceAtEntry(int32_t i) {
        MapNode* node = ResolveNodeRef(router_->routeList[i]);
        ASSERT_NE(node, nullptr);
        MapLink* link = node->Slots()[router_->routeList[i].Slot()];
        PlaceVehicle(link, link->fromNode == node ? 0 : link->GetShapePointCount(), node->position);
    }

    route_test::HeadingFix fix_;
    ScreenView view_;
    std::unique_ptr<CGuidance> guidance_;
    std::vector<std::string> heard_;
};

TEST_F(GuidanceDriveTest, DrivingTheRouteAnnouncesAndArrives) {
    RouteAcross();
    CRouter& r = *router_;
    const DWORD options = g_options.load();
    g_options.store(options | kOptionAutoGuidance);
    g_map3DMode.store(0);
    view_.switches.clear();  // the search's own switch to the map
    PlaceVehicle(r.routeStartLink, from_.segment, from_.point);
    guidance_->UpdateGuidance(r, 0);  // starts the voice delay
    guidance_->UpdateGuidance(r, 0);
    FLOAT remaining = r.remainingLength;
    FLOAT hours = r.timeToGo;
    EXPECT_GT(hours, 0.0f);
    for (int32_t i = 0; i < r.routeCount; ++i) {
        PlaceAtEntry(i);
        for (int repeat = 0; repeat < 2; ++repeat) {  // past the voice delay
            guidance_->UpdateGuidance(r, 0);
            ASSERT_TRUE(r.state & kRouterRouteState) << i;
            EXPECT_LE(r.remainingLength, remaining + 1e-9f) << i;
            EXPECT_LE(r.timeToGo, hours + 1e-7f) << i;
            remaining = r.remainingLength;
            hours = r.timeToGo;
        }
    }
    EXPECT_EQ(r.currentManeuver, r.maneuverCount - 1);
    PlaceVehicle(to_.link, to_.segment, to_.point);
    g_vehicleLocation.link = r.routeDestLink ? r.routeDestLink : to_.link;
    guidance_->UpdateGuidance(r, 0);
    guidance_->UpdateGuidance(r, 0);
    g_options.store(options);
    EXPECT_TRUE(r.state & kRouterArrived);
    EXPECT_EQ(r.remainingLength, 0.0f);
    EXPECT_EQ(r.timeToGo, 0.0f);
    // Near each maneuver the guidance screen came up by itself and went back after.
    EXPECT_EQ(g_guidanceSwitchDistance, static_cast<int32_t>(0.128 * 5280));
    ASSERT_FALSE(view_.switches.empty());
    for (size_t k = 0; k < view_.switches.size(); ++k) {
        EXPECT_EQ(view_.switches[k], k % 2 == 0 ? 4 : 1) << k;
    }
    // Every maneuver is told, the arrival last.
    ASSERT_FALSE(heard_.empty());
    size_t phrase = 0;
    for (int32_t m = 0; m < r.maneuverCount; ++m) {
        const std::string word =
            platform::WideToUtf8(PromptWordTable[ManeuverPhraseId(r.maneuvers[m].kind)]);
        while (phrase < heard_.size() && heard_[phrase].find(word) == std::string::npos) {
            ++phrase;
        }
        EXPECT_LT(phrase, heard_.size()) << "maneuver " << m << " (" << word << ") untold";
    }
    EXPECT_EQ(
        heard_.back().rfind("dest", 0) == 0 || heard_.back().find(" dest") != std::string::npos,
        true);
    EXPECT_EQ(guidance_->Recalculations(), 0);
    EXPECT_NE(guidance_->LastAnnounced(), -3);
}

TEST_F(GuidanceDriveTest, StrayingRecalculatesOnce) {
    RouteAcross();
    CRouter& r = *router_;
    PlaceAtEntry(std::min(2, r.routeCount - 2));
    guidance_->UpdateGuidance(r, 0);
    // A link of the town that the route does not use.
    MapLink* off = nullptr;
    for (int32_t i = 0; i < r.routeCount && !off; ++i) {
        MapNode* node = ResolveNodeRef(r.routeList[i]);
        for (uint32_t s = 0; node && s < node->SlotCapacity() && !off; ++s) {
            MapLink* l = node->Slots()[s];
            bool used = false;
            for (int32_t j = 0; j < r.routeCount; ++j) {
                used = used || (l && r.routeList[j].linkId == l->linkId);
            }
            if (l && !used && l->linkId != r.routeStartLink->linkId &&
                (l->attributes & kAttrRoutableKinds)) {
                off = l;
            }
        }
    }
    ASSERT_NE(off, nullptr);
    PlaceVehicle(off, 0, off->fromNode->position);
    int updates = 0;
    while (guidance_->Recalculations() == 0 && updates < 10) {
        guidance_->UpdateGuidance(r, 0);
        ++updates;
    }
    ASSERT_EQ(guidance_->Recalculations(), 1) << "within 10 updates";
    EXPECT_TRUE(r.state & kRouterRouteState);
    // The new route starts on the vehicle's link.
    EXPECT_EQ(r.routeStartLink->linkId, off->linkId);
    guidance_->UpdateGuidance(r, 0);
    EXPECT_EQ(guidance_->Recalculations(), 1) << "on the new route: no further recalculation";
}

}  // namespace
