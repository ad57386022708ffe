// The map screen's stylus and key input: taps on the buttons and boxes, drags that
// pan the map, and the direction keys.
#include <algorithm>
#include <cstdlib>

#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/mapdb/timeout_record.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/hotkey_table.h"
#include "pathlume/shell/main_view.h"

namespace {

// A press moved this far (pixels, the larger axis) is a drag; panning already on
// takes a shorter one.
constexpr int kDragThreshold = 25;
constexpr int kDragThresholdPanning = 15;
constexpr int kNoPress = -500;

bool Inside(const RECT& rect, POINT p) {
    return p.x >= rect.left && p.x < rect.right && p.y >= rect.top && p.y < rect.bottom;
}

}  // namespace

CMainView::TapZones CMainView::GetTapZones() const {
    const float s = g_screenScaleY.load();
    const int w = clientRect.right;
    const int h = clientRect.bottom;
    TapZones zones;
    zones.heading = {w - ScaleSize(36, s), ScaleSize(50, s), w,
                     ScaleSize(50, s) + ScaleSize(34, s)};
    zones.topLeft = {0, ScaleSize(20, s), ScaleSize(48, s), ScaleSize(68, s)};
    zones.banner = {ScaleSize(48, s), 0, w - ScaleSize(26, s), ScaleSize(20, s)};
    zones.bottomStrip = {0, h - ScaleSize(20, s), w - statBoxWidth, h};
    return zones;
}

void CMainView::OnLButtonDown(UINT flags, CPoint point) {
    if (!g_autoPanTimeout.IsIdle())
        g_autoPanTimeout.Start(0, FALSE);
    if (g_router && (g_router->state & kRouterTimer6Running)) {
        // A tap dismisses the pedestrian-zone notice.
        KillTimer(kTimerRecalcMark);
        g_router->state &= ~kRouterTimer6Running;
        Refresh();
    }
    if (resumePending.load())
        return;
    const bool synthetic = flags == kInputOpenMenu || flags == kInputLeavePan;
    if (!synthetic)
        ::SetCapture(m_hWnd);
    tapHandled = FALSE;
    const POINT p = {point.x, point.y};
    if (flags == kInputOpenMenu || Inside(menuButtonRect, p)) {
        tapHandled = TRUE;
        menuFromTap = fullScreen;
        OnMenuScreen();
        menuFromTap = FALSE;
    } else if (flags == kInputLeavePan || (panMode.load() && Inside(panExitRect, p))) {
        forceRedraw = TRUE;
        SetPanMode(FALSE);
        if (!panMode.load() && g_router && (g_router->state & kRouterDetourActive) &&
            !(g_router->state & kRouterRouteState))
            g_router->SetDetour(0);
        else
            Refresh();
        tapHandled = TRUE;
    } else if (Inside(poiButtonRect, p)) {
        TogglePoiIcons(TRUE);
        tapHandled = TRUE;
    } else {
        dragState = 0;
        dragStart = dragLast = p;
        longPressHandled = FALSE;
        if (!fullScreen)
            SetTimer(kTimerLongPress, 500, nullptr);
    }
}

void CMainView::OnMouseMove(UINT, CPoint point) {
    if (resumePending.load() || dragState == 1 || dragStart.x == kNoPress)
        return;
    const int moved = std::max(std::abs(point.x - dragStart.x), std::abs(point.y - dragStart.y));
    const bool panning = panMode.load() != 0;
    if (moved < (panning ? kDragThresholdPanning : kDragThreshold)) {
        dragLast = {point.x, point.y};
        return;
    }
    dragState = 2;
    KillTimer(kTimerLongPress);
    if (!panning)
        SetPanMode(TRUE);
    ShowShiftedMap(point.x - dragStart.x, point.y - dragStart.y);
    dragLast = {point.x, point.y};
}

void CMainView::ShowShiftedMap(int dx, int dy) {
    HDC back = mapView.GetBackBufferDC();
    if (!back || !m_hWnd)
        return;
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int w = client.right, h = GetMapHeight() > 0 ? GetMapHeight() : client.bottom;
    HDC dc = ::GetDC(m_hWnd);
    BitBlt(dc, dx, dy, w, h, back, 0, 0, SRCCOPY);
    HBRUSH brush = CreateSolidBrush(g_mapTheme.BackgroundColour());
    const RECT strips[] = {
        {0, 0, w, std::clamp(dy, 0, h)},      // above
        {0, std::clamp(h + dy, 0, h), w, h},  // below
        {0, 0, std::clamp(dx, 0, w), h},      // left
        {std::clamp(w + dx, 0, w), 0, w, h},  // right
    };
    for (const RECT& strip : strips)
        if (strip.right > strip.left && strip.bottom > strip.top)
            FillRect(dc, &strip, brush);
    DeleteObject(brush);
    ::ReleaseDC(m_hWnd, dc);
}

void CMainView::OnLButtonUp(UINT flags, CPoint point) {
    if (resumePending.load())
        return;
    const bool synthetic = flags == kInputOpenMenu || flags == kInputLeavePan;
    if (!synthetic && ::GetCapture() == m_hWnd)
        ::ReleaseCapture();
    KillTimer(kTimerLongPress);
    bool panned = false;
    if (!tapHandled) {
        const POINT p = {point.x, point.y};
        if (dragState == 2 && dragStart.x != kNoPress) {
            float startLon = 0, startLat = 0, endLon = 0, endLat = 0;
            if (g_map3DMode.load() == 0) {
                mapView.ScreenToWorld(dragStart.x, dragStart.y, &startLon, &startLat);
                mapView.ScreenToWorld(p.x, p.y, &endLon, &endLat);
            } else {
                mapView.ScreenToWorld3D(dragStart.x, dragStart.y, &startLon, &startLat);
                mapView.ScreenToWorld3D(p.x, p.y, &endLon, &endLat);
            }
            FLOAT lat = 0, lon = 0;
            GetPanCentre(&lat, &lon);
            SetPanCentre(lat + (startLat - endLat), lon + (startLon - endLon));
            panned = true;
        } else if (dragState == 0 && dragStart.x != kNoPress) {
            if (TapOnMapScreen(p))
                fastTickCount = 0;
            else if (fullScreen)
                LayoutWindow(0);
        }
    }
    tapHandled = FALSE;
    dragStart = {kNoPress, kNoPress};
    if (panned)
        Refresh();
}

bool CMainView::TapOnMapScreen(POINT p) {
    const bool panning = panMode.load() != 0;
    const TapZones zones = GetTapZones();
    switch (mapView.HitTest(p.x, p.y)) {
        case -1:
            if (mapView.ZoomOut() == 0)
                Refresh();
            return true;
        case 1:
            if (mapView.ZoomIn() == 0)
                Refresh();
            return true;
        default:
            break;
    }
    if (mapView.PoiHitTest(p.x, p.y, 1))
        return true;
    if (!panning) {
        if (Inside(speakerRect, p)) {
            ToggleOptionFlag(kOptionVoiceMuted);
            Refresh();
            return true;
        }
        if (CycleStatBoxMode(m_hWnd, p.x, p.y, 1) == 0)
            return true;
        if (screenMode.load() == kScreenGuidance) {
            SwitchScreen(kScreenMap);
            return true;
        }
        if (g_router && (g_router->state & kRouterRouteState) && Inside(zones.banner, p)) {
            RepeatGuidance();
            return true;
        }
        if (g_vehicleLocation.stale == 0 && Inside(zones.bottomStrip, p)) {
            SwitchScreen(kScreenRouteList);
            return true;
        }
        // The heading indicator stands on the map: its own test below takes it.
        if (p.y < GetMapHeight() && !Inside(zones.heading, dragLast)) {
            locationFromTap = fullScreen;
            ShowLocationInfo();
            locationFromTap = FALSE;
            return true;
        }
    }
    if (Inside(zones.heading, dragLast)) {
        ToggleOptionFlag(kOptionHeadingArrow);
        Invalidate(FALSE);
        return true;
    }
    return false;
}

void CMainView::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    switch (key) {
        case VK_RIGHT:
            ExecuteCommand(kHotkeyNextScreen);
            return;
        case VK_LEFT:
            ExecuteCommand(kHotkeyPreviousScreen);
            return;
        case VK_UP:
            ExecuteCommand(kHotkeyZoomIn);
            return;
        case VK_DOWN:
            ExecuteCommand(kHotkeyZoomOut);
            return;
        case '3':
            ExecuteCommand(kHotkey3DMode);
            return;
        case VK_ESCAPE:
            OnEscape();
            return;
        default:
            CWnd::OnKeyDown(key, repeat, flags);
            return;
    }
}

void CMainView::OnSysKeyDown(UINT key, UINT repeat, UINT flags) {
    if (key == VK_MENU) {
        OnMenuScreen();
        return;
    }
    CWnd::OnSysKeyDown(key, repeat, flags);
}

void CMainView::StepScreen(BOOL forward) {
    const bool route = g_router && (g_router->state & kRouterRouteState);
    DWORD mode = screenMode.load();
    if (mode == 0 || mode > kScreenAlmanac)
        mode = kScreenMap;
    // The GPS information and almanac screens are not in the round; the route list
    // only with a route.
    do {
        if (forward)
            mode = mode == kScreenAlmanac ? kScreenMap : mode * 2;
        else
            mode = mode == kScreenMap ? kScreenAlmanac : mode / 2;
    } while (mode == kScreenGpsInfo || mode == kScreenAlmanac ||
             (mode == kScreenRouteList && !route));
    SwitchScreen(static_cast<int>(mode));
}

namespace {

// Codes that neither open a screen nor leave full screen: the view's own toggles.
bool KeepsFullScreen(int code) {
    switch (code) {
        case kHotkey3DMode:
        case kHotkeyFullscreen:
        case kHotkeyMute:
        case kHotkeyNorthUp:
        case kHotkeyPoiIcons:
        case kHotkeyRouteList:
        case kHotkeyRotateStatBox:
        case kHotkeyZoomIn:
        case kHotkeyZoomOut:
        case kHotkeyNextScreen:
        case kHotkeyPreviousScreen:
        case kHotkeyRepeatGuidance:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool OpensModalScreen(int code) {
    switch (code) {
        case kHotkeyCustomizePoiIcons:
        case kHotkeyDetour:
        case kHotkeyDisplayOptions:
        case kHotkeyEnterDestination:
        case kHotkeyMenu:
        case kHotkeyRouteOptions:
        case kHotkeySpeedAlert:
        case kHotkeyVolume:
            return true;
        default:
            return false;
    }
}

void CMainView::ExecuteCommand(int code) {
    if (!KeepsFullScreen(code)) {
        if (fullScreen)
            LayoutWindow(0);
        else
            fastTickCount = 0;
    }
    if (commandBusy)
        return;
    commandBusy = TRUE;
    switch (code) {
        case kHotkey3DMode: {
            DWORD mode = 0;
            if (g_map3DMode.load() == 0) {
                // A remembered mode that is no 3D view switches 3D off.
                mode = threeDModeMemory == 0 ? 2 : threeDModeMemory;
                if (mode >= 4)
                    mode = 0;
            }
            RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"3DMode", mode);
            SetMap3DMode(mode);
            const int count = mode != 0 ? g_mapTheme.zoomLevelCount2 : g_mapTheme.zoomLevelCount;
            if (count > 0 && mapView.GetZoomIndex() >= count)
                mapView.SetZoom(count - 1);
            ApplyViewMode(TRUE, FALSE);
            break;
        }
        case kHotkeyCurrentPosition:
            ShowLocationInfo();
            break;
        case kHotkeyCustomizePoiIcons:
            OnPoiFilter();
            break;
        case kHotkeyDetour:
            if (g_router && (g_router->state & kRouterRouteState))
                OnAvoidRoads();
            break;
        case kHotkeyDisplayOptions:
            OnDisplayOptions();
            break;
        case kHotkeyEnterDestination:
            EnterDestination();
            break;
        case kHotkeyFullscreen: {
            const DWORD mode = screenMode.load();
            CWnd* frame = GetParent();
            if (fullScreen) {
                fullScreenByUser = FALSE;
                LayoutWindow(0);
            } else if (frame && ::GetForegroundWindow() == frame->m_hWnd &&
                       (mode == kScreenMap || mode == kScreenGuidance ||
                        mode == kScreenRouteList)) {
                fullScreenByUser = TRUE;
                LayoutWindow(1);
            }
            break;
        }
        case kHotkeyGpsInfo:
            ToggleGpsInfo();
            break;
        case kHotkeyMenu:
            OnMenuScreen();
            break;
        case kHotkeyMute:
            ToggleMute(TRUE);
            break;
        case kHotkeyNorthUp:
            OnNorthUp();
            break;
        case kHotkeyPoiIcons:
            TogglePoiIcons(FALSE);
            break;
        case kHotkeyRouteList:
            ToggleRouteList();
            break;
        case kHotkeyRouteOptions:
            OnRouteOptions();
            break;
        case kHotkeyRotateStatBox:
            CycleStatBoxMode(m_hWnd, -1, -1, 1);
            break;
        case kHotkeySpeedAlert:
            OnSpeedAlert();
            break;
        case kHotkeyVolume:
            OnGuidanceVolume();
            break;
        case kHotkeyZoomIn:
            OnZoomIn();
            break;
        case kHotkeyZoomOut:
            OnZoomOut();
            break;
        case kHotkeyNextScreen:
            StepScreen(TRUE);
            break;
        case kHotkeyPreviousScreen:
            StepScreen(FALSE);
            break;
        case kHotkeyRepeatGuidance:
            RepeatGuidance();
            break;
        default:
            break;
    }
    commandBusy = FALSE;
}

void CMainView::OnEscape() {
    const DWORD mode = screenMode.load();
    if (mode & (kScreenGpsInfo | kScreenGuidance | kScreenRouteList | kScreenAlmanac | 128)) {
        PostMessageW(m_hWnd, WM_USER, 2, 1);
        return;
    }
    if (panMode.load())
        OnLButtonDown(kInputLeavePan, CPoint(0, 0));
}
