// A long press on the map: the road nearest to the pressed point, marked on the
// screen and recorded in the view, and the menu of what can be done with the place.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/spatial_queries.h"
#include "platform/kernel/text.h"
#include "platform/user/dialogs.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr COLORREF kPressColour = 0x0000FF;
constexpr COLORREF kMarkColour = 0xFF00FF;

// The menu's texts by string id.
constexpr UINT kStringSetStopover = 6166;
constexpr UINT kStringSetDestination = 6167;
constexpr UINT kStringSetStart = 6174;
constexpr UINT kStringSaveLocation = 6175;
constexpr UINT kStringInfo = 6176;
constexpr UINT kStringCancel = 6203;

void AppendString(HMENU menu, UINT id, UINT stringId) {
    WCHAR text[64];
    LoadResString(stringId, text, 64, FALSE);
    AppendMenuW(menu, MF_STRING, id, text);
}

}  // namespace

CMapView::NearestRoad CMapView::FindNearestRoad(const MapPoint& point, bool drawnOnly) {
    NearestRoad best;
    CMapDatabase& db = g_mapDatabase;
    const double c = std::max(std::cos(point.latitude * kRadiansPerDegree), 0.01);
    const FlatPoint flat{static_cast<FLOAT>(point.longitude * c), point.latitude};
    const bool close = IsCloseZoom();
    for (int layerIndex : {0, 1}) {
        // The detailed roads only when the zoom draws them.
        if (layerIndex == 1 && roadClassLimit_ <= kRoadClassMajorLimit)
            continue;
        MapLayer& layer = db.layers[layerIndex];
        if (!layer.directory || layer.windowX0 == kNoWindow || layer.windowW <= 0)
            continue;
        const bool main = layerIndex == 0;
        LinkIterator it;
        if (it.Init(layer, main ? cellBounds_[0] : 0, main ? cellBounds_[2] : 0,
                    main ? cellBounds_[1] : layer.windowW - 1,
                    main ? cellBounds_[3] : layer.windowH - 1, 0x1C0, main ? 2 : 0) != 0)
            continue;
        while (MapLink* link = it.Next()) {
            if (!link->fromNode || !link->toNode)
                continue;
            if (main && ((link->attributes & kAttrClassMask) > roadClassLimit_ ||
                         (link->shapeInfo & kShapeOnRoute)))
                continue;
            if (drawnOnly && !(link->shapeInfo & (kShapeDrawn | kShapeOnRoute)))
                continue;
            const uint32_t segments = close ? link->GetShapePointCount() + 1 : 1;
            for (uint32_t k = 0; k < segments; ++k) {
                MapPoint a, b;
                if (close) {
                    link->GetEndPositions(k, &a, &b);
                } else {
                    a = link->fromNode->position;
                    b = link->toNode->position;
                }
                FLOAT footX = 0, footY = 0;
                const FLOAT d2 = ProjectPointOnSegment(
                    flat, static_cast<FLOAT>(a.longitude * c), a.latitude,
                    static_cast<FLOAT>(b.longitude * c), b.latitude, &footX, &footY);
                if (d2 >= best.distance2)
                    continue;
                LinkHandle handle;
                if (!MakeLinkHandle(it.chunk, link, &handle))
                    continue;
                best.link = link;
                best.handle = handle;
                best.distance2 = d2;
                best.foot = {footY, static_cast<FLOAT>(footX / c)};
                // Far out only the end-to-end line was measured: the segment is the
                // link's own nearest one.
                best.segment = close ? static_cast<int32_t>(k)
                                     : static_cast<int32_t>(link->NearestPoint(
                                           point.latitude, point.longitude, nullptr));
                best.main = main;
            }
        }
    }
    return best;
}

int CMapView::OnTapAndHold(int x, int y) {
    held_ = HeldLocation{};
    float longitude = 0, latitude = 0;
    if (g_map3DMode.load() != 0)
        ScreenToWorld3D(x, y, &longitude, &latitude);
    else
        ScreenToWorld(x, y, &longitude, &latitude);
    if (!IsCloseZoom())
        forceFlag_ = 1;
    // The marks go on the main window, where the map is shown until the next repaint;
    // without a window (headless) into the back buffer.
    HWND window = host_ ? host_->GetViewWindow() : nullptr;
    HDC dc = window ? GetDC(window) : offscreenDC_;
    struct WindowDC {
        HWND window;
        HDC dc;
        ~WindowDC() {
            if (window && dc)
                ReleaseDC(window, dc);
        }
    } release{window, dc};
    if (dc)
        SetPixel(dc, x, y, kPressColour);

    const MapPoint pressed{latitude, longitude};
    const NearestRoad road = FindNearestRoad(pressed, false);
    if (!road.link)
        return 0;
    MapLink& link = *road.link;
    // The main layer's road stays loaded while its place is held; the actions let go.
    if (road.main && (link.attributes & kAttrClassMask) <= kRoadClassMajorLimit)
        road.handle.chunk->flags |= kChunkPinShield;
    held_.handle = road.handle;
    held_.link = link;
    held_.segment = road.segment;
    held_.cosLat = static_cast<float>(std::cos(pressed.latitude * kRadiansPerDegree));
    held_.foot = road.foot;
    held_.side = PointSideOfLink(&link, road.segment, pressed);

    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(link.linkId, record, false) == 0) {
        int32_t left = -1, right = -1;
        if (HouseNumbersAtPoint(link, record, road.segment, road.foot, &left, &right) == 0) {
            // The number of the side the press lies on; the other side's is dropped.
            held_.addressNumber = held_.side > 0 ? left : (held_.side < 0 ? right : -1);
            numbersSide_ = held_.side > 0 ? -1 : 1;
        }
    }
    GetLinkStreetName(g_linkInfo, link.linkId, link.attributes, 0, held_.streetName,
                      sizeof held_.streetName, false);

    if (dc) {
        int fx = 0, fy = 0;
        MapToScreen2D(road.foot.longitude, road.foot.latitude, &fx, &fy);
        HBRUSH brush = CreateSolidBrush(kMarkColour);
        RECT square = {fx - 2, fy - 2, fx + 2, fy + 2};
        FillRect(dc, &square, brush);
        DeleteObject(brush);
        std::vector<POINT> shape;
        shape.reserve(link.GetShapePointCount() + 2);
        auto add = [&](const MapPoint& p) {
            POINT q{};
            MapToScreen2D(p.longitude, p.latitude, &q.x, &q.y);
            shape.push_back(q);
        };
        add(link.fromNode->position);
        for (uint32_t k = 0; k < link.GetShapePointCount(); ++k)
            add(link.shapePoints[k]);
        add(link.toNode->position);
        HPEN pen = CreatePen(PS_SOLID, 1, kMarkColour);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        Polyline(dc, shape.data(), static_cast<int>(shape.size()));
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }

    HMENU menu = BuildHoldMenu();
    if (host_)
        host_->ShowHoldMenu(menu, x + 2, y + 2);
    DestroyMenu(menu);
    return 1;
}

int CMapView::FindNearestRoadRegion(float longitude, float latitude) {
    const NearestRoad road = FindNearestRoad(MapPoint{latitude, longitude}, true);
    return road.link ? RegionOfLink(road.link->linkId) : kNoRegion;
}

int CMapView::RegionOfLink(int32_t linkId) {
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(linkId, record, false) != 0)
        return kNoRegion;
    for (int side : {1, -1}) {
        int index = -1;
        if (g_areaZones.GetAreaCode(record, side, &index) >= 0 && index >= 0 && index < kNoRegion)
            return index;
    }
    return kNoRegion;
}

HMENU CMapView::BuildHoldMenu() const {
    char line[kStreetWordSize + 16];
    if (held_.addressNumber >= 0)
        std::snprintf(line, sizeof line, "%d %s", held_.addressNumber, held_.streetName);
    else
        std::snprintf(line, sizeof line, "%s", held_.streetName);
    HMENU menu = CreatePopupMenu();
    const std::u16string address = platform::AnsiToWide(line);
    // The address line chooses what Cancel chooses.
    AppendMenuW(menu, MF_STRING, kHoldCommandCancel, reinterpret_cast<LPCWSTR>(address.c_str()));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendString(menu, kHoldCommandStart, kStringSetStart);
    if (GetMapRoute().GetState() & kRouteStateRouteExists)
        AppendString(menu, kHoldCommandStopover, kStringSetStopover);
    AppendString(menu, kHoldCommandDestination, kStringSetDestination);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendString(menu, kHoldCommandSave, kStringSaveLocation);
    AppendString(menu, kHoldCommandInfo, kStringInfo);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendString(menu, kHoldCommandCancel, kStringCancel);
    return menu;
}

void IMapViewHost::ShowHoldMenu(HMENU menu, int x, int y) {
    TrackPopupMenu(menu, 0, x, y, 0, GetViewWindow(), nullptr);
}
