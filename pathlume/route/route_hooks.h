// What the router asks of the layers above it: the main view's screen steps, and
// guidance's update, prompt words and counters. The shell and guidance install
// these; until then they do nothing, and boxes go through MessageBoxW.
#pragma once

#include "platform/kernel/wintypes.h"

class CRouter;

// Prompt words the router speaks.
inline constexpr int kPromptDest = 42;      // "dest"
inline constexpr int kPromptWait4Gps = 71;  // "wait4gps"

class IRouteGuidance {
  public:
    // UpdateGuidance (router, flag).
    virtual void UpdateGuidance(CRouter& router, int flag) = 0;
    // Speaks one prompt word through a new voice prompt.
    virtual void SpeakWord(int word) = 0;
    // A new search or reset: the last announced maneuver becomes -2 unless it is
    // -3 (or -3 with recalcPending), the next-prompt mark -1, the guidance flags 0.
    virtual void ResetAnnouncements(bool recalcPending) = 0;
    // During a replay the guidance's replay word becomes -1 (recalculation).
    virtual void SetReplayWord(int value) = 0;
    // Says the next maneuver again, as when it was new (the driver asked for it).
    virtual void RepeatAnnouncement(CRouter& router) { (void)router; }

  protected:
    ~IRouteGuidance() = default;
};

IRouteGuidance& GetRouteGuidance();
void SetRouteGuidance(IRouteGuidance* guidance);
