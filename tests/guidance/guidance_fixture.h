// The route tests' town with a route across its middle, for guidance.
#pragma once

#include "tests/route/route_test_maps.h"

namespace guidance_test {

class TownRouteTest : public route_test::RouteMapsTest {
  protected:
    // A route across the town's middle with at least one turn.
    void RouteAcross() {
        const MapPoint sw = SouthWest(), ne = NorthEast();
        auto at = [&](FLOAT fx, FLOAT fy) {
            return MapPoint{sw.latitude + (ne.latitude - sw.latitude) * fy,
                            sw.longitude + (ne.longitude - sw.longitude) * fx};
        };
        ASSERT_TRUE(Route(at(0.3f, 0.4f), at(0.8f, 0.7f), kRouteQuickest));
        ASSERT_GT(router_->routeCount, 3);
        ASSERT_GT(router_->maneuverCount, 1);
    }
};

}  // namespace guidance_test
