// The new-fix message between the GPS threads and the main view: at most one
// WM_USER 0 waits in the view's queue, however fast fixes arrive.
#pragma once

#include <atomic>
#include <functional>

#include "platform/kernel/wintypes.h"

class PositionQueue;

inline constexpr WPARAM kNewFixMessage = 0;           // WM_USER wParam
inline constexpr WPARAM kGpsInfoUpdateMessage = 1;    // WM_USER wParam, sent
inline constexpr WPARAM kPlaybackEndedMessage = 3;    // WM_USER wParam
inline constexpr WPARAM kSimulationEndedMessage = 6;  // WM_USER wParam
inline constexpr LPARAM kSimulatedFix = static_cast<LPARAM>(0x80000000u);

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
// The view's part once it took a new-fix message: lowers the counter (never below
// 0) and wakes a GPS thread waiting in WaitWhileFixPending.
void LowerPendingFixPosts();
// A GPS thread's wait while a new-fix message is pending: wakes when the view has
// taken it or `stopEvent` is signalled, and looks again every pollMs (at least 1).
void WaitWhileFixPending(HANDLE stopEvent, DWORD pollMs);
// The view's WM_USER 0: lowers the counter, hands the queue to the consumer (the
// map matcher) unless g_positionHold is set, and posts itself again while
// positions remain queued.
void HandleNewFixMessage(HWND view, const std::function<void(PositionQueue&)>& consume);

// The auto-pan time-out, polled once per notification.
void PollAutoPanTimeout();
