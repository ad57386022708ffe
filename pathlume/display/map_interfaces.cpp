#include "pathlume/display/map_interfaces.h"

#include <atomic>

namespace {

class NoRoute : public IMapRoute {};
class NoVehicle : public IMapVehicle {};

NoRoute g_noRoute;
NoVehicle g_noVehicle;
std::atomic<IMapRoute*> g_route{nullptr};
std::atomic<IMapVehicle*> g_vehicle{nullptr};

}  // namespace

IMapRoute& GetMapRoute() {
    IMapRoute* route = g_route.load();
    return route ? *route : g_noRoute;
}

void SetMapRoute(IMapRoute* route) {
    g_route.store(route);
}

IMapVehicle& GetMapVehicle() {
    IMapVehicle* vehicle = g_vehicle.load();
    return vehicle ? *vehicle : g_noVehicle;
}

void SetMapVehicle(IMapVehicle* vehicle) {
    g_vehicle.store(vehicle);
}
