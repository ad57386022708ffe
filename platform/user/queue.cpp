// Per-thread message queues: posting, sending across threads, reading and waiting.
#include <algorithm>

#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

// The bare desktop under the thread's windows is left as it is: at the program's end
// the screen keeps its last picture, for the screenshot.
void RetireQueue(const std::shared_ptr<ThreadQueue>& queue) {
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        queue->alive = false;
        auto it = state.queues.find(queue->threadId);
        if (it != state.queues.end() && it->second == queue) {
            state.queues.erase(it);
        }
        // Whoever waits on a send to this thread gets 0.
        for (const auto& sent : queue->sent) {
            sent->done = true;
        }
        queue->sent.clear();
        queue->posted.clear();
        queue->timers.clear();
        RemoveThreadWindowsLocked(queue->threadId);
        NotifyWaitersLocked();
    }
}

// The thread's queue goes with the thread, and so do its windows.
struct QueueSlot {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueSlot() {
        if (queue) {
            RetireQueue(queue);
        }
    }
};
thread_local QueueSlot t_queue;

bool HasMessageForMaskLocked(const ThreadQueue& queue, DWORD mask) {
    if (queue.quit) {
        return true;
    }
    if ((mask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) && !queue.posted.empty()) {
        return true;
    }
    if ((mask & (QS_INPUT | QS_HOTKEY)) && HasInputForLocked(queue)) {
        return true;
    }
    if ((mask & QS_PAINT) && NextWindowToPaintLocked(queue.threadId, nullptr)) {
        return true;
    }
    return (mask & QS_TIMER) && NextTimerDeadlineLocked(queue) <= ClockMilliseconds();
}

// Serves the oldest message another thread sent to this one.
bool ServeOneSentLocked(Lock& lock, ThreadQueue& queue) {
    if (queue.sent.empty()) {
        return false;
    }
    std::shared_ptr<SentMessage> sent = queue.sent.front();
    queue.sent.pop_front();
    Window* window = FindLocked(sent->hwnd);
    WNDPROC proc = window ? window->proc : nullptr;
    lock.unlock();
    LRESULT result = 0;
    try {
        result = CallWindowProcW(proc, sent->hwnd, sent->message, sent->wParam, sent->lParam);
    } catch (...) {
        // The thread is being unwound (ExitThread): let the sender go.
        lock.lock();
        sent->done = true;
        NotifyWaitersLocked();
        throw;
    }
    lock.lock();
    sent->result = result;
    sent->done = true;
    NotifyWaitersLocked();
    return true;
}

// Runs what waits for the thread to be idle; false when nothing did.
bool RunIdleCallsLocked(Lock& lock, ThreadQueue& queue) {
    if (queue.whenIdle.empty()) {
        return false;
    }
    std::vector<std::function<void()>> calls = std::move(queue.whenIdle);
    queue.whenIdle.clear();
    lock.unlock();
    for (const auto& call : calls) {
        call();
    }
    lock.lock();
    return true;
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{hwnd, message, wParam, lParam, GetTickCount(), StateLocked().cursor};
}

// Finds the next message in the order GetMessageW hands them out (sent messages
// aside).
bool FindMessageLocked(ThreadQueue& queue, const Filter& filter, bool remove, MSG* msg,
                       HWND* activate) {
    for (auto it = queue.posted.begin(); it != queue.posted.end();) {
        if (it->hwnd && !FindLocked(it->hwnd)) {
            it = queue.posted.erase(it);  // its window is gone
            continue;
        }
        if (filter.Takes(it->message) && WindowPassesLocked(filter, it->hwnd)) {
            *msg = *it;
            if (remove) {
                queue.posted.erase(it);
            }
            return true;
        }
        ++it;
    }
    if (TakeInputLocked(queue, filter, remove, msg, activate)) {
        return true;
    }
    if (queue.quit) {
        *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
        if (remove) {
            queue.quit = false;
        }
        return true;
    }
    if (filter.Takes(WM_PAINT)) {
        if (Window* window = NextWindowToPaintLocked(queue.threadId, filter.hwnd)) {
            *msg = MakeMessage(window->handle, WM_PAINT, 0, 0);
            return true;
        }
    }
    return TakeDueTimerLocked(queue, filter, remove, msg);
}

bool PostToQueueLocked(ThreadQueue& queue, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (queue.posted.size() >= POSTED_MESSAGE_LIMIT) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    queue.posted.push_back(MakeMessage(hwnd, message, wParam, lParam));
    NotifyWaitersLocked();
    return true;
}

bool ValidFilterWindow(HWND hwnd) {
    return !hwnd || hwnd == reinterpret_cast<HWND>(-1) || IsWindow(hwnd);
}

}  // namespace

bool ThreadQueue::IsSignalledLocked() const {
    return !sent.empty() || HasMessageForMaskLocked(*this, wakeMask);
}

ThreadQueue& CurrentQueueLocked() {
    if (!t_queue.queue) {
        auto queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        StateLocked().queues[queue->threadId] = queue;
        t_queue.queue = std::move(queue);
    }
    return *t_queue.queue;
}

ThreadQueue* QueueOfLocked(DWORD threadId) {
    State& state = StateLocked();
    auto it = state.queues.find(threadId);
    return it == state.queues.end() ? nullptr : it->second.get();
}

bool WindowPassesLocked(const Filter& filter, HWND hwnd) {
    if (!filter.hwnd) {
        return true;
    }
    if (filter.hwnd == reinterpret_cast<HWND>(-1)) {
        return hwnd == nullptr;
    }
    Window* ancestor = FindLocked(filter.hwnd);
    Window* window = FindLocked(hwnd);
    return ancestor && window && IsDescendantLocked(ancestor, window);
}

LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool wantsReply) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !window->parent) {
        return 0;
    }
    if (IsOwnThreadLocked(window)) {
        WNDPROC proc = window->proc;
        lock.unlock();
        return CallWindowProcW(proc, hwnd, message, wParam, lParam);
    }
    auto found = StateLocked().queues.find(window->threadId);
    if (found == StateLocked().queues.end()) {
        return 0;
    }
    std::shared_ptr<ThreadQueue> target = found->second;
    auto sent =
        std::make_shared<SentMessage>(SentMessage{hwnd, message, wParam, lParam, wantsReply});
    target->sent.push_back(sent);
    NotifyWaitersLocked();
    if (!wantsReply) {
        return TRUE;
    }
    // Serve what is sent to this thread meanwhile: the target may be sending to us.
    std::shared_ptr<ThreadQueue> own = t_queue.queue;
    while (!sent->done) {
        if (own && ServeOneSentLocked(lock, *own)) {
            continue;
        }
        if (StopRequested()) {
            auto& pending = target->sent;
            pending.erase(std::remove(pending.begin(), pending.end(), sent), pending.end());
            return 0;
        }
        WaitForClockLocked(lock, UINT64_MAX);
    }
    return sent->result;
}

bool WaitServingSent(const std::function<bool()>& doneLocked) {
    Lock lock = TakeLock();
    std::shared_ptr<ThreadQueue> own = t_queue.queue;
    while (!doneLocked()) {
        if (own && ServeOneSentLocked(lock, *own)) {
            continue;
        }
        if (StopRequested()) {
            return false;
        }
        WaitForClockLocked(lock, UINT64_MAX);
    }
    return true;
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsRemoteWindow(hwnd)) {
        return RemoteSend(hwnd, message, wParam, lParam);
    }
    return Deliver(hwnd, message, wParam, lParam, true);
}

BOOL SendNotifyMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Deliver(hwnd, message, wParam, lParam, false);
    return TRUE;
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hwnd) {
        return PostThreadMessageW(GetCurrentThreadId(), message, wParam, lParam);
    }
    if (IsRemoteWindow(hwnd)) {
        return RemotePost(hwnd, message, wParam, lParam);
    }
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return FALSE;
    }
    ThreadQueue* queue = QueueOfLocked(window->threadId);
    if (!queue) {
        return window->parent ? FALSE : TRUE;  // the desktop takes and drops it
    }
    return PostToQueueLocked(*queue, hwnd, message, wParam, lParam);
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    Lock lock = TakeLock();
    ThreadQueue* queue =
        threadId == GetCurrentThreadId() ? &CurrentQueueLocked() : QueueOfLocked(threadId);
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return PostToQueueLocked(*queue, nullptr, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    Lock lock = TakeLock();
    ThreadQueue& queue = CurrentQueueLocked();
    queue.quit = true;
    queue.quitCode = exitCode;
    NotifyWaitersLocked();
}

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!ValidFilterWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Filter filter{hwnd, filterMin, filterMax};
    HWND activate = nullptr;
    {
        Lock lock = TakeLock();
        ThreadQueue& queue = CurrentQueueLocked();
        for (;;) {
            if (ServeOneSentLocked(lock, queue)) {
                continue;
            }
            if (FindMessageLocked(queue, filter, true, msg, &activate)) {
                break;
            }
            if (StopRequested()) {
                *msg = MakeMessage(nullptr, WM_QUIT, 0, 0);
                return FALSE;
            }
            if (RunIdleCallsLocked(lock, queue)) {
                continue;
            }
            WaitForClockLocked(lock, NextTimerDeadlineLocked(queue, filter));
        }
    }
    if (activate) {
        ActivateByClick(activate);
    }
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    if (!msg || !ValidFilterWindow(hwnd)) {
        SetLastError(msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Filter filter{hwnd, filterMin, filterMax};
    HWND activate = nullptr;
    bool found = false;
    {
        Lock lock = TakeLock();
        ThreadQueue& queue = CurrentQueueLocked();
        while (ServeOneSentLocked(lock, queue)) {
        }
        found = FindMessageLocked(queue, filter, (remove & PM_REMOVE) != 0, msg, &activate);
    }
    if (activate) {
        ActivateByClick(activate);
    }
    return found ? TRUE : FALSE;
}

BOOL WaitMessage() {
    Lock lock = TakeLock();
    ThreadQueue& queue = CurrentQueueLocked();
    for (;;) {
        if (ServeOneSentLocked(lock, queue)) {
            return TRUE;
        }
        if (HasMessageForMaskLocked(queue, QS_ALLEVENTS)) {
            return TRUE;
        }
        if (StopRequested()) {
            return FALSE;
        }
        if (RunIdleCallsLocked(lock, queue)) {
            continue;
        }
        WaitForClockLocked(lock, NextTimerDeadlineLocked(queue));
    }
}

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds,
                                  DWORD wakeMask, DWORD flags) {
    if (count >= MAXIMUM_WAIT_OBJECTS || (count > 0 && !handles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<platform::Waitable>> objects;
    for (DWORD i = 0; i < count; ++i) {
        std::shared_ptr<platform::Waitable> object =
            handles[i] == GetCurrentThread()
                ? platform::CurrentThreadObject()
                : platform::LookupHandleAs<platform::Waitable>(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    std::shared_ptr<ThreadQueue> queue;
    {
        Lock lock = TakeLock();
        CurrentQueueLocked();
        queue = t_queue.queue;
    }
    objects.push_back(queue);
    const bool waitAll = flags & MWMO_WAITALL;
    const uint64_t deadline =
        milliseconds == INFINITE ? UINT64_MAX : platform::ClockMilliseconds() + milliseconds;
    for (;;) {
        uint64_t wakeAt = deadline;
        {
            Lock lock = TakeLock();
            while (ServeOneSentLocked(lock, *queue)) {
            }
            queue->wakeMask = wakeMask;
            if (wakeMask & QS_TIMER) {
                // A wait's own deadline is all that wakes it on the real clock.
                wakeAt = std::min(wakeAt, NextTimerDeadlineLocked(*queue));
            }
        }
        uint64_t now = platform::ClockMilliseconds();
        DWORD timeout = wakeAt == UINT64_MAX ? INFINITE
                        : wakeAt <= now
                            ? 0
                            : static_cast<DWORD>(std::min<uint64_t>(wakeAt - now, INFINITE - 1));
        DWORD result = platform::WaitForObjects(objects, waitAll, timeout);
        if (result == WAIT_TIMEOUT) {
            if (platform::ClockMilliseconds() >= deadline) {
                return WAIT_TIMEOUT;
            }
            continue;
        }
        if (!waitAll && result == WAIT_OBJECT_0 + count) {
            Lock lock = TakeLock();
            while (ServeOneSentLocked(lock, *queue)) {
            }
            if (HasMessageForMaskLocked(*queue, wakeMask)) {
                return result;
            }
            continue;  // only sent messages: served, keep waiting
        }
        return result;
    }
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask) {
    return MsgWaitForMultipleObjectsEx(count, handles, milliseconds, wakeMask,
                                       waitAll ? MWMO_WAITALL : 0);
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg) {
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        {
            // Only a procedure of a live timer is called, never whatever lParam holds.
            Lock lock = TakeLock();
            if (!IsTimerProcLocked(CurrentQueueLocked(), msg->hwnd, msg->wParam, proc)) {
                return 0;
            }
        }
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    WNDPROC proc = nullptr;
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(msg->hwnd);
        if (!window || !window->parent) {
            return 0;
        }
        proc = window->proc;
    }
    if (msg->message == WM_PAINT) {
        return CallPaint(msg->hwnd, proc);
    }
    return CallWindowProcW(proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

// --- Pumping, for tests and tools ------------------------------------------------

int platform::PumpUntilIdle() {
    int count = 0;
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return count;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            ++count;
        }
        Lock lock = TakeLock();
        if (!RunIdleCallsLocked(lock, CurrentQueueLocked())) {
            return count;
        }
    }
}

BOOL platform::CallWhenIdle(HWND hwnd, std::function<void()> call) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    ThreadQueue* queue = window ? QueueOfLocked(window->threadId) : nullptr;
    if (!queue || !call) {
        return FALSE;
    }
    queue->whenIdle.push_back(std::move(call));
    NotifyWaitersLocked();
    return TRUE;
}

void platform::AdvanceClockAndPump(uint64_t milliseconds) {
    PumpUntilIdle();
    if (!IsManualClock()) {
        return;
    }
    const uint64_t end = ClockMilliseconds() + milliseconds;
    for (;;) {
        uint64_t next = 0;
        {
            Lock lock = TakeLock();
            next = NextTimerDeadlineLocked(CurrentQueueLocked());
        }
        uint64_t now = ClockMilliseconds();
        if (next > end || next <= now) {
            break;  // none due on the way (or one that cannot fire: a WM_QUIT waits)
        }
        AdvanceClock(next - now);
        PumpUntilIdle();
    }
    uint64_t now = ClockMilliseconds();
    if (end > now) {
        AdvanceClock(end - now);
    }
    PumpUntilIdle();
}
