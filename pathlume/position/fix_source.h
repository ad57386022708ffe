// What the map matcher, the travel direction and the published fix read of the
// receiver: the queued fixes, the receiver's current fix, and the position hold.
// The receiver implements it and installs itself; until then a default has nothing
// queued and no valid fix.
#pragma once

#include "platform/kernel/wintypes.h"

struct QueuedFix {
    FLOAT latitude = 0;
    FLOAT longitude = 0;
};

class IFixSource {
  public:
    // 0 with the oldest queued fix taken out, 1 when nothing is queued.
    virtual int PopFix(QueuedFix* fix) = 0;
    // The receiver's fix heading, degrees clockwise from north.
    virtual FLOAT FixHeading() = 0;
    virtual FLOAT FixSpeedMph() = 0;
    virtual bool FixValid() = 0;
    // The receiver's fix position, and whether a replay source (log playback or the
    // route demonstration) feeds it.
    virtual QueuedFix FixPosition() = 0;
    virtual bool IsReplaying() = 0;
    // g_positionHold: while set no fix is matched.
    virtual bool PositionHold() = 0;

  protected:
    ~IFixSource() = default;
};

IFixSource& GetFixSource();
// Null goes back to the default.
void SetFixSource(IFixSource* feed);
