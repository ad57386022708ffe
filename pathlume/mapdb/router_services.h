// What the map database asks of the router, which implements this interface and
// installs itself: the chunk-reload mark in its state word, the avoid marks of a
// chunk the route search has just loaded, and what the geocoder and the position
// descriptions need to start a route or move the origin. Until a router is
// installed a default keeps the state word and does nothing else.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/map_records.h"

struct MapChunk;
struct RouteTarget;

// Bit 31 of the router's state word: a layer-0 chunk read from "mapdatat.biz" was
// replaced by its "mapdata1.biz" version.
inline constexpr uint32_t kRouterChunkReloaded = 0x80000000;
// Bit 29: the router holds a route.
inline constexpr uint32_t kRouterRoutePresent = 0x20000000;
// The route option that makes links of the kind (attributes & 0xA00) == 0x800 dear
// and the others cheaper; the map matcher follows it.
inline constexpr uint32_t kRouterRouteOption = 0x20;

class IRouterServices {
  public:
    // Sets bits of the router's state word; the map database sets only
    // kRouterChunkReloaded.
    virtual void SetStateBits(uint32_t bits) = 0;
    virtual uint32_t GetState() = 0;
    // Sets the avoid mark (MapLink attributes bit 31) on every link of the chunk
    // that the router's list of roads to avoid names.
    virtual void ApplyAvoidMarks(MapChunk& chunk) = 0;

    // The calls below do nothing unless the router overrides them.

    // Clears the route, the maneuver list and the search state.
    virtual void ResetRoute() {}
    // Clears the avoid mark of every loaded link and forgets the roads to avoid.
    virtual void ClearAvoidMarks() {}
    // Computes a route from a point of the start link's shape segment
    // `startSegment` to the target; callers here do not read the result.
    virtual void CalculateRoute(MapLink* startLink, uint32_t startSegment, MapPoint startPoint,
                                const RouteTarget& target) {
        (void)startLink;
        (void)startSegment;
        (void)startPoint;
        (void)target;
    }
    // The point a place chosen as the current position puts the route's origin at.
    virtual void SetOriginPoint(MapPoint point) { (void)point; }
    // The two guidance links the guidance update set from the route at the vehicle's
    // place, in the router's order; null when there is none.
    virtual void GetGuidanceLinks(MapLink** first, MapLink** second) {
        *first = nullptr;
        *second = nullptr;
    }

  protected:
    ~IRouterServices() = default;
};

// The router in use: the default until one is installed (null goes back to it).
IRouterServices& GetRouterServices();
void SetRouterServices(IRouterServices* router);
