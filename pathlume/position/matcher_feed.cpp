#include "pathlume/position/matcher_feed.h"

#include <atomic>

namespace {

class NoFeed final : public IMatcherFeed {
  public:
    int PopFix(MatcherFix*) override { return 1; }
    FLOAT FixHeading() override { return 0; }
    FLOAT FixSpeedMph() override { return 0; }
    bool FixValid() override { return false; }
    bool PositionHold() override { return false; }
};

NoFeed g_noFeed;
std::atomic<IMatcherFeed*> g_feed{nullptr};

}  // namespace

IMatcherFeed& GetMatcherFeed() {
    IMatcherFeed* feed = g_feed.load();
    return feed ? *feed : g_noFeed;
}

void SetMatcherFeed(IMatcherFeed* feed) {
    g_feed.store(feed);
}
