// The new-fix message between the GPS threads and the main view: at most one
// WM_USER 0 waits in the view's queue, however fast fixes arrive.
#pragma once

#include <atomic>
#include <functional>

#include "pathlume/foundation/app_services.h"
#include "platform/kernel/wintypes.h"

class PositionQueue;

// The program's data mutex, created by the settings loader before the receiver.
extern std::atomic<HANDLE> g_dataMutex;
// New-fix messages posted and not yet handled; changed only by interlocked calls.
extern LONG volatile g_pendingFixPosts;
// While non-zero no new-fix message is posted and the view does not match.
extern std::atomic<LONG> g_positionHold;

// Creates g_dataMutex once.
void CreateDataMutex();
// Under g_dataMutex: posts WM_USER 0 with lParam to the window when no new-fix
// message is pending, and counts it. True when posted.
bool PostNewFixMessage(HWND window, LPARAM lParam);
// The end of the view's WM_USER 0, also of one it ignores: under g_dataMutex it
// lowers the counter, then, with `repost`, when no post is pending and positions
// remain queued (and are not held), posts the view a new one (lParam 1) so that
// none is left behind. A message that took nothing from the queue passes false:
// it would only go round and round. The wait for the mutex serves messages sent
// to the calling thread, so a GPS thread's synchronous message cannot deadlock it.
void ReleaseNewFixPost(HWND view, bool repost);
// The view's part once it took a new-fix message: lowers the counter (never below
// 0) and wakes a GPS thread waiting in WaitWhileFixPending.
void LowerPendingFixPosts();
// A GPS thread's wait while a new-fix message is pending: wakes when the view has
// taken it or `stopEvent` is signalled, and looks again every pollMs (at least 1).
void WaitWhileFixPending(HANDLE stopEvent, DWORD pollMs);
// The view's WM_USER 0: hands the queue to the consumer (the map matcher) unless
// g_positionHold is set, then ReleaseNewFixPost.
void HandleNewFixMessage(HWND view, const std::function<void(PositionQueue&)>& consume);

// The auto-pan time-out, polled once per notification.
void PollAutoPanTimeout();
