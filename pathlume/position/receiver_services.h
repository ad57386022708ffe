// What the map database asks of positioning (IPositionServices), answered by the
// receiver, the map matcher and the travel direction.
#pragma once

#include "pathlume/mapdb/position_services.h"

class CNmeaReceiver;

// CMapMatcher::Reset of g_mapMatcher with keepLinks 0.
void ResetMapMatcher();

class ReceiverPositionServices final : public IPositionServices {
  public:
    explicit ReceiverPositionServices(CNmeaReceiver& receiver) : receiver_(receiver) {}
    void ResetMatcher() override;
    // Null saves the matched vehicle position.
    void SaveLastPosition(const MapPoint* position) override;
    float GetSpeedMph() override;
    TravelDirection GetTravelDirection() override;
    bool HasHypothesisLink(const MapLink* link) override;
    void ReplaceLastHypothesisLink(MapLink* link) override;

  private:
    CNmeaReceiver& receiver_;
};
