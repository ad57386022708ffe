#include "pathlume/position/position_queue.h"

#include <algorithm>

PositionQueue g_positionQueue;

void PositionQueue::Push(const QueuedPosition& position) {
    std::lock_guard<std::mutex> guard(lock_);
    if (count_ == kCapacity) {
        std::copy(entries_ + 1, entries_ + kCapacity, entries_);
        --count_;
    }
    entries_[count_++] = position;
}

int PositionQueue::Pop(QueuedPosition* position) {
    std::lock_guard<std::mutex> guard(lock_);
    if (count_ == 0)
        return 1;
    *position = entries_[0];
    std::copy(entries_ + 1, entries_ + count_, entries_);
    --count_;
    return 0;
}

int PositionQueue::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
}

void PositionQueue::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    count_ = 0;
}
