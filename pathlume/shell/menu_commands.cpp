// The map screen's menu commands: the option dialogs with what comes around them,
// the units, the keyboard, the GPS port and baud rate, zoom, the hold menu's
// commands, the menu screen and the view's 2D/3D layout.
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/main_view.h"

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
