// What the map database asks of the router, which implements this interface and
// installs itself: the chunk-reload mark in its state word, and the avoid marks of
// a chunk the route search has just loaded. Until a router is installed a default
// keeps the state word and avoids nothing.
#pragma once

#include <cstdint>

struct MapChunk;

// Bit 31 of the router's state word: a layer-0 chunk read from "mapdatat.biz" was
// replaced by its "mapdata1.biz" version.
inline constexpr uint32_t kRouterChunkReloaded = 0x80000000;
// Bit 29: the router holds a route.
inline constexpr uint32_t kRouterRoutePresent = 0x20000000;

class IRouterServices {
  public:
    // Sets bits of the router's state word; the map database sets only
    // kRouterChunkReloaded.
    virtual void SetStateBits(uint32_t bits) = 0;
    virtual uint32_t GetState() = 0;
    // Sets the avoid mark (MapLink attributes bit 31) on every link of the chunk
    // that the router's list of roads to avoid names.
    virtual void ApplyAvoidMarks(MapChunk& chunk) = 0;

  protected:
    ~IRouterServices() = default;
};

// The router in use: the default until one is installed (null goes back to it).
IRouterServices& GetRouterServices();
void SetRouterServices(IRouterServices* router);
