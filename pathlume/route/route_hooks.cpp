#include "pathlume/route/route_hooks.h"

#include <atomic>

namespace {

class NoGuidance final : public IRouteGuidance {
  public:
    void UpdateGuidance(CRouter&, int) override {}
    void SpeakWord(int) override {}
    void ResetAnnouncements(bool) override {}
    void SetReplayWord(int) override {}
};

NoGuidance g_noGuidance;
std::atomic<IRouteGuidance*> g_guidance{nullptr};

}  // namespace

IRouteGuidance& GetRouteGuidance() {
    IRouteGuidance* guidance = g_guidance.load();
    return guidance ? *guidance : g_noGuidance;
}

void SetRouteGuidance(IRouteGuidance* guidance) {
    g_guidance.store(guidance);
}
