// What the map database asks of positioning (IPositionServices), answered by the
// receiver, and the one call through which the receiver resets the map matcher.
#pragma once

#include "pathlume/mapdb/position_services.h"

class CNmeaReceiver;

// CMapMatcher::Reset with keepLinks 0, once the matcher points it at itself; does
// nothing before.
void ResetMapMatcher();
using MatcherReset = void (*)();
void SetMatcherReset(MatcherReset reset);

class ReceiverPositionServices final : public IPositionServices {
  public:
    explicit ReceiverPositionServices(CNmeaReceiver& receiver) : receiver_(receiver) {}
    void ResetMatcher() override;
    // Null saves the matched vehicle position.
    void SaveLastPosition(const MapPoint* position) override;
    float GetSpeedMph() override;
    TravelDirection GetTravelDirection() override;

  private:
    CNmeaReceiver& receiver_;
};
