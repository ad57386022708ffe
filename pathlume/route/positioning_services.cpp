#include "pathlume/route/positioning_services.h"

#include <atomic>

namespace {

class NoPositioning final : public IPositioningServices {
  public:
    int GetFixQuality() override { return 0; }
    FLOAT GetSpeed(int) override { return 0; }
    void ClearFix() override {}
    BOOL IsOpenInProgress() override { return FALSE; }
    void SetPaused(int) override {}
    BOOL IsFixValid() override { return FALSE; }
    int GetSatellitesUsed() override { return 0; }
    FLOAT GetHeading() override { return 0; }
    FLOAT GetFixLatitude() override { return 0; }
    void ResetMatcher(int) override {}
    int SnapWithTimeout(DWORD, int) override { return 0; }
    void StepTrackSim() override {}
    TravelDirection UpdateTravelDirection() override { return kTravelUnknown; }
    int GetQueueCount() override { return 0; }
    BOOL IsInputSuspended() override { return FALSE; }
};

NoPositioning g_noPositioning;
std::atomic<IPositioningServices*> g_positioning{nullptr};

}  // namespace

IPositioningServices& GetPositioningServices() {
    IPositioningServices* positioning = g_positioning.load();
    return positioning ? *positioning : g_noPositioning;
}

void SetPositioningServices(IPositioningServices* positioning) {
    g_positioning.store(positioning);
}
