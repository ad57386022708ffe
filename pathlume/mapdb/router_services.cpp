#include "pathlume/mapdb/router_services.h"

#include <atomic>

namespace {

class DefaultRouterServices final : public IRouterServices {
  public:
    void SetStateBits(uint32_t bits) override { state_ |= bits; }
    uint32_t GetState() override { return state_; }
    void ApplyAvoidMarks(MapChunk&) override {}

  private:
    // Read by the auto-pan time-out on the GPS threads.
    std::atomic<uint32_t> state_{0};
};

DefaultRouterServices g_defaultRouter;
std::atomic<IRouterServices*> g_router{nullptr};

}  // namespace

IRouterServices& GetRouterServices() {
    IRouterServices* router = g_router.load();
    return router ? *router : g_defaultRouter;
}

void SetRouterServices(IRouterServices* router) {
    g_router.store(router);
}
