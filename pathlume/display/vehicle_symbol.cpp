// The vehicle symbol over the finished map, and the redraw it asks for when the
// vehicle has left the area drawn.
#include <cmath>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"

UINT VehicleBitmapId(bool night, COLORREF status, int mode3D, bool northUp) {
    int row = -1;
    switch (status) {
        case 0x00FFFF:
            row = 0;
            break;  // yellow
        case 0x0000FF:
            row = 1;
            break;  // red
        case 0x00C000:
            row = 2;
            break;  // green
        case 0x404040:
            row = 3;
            break;  // grey
        default:
            return 182;
    }
    // Columns: 3D view 1, 3D views 2 and 3, flat (2D or north-up).
    static constexpr UINT kIds[2][4][3] = {
        {{197, 189, 181}, {195, 187, 180}, {193, 185, 182}, {199, 191, 183}},
        {{192, 184, 177}, {196, 188, 176}, {194, 186, 178}, {198, 190, 179}}};
    const int column = (mode3D == 0 || northUp) ? 2 : (mode3D == 1 ? 0 : 1);
    return kIds[night ? 1 : 0][row][column];
}

void CMapView::DrawVehicle(const MapPoint* point, HDC dc) {
    if (!dc)
        dc = offscreenDC_;
    if (!dc)
        return;
    const bool northUp = (g_options.load() & kOptionNorthUp) != 0;
    const int mode = static_cast<int>(g_map3DMode.load());
    const COLORREF status = host_ ? host_->GetFixColor() : 0x404040;
    const UINT id = VehicleBitmapId(g_mapTheme.ColourMode() == 1, status, mode, northUp);
    if (id != vehicleBitmapId_) {
        vehicleImage_.Release();
        vehicleImage_.LoadFromResource(id, nullptr);
        vehicleImage_.SetTransparentColor(0xFFFFFF);
        vehicleBitmapId_ = id;
    }
    float longitude = 0, latitude = 0;
    int x = 0, y = 0;
    VehicleSymbolPlace(point, &longitude, &latitude, &x, &y);
    symbolLongitude_ = longitude;
    symbolLatitude_ = latitude;
    if (vehicleImage_.bitmap) {
        if (!northUp) {
            vehicleImage_.angle = 0;
            vehicleImage_.Draw(dc, x - vehicleImage_.width / 2, y - 1, 0, 0, 0, 0);
        } else {
            vehicleImage_.angle = GetHeadingForDrawing() * 0.0174532924f;
            vehicleImage_.Draw(dc, x - vehicleImage_.width / 2, y - vehicleImage_.height / 2, 0, 0,
                               0, 0);
        }
    }
    if (g_options.load() & kOptionMatchedCircles)
        DrawPositionCircles(dc);
    // A vehicle outside the area drawn asks for a new frame.
    const float* b = viewBounds_;
    const bool outside =
        longitude < b[0] || longitude > b[2] || -latitude < b[1] || -latitude > b[3];
    if (outside && !startFlag_ && host_ && host_->IsWindowVisible() && !Panning() && !guidanceFlag_)
        GetMapVehicle().PostPosition();
}

void CMapView::VehicleSymbolPlace(const MapPoint* point, float* longitude, float* latitude, int* x,
                                  int* y) const {
    if (point) {
        *longitude = point->longitude;
        *latitude = point->latitude;
    } else if (!Panning()) {
        *longitude = centreLongitude_;
        *latitude = centreLatitude_;
    } else {
        *longitude = g_vehicleLocation.position.longitude;
        *latitude = g_vehicleLocation.position.latitude;
    }
    if (g_map3DMode.load() == 0)
        MapToScreen2D(*longitude, *latitude, x, y);
    else
        WorldToScreen(*longitude, *latitude, x, y, 0, 0, nullptr, nullptr);
}

RECT CMapView::VehicleCover(const MapPoint* point) const {
    float longitude = 0, latitude = 0;
    int x = 0, y = 0;
    VehicleSymbolPlace(point, &longitude, &latitude, &x, &y);
    // The symbol of the frame before; before the first, one of its usual size.
    const int w = vehicleImage_.bitmap ? vehicleImage_.width : RoundHalfAway(24 * g_screenScaleX);
    const int h = vehicleImage_.bitmap ? vehicleImage_.height : RoundHalfAway(24 * g_screenScaleY);
    const int pad = RoundHalfAway(3 * g_screenScaleX.load());
    const bool northUp = (g_options.load() & kOptionNorthUp) != 0;
    const int top = northUp ? y - h / 2 : y - 1;
    return {x - w / 2 - pad, top - pad, x - w / 2 + w + pad, top + h + pad};
}

void CMapView::DrawPositionCircles(HDC dc) {
    const int radius = RoundHalfAway(5 * g_screenScaleX.load());
    auto ring = [&](float longitude, float latitude, COLORREF colour) {
        int x = 0, y = 0;
        if (g_map3DMode.load() == 0)
            MapToScreen2D(longitude, latitude, &x, &y);
        else
            WorldToScreen(longitude, latitude, &x, &y, 0, 0, nullptr, nullptr);
        HPEN pen = CreatePen(PS_SOLID, 3, colour);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Ellipse(dc, x - radius, y - radius, x + radius, y + radius);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    };
    ring(g_vehicleLocation.position.longitude, g_vehicleLocation.position.latitude, 0x00C000);
    const VehicleFix fix = GetMapVehicle().GetFix();
    ring(fix.longitude, fix.latitude, 0x0000FF);
}
