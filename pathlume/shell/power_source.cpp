#include "pathlume/shell/power_source.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct PowerQueue {
    std::deque<DWORD> kinds;
    bool closed = false;
};

struct Queues {
    std::mutex lock;
    std::condition_variable changed;
    std::map<HANDLE, std::shared_ptr<PowerQueue>> open;
    uintptr_t next = 1;
};

Queues& TheQueues() {
    static Queues* queues = new Queues;
    return *queues;
}

constexpr size_t kMaxWaiting = 10;  // a full queue drops the notification

}  // namespace

HANDLE OpenPowerQueue() {
    Queues& queues = TheQueues();
    std::lock_guard<std::mutex> guard(queues.lock);
    const auto handle = reinterpret_cast<HANDLE>(queues.next++);
    queues.open[handle] = std::make_shared<PowerQueue>();
    return handle;
}

bool WaitPowerNotification(HANDLE queue, DWORD* kind) {
    Queues& queues = TheQueues();
    std::unique_lock<std::mutex> lock(queues.lock);
    const auto found = queues.open.find(queue);
    if (found == queues.open.end())
        return false;
    const std::shared_ptr<PowerQueue> mine = found->second;
    queues.changed.wait(lock, [&] { return mine->closed || !mine->kinds.empty(); });
    if (mine->closed)
        return false;
    *kind = mine->kinds.front();
    mine->kinds.pop_front();
    return true;
}

void ClosePowerQueue(HANDLE queue) {
    Queues& queues = TheQueues();
    std::lock_guard<std::mutex> guard(queues.lock);
    const auto found = queues.open.find(queue);
    if (found == queues.open.end())
        return;
    found->second->closed = true;
    queues.open.erase(found);
    queues.changed.notify_all();
}

void ReportPowerResume() {
    Queues& queues = TheQueues();
    std::lock_guard<std::mutex> guard(queues.lock);
    for (auto& [handle, queue] : queues.open)
        if (queue->kinds.size() < kMaxWaiting)
            queue->kinds.push_back(kPowerResume);
    queues.changed.notify_all();
}
