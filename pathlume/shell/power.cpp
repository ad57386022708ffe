// The main view's power-notification thread, its orderly shutdown and the tearing
// down of its child screens.
#include <iterator>

#include "pathlume/mapdb/timeout_record.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/position_queue.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/disclaimer.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/power_source.h"
#include "pathlume/shell/receiver_control.h"

namespace {

constexpr DWORD kPowerThreadStopMs = 1000;
constexpr UINT kResumeDelayMs = 3000;
// Every timer the view sets; all of them go at shutdown, so none fires into the
// objects the shutdown closes.
constexpr UINT_PTR kViewTimers[] = {kTimerHousekeeping, kTimerLongPress, kTimerArrival,
                                    kTimerRecalcMark,   kTimerOffRoad,   kTimerRedraw,
                                    kTimerResume};

}  // namespace

void CMainView::StartPowerThread() {
    CWinThread* thread = AfxBeginThread(reinterpret_cast<AFX_THREADPROC>(PowerThreadProc), this,
                                        THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!thread)
        return;
    thread->m_bAutoDelete = FALSE;
    powerThread = thread;
    thread->ResumeThread();
}

UINT CMainView::PowerThreadProc(LPVOID parameter) {
    auto* view = static_cast<CMainView*>(parameter);
    view->StopPowerThread(FALSE);
    const PowerQueue power = OpenPowerQueue();
    const HANDLE queue = power.queue;
    view->powerNotifications.store(power.notifications);
    view->powerQueue.store(queue);
    // A shutdown that came first found no queue to close.
    if (g_shutDown.load())
        view->StopPowerThread(FALSE);
    DWORD kind = 0;
    while (queue && WaitPowerNotification(queue, &kind)) {
        // A second resume while the first is still being handled is dropped.
        if (!(kind & kPowerResume) || view->resumePending.load())
            continue;
        view->resumePending.store(TRUE);
        view->lastDataTick.store(kNoDataTick);
        CloseReceiverPort();
        view->lastDataTick.store(kNoDataTick);
        if (!g_shutDown.load())
            ::SetTimer(view->m_hWnd, kTimerResume, kResumeDelayMs, nullptr);
        // Last, so whoever sees the flag knows the resume timer is running.
        view->recheckStorage.store(TRUE);
    }
    view->StopPowerThread(FALSE);
    return 0;
}

void CMainView::StopPowerThread(BOOL wait) {
    // Taken by exchange: the power thread and the shutdown may both get here.
    if (HANDLE queue = powerQueue.exchange(nullptr))
        ClosePowerQueue({queue, powerNotifications.exchange(nullptr)});
    if (!wait || !powerThread)
        return;
    CWinThread* thread = powerThread;
    powerThread = nullptr;
    if (WaitForSingleObject(thread->m_hThread, kPowerThreadStopMs) != WAIT_OBJECT_0)
        TerminateThread(thread->m_hThread, 0);
    delete thread;
}

void CMainView::Shutdown() {
    if (g_shutDown.exchange(1))
        return;
    g_autoPanTimeout.SetTarget(0, nullptr);
    if (m_hWnd)
        for (UINT_PTR timer : kViewTimers)
            KillTimer(timer);
    // A loader asked to stop may still be on its way out: nothing below may close
    // what it uses before it has ended.
    if (mapLoader) {
        mapView.StopMapLoading();
        WaitServingSentMessages(mapLoader);
        CloseHandle(mapLoader);
        mapLoader = nullptr;
    }
    SetBtBrowserEnabled(g_btPort, TRUE);
    StopPowerThread(TRUE);
    if (g_gpsReceiver.load()) {
        lastDataTick.store(kNoDataTick);
        EndRouteDemo();
        CloseReceiverPort();
        g_positionQueue.Clear();
        lastDataTick.store(kNoDataTick);
    }
    if (routeListScreen)
        TearDownScreen(kScreenRouteList);
    if (g_router)
        g_router->ResetRoute();
    mapView.ReleaseBackBuffer();
    if (gpsInfoScreen)
        TearDownScreen(kScreenGpsInfo);
    if (guidanceScreen) {
        const int zoom = guidanceScreen->GetZoomIndex();
        if (zoom >= 0)
            mapView.StoreZoomIndex(zoom);
        TearDownScreen(kScreenGuidance);
    }
    if (almanacScreen)
        TearDownScreen(kScreenAlmanac);
    g_mapMatcher.ReleaseHypothesisLinks();
    AppShutdown();
    IMainView* self = this;
    g_mainView.compare_exchange_strong(self, nullptr);
}

void CMainView::TearDownScreen(DWORD mode) {
    CChildScreen** slot = nullptr;
    switch (mode) {
        case kScreenGpsInfo:
            slot = &gpsInfoScreen;
            break;
        case kScreenGuidance:
            slot = &guidanceScreen;
            break;
        case kScreenRouteList:
            slot = &routeListScreen;
            break;
        case kScreenAlmanac:
            slot = &almanacScreen;
            break;
        default:
            break;
    }
    if (slot && *slot) {
        CChildScreen* screen = *slot;
        *slot = nullptr;
        if (screen->GetSafeHwnd())
            screen->DestroyWindow();
        delete screen;
    }
    screenMode.fetch_and(~mode);
}

void CMainView::OnDestroy() {
    Shutdown();
    CWnd::OnDestroy();
}

void CMainView::BringToFront() {
    if (modalCount.load() > 0)
        return;
    if (CWnd* frame = GetParent())
        frame->SetForegroundWindow();
    if (guidanceScreen && guidanceScreen->GetSafeHwnd())
        guidanceScreen->SetFocus();
    else if (screenMode.load() == kScreenMap)
        SetFocus();
}
