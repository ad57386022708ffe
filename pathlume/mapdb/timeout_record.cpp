#include "pathlume/mapdb/timeout_record.h"

#include "pathlume/mapdb/position_services.h"
#include "pathlume/mapdb/router_services.h"
#include "platform/kernel/clock.h"
#include "platform/user/user.h"

TimeoutRecord g_autoPanTimeout;

namespace {

bool RouterHoldsRoute() {
    return (GetRouterServices().GetState() & kRouterRoutePresent) != 0;
}

}  // namespace

void TimeoutRecord::Reset() {
    startTick_.store(kTimeoutIdle);
    periodMs_.store(0);
}

void TimeoutRecord::SetTarget(DWORD periodMs, HWND window) {
    periodMs_.store(periodMs);
    target_.store(window);
}

void TimeoutRecord::Start(DWORD tick, BOOL force) {
    if (!force && IsIdle())
        return;
    startTick_.store(tick != 0 ? tick : GetTickCount());
}

void TimeoutRecord::Poll() {
    const DWORD period = periodMs_.load();
    if (period == 0)
        return;
    const HWND target = target_.load();
    const DWORD start = startTick_.load();
    if (start != kTimeoutIdle) {
        // Unsigned difference: the tick count's wrap does no harm.
        if (GetTickCount() - start <= period)
            return;
        if (RouterHoldsRoute())
            PostMessageW(target, WM_USER, kViewLeavePanMode, 0);
        else
            startTick_.store(kTimeoutIdle);
        return;
    }
    if (GetPositionServices().GetSpeedMph() < kAutoPanMinimumSpeedMph || !RouterHoldsRoute())
        return;
    // A cross-thread send: it answers 0 when this thread is asked to stop meanwhile.
    if (SendMessageW(target, WM_USER, kViewPanQuery, 0) == kViewPanning)
        startTick_.store(GetTickCount());
}
