// Timers on the kernel's clock.
#include <algorithm>

#include "platform/user/user_internal.h"

namespace platform::user {

bool TakeDueTimerLocked(ThreadQueue& queue, const Filter& filter, bool remove, MSG* msg) {
    if (!filter.Takes(WM_TIMER)) {
        return false;
    }
    const uint64_t now = ClockMilliseconds();
    Timer* due = nullptr;
    for (Timer& timer : queue.timers) {
        if (timer.deadline > now || !WindowPassesLocked(filter, timer.hwnd)) {
            continue;
        }
        if (!due || timer.deadline < due->deadline ||
            (timer.deadline == due->deadline && timer.serial < due->serial)) {
            due = &timer;
        }
    }
    if (!due) {
        return false;
    }
    *msg = MSG{due->hwnd,      WM_TIMER,
               due->id,        reinterpret_cast<LPARAM>(due->proc),
               GetTickCount(), StateLocked().cursor};
    if (remove) {
        // One message however many periods went by; the next comes a period later.
        due->deadline = now + due->period;
    }
    return true;
}

uint64_t NextTimerDeadlineLocked(const ThreadQueue& queue, const Filter& filter) {
    uint64_t next = UINT64_MAX;
    if (!filter.Takes(WM_TIMER)) {
        return next;
    }
    for (const Timer& timer : queue.timers) {
        if (WindowPassesLocked(filter, timer.hwnd)) {
            next = std::min(next, timer.deadline);
        }
    }
    return next;
}

bool IsTimerProcLocked(const ThreadQueue& queue, HWND hwnd, UINT_PTR id, TIMERPROC proc) {
    return std::any_of(queue.timers.begin(), queue.timers.end(), [&](const Timer& timer) {
        return timer.hwnd == hwnd && timer.id == id && timer.proc == proc;
    });
}

void KillWindowTimersLocked(HWND hwnd) {
    for (auto& [threadId, queue] : StateLocked().queues) {
        std::erase_if(queue->timers, [&](const Timer& timer) { return timer.hwnd == hwnd; });
    }
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
    Lock lock = TakeLock();
    State& state = StateLocked();
    ThreadQueue* queue = nullptr;
    if (hwnd) {
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return 0;
        }
        queue = QueueOfLocked(window->threadId);
        if (!queue) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    } else {
        queue = &CurrentQueueLocked();
    }
    elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, 0x7FFFFFFF);
    auto existing = std::find_if(queue->timers.begin(), queue->timers.end(),
                                 [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (!hwnd && existing == queue->timers.end()) {
        // A new window-less timer gets an id of its own.
        auto taken = [&](UINT_PTR candidate) {
            return candidate == 0 ||
                   std::any_of(queue->timers.begin(), queue->timers.end(),
                               [&](const Timer& t) { return !t.hwnd && t.id == candidate; });
        };
        do {
            id = state.nextThreadTimerId++;
        } while (taken(id));
    }
    Timer timer{hwnd, id, elapse, ClockMilliseconds() + elapse, timerProc, state.nextTimerSerial++};
    if (existing != queue->timers.end()) {
        *existing = timer;
    } else {
        queue->timers.push_back(timer);
    }
    NotifyWaitersLocked();  // its thread may be waiting for a later deadline
    return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    Lock lock = TakeLock();
    ThreadQueue* queue = nullptr;
    if (hwnd) {
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return FALSE;
        }
        queue = QueueOfLocked(window->threadId);
    } else {
        queue = &CurrentQueueLocked();
    }
    if (!queue || !std::erase_if(queue->timers,
                                 [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; })) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
