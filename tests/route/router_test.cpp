// The router object: its options from the registry, and what a reset keeps.
#include <gtest/gtest.h>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/route/route_costs.h"
#include "pathlume/route/router.h"
#include "tests/support/temp_root.h"

namespace {

class RouterObjectTest : public testing_support::RootsTest {};

TEST_F(RouterObjectTest, FirstStartAndMaskedOptions) {
    {
        // A first start: no registry values.
        CRouter router;
        EXPECT_EQ(router.routeAlgo, kRouteQuickest);
        EXPECT_EQ(router.state, kRouteFlagsDefault);
        EXPECT_EQ(router.boxMaxCol, -1);
        EXPECT_EQ(router.announceCountdown, -1);
        // Every bit goes into the state word, only the options into the registry.
        router.SetRouteFlags(0xFFFFFFFF);
        EXPECT_EQ(router.state, 0xFFFFFFFFu);
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteFlags", 0), kRouteFlagsMask);
        router.SetRouteAlgo(kRouteLocalRoads);
    }
    // The next start reads them back, masked.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteFlags", 0x20000FFF);
    CRouter router;
    EXPECT_EQ(router.routeAlgo, kRouteLocalRoads);
    EXPECT_EQ(router.state, 0x330u);
}

TEST_F(RouterObjectTest, ResetOnlyIfRouteWithoutRouteKeepsEverything) {
    CRouter router;
    // No map data open: a reset changes nothing at all.
    router.state = kRouterTollExcluded | kRouterDetourActive | 0x5;
    router.ResetRoute(0, 0, 1);
    EXPECT_EQ(router.state, kRouterTollExcluded | kRouterDetourActive | 0x5u);
    EXPECT_EQ(router.routeList, nullptr);
}

TEST_F(RouterObjectTest, UnitsAreTakenAtTheNextCalculation) {
    CRouter router;
    const DWORD options = g_options.load();
    g_options = options | kOptionMetric;
    EXPECT_EQ(router.speedTable, nullptr);
    RouteTarget target;
    target.Clear();
    // Nothing to route between; the units are taken all the same.
    router.CalculateRoute(nullptr, 0, {}, target, 0, 1);
    EXPECT_EQ(router.speedTable, kSpeedTableMetric);
    EXPECT_FLOAT_EQ(router.transitionPenalty, router.heuristicMetric);
    g_options = options & ~kOptionMetric;
    router.routeAlgo = kRouteShortest;
    router.CalculateRoute(nullptr, 0, {}, target, 0, 1);
    EXPECT_EQ(router.speedTable, kSpeedTableImperial);
    EXPECT_EQ(std::bit_cast<uint32_t>(router.transitionPenalty), 0x3d10daadu);
    g_options = options;
}

}  // namespace
