// The main view's timers: the one-second housekeeping tick, the long press, the end
// of a finished route, the recalculation mark, the off-road prompt, the delayed
// redraw and the restart after a device resume.
#include <algorithm>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/position_queue.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/receiver_control.h"
#include "pathlume/shell/test_destination.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/kernel/serial.h"

namespace {

constexpr UINT kStringTapHold3D = 6215;
constexpr DWORD kStatBoxCycleMs = 5000;
constexpr DWORD kGuidancePollMs = 2000;
constexpr DWORD kEtaRedrawMs = 30000;
constexpr DWORD kBluetoothWakeMs = 1500;
constexpr DWORD kWatchdogMs = 5000;
constexpr DWORD kDayNightMs = 10000;
constexpr DWORD kFixColorMs = 3000;
// The receiver is given this long after a resume before the watchdog reopens a
// Bluetooth port (counted from the resume, which timer 100 follows by 3 s).
constexpr int32_t kBluetoothSettleMs = 7000;
constexpr int32_t kResumeTimerMs = 3000;

// A tick to store as the last GPS data: never the watchdog's "disarmed" value.
DWORD DataTick(DWORD tick) {
    return tick == kNoDataTick ? tick - 1 : tick;
}

}  // namespace

void CALLBACK MainViewTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    if (auto* view = dynamic_cast<CMainView*>(g_mainView.load()))
        view->OnTimer(id);
}

void CMainView::OnTimer(UINT_PTR id) {
    // After the shutdown the receiver, the voice and the screens are gone.
    if (g_shutDown.load() || timerBusy)
        return;
    timerBusy = 1;
    if (firstPaintState >= 0) {
        if (CWnd* frame = GetParent())
            ::SetForegroundWindow(frame->m_hWnd);
    }
    const DWORD now = GetTickCount();
    bool refresh = false;
    switch (id) {
        case kTimerLongPress:
            OnLongPress();
            break;
        case kTimerArrival:
            KillTimer(kTimerArrival);
            CancelRoute();
            break;
        case kTimerRecalcMark:
            KillTimer(kTimerRecalcMark);
            if (g_router)
                g_router->state &= ~kRouterTimer6Running;
            refresh = true;
            break;
        case kTimerOffRoad:
            KillTimer(kTimerOffRoad);
            if (!g_vehicleLocation.GetLink(true))
                GetRouteGuidance().SpeakWord(kWordNearestRoad);
            break;
        case kTimerRedraw:
            KillTimer(kTimerRedraw);
            redrawPending = FALSE;
            refresh = true;
            break;
        case kTimerResume:
            OnResumeRestart(now);
            break;
        default:
            refresh = Housekeeping(now) || refresh;
            break;
    }
    if (g_shutDown.load()) {
        timerBusy = 0;
        return;
    }

    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (modalCount.load() <= 0 && receiver && !(receiver->GetFlags() & kGpsReplayActive) &&
        !resumePending.load() &&
        TickDiff(now, lastFixColorCheck) >= static_cast<int32_t>(kFixColorMs)) {
        lastFixColorCheck = now;
        const COLORREF colour = GetFixColor(FALSE);
        if (colour != storedFixColor) {
            refresh = true;
            if (colour == kFixColorSilent)
                receiver->UpdateFix([](GpsFix& fix) { fix.valid = false; });
        }
    }
    if (refresh)
        Refresh();
    AutomaticLayout();
    timerBusy = 0;
}

bool CMainView::InTapZone(POINT p) {
    const TapZones zones = GetTapZones();
    auto inside = [&p](const RECT& r) {
        return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
    };
    const bool panning = panMode.load() != 0;
    if (!panning && CycleStatBoxMode(m_hWnd, p.x, p.y, 0) == 0)
        return true;
    if (inside(zones.heading))
        return true;
    if (!panning && inside(zones.topLeft))
        return true;
    if (!panning && g_router && (g_router->state & kRouterRouteState) && inside(zones.banner))
        return true;
    if (g_vehicleLocation.stale == 0 && inside(zones.bottomStrip))
        return true;
    if (mapView.HitTest(p.x, p.y) != 0)
        return true;
    if (!panning && PtInRect(&panExitRect, p))
        return true;
    return false;
}

void CMainView::OnLongPress() {
    KillTimer(kTimerLongPress);
    if (longPressHandled || dragStart.x == -500)
        return;
    if (InTapZone(dragLast))
        return;
    longPressHandled = TRUE;
    dragState = 1;
    // In 2D the map's tap-and-hold menu opens at the press; in 3D it is not offered.
    if (g_map3DMode.load() == 0) {
        mapView.OnTapAndHold(dragStart.x, dragStart.y);
    } else if (!fullScreen) {
        WCHAR text[160];
        LoadResString(kStringTapHold3D, text, 160, FALSE);
        MessageBoxW(m_hWnd, text, u"", MB_ICONSTOP);
    }
    FinishStylusAction();
}

void CMainView::FinishStylusAction() {
    if (::GetCapture() == m_hWnd)
        ::ReleaseCapture();
    KillTimer(kTimerLongPress);
    tapHandled = FALSE;
    dragStart = {-500, -500};
}

void CMainView::OnResumeRestart(DWORD now) {
    KillTimer(kTimerResume);
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (receiver)
        receiver->ClearFlags(kGpsMoved);
    BeginWaitCursor();
    const DWORD start = now;
    const bool bluetooth = IsBluetoothGpsPort();
    if (bluetooth)
        StartBtTray(g_btPort, TRUE);
    if (recheckStorage.exchange(FALSE)) {
        ReopenMapIndexFiles(g_mapDatabase);
        g_poiFile.Reopen(0);
        mapView.ReopenPoiLayer();
        mapView.OpenPolygons();
    }
    LayoutWindow(0);
    if (bluetooth)
        SetBtBrowserEnabled(g_btPort, TRUE);
    if (receiver)
        receiver->SetFlags(kGpsPortOpen);
    const DWORD after = GetTickCount();
    const int32_t elapsed = TickDiff(after, start);
    int32_t delay = 500;
    if (bluetooth) {
        const int32_t sinceResume = elapsed + kResumeTimerMs;
        delay = sinceResume >= kBluetoothSettleMs + 1 ? 100 : kBluetoothSettleMs - sinceResume;
    }
    DWORD tick = after + static_cast<DWORD>(delay) - kWatchdogMs;
    if (tick == 0)
        tick = after;
    lastDataTick.store(DataTick(tick));
    // Positions from before the suspend are no news of the port about to be opened
    // again: a fix message parked meanwhile is let go, not handled, or it would
    // stamp the data tick now and put the watchdog off by 5 s.
    if (parkedFixPost) {
        parkedFixPost = FALSE;
        g_positionQueue.Clear();
        ReleasePendingPost(false);
    }
    resumePending.store(FALSE);
    RepostParkedMessages();
    EndWaitCursor();
}

bool CMainView::Housekeeping(DWORD now) {
    bool refresh = false;
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    const uint32_t state = g_router ? g_router->state : 0;
    const bool route = (state & kRouterRouteState) != 0;
    const bool panning = panMode.load() != 0;

    // 1. The status box steps through its modes.
    if ((g_options.load() & kOptionCyclingStatusBox) && route && !panning &&
        TickDiff(now, lastStatBoxCycle) > static_cast<int32_t>(kStatBoxCycleMs)) {
        SpeedAlertSettings settings{g_speedLimitMi.load(), g_speedLimitKm.load(),
                                    g_autoSpeedLimit.load(), false};
        if (SpeedAlertPossible(settings) && speedAlert.active)
            statBoxMode = kStatBoxSpeed;
        else
            statBoxMode = statBoxMode >= kStatBoxRemaining || statBoxMode < 0 ? 0 : statBoxMode + 1;
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"StatBoxMode",
                    static_cast<DWORD>(statBoxMode));
        RedrawStatusBox();
        lastStatBoxCycle = now;
    }

    // 2. Guidance while the vehicle stands.
    if (receiver && TickDiff(now, lastGuidanceUpdate) > static_cast<int32_t>(kGuidancePollMs)) {
        if (!route) {
            lastGuidanceUpdate = now;
        } else {
            if (receiver->GetFix().valid && receiver->GetSpeed(FALSE) <= 2.0f &&
                !demoRunning.load() && g_router)
                GetRouteGuidance().UpdateGuidance(*g_router, 0);
            if (modalCount.load() <= 0 &&
                TickDiff(now, lastStatBoxDraw) > static_cast<int32_t>(kEtaRedrawMs) &&
                statBoxMode == kStatBoxEta)
                RedrawStatusBox();
        }
    }
    if (g_shutDown.load() || !receiver)
        return refresh;

    // 3. A silent Bluetooth port holding bytes: wake its reader.
    const DWORD dataTick = lastDataTick.load();
    if (receiver->IsPortOpen() && dataTick != kNoDataTick &&
        TickDiff(now, dataTick) > static_cast<int32_t>(kBluetoothWakeMs) && IsBluetoothGpsPort()) {
        const HANDLE port = receiver->Port().Handle();
        DWORD errors = 0;
        COMSTAT status{};
        if (port != INVALID_HANDLE_VALUE && ClearCommError(port, &errors, &status) &&
            status.cbInQue > 0)
            SetCommMask(port, 0);
    }

    // 4. The watchdog: no data for 5 s closes and reopens the port. It waits while an
    // open is in progress, which it would otherwise cut short.
    const bool busy = g_router && g_router->busyCount > 0;
    if (!busy && modalCount.load() == 0 && dataTick != kNoDataTick &&
        !receiver->IsOpenInProgress() && !resumePending.load() &&
        TickDiff(now, dataTick) >= static_cast<int32_t>(kWatchdogMs) &&
        !(receiver->GetFlags() & kGpsReplayActive)) {
        receiver->ClearFix();
        if (!(receiver->GetFlags() & kGpsBluetoothFailed)) {
            lastDataTick.store(kNoDataTick);
            const std::u16string port = g_gpsPortName.Get();
            OpenReceiverPort(port.c_str(), g_gpsBaud.load(), FALSE);
        }
        lastDataTick.store(DataTick(GetTickCount()));
    }

    RepostParkedMessages();
    PostForLeftPositions();
    if (firstPaintState < 0)
        TestDestinationTick();

    // 5. Day and night by the sun.
    if (TickDiff(now, lastDayNightCheck) >= static_cast<int32_t>(kDayNightMs)) {
        if (g_colorModeSetting.load() == kColorModeAutomatic) {
            const DWORD before = g_colorMode.load();
            UpdateDayNightMode();
            refresh = refresh || g_colorMode.load() != before;
        }
        lastDayNightCheck = now;
    }
    return refresh;
}

void CMainView::PostForLeftPositions() {
    if (!parkedFixPost && g_positionHold.load() == 0 && !resumePending.load() &&
        g_positionQueue.Count() > 0 && !(g_router && g_router->busyCount > 0))
        PostNewFixMessage(m_hWnd, 0);
}

void CMainView::AutomaticLayout() {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    const float mph = receiver ? receiver->GetSpeed(FALSE) : 0.0f;
    const DWORD mode = screenMode.load();
    CWnd* frame = GetParent();
    const bool eligible =
        !panMode.load() && frame && ::GetForegroundWindow() == frame->m_hWnd &&
        !(g_router && (g_router->state & kRouterArrived)) &&
        (mode == kScreenMap || mode == kScreenGuidance || mode == kScreenRouteList);
    if (eligible && mph > 5.0f) {
        if (!fullScreen) {
            // The ninth tick in a row above 5 mph switches.
            if (fastTickCount > 7)
                LayoutWindow(1);
            else
                ++fastTickCount;
        }
        return;
    }
    if (fullScreen && !fullScreenByUser)
        LayoutWindow(0);
    fastTickCount = 0;
}
