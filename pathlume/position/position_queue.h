// The hand-over of fixes from the GPS threads to the user-interface thread: the
// last five positions, oldest first. A full queue loses its oldest position.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/kernel/wintypes.h"

struct QueuedPosition {
    FLOAT latitude = 0;
    FLOAT longitude = 0;
    FLOAT headingDegrees = 0;
    // Kept with the position: the reader may parse the next fix before the matcher
    // takes this one.
    FLOAT speedMph = 0;
};

class PositionQueue {
  public:
    static constexpr int kCapacity = 5;

    void Push(const QueuedPosition& position);
    // 0 with the oldest position taken out, 1 when empty (nothing written).
    int Pop(QueuedPosition* position);
    int Count() const;
    void Clear();

    // The speed (mph) of the last fix the filter looked at; 5 at first, so that the
    // first slow fix is queued.
    FLOAT LastSpeed() const { return lastSpeed_.load(); }
    void SetLastSpeed(FLOAT mph) { lastSpeed_.store(mph); }

  private:
    std::atomic<FLOAT> lastSpeed_{5.0f};
    mutable std::mutex lock_;
    int count_ = 0;
    QueuedPosition entries_[kCapacity];
};

extern PositionQueue g_positionQueue;
