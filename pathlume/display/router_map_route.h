// The map view's IMapRoute over the program's router: what the view reads of the
// route (state word, route entries, maneuvers, ends) and the two things it asks of
// the router (the zoom band, the avoid marks again after a load).
#pragma once

#include "pathlume/display/map_interfaces.h"
#include "pathlume/route/router.h"

class CRouterMapRoute final : public IMapRoute {
  public:
    explicit CRouterMapRoute(CRouter& router) : router_(router) {}

    uint32_t GetState() override { return router_.state; }
    bool ResolveEntry(int32_t index, RouteStep* step) override;
    int32_t GetRouteEntryCount() override;
    MapLink* GetStartLink() override;
    uint32_t GetStartShapeIndex() override { return router_.GetStartShapeIndex(); }
    int32_t GetManeuverCount() override;
    int32_t GetCurrentManeuver() override { return router_.currentManeuver; }
    int32_t GetManeuverRouteIndex(int32_t maneuver) override;
    float GetDistanceToNextManeuver() override { return router_.nextManeuverDistance; }
    MapPoint GetStartLocation() override { return router_.startPoint; }
    MapLink* GetDestinationLink() override;
    uint32_t GetDestinationSegment() override { return router_.destSegment; }
    MapPoint GetDestinationPoint() override { return router_.destPoint; }
    // The guidance update keeps its phase; until it runs there is none.
    int32_t GetGuidancePhase() override { return 0; }
    bool IsStreetNameVariant() override { return (router_.state & kRouterStreetNameGuidance) != 0; }
    // The second of the guidance links: the route link after the vehicle's.
    MapLink* GetNextRouteLink() override { return router_.guidanceLinks[1]; }
    void SetZoomBand(int32_t band) override { router_.zoomBand = band; }
    void ApplyAvoidMarks() override;
    void SetAvoidMarks(int on) override { router_.SetAvoidMarks(on); }
    void ResetRoute() override { router_.ResetRoute(0, 0, 0); }
    void CalculateRoute(MapLink* startLink, uint32_t startSegment, MapPoint startPoint,
                        const RouteTarget& target) override {
        router_.CalculateRoute(startLink, startSegment, startPoint, target, 0, 0);
    }

  private:
    CRouter& router_;
};

// Makes the map view read this router (the program's g_router at start-up); null
// goes back to no route. The adapter lives until the next call.
void InstallRouterMapRoute(CRouter* router);
