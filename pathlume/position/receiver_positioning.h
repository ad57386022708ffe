// What the router and guidance ask of positioning (IPositioningServices), answered
// by the receiver, the position queue, the map matcher and the travel direction.
#pragma once

#include "pathlume/route/positioning_services.h"

class CNmeaReceiver;

class ReceiverPositioningServices final : public IPositioningServices {
  public:
    explicit ReceiverPositioningServices(CNmeaReceiver& receiver) : receiver_(receiver) {}

    int GetFixQuality() override;
    FLOAT GetSpeed(int metric) override;
    void ClearFix() override;
    BOOL IsOpenInProgress() override;
    void SetPaused(int run) override;
    BOOL IsFixValid() override;
    int GetSatellitesUsed() override;
    FLOAT GetHeading() override;
    FLOAT GetFixLatitude() override;
    void ResetMatcher(int keep) override;
    int SnapWithTimeout(DWORD budgetMs, int flag) override;
    void StepTrackSim() override;
    TravelDirection UpdateTravelDirection() override;
    int GetQueueCount() override;
    BOOL IsInputSuspended() override;
    BOOL IsFixEstimated() override;
    void StopReplay() override;

  private:
    CNmeaReceiver& receiver_;
};
