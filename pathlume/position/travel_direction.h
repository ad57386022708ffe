// In which direction the vehicle moves along the matched link of g_vehicleLocation.
#pragma once

#include "pathlume/mapdb/map_records.h"
#include "pathlume/mapdb/position_services.h"

class CTravelDirection {
  public:
    // Movement along the same link that changes the state (15 ft in radians of arc).
    static constexpr FLOAT kMinMove = 7.17629756090952e-7f;

    // state none, link null; the distance is kept.
    void Reset();
    // Re-evaluates the state from g_vehicleLocation and the receiver's fix validity.
    void Update();

    TravelDirection state = kTravelUnknown;
    const MapLink* link = nullptr;  // compared, never followed, once it is left
    FLOAT distance = 0;             // radians of arc from the link's from-node
};

extern CTravelDirection g_travelDirection;
