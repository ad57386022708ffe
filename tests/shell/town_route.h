// A route across the maps with the vehicle placed at its start, as the
// view tests and the map-screen goldens need it.
#pragma once

#include "pathlume/mapdb/map_records.h"

class CMainView;

namespace shell_test {

// A point of the town, as fractions of its extent from its south-west corner.
MapPoint TownPoint(double east, double north);
// Places the vehicle on the road near 45 % east, 40 % north (following, not
// panned) and routes to the road near 55 % east, 60 % north; false when a point
// has no road near or no route was found. The start point is written to `start`.
bool RouteAcrossTown(CMainView& view, int noGuidance, MapPoint* start = nullptr);
// The same between any two points with a road within 1 km.
bool RouteBetween(CMainView& view, const MapPoint& fromPoint, const MapPoint& toPoint,
                  int noGuidance, MapPoint* start = nullptr);

// While a replay drives the route: the route demonstration's feed runs on its own
// thread in real time, the manual clock moves on for the program's timers (the
// arrival's timer 3 among them). Until the route is gone or the seconds passed.
void DriveUntilRouteEnds(int wallSeconds);

}  // namespace shell_test
