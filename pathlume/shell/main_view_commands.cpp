// The map-screen commands the core needs: pan mode, cancelling a route, log
// playback and the route demonstration, reopening the GPS port, and the averaged
// speed that guidance reads.
#include <algorithm>

#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/mapdb/timeout_record.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/receiver_control.h"
#include "pathlume/shell/replay_control.h"

namespace {

// Menu commands and their texts.
constexpr UINT kCommandPlayTrack = 3021;
constexpr UINT kCommandRecordTrack = 3031;
constexpr UINT kCommandDemoRoute = 3068;
constexpr UINT kStringPlayTrack = 6012;
constexpr UINT kStringRecordTrack = 6014;
constexpr UINT kStringStopPlayback = 6022;
constexpr UINT kStringDemoRoute = 6224;
constexpr UINT kStringStopDemo = 6225;

constexpr DWORD kWatchdogMs = 5000;

}  // namespace

HMENU CMainView::CommandMenu() const {
    CWnd* frame = GetParent();
    if (!frame)
        return nullptr;
    HWND bar = ::GetDlgItem(frame->m_hWnd, AFX_IDW_COMMAND_BAR);
    return bar ? CommandBar_GetMenu(bar, 0) : nullptr;
}

void CMainView::SetMenuText(UINT commandId, UINT stringId) {
    HMENU menu = CommandMenu();
    if (!menu)
        return;
    WCHAR text[64];
    if (!LoadResString(stringId, text, 64, FALSE))
        return;
    ReplaceMarkerWithSpace(text);
    WCHAR current[64] = {};
    GetMenuStringW(menu, commandId, current, 64, MF_BYCOMMAND);
    if (lstrcmpW(current, text) != 0)
        ModifyMenuW(menu, commandId, MF_BYCOMMAND | MF_STRING, commandId, text);
}

void CMainView::SetPanMode(BOOL on) {
    panMode.store(on ? TRUE : FALSE);
    if (CNmeaReceiver* receiver = g_gpsReceiver.load())
        receiver->SetPaused(on ? 0 : 1);
    if (!on) {
        g_positionHold.store(0);
        g_autoPanTimeout.Start(kTimeoutIdle, TRUE);
        return;
    }
    g_positionHold.store(1);
    float longitude = 0, latitude = 0;
    if (g_map3DMode.load() == 0)
        mapView.ScreenToWorld(g_screenWidth.load() / 2, g_viewHeight.load() / 2, &longitude,
                              &latitude);
    else
        mapView.ScreenToWorld3D(g_screenWidth.load() / 2, g_viewHeight.load() / 2, &longitude,
                                &latitude);
    // Before the first frame the view has no transform: the matched position stands
    // at the centre.
    if (!std::isfinite(longitude) || !std::isfinite(latitude) ||
        (longitude == 0 && latitude == 0)) {
        longitude = g_vehicleLocation.position.longitude;
        latitude = g_vehicleLocation.position.latitude;
    }
    SetPanCentre(latitude, longitude);
}

void CMainView::SetReplayFlag(BOOL flag) {
    demoRunning.store(flag ? TRUE : FALSE);
}

void CMainView::ReopenGpsPort() {
    const std::u16string port = g_gpsPortName.Get();
    OpenReceiverPort(port.c_str(), g_gpsBaud.load(), FALSE);
    DWORD now = GetTickCount();
    lastDataTick.store(now == kNoDataTick ? now - 1 : now);
}

void CMainView::OpenGpsPortAtStart() {
    SetBtBrowserEnabled(g_btPort, TRUE);
    const std::u16string port = g_gpsPortName.Get();
    OpenReceiverPort(port.c_str(), g_gpsBaud.load(), TRUE);
    const DWORD now = GetTickCount();
    lastDataTick.store(now == kNoDataTick ? now - 1 : now);
}

void CMainView::EndRouteDemo() {
    if (demoRunning.load()) {
        CloseReceiverPort();
        if (CNmeaReceiver* receiver = g_gpsReceiver.load())
            receiver->ClearFix();
        SetReplayFlag(FALSE);
        // The next housekeeping tick finds the data old and reopens the real port.
        DWORD tick = GetTickCount() - kWatchdogMs;
        lastDataTick.store(tick == kNoDataTick ? tick - 1 : tick);
    }
    SetMenuText(kCommandDemoRoute, kStringDemoRoute);
}

void CMainView::OnPlaybackEnded() {
    SetMenuText(kCommandPlayTrack, kStringPlayTrack);
    SetMenuText(kCommandDemoRoute, kStringDemoRoute);
    ReopenGpsPort();
}

void CMainView::OnPlayTrack() {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (!receiver)
        return;
    if (!demoRunning.load() && (receiver->GetFlags() & kGpsReplayActive)) {
        SetPanMode(FALSE);
        CloseReceiverPort();
        receiver->ClearFix();
        OnPlaybackEnded();
        return;
    }
    SetReplayFlag(FALSE);
    SetPanMode(FALSE);
    StopLogRecording();
    CloseReceiverPort();
    SetMenuText(kCommandRecordTrack, kStringRecordTrack);
    SetMenuText(kCommandDemoRoute, kStringDemoRoute);
    WCHAR path[MAX_PATH];
    BeginModalScreen();
    const bool chosen = ChooseGpsLogFile(m_hWnd, path);
    EndModalScreen(FALSE);
    if (chosen && StartLogPlayback(path) == 0) {
        SetMenuText(kCommandPlayTrack, kStringStopPlayback);
        return;
    }
    // Cancelled or refused: the live port must not stay closed.
    ReopenGpsPort();
}

void CMainView::OnDemoRoute() {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (!receiver)
        return;
    if (demoRunning.load()) {
        SetPanMode(FALSE);
        EndRouteDemo();
        receiver->ClearFlags(kGpsReplayActive);
        return;
    }
    if (!g_router || !(g_router->state & kRouterRouteState))
        return;
    SetReplayFlag(TRUE);
    if (StartRouteDemoFeed() == 0) {
        SetPanMode(FALSE);
        receiver->SetFlags(kGpsReplayActive);
        SetMenuText(kCommandDemoRoute, kStringStopDemo);
        return;
    }
    // The feed did not start: no demonstration runs, and the live port comes back.
    SetReplayFlag(FALSE);
    ReopenGpsPort();
}

void CMainView::CancelRoute() {
    if (g_router && (g_router->state & kRouterRouteState)) {
        if (g_router->state & kRouterDetourActive) {
            g_router->SetDetour(0);
            EndRouteDemo();
            SwitchScreen(kScreenMap);
            Refresh();
            return;
        }
        g_router->SetAvoidMarks(0);
        g_router->ResetRoute(0, 0, 0);
    }
    EndRouteDemo();
    SwitchScreen(kScreenMap);
    Refresh();
}

void CMainView::UpdateAverageSpeedRatio() {
    static constexpr int kRatioMph[8] = {80, 65, 55, 41, 31, 21, 6, 5};
    static constexpr int kRatioKmh[8] = {125, 105, 90, 65, 50, 35, 10, 8};
    const DWORD now = GetTickCount();
    if (ratioTicked && TickDiff(now, lastRatioTick) < 1000)
        return;
    ratioTicked = true;
    lastRatioTick = now;
    classSpeedValue = 0;
    const MapLink* link = g_vehicleLocation.GetLink(true);
    if (!link)
        link = g_vehicleLocation.GetLink(false);
    if (!link)
        return;
    const int roadClass = static_cast<int>(link->attributes & 7);
    const bool metric = (g_options.load() & kOptionMetric) != 0;
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    const float mph = receiver ? receiver->GetSpeed(FALSE) : 0.0f;
    if (roadClass == previousRoadClass) {
        if (mph > 5.0f) {
            const float speed = receiver->GetSpeed(metric);
            const int table = (metric ? kRatioKmh : kRatioMph)[roadClass];
            speedFactor = std::min(
                static_cast<float>(table) / speed * 0.004999995f + speedFactor * 0.995f, 2.0f);
        }
    } else {
        ResetSpeedFilter();
        previousRoadClass = roadClass;
    }
    classSpeedValue = RoadClassSpeedLimit(static_cast<uint32_t>(roadClass), metric);
}

void CMainView::ReleaseHeapBuffer() {
    if (heapBuffer)
        g_heap.Free(heapBuffer);
    heapBuffer = nullptr;
    heapBufferCount = 0;
}
