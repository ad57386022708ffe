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
        // The menu screen is not part of the program yet: the tap is only taken.
        tapHandled = TRUE;
    } else if (flags == kInputLeavePan || (panMode.load() && Inside(panExitRect, p))) {
        forceRedraw = TRUE;
        SetPanMode(FALSE);
        if (!panMode.load() && g_router && (g_router->state & kRouterDetourActive) &&
            !(g_router->state & kRouterRouteState))
            g_router->SetDetour(0);
        else
            Refresh();
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
        // The spoken guidance is not repeated yet: the banner only takes the tap.
        if (g_router && (g_router->state & kRouterRouteState) && Inside(zones.banner, p))
            return true;
        if (g_vehicleLocation.stale == 0 && Inside(zones.bottomStrip, p)) {
            SwitchScreen(kScreenRouteList);
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
        case VK_UP:
            if (mapView.ZoomIn() == 0)
                Refresh();
            return;
        case VK_DOWN:
            if (mapView.ZoomOut() == 0)
                Refresh();
            return;
        case VK_ESCAPE:
            OnEscape();
            return;
        default:
            CWnd::OnKeyDown(key, repeat, flags);
            return;
    }
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
