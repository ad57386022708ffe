#include "pathlume/mapdb/area_feature_view.h"

#include <atomic>

namespace {
DefaultAreaFeatureView g_defaultView;
std::atomic<IAreaFeatureView*> g_view{nullptr};
}  // namespace

IAreaFeatureView& GetAreaFeatureView() {
    IAreaFeatureView* view = g_view.load();
    return view ? *view : g_defaultView;
}

void SetAreaFeatureView(IAreaFeatureView* view) {
    g_view.store(view);
}
