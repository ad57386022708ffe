// The matcher's fixes from the position queue and a receiver's fix, as the receiver
// hands them on: installed by the tests that run the matcher behind a receiver.
#pragma once

#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/fix_source.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/position_queue.h"

namespace testing_support {

class ReceiverFixSource final : public IFixSource {
  public:
    explicit ReceiverFixSource(CNmeaReceiver& receiver) : receiver_(receiver) {}
    int PopFix(QueuedFix* fix) override {
        QueuedPosition position;
        if (g_positionQueue.Pop(&position) != 0)
            return 1;
        *fix = {position.latitude, position.longitude};
        return 0;
    }
    FLOAT FixHeading() override { return receiver_.GetFix().headingDegrees; }
    FLOAT FixSpeedMph() override { return receiver_.GetFix().speedMph; }
    bool FixValid() override { return receiver_.GetFix().valid; }
    QueuedFix FixPosition() override {
        const GpsFix fix = receiver_.GetFix();
        return {fix.latitude, fix.longitude};
    }
    bool IsReplaying() override { return (receiver_.GetFlags() & kGpsReplayActive) != 0; }
    bool PositionHold() override { return g_positionHold.load() != 0; }

  private:
    CNmeaReceiver& receiver_;
};

}  // namespace testing_support
