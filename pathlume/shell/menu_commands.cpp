// The map screen's menu commands: the option dialogs with what comes around them,
// the units, the keyboard, the GPS port and baud rate, zoom, the hold menu's
// commands, the menu screen, the spoken repeat, the recorded location and the
// view's 2D/3D layout.
#include <cmath>
#include <cstdio>

#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/destination_search.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/option_dialogs.h"
#include "pathlume/shell/receiver_control.h"
#include "pathlume/shell/ring_menu_dlg.h"

namespace {

constexpr UINT kCommandPlayTrack = 3021;
constexpr UINT kCommandRecordTrack = 3031;
constexpr UINT kCommandDemoRoute = 3068;
constexpr UINT kStringPlayTrack = 6012;
constexpr UINT kStringStopRecording = 6013;
constexpr UINT kStringRecordTrack = 6014;
constexpr UINT kStringStopPlayback = 6022;
constexpr UINT kStringDemoRoute = 6224;
constexpr UINT kStringStopDemo = 6225;
constexpr UINT kFirstPortCommand = 3036;
constexpr UINT kFirstBaudCommand = 3052;
constexpr DWORD kBauds[] = {4800, 9600, 19200, 38400, 57600, 115200};
constexpr DWORD kDefaultCommPort = 8;
constexpr double kRadiansPerDegree = 0.017453292519943295;
// The prompt word the street-name guidance repeats.
constexpr int kWordRepeatStreetGuidance = 70;

}  // namespace

int CMainView::RunModalDialog(const std::function<int()>& dialog) {
    if (fullScreen)
        LayoutWindow(0);
    BeginModalScreen();
    const int result = dialog();
    EndModalScreen(FALSE);
    return result;
}

void CMainView::OnRouteOptions() {
    RunModalDialog([this] { return RunRouteOptions(this); });
    UpdateMenus();
}

void CMainView::OnDisplayOptions() {
    // The icons button leads to the point-of-interest filter and back, until the
    // driver leaves the display options another way or Home ends the chain.
    g_homeKeyPressed.store(0);
    for (;;) {
        const int result = RunModalDialog([this] { return RunDisplayOptions(this); });
        // A 3D view has fewer zoom steps than the flat one.
        const int count =
            g_map3DMode.load() != 0 ? g_mapTheme.zoomLevelCount2 : g_mapTheme.zoomLevelCount;
        if (count > 0 && mapView.GetZoomIndex() >= count)
            mapView.SetZoom(count - 1);
        if (result != kDisplayOptionsIcons)
            break;
        RunModalDialog([this] { return RunPoiFilter(this); });
        if (g_homeKeyPressed.load())
            break;
    }
    UpdateMenus();
}

void CMainView::OnGuidanceVolume() {
    RunModalDialog([this] { return RunGuidanceVolume(this); });
}

void CMainView::OnSpeedAlert() {
    RunModalDialog([this] { return RunSpeedAlert(this); });
    // The dialog stored its settings; the view follows what is stored.
    g_speedLimitMi.store(static_cast<LONG>(RegGetDword(
        HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitMI", static_cast<DWORD>(g_speedLimitMi))));
    g_speedLimitKm.store(static_cast<LONG>(RegGetDword(
        HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitKM", static_cast<DWORD>(g_speedLimitKm))));
    g_autoSpeedLimit.store(
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"AutoSpeedLimit", g_autoSpeedLimit));
    if (g_speedLimitMi.load() > 0 || g_speedLimitKm.load() > 0) {
        if (speedAlert.active)
            statBoxMode = savedStatBoxMode;
        speedAlert = SpeedAlertState{};
    }
    UpdateMenus();
}

void CMainView::OnPoiFilter() {
    RunModalDialog([this] { return RunPoiFilter(this); });
    mapView.RefreshPois();
}

void CMainView::OnAvoidRoads() {
    RunModalDialog([this] { return RunAvoidRoads(this); });
}

void CMainView::OnFogDriving() {
    fogDriving = !fogDriving;
    UpdateMenus();
}

namespace {

// Sets (on) or clears the option bit when it is not so already: true when it changed.
bool SetOption(DWORD bit, bool on) {
    if (((g_options.load() & bit) != 0) == on)
        return false;
    ToggleOptionFlag(bit);
    return true;
}

}  // namespace

void CMainView::OnUnitsKm() {
    const bool yards = SetOption(kOptionYards, false);
    const bool metric = SetOption(kOptionMetric, true);
    if (yards || metric)
        Refresh();
    UpdateMenus();
}

void CMainView::OnUnitsMileFeet() {
    const bool metric = SetOption(kOptionMetric, false);
    const bool yards = SetOption(kOptionYards, false);
    if (yards || metric)
        Refresh();
    UpdateMenus();
}

void CMainView::OnUnitsMileYards() {
    const bool metric = SetOption(kOptionMetric, false);
    const bool yards = SetOption(kOptionYards, true);
    if (yards || metric)
        Refresh();
    UpdateMenus();
}

void CMainView::OnSystemKeyboard() {
    SetOption(kOptionOwnKeyboardOff, true);
    UpdateMenus();
}

void CMainView::OnOwnKeyboard() {
    SetOption(kOptionOwnKeyboardOff, false);
    UpdateMenus();
}

namespace {

std::u16string PortName(int port) {
    char text[16];
    std::snprintf(text, sizeof text, "COM%d:", port);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace

void CMainView::OnComPort(UINT id) {
    const int port = static_cast<int>(id - kFirstPortCommand) + 1;
    const int old = static_cast<int>(
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, kDefaultCommPort));
    const bool bluetooth = port == g_btPort.number.load();
    if (bluetooth)
        SetBtBrowserEnabled(g_btPort, TRUE);
    const std::u16string name = PortName(port);
    if (OpenReceiverPort(name.c_str(), g_gpsBaud.load(), TRUE) == 0) {
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, static_cast<DWORD>(port));
        g_gpsPortName.Set(name);
        if (bluetooth)
            SetBtBrowserEnabled(g_btPort, FALSE);
    } else if (port != old) {
        const std::u16string previous = PortName(old);
        OpenReceiverPort(previous.c_str(), g_gpsBaud.load(), FALSE);
    }
    UpdateMenus();
}

void CMainView::OnBaudRate(UINT id) {
    const size_t index = id - kFirstBaudCommand;
    if (index >= std::size(kBauds))
        return;
    const DWORD baud = kBauds[index];
    const std::u16string port = g_gpsPortName.Get();
    if (OpenReceiverPort(port.c_str(), baud, TRUE) == 0) {
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kNmeaBaudValue, baud);
        g_gpsBaud.store(baud);
    } else {
        OpenReceiverPort(port.c_str(), g_gpsBaud.load(), FALSE);
    }
    UpdateMenus();
}

void CMainView::OnZoomIn() {
    if (screenMode.load() != kScreenGuidance && mapView.ZoomIn() == 0)
        Refresh();
}

void CMainView::OnZoomOut() {
    if (screenMode.load() != kScreenGuidance && mapView.ZoomOut() == 0)
        Refresh();
}

void CMainView::OnToggleGpsPort() {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (!receiver)
        return;
    if (receiver->IsPortOpen()) {
        CloseReceiverPort();
        if (GetFixColor(TRUE) != kFixColorNone) {
            receiver->UpdateFix([](GpsFix& fix) { fix.valid = false; });
            Refresh();
        }
        return;
    }
    if (receiver->GetFlags() & kGpsReplayActive) {
        OnPlayTrack();
        return;
    }
    const std::u16string port = g_gpsPortName.Get();
    OpenReceiverPort(port.c_str(), g_gpsBaud.load(), TRUE);
}

void CMainView::OnMapPopupCommand(UINT id) {
    // A command with no road held (from a script or a stale menu) acts on nothing;
    // the route actions would otherwise reset the route first.
    if (!mapView.Held().Held())
        return;
    switch (id) {
        case kHoldCommandDestination:
            if (::GetCapture() == m_hWnd)
                ::ReleaseCapture();
            if (g_router) {
                g_router->SetDetourBit(0);
                g_router->SetDetour(0);
            }
            mapView.RouteToHeldPoint();
            break;
        case kHoldCommandStopover:
            if (g_router)
                g_router->SetDetour(1);
            mapView.RouteToHeldPoint();
            break;
        case kHoldCommandStart:
            if (g_router) {
                g_router->SetDetourBit(0);
                g_router->SetDetour(0);
            }
            mapView.SetLocationAsPoint();
            Refresh();
            break;
        case kHoldCommandSave:
            mapView.FormatPointInfo(kListFavorites);
            break;
        case kHoldCommandInfo:
            mapView.FormatBlockInfo(nullptr);
            break;
        default:
            mapView.LoadDetailedChunks();
            break;
    }
}

void CMainView::OnMenuScreen() {
    BeginModalScreen();
    if (fullScreen)
        LayoutWindow(0);
    CRingMenuDlg menu(this);
    const int result = static_cast<int>(menu.DoModal());
    switch (result) {
        case kRingDestinations:
            EnterDestination();
            break;
        case kRingDisplayOptions:
        case kRingDisplayOptionsOther:
            OnDisplayOptions();
            break;
        case kRingRouteOptions:
            OnRouteOptions();
            break;
        case kRingGpsInfo:
            ToggleGpsInfo();
            break;
        case kRingVolume:
            OnGuidanceVolume();
            break;
        case kRingSpeedAlert:
            OnSpeedAlert();
            break;
        case kRingRecord:
            OnRecordTrack();
            break;
        default:
            break;
    }
    g_homeKeyPressed.store(0);
    EndModalScreen(FALSE);
}

int CMainView::OpenDestinationList(int kind) {
    BeginModalScreen();
    int result = 0;
    switch (kind) {
        case kListKindRecent:
        case kListKindFavorites:
            result = RunDestinationList(*this, kind);
            break;
        case 4:
            OnRouteOptions();
            break;
        case 5:
            OnDisplayOptions();
            break;
        case 6:
            ToggleGpsInfo();
            break;
        case 7:
            OnSpeedAlert();
            break;
        case 9:
            OnGuidanceVolume();
            break;
        case 10:
            ToggleRouteList();
            break;
        default:
            break;
    }
    EndModalScreen(FALSE);
    return result;
}

void CMainView::RepeatGuidance() {
    if (!g_router || !(g_router->state & kRouterRouteState) || g_router->maneuverCount <= 0)
        return;
    if (g_router->state & kRouterStreetNameGuidance) {
        GetRouteGuidance().SpeakWord(kWordRepeatStreetGuidance);
        return;
    }
    GetRouteGuidance().RepeatAnnouncement(*g_router);
}

void CMainView::ShowLocationInfo() {
    location = ViewLocation{};
    MapLink* link = g_vehicleLocation.GetLink(false);
    if (!link)
        return;
    location.valid = true;
    location.link = link;
    location.linkId = link->linkId;
    location.linkAttributes = link->attributes;
    GetLinkStreetName(g_linkInfo, link->linkId, link->attributes, 0, location.street,
                      sizeof location.street, false);
    MapPoint first{}, second{};
    link->GetEndPositions(0, &first, &second);
    location.cosLat = static_cast<FLOAT>(std::cos(first.latitude * kRadiansPerDegree));
    location.position = g_vehicleLocation.position;
    location.segment = g_vehicleLocation.segment;
}

void CMainView::ToggleMute(BOOL redraw) {
    ToggleOptionFlag(kOptionVoiceMuted);
    if (redraw && m_hWnd && modalCount.load() == 0 && screenMode.load() == kScreenMap) {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        HDC dc = ::GetDC(m_hWnd);
        DrawSpeakerIcon(client, dc, FALSE);
        ::ReleaseDC(m_hWnd, dc);
    }
    Refresh();
}

void CMainView::TogglePoiIcons(BOOL redraw) {
    DWORD mode = g_poiIconMode.load();
    if (mode > 2)
        mode = 0;
    mode = mode != 1 ? 1 : (poiModeMemory == 2 ? 2 : 0);
    g_poiIconMode.store(mode);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"POIIconMode", mode);
    if (redraw && m_hWnd && modalCount.load() == 0 && screenMode.load() == kScreenMap) {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        HDC dc = ::GetDC(m_hWnd);
        DrawPoiButton(client, dc);
        ::ReleaseDC(m_hWnd, dc);
    }
    mapView.RefreshPois();
    forceRedraw = TRUE;
    Refresh();
}

void CMainView::ApplyViewMode(BOOL redraw, BOOL resetSpan) {
    StoreScreenMetrics(m_hWnd);
    SetMap3DMode(g_map3DMode.load());
    if (mapView.GetZoomIndex() < 0)
        return;
    forceRedraw = TRUE;
    mapView.Force();
    if (resetSpan)
        mapView.ResetViewSpan();
    if (guidanceScreen && screenMode.load() == kScreenGuidance)
        guidanceScreen->Relayout();
    if (redraw)
        Refresh();
}

void CMainView::UpdateMenus() {
    HMENU menu = CommandMenu();
    if (!menu)
        return;
    MarkMainMenu(menu, fogDriving);
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    const DWORD flags = receiver ? receiver->GetFlags() : 0;
    SetMenuText(kCommandRecordTrack,
                (flags & kGpsLogging) ? kStringStopRecording : kStringRecordTrack);
    const bool demo = demoRunning.load() != 0;
    SetMenuText(kCommandPlayTrack,
                (flags & kGpsReplayActive) && !demo ? kStringStopPlayback : kStringPlayTrack);
    SetMenuText(kCommandDemoRoute, demo ? kStringStopDemo : kStringDemoRoute);
}
