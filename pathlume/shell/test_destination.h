// PATHLUME_DESTINATION=LAT,LON: a test and demonstration control that routes the
// program once to a position, as a destination list's Nav does, without the
// destination screens. Read only when set.
#pragma once

#include <optional>
#include <string>

#include "pathlume/mapdb/map_records.h"

// The variable's position; nothing when it is not set. A value that is not
// "LAT,LON" in degrees gives nothing and the reason in *problem.
std::optional<MapPoint> ReadTestDestination(std::string* problem);

// The main view's housekeeping tick calls it once the first map frame is drawn. At
// the first tick at which the vehicle is on a link, routes once to the nearest link
// within 1 km of the position: roads to avoid off, the route reset, then the
// record's RouteTo, which writes "recent.dat" and "itinerary.dat". With no road
// that near, says "No Route to Destination" and routes nowhere.
void TestDestinationTick();

// Makes the next start read the variable again: a process that starts the program
// more than once (the tests) routes once for each start.
void ResetTestDestination();
