#include "platform/kernel/msgqueue.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/kernel/handles.h"
#include "platform/kernel/sync.h"

namespace platform {
namespace {

// What both ends of a queue share. Every field lives under WaitLock().
struct QueueCore {
    DWORD flags = 0;
    DWORD maxMessages = 0;  // 0: no limit
    DWORD maxMessageSize = 0;
    struct Message {
        std::vector<BYTE> bytes;
        DWORD flags;
    };
    std::deque<Message> messages;
    int readers = 0;
    int writers = 0;

    bool HasRoomLocked() const { return maxMessages == 0 || messages.size() < maxMessages; }
};

class QueueEnd : public Waitable {
  public:
    QueueEnd(std::shared_ptr<QueueCore> core, bool read) : core(std::move(core)), read(read) {
        std::lock_guard<std::mutex> guard(WaitLock());
        ++(read ? this->core->readers : this->core->writers);
    }

    bool IsSignalledLocked() const override {
        return read ? !core->messages.empty() : core->HasRoomLocked();
    }
    void OnLastHandleClosed() override {
        std::lock_guard<std::mutex> guard(WaitLock());
        --(read ? core->readers : core->writers);
        NotifyWaitersLocked();
    }

    const std::shared_ptr<QueueCore> core;
    const bool read;
};

// Named queues of this process.
std::map<std::u16string, std::weak_ptr<QueueCore>>& NamesLocked() {
    static auto* names = new std::map<std::u16string, std::weak_ptr<QueueCore>>;
    return *names;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<QueueEnd> EndOf(HANDLE handle, bool read) {
    auto end = LookupHandleAs<QueueEnd>(handle);
    return end && end->read == read ? end : nullptr;
}

// Waits on the handle until `ready` holds (checked under WaitLock, which it keeps
// held when it returns true), the time runs out or the handle is closed.
template <class Ready>
bool WaitUntil(HANDLE handle, DWORD milliseconds, std::unique_lock<std::mutex>& lock, Ready ready) {
    const uint64_t deadline =
        milliseconds == INFINITE ? UINT64_MAX : ClockMilliseconds() + milliseconds;
    for (;;) {
        lock = std::unique_lock<std::mutex>(WaitLock());
        if (ready()) {
            return true;
        }
        lock.unlock();
        uint64_t now = ClockMilliseconds();
        DWORD left = deadline == UINT64_MAX ? INFINITE
                     : deadline <= now
                         ? 0
                         : static_cast<DWORD>(std::min<uint64_t>(deadline - now, INFINITE - 1));
        DWORD result = WaitForSingleObject(handle, left);
        if (result == WAIT_TIMEOUT) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        if (result == WAIT_FAILED) {
            return false;  // closed, or the thread was asked to stop
        }
    }
}

// --- Power notifications ----------------------------------------------------------

class PowerRequest : public KernelObject {
  public:
    PowerRequest(std::weak_ptr<QueueCore> core, DWORD flags)
        : core(std::move(core)), flags(flags) {}
    const std::weak_ptr<QueueCore> core;
    const DWORD flags;
};

struct PowerState {
    std::mutex lock;
    std::condition_variable wake;
    std::vector<std::weak_ptr<PowerRequest>> requests;
    bool watching = false;
};

PowerState& Power() {
    static auto* state = new PowerState;  // the watcher may outlive static destruction
    return *state;
}

int64_t ClockMs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// How far the clock that counts a suspend has run ahead of the one that does not.
int64_t SuspendedMs() {
    return ClockMs(CLOCK_BOOTTIME) - ClockMs(CLOCK_MONOTONIC);
}

void Broadcast(DWORD kind) {
    std::vector<std::shared_ptr<QueueCore>> targets;
    {
        PowerState& power = Power();
        std::lock_guard<std::mutex> guard(power.lock);
        for (const auto& weak : power.requests) {
            auto request = weak.lock();
            if (!request || !(request->flags & kind)) {
                continue;
            }
            if (auto core = request->core.lock()) {
                targets.push_back(std::move(core));
            }
        }
    }
    BYTE message[POWER_BROADCAST_MESSAGE_SIZE] = {};
    std::memcpy(message, &kind, sizeof kind);  // Message; Flags and Length stay 0
    std::lock_guard<std::mutex> guard(WaitLock());
    for (const auto& core : targets) {
        // Never wait on a reader that has fallen behind: that notification is lost.
        if (core->readers > 0 && core->HasRoomLocked() &&
            core->maxMessageSize >= POWER_BROADCAST_MESSAGE_SIZE) {
            core->messages.push_back({std::vector<BYTE>(message, message + sizeof message), 0});
        }
    }
    NotifyWaitersLocked();
}

// Looks once a second for a host suspend while anyone listens.
void WatchForHostSuspend() {
    PowerState& power = Power();
    int64_t last = SuspendedMs();
    std::unique_lock<std::mutex> lock(power.lock);
    for (;;) {
        power.wake.wait_for(lock, std::chrono::seconds(1));
        std::erase_if(power.requests, [](const auto& weak) { return weak.expired(); });
        if (power.requests.empty()) {
            power.watching = false;
            return;
        }
        int64_t now = SuspendedMs();
        bool resumed = now - last > 2000;
        last = now;
        if (resumed) {
            lock.unlock();
            Broadcast(PBT_RESUME);
            lock.lock();
        }
    }
}

std::atomic<uint64_t> g_idleResets{0};
std::atomic<uint64_t> g_lastIdleReset{0};

}  // namespace

void SimulatePowerResume() {
    Broadcast(PBT_RESUME);
}

uint64_t IdleTimerResetCount() {
    return g_idleResets.load();
}

uint64_t LastIdleTimerReset() {
    return g_lastIdleReset.load();
}

}  // namespace platform

using namespace platform;

HANDLE CreateMsgQueue(LPCWSTR name, LPMSGQUEUEOPTIONS options) {
    if (!options || options->dwSize != sizeof(MSGQUEUEOPTIONS) || options->cbMaxMessage == 0 ||
        (options->dwFlags & ~(MSGQUEUE_NOPRECOMMIT | MSGQUEUE_ALLOW_BROKEN))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<QueueCore> core;
    bool existed = false;
    {
        std::lock_guard<std::mutex> guard(WaitLock());
        if (name && *name) {
            auto& slot = NamesLocked()[name];
            core = slot.lock();
            existed = core != nullptr;
            if (!core) {
                core = std::make_shared<QueueCore>();
                slot = core;
            }
        } else {
            core = std::make_shared<QueueCore>();
        }
        if (!existed) {
            core->flags = options->dwFlags;
            core->maxMessages = options->dwMaxMessages;
            core->maxMessageSize = options->cbMaxMessage;
        }
        std::erase_if(NamesLocked(), [](const auto& entry) { return entry.second.expired(); });
    }
    HANDLE handle = InsertHandle(std::make_shared<QueueEnd>(core, options->bReadAccess != FALSE));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadMsgQueue(HANDLE queue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead,
                  DWORD milliseconds, DWORD* flags) {
    auto end = EndOf(queue, true);
    if (!end) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!buffer || !bytesRead) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::unique_lock<std::mutex> lock;
    if (!WaitUntil(queue, milliseconds, lock, [&] { return !end->core->messages.empty(); })) {
        return FALSE;
    }
    QueueCore::Message message = std::move(end->core->messages.front());
    end->core->messages.pop_front();
    NotifyWaitersLocked();  // a writer may wait for room
    lock.unlock();
    if (message.bytes.size() > bufferSize) {
        *bytesRead = 0;
        return Fail(ERROR_INSUFFICIENT_BUFFER);  // and the message is gone
    }
    std::memcpy(buffer, message.bytes.data(), message.bytes.size());
    *bytesRead = static_cast<DWORD>(message.bytes.size());
    if (flags) {
        *flags = message.flags;
    }
    return TRUE;
}

BOOL WriteMsgQueue(HANDLE queue, LPVOID buffer, DWORD dataSize, DWORD milliseconds, DWORD flags) {
    auto end = EndOf(queue, false);
    if (!end) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!buffer || dataSize == 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (dataSize > end->core->maxMessageSize) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::unique_lock<std::mutex> lock;
    bool broken = false;
    auto ready = [&] {
        broken = end->core->readers == 0 && !(end->core->flags & MSGQUEUE_ALLOW_BROKEN);
        return broken || end->core->HasRoomLocked();
    };
    if (!WaitUntil(queue, milliseconds, lock, ready)) {
        return FALSE;
    }
    if (broken) {
        return Fail(ERROR_PIPE_NOT_CONNECTED);
    }
    const BYTE* bytes = static_cast<const BYTE*>(buffer);
    end->core->messages.push_back({std::vector<BYTE>(bytes, bytes + dataSize), flags});
    NotifyWaitersLocked();
    return TRUE;
}

BOOL GetMsgQueueInfo(HANDLE queue, LPMSGQUEUEINFO info) {
    auto end = LookupHandleAs<QueueEnd>(queue);
    if (!end) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!info || info->dwSize != sizeof(MSGQUEUEINFO)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    const QueueCore& core = *end->core;
    info->dwFlags = core.flags;
    info->dwMaxMessages = core.maxMessages;
    info->cbMaxMessage = core.maxMessageSize;
    info->dwCurrentMessages = static_cast<DWORD>(core.messages.size());
    info->dwMaxQueueMessages = core.maxMessages;
    info->wNumReaders = static_cast<WORD>(core.readers);
    info->wNumWriters = static_cast<WORD>(core.writers);
    return TRUE;
}

BOOL CloseMsgQueue(HANDLE queue) {
    if (!LookupHandleAs<QueueEnd>(queue)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return CloseHandle(queue);
}

HANDLE RequestPowerNotifications(HANDLE msgQueue, DWORD flags) {
    auto end = EndOf(msgQueue, true);
    if (!end || flags == 0) {
        SetLastError(end ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto request = std::make_shared<PowerRequest>(end->core, flags);
    PowerState& power = Power();
    {
        std::lock_guard<std::mutex> guard(power.lock);
        power.requests.push_back(request);
        if (!power.watching) {
            power.watching = true;
            std::thread(WatchForHostSuspend).detach();
        }
    }
    return InsertHandle(std::move(request));
}

BOOL StopPowerNotifications(HANDLE notifications) {
    auto request = LookupHandleAs<PowerRequest>(notifications);
    if (!request) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    {
        PowerState& power = Power();
        std::lock_guard<std::mutex> guard(power.lock);
        std::erase_if(power.requests, [&](const auto& weak) {
            auto live = weak.lock();
            return !live || live == request;
        });
        power.wake.notify_all();
    }
    return CloseHandle(notifications);
}

void SystemIdleTimerReset() {
    g_lastIdleReset.store(std::max<uint64_t>(ClockMilliseconds(), 1));
    g_idleResets.fetch_add(1);
}
