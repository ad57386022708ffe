// Where the vehicle stands on the router's route: the next maneuver, the distance
// to it along the route and the length still to drive. Guidance locates the
// vehicle once per update from its matched link and position.
#pragma once

#include <cstdint>

#include "pathlume/route/router.h"

struct RoutePosition {
    bool onRoute = false;
    int32_t entry = -1;    // route entry whose leaving link holds the vehicle; -1 the start link
    int32_t maneuver = 0;  // the next maneuver
    FLOAT toManeuver = 0;  // along the route, radians of arc
    FLOAT remaining = 0;   // to the destination
    FLOAT toLinkEnd = 0;   // to the end of the vehicle's link where the route goes on
};

// The link that leaves a route entry's node, or null when the entry's chunk can no
// longer be trusted.
const MapLink* RouteEntryLink(const RouteEntry& entry, const MapNode** node = nullptr);

// Hours to drive from the position to the destination at the link categories'
// speeds (mph or km/h by metric); the run of links of the vehicle's own category
// is scaled by speedFactor, the driver's pace against those speeds.
FLOAT TimeToGo(const CRouter& router, const RoutePosition& position, const MapLink& link,
               bool metric, FLOAT speedFactor);

// Locates a vehicle on `link` at `point` (shape segment `segment`). onStartLink
// says the vehicle has not yet left the route's start link; the search for the
// link among the route entries starts at entry `fromEntry`, so a route that passes
// one link twice finds the later pass once the earlier one is behind. The arrival
// (route index -1) counts as beyond every entry.
RoutePosition LocateOnRoute(const CRouter& router, const MapLink& link, uint32_t segment,
                            const MapPoint& point, bool onStartLink, int32_t fromEntry);

// The exit a roundabout maneuver takes: the drivable side roads the route passes on
// the roundabout before it leaves it, plus one (the maneuver's link a roundabout
// link, or a connector into one). 0 when the maneuver enters no roundabout or the
// map around it is not loaded.
int RoundaboutExitNumber(const CRouter& router, int32_t maneuver);

// Whether a road turns off to the maneuver's side before it: at every junction from
// the node after route entry `fromEntry` (-1: the first entry's node) up to the
// maneuver's own, a drivable side road at less than 135 degrees to that side. False
// for a maneuver that is neither a right nor a left kind.
bool HasSameSideTurnBefore(const CRouter& router, int32_t fromEntry, int32_t maneuver);
