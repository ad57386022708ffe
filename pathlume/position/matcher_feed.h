// What the map matcher and the travel direction read of the receiver: the queued
// fixes, the receiver's current heading, speed and validity, and the position hold.
// The receiver implements it and installs itself; until then a default has nothing
// queued and no valid fix.
#pragma once

#include "platform/kernel/wintypes.h"

struct MatcherFix {
    FLOAT latitude = 0;
    FLOAT longitude = 0;
};

class IMatcherFeed {
  public:
    // 0 with the oldest queued fix taken out, 1 when nothing is queued.
    virtual int PopFix(MatcherFix* fix) = 0;
    // The receiver's fix heading, degrees clockwise from north.
    virtual FLOAT FixHeading() = 0;
    virtual FLOAT FixSpeedMph() = 0;
    virtual bool FixValid() = 0;
    // g_positionHold: while set no fix is matched.
    virtual bool PositionHold() = 0;

  protected:
    ~IMatcherFeed() = default;
};

IMatcherFeed& GetMatcherFeed();
// Null goes back to the default.
void SetMatcherFeed(IMatcherFeed* feed);
