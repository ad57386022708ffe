#include "pathlume/position/fix_source.h"

#include <atomic>

namespace {

class NoFixSource final : public IFixSource {
  public:
    int PopFix(QueuedFix*) override { return 1; }
    FLOAT FixHeading() override { return 0; }
    FLOAT FixSpeedMph() override { return 0; }
    bool FixValid() override { return false; }
    QueuedFix FixPosition() override { return {}; }
    bool IsReplaying() override { return false; }
    bool PositionHold() override { return false; }
};

NoFixSource g_noFixSource;
std::atomic<IFixSource*> g_feed{nullptr};

}  // namespace

IFixSource& GetFixSource() {
    IFixSource* feed = g_feed.load();
    return feed ? *feed : g_noFixSource;
}

void SetFixSource(IFixSource* feed) {
    g_feed.store(feed);
}
