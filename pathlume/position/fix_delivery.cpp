#include "pathlume/position/fix_delivery.h"

#include <mutex>

#include "pathlume/mapdb/timeout_record.h"
#include "pathlume/position/position_queue.h"
#include "platform/kernel/sync.h"
#include "platform/user/user.h"

std::atomic<HANDLE> g_dataMutex{nullptr};
LONG volatile g_pendingFixPosts = 0;
std::atomic<LONG> g_positionHold{0};

void CreateDataMutex() {
    static std::once_flag once;
    std::call_once(once, [] { g_dataMutex.store(CreateMutexW(nullptr, FALSE, nullptr)); });
}

namespace {

// Signalled each time the view takes a new-fix message.
HANDLE FixTakenEvent() {
    static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return event;
}

}  // namespace

void LowerPendingFixPosts() {
    LONG pending = platform::InterlockedTarget(&g_pendingFixPosts).load();
    while (pending > 0 &&
           InterlockedCompareExchange(&g_pendingFixPosts, pending - 1, pending) != pending)
        pending = platform::InterlockedTarget(&g_pendingFixPosts).load();
    SetEvent(FixTakenEvent());
}

void WaitWhileFixPending(HANDLE stopEvent, DWORD pollMs) {
    const HANDLE events[2] = {stopEvent, FixTakenEvent()};
    while (platform::InterlockedTarget(&g_pendingFixPosts).load() != 0) {
        const DWORD wait = WaitForMultipleObjects(2, events, FALSE, pollMs > 0 ? pollMs : 1);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_FAILED)  // stopped, or asked to end
            return;
    }
}

bool PostNewFixMessage(HWND window, LPARAM lParam) {
    CreateDataMutex();
    const HANDLE mutex = g_dataMutex.load();
    const DWORD wait = WaitForSingleObject(mutex, INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        return false;
    bool posted = false;
    if (platform::InterlockedTarget(&g_pendingFixPosts).load() == 0) {
        // Counted before it is posted: the view may handle it before PostMessageW
        // returns, and must find it counted.
        InterlockedIncrement(&g_pendingFixPosts);
        posted = PostMessageW(window, WM_USER, kNewFixMessage, lParam) != FALSE;
        if (!posted)
            InterlockedDecrement(&g_pendingFixPosts);
    }
    ReleaseMutex(mutex);
    return posted;
}

namespace {

// Waits for the data mutex; on a thread with a message queue, messages sent to it
// are served meanwhile.
bool TakeDataMutex(HANDLE mutex, bool serveSent) {
    for (;;) {
        const DWORD wait =
            serveSent ? MsgWaitForMultipleObjects(1, &mutex, FALSE, INFINITE, QS_SENDMESSAGE)
                      : WaitForSingleObject(mutex, INFINITE);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            return true;
        if (!serveSent || wait != WAIT_OBJECT_0 + 1)
            return false;
    }
}

}  // namespace

void ReleaseNewFixPost(HWND view, bool repost) {
    CreateDataMutex();
    const HANDLE mutex = g_dataMutex.load();
    if (!TakeDataMutex(mutex, view != nullptr))
        return;
    // Never below 0: a message posted by other means is not counted.
    LowerPendingFixPosts();
    if (repost && platform::InterlockedTarget(&g_pendingFixPosts).load() == 0 &&
        g_positionHold.load() == 0 && g_positionQueue.Count() > 0 && view && IsWindow(view)) {
        InterlockedIncrement(&g_pendingFixPosts);
        if (!PostMessageW(view, WM_USER, kNewFixMessage, 1))
            InterlockedDecrement(&g_pendingFixPosts);
    }
    ReleaseMutex(mutex);
}

void HandleNewFixMessage(HWND view, const std::function<void(PositionQueue&)>& consume) {
    const int before = g_positionQueue.Count();
    if (g_positionHold.load() == 0 && consume)
        consume(g_positionQueue);
    ReleaseNewFixPost(view, g_positionQueue.Count() < before);
}

void PollAutoPanTimeout() {
    g_autoPanTimeout.Poll();
}
