// What the map screen's banner and the guidance screen's banner decide alike about
// the vehicle on a route: whether a banner shows at all, whether the screen waits
// for the vehicle to move onto a road, whether the start-driving prompt is on, and
// which words say the vehicle is off the road. Each banner keeps its own texts.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/map_records.h"

class CRouter;

struct BannerState {
    bool show = false;            // a route with maneuvers in a state that shows the banner
    bool nameVariant = false;     // the street-name guidance
    int32_t phase = 0;            // the router's guidance state
    MapLink* lastLink = nullptr;  // the vehicle's last known link
    MapLink* current = nullptr;   // its exact current link, or null
    bool atNext = false;          // the last known link is the router's next link
    // The vehicle moved faster than 4 mph and stands on an exact link; otherwise the
    // screen waits.
    bool placed = false;
    // The start-driving prompt: on while the router holds a current route link.
    bool promptOn = false;
    MapLink* routeLink = nullptr;
    bool fixValid = false;
    // Off the road, voice language 0 says "PROCEED TO THE NEAREST ROAD", the others
    // show "** OFF ROAD **".
    bool offRoadIndication = false;
    int32_t maneuver = 0;  // the current maneuver, within the list
};

// The state now, from the router, the receiver and the matched position.
BannerState GetBannerState(const CRouter* router);

// The kind a maneuver is shown as: a keep right or keep left onto a link that
// carries bit 20 (0x100000) is shown as the bear right or bear left it is there.
uint32_t ShownManeuverKind(const CRouter& router, int32_t index);
