#include "pathlume/mapdb/position_services.h"

#include <atomic>

namespace {

class DefaultPositionServices final : public IPositionServices {
  public:
    void ResetMatcher() override {}
    void SaveLastPosition(const MapPoint*) override {}
    float GetSpeedMph() override { return 0; }
    TravelDirection GetTravelDirection() override { return kTravelUnknown; }
};

DefaultPositionServices g_defaultPosition;
std::atomic<IPositionServices*> g_position{nullptr};

}  // namespace

IPositionServices& GetPositionServices() {
    IPositionServices* position = g_position.load();
    return position ? *position : g_defaultPosition;
}

void SetPositionServices(IPositionServices* position) {
    g_position.store(position);
}
