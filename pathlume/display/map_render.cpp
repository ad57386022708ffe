// One frame of the map into the view's off-screen buffer: background, roads, the
// destination flag and the next-maneuver arrow, the notice for a fix outside the
// map and, in 3D, the sky band. The pens and brushes of the road classes come from
// the theme's current colour set.
#include "pathlume/display/map_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "pathlume/display/map_labels.h"
#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/mapdb/geodesy.h"

MapGdiSet::~MapGdiSet() {
    for (auto& group : pens)
        for (HPEN& pen : group)
            if (pen)
                DeleteObject(pen);
    if (dashed)
        DeleteObject(dashed);
    for (HBRUSH& brush : brushes)
        if (brush)
            DeleteObject(brush);
}

void CMapView::BuildThemeGdi(MapGdiSet& set) {
    const DWORD colourTheme = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"ColorTheme", 0);
    const int mode = g_mapTheme.ColourMode();
    for (int c = 1; c <= 5; ++c) {
        set.classFill[c - 1] = g_mapTheme.RoadColour(c);
        set.classCasing[c - 1] = g_mapTheme.RoadBorderColour(c);
        // Colour theme 2 draws the minor classes in their casing colour.
        if (colourTheme == 2 && c >= 4)
            set.classFill[c - 1] = set.classCasing[c - 1];
    }
    for (int i = 0; i < 4; ++i) {
        set.special[i] = g_mapTheme.MapColour(mode, i);
        set.specialCasing[i] = g_mapTheme.MapColour(mode, 4 + i);
    }
    const bool view3D = g_map3DMode.load() != 0;
    const float scale = g_screenScaleY.load();
    const int casingExtra = RoundHalfAway(scale * 2.0f);
    for (int c = 0; c < 5; ++c) {
        const int w = view3D ? RoundHalfAway(scale) : g_mapTheme.SelectedWidth(c + 1);
        const int wide = view3D ? RoundHalfAway(scale * 3.0f) : w + casingExtra;
        set.pens[kPenA][c] = CreatePen(PS_SOLID, w, set.classFill[c]);
        set.pens[kPenB][c] = CreatePen(PS_SOLID, w, set.special[kSpecialB]);
        set.pens[kPenC][c] =
            CreatePen(PS_SOLID, view3D ? w : std::max(w / 2, 1), set.special[kSpecialNarrow]);
        set.pens[kPenD][c] = CreatePen(PS_SOLID, w, set.special[kSpecialNoType]);
        set.pens[kPenE][c] = CreatePen(PS_SOLID, wide, set.classCasing[c]);
        set.pens[kPenF][c] = CreatePen(PS_SOLID, wide, set.specialCasing[kSpecialB]);
        set.pens[kPenG][c] = CreatePen(PS_SOLID, wide, set.specialCasing[kSpecialB]);
        set.pens[kPenH][c] = CreatePen(PS_SOLID, wide, set.specialCasing[kSpecialNoType]);
    }
    if (view3D) {
        for (int i = 0; i < 4; ++i)
            set.brushes[i] = CreateSolidBrush(set.special[i]);
        for (int c = 0; c < 5; ++c)
            set.brushes[4 + c] = CreateSolidBrush(set.classFill[c]);
    }
    set.dashed = CreatePen(PS_DASH, 1, 0x00C000);
}

std::vector<RECT> CMapView::MapCovers() const {
    std::vector<RECT> covers;
    if (host_)
        host_->GetMapCovers(&covers);
    // Where the bar was last drawn; before the first, the map area's bottom.
    const RECT bar = scaleBarRect_.right > scaleBarRect_.left ? scaleBarRect_
                                                              : RECT{0, 0, MapWidth(), MapHeight()};
    covers.push_back(ScaleBarCover(bar));
    covers.push_back(VehicleCover(nullptr));
    return covers;
}

int CMapView::GetSkyBandHeight() const {
    const int mode = static_cast<int>(g_map3DMode.load());
    if (mode < 1 || mode > 3)
        return 0;
    const bool full = host_ && host_->IsFullScreen();
    const bool portrait = MapHeight() > MapWidth();
    static constexpr int kBand[2][2][3] = {{{0, 0, 20}, {0, 20, 40}}, {{0, 20, 40}, {0, 40, 60}}};
    return RoundHalfAway(g_screenScaleY.load() *
                         static_cast<float>(kBand[full ? 1 : 0][portrait ? 1 : 0][mode - 1]));
}

void CMapView::DrawSky(HDC dc, int band, int full) {
    if (band <= 0)
        return;
    const int width = MapWidth();
    HBRUSH grey = CreateSolidBrush(0x808080);
    RECT all = {0, 0, width, band};
    FillRect(dc, &all, grey);
    DeleteObject(grey);
    int start = 0;
    IMapRoute& route = GetMapRoute();
    const bool routed = (route.GetState() & kRouteStateRouteExists) && route.GetManeuverCount() > 0;
    const int phase = route.GetGuidancePhase();
    const bool excluded = (phase == 1 || phase == 2) && !route.IsStreetNameVariant() &&
                          route.GetNextRouteLink() &&
                          route.GetNextRouteLink() != g_vehicleLocation.GetLink(false);
    if (!full && !g_vehicleLocation.stale && routed && !Panning() && !excluded)
        start = RoundHalfAway(20 * g_screenScaleY.load());
    const bool night = g_mapTheme.ColourMode() == 1;
    for (int row = start; row < band; ++row) {
        const COLORREF colour = night ? static_cast<COLORREF>((row * 170 / band) << 16)
                                      : static_cast<COLORREF>((row * 255 / band) | 0xFFFF00);
        HBRUSH brush = CreateSolidBrush(colour);
        RECT line = {0, row, width, row + 1};
        FillRect(dc, &line, brush);
        DeleteObject(brush);
    }
}

void CMapView::DrawManeuverArrow(HDC dc, int x, int y, float angle) {
    const float size = guidanceFlag_ ? 25.0f : 19.0f;
    float width = size * g_screenScaleX.load();
    float height = size * g_screenScaleY.load();
    const bool view3D = g_map3DMode.load() != 0;
    if (view3D) {
        const float factor = 1.5f - static_cast<float>(y) / static_cast<float>(MapHeight());
        width *= factor;
        height *= factor;
    }
    const float shape[4][2] = {{0, -height},
                               {width / 2, 0},
                               {0, -static_cast<float>(RoundHalfAway(height * 0.25f)) - 1},
                               {-width / 2, 0}};
    const float s = std::sin(angle), c = std::cos(angle);
    POINT points[4];
    for (int i = 0; i < 4; ++i) {
        const float px = shape[i][0] * c - shape[i][1] * s;
        const float py = shape[i][0] * s + shape[i][1] * c;
        points[i] = {RoundHalfAway(x + px), RoundHalfAway(y + py)};
        if (view3D) {
            int sx = 0, sy = 0;
            WorldToScreen(static_cast<float>(points[i].x), static_cast<float>(points[i].y), &sx,
                          &sy, 0, 1, nullptr, nullptr);
            points[i] = {sx, sy};
        }
    }
    DrawFilledPolygon(dc, points, 4, 0, g_mapTheme.ColourMode() == 1 ? 0xC0C000 : 0x00FF00);
}

int CMapView::FlagBitmapId() const {
    const bool close = host_ && zoomIndex_ >= 0 && zoomIndex_ <= 2;
    const bool night = g_mapTheme.ColourMode() == 1;
    const int mode = static_cast<int>(g_map3DMode.load());
    // Columns: 3D mode 1, 3D modes 2 and 3, 2D.
    static constexpr UINT kIds[2][2][3] = {{{213, 209, 202}, {210, 206, 204}},
                                           {{211, 207, 203}, {212, 208, 205}}};
    const int column = mode == 1 ? 0 : (mode == 0 ? 2 : 1);
    return static_cast<int>(kIds[close ? 1 : 0][night ? 1 : 0][column]);
}

void CMapView::DrawDestinationFlag(HDC dc) {
    IMapRoute& route = GetMapRoute();
    MapLink* link = route.GetDestinationLink();
    if (!link || !IsLinkVisible(*link, 0))
        return;
    const UINT id = static_cast<UINT>(FlagBitmapId());
    if (id != flagBitmapId_) {
        flagImage_.LoadFromResource(id, nullptr);
        flagImage_.SetTransparentColor(0xFFFFFF);
        flagBitmapId_ = id;
    }
    if (!flagImage_.bitmap)
        return;
    const MapPoint point = route.GetDestinationPoint();
    int x = 0, y = 0;
    if (!WorldToScreen(point.longitude, point.latitude, &x, &y, 0, 0, nullptr, nullptr))
        return;
    const int halfW = flagImage_.width / 2, halfH = flagImage_.height / 2;
    if (x < viewRect_.left - halfW || x > viewRect_.right + halfW || y < viewRect_.top - halfH ||
        y > viewRect_.bottom + halfH)
        return;
    flagImage_.Draw(dc, x - halfW, y - halfH, 0, 0, 0, 0);
}

void CMapView::DrawNextManeuverArrow(HDC dc) {
    IMapRoute& route = GetMapRoute();
    const int32_t current = route.GetCurrentManeuver();
    if (current < 0 || current >= route.GetManeuverCount() - 1)
        return;
    // The maneuver's route index is checked through the resolve: one past the route
    // (or the arrival's -1) resolves to nothing and draws no arrow.
    const int32_t index = route.GetManeuverRouteIndex(current);
    RouteStep step;
    if (index < 0 || !route.ResolveEntry(index, &step) || !step.node || !step.link)
        return;
    const MapNode* node = step.node;
    const MapLink& link = *step.link;
    const uint32_t shapes = link.GetShapePointCount();
    MapPoint beyond;
    if (link.toNode == node)
        beyond = shapes ? link.shapePoints[shapes - 1]
                        : (link.fromNode ? link.fromNode->position : node->position);
    else
        beyond =
            shapes ? link.shapePoints[0] : (link.toNode ? link.toNode->position : node->position);
    const MapPoint destination = route.GetDestinationPoint();
    if (node->position.latitude == destination.latitude &&
        node->position.longitude == destination.longitude)
        return;
    const float bearing = GeoBearing(node->position, beyond);
    int x = 0, y = 0;
    MapToScreen2D(node->position.longitude, node->position.latitude, &x, &y);
    DrawManeuverArrow(dc, x, y, bearing - headingRadians_);
}

void CMapView::DrawOutsideNotice(HDC dc) {
    const VehicleFix fix = GetMapVehicle().GetFix();
    if (Panning() || !fix.valid || IsInsideMapBounds(fix.longitude, fix.latitude))
        return;
    WCHAR text[260];
    if (!LoadResString(kStringOutsideMapArea, text, 260, FALSE))
        return;
    LOGFONTW spec{};
    spec.lfHeight = ScaleY(12);
    spec.lfWeight = 700;
    std::memcpy(spec.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    HFONT font = CreateFontIndirectW(&spec);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT box = {0, 0, 0, 0};
    DrawTextW(dc, text, -1, &box, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    const int textWidth = box.right - box.left, textHeight = box.bottom - box.top;
    const int left = (MapWidth() - textWidth) / 2;
    const int top = RoundHalfAway(ClientHeight() / 2.0f * 0.75f) - textHeight / 2;
    RECT place = {left, top, left + textWidth, top + textHeight};
    Rectangle(dc, place.left - 4, place.top - 4, place.right + 4, place.bottom + 4);
    const COLORREF oldColour = SetTextColor(dc, 0x0000C0);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &place, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

void CMapView::RenderMap(int changed) {
    HDC dc = offscreenDC_;
    if (!dc)
        return;
    const bool view3D = g_map3DMode.load() != 0;
    skyBand_ = view3D ? GetSkyBandHeight() : 0;
    g_mapTheme.SelectColourSet(guidanceFlag_, zoomIndex_, g_mapTheme.ColourMode());
    const int close = IsCloseZoom() ? 1 : 0;
    MapGdiSet set;
    const COLORREF background = g_mapTheme.BackgroundColour();
    g_mapRendering.store(1);
    ZoomToDetailLevel();
    BuildThemeGdi(set);
    const int saved = SaveDC(dc);

    HBRUSH backgroundBrush = CreateSolidBrush(background);
    RECT client = {0, 0, MapWidth(), std::max(ClientHeight(), MapHeight())};
    FillRect(dc, &client, backgroundBrush);
    DeleteObject(backgroundBrush);

    // The labels are measured with the font they are drawn in.
    CMapLabels labels;
    labels.SetMargins(static_cast<float>(MapWidth()), static_cast<float>(MapHeight()));
    labels.SetCovers(MapCovers());
    IconLabelList icons;
    const int fontHeight = g_mapTheme.StreetTextSize(zoomIndex_);
    LOGFONTW spec{};
    spec.lfHeight = fontHeight;
    spec.lfWeight = 400;
    spec.lfQuality = 5;
    spec.lfPitchAndFamily = 0x20;
    std::memcpy(spec.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    HFONT labelFont = CreateFontIndirectW(&spec);
    HGDIOBJ oldFont = SelectObject(dc, labelFont);

    figures_ = {};
    const DWORD options2 = g_options2.load();
    if (options2 & kOptions2NoPoi)
        poiLayer_.Forget();
    else
        CollectPois();
    if (!(options2 & kOptions2NoPoiLabels))
        poiLayer_.PlaceLabels(dc, *this, labels, skyBand_);
    else
        poiLayer_.DropLabels();
    if (!(options2 & kOptions2NoAreas))
        DrawAreas(dc);
    if (view3D)
        DrawRoads3D(changed, close, dc, set, labels, icons);
    else
        DrawRoads2D(changed, close, dc, set, labels, icons);

    DrawRoute(dc, 1);
    const bool night = g_mapTheme.ColourMode() == 1;
    // Labels are drawn opaque: on the map's own background colour they stay
    // readable over the roads in both colour sets (white boxes hide the night text).
    const COLORREF oldBackground = SetBkColor(dc, background);
    const int below = MapHeight() - skyBand_;
    labels.Draw(dc, fontHeight, night ? 0xA0FFA0 : 0x000000, night ? 0xFF8000 : 0xFF0000, view3D,
                skyBand_, skyBand_ + below / 3, skyBand_ + 2 * below / 3);
    SetBkColor(dc, oldBackground);
    DrawIconLabels(icons, dc, fontHeight);
    roadRecords_.Age();
    figures_.labels = labels.Count();
    figures_.shields = static_cast<int>(icons.Entries().size());
    placedLabels_.clear();
    for (int i = 0; i < labels.Count(); ++i)
        placedLabels_.push_back(labels.SlotAt(i));
    placedIcons_ = icons.Entries();
    if (!(options2 & kOptions2NoPoi))
        poiLayer_.Draw(dc, *this, skyBand_);

    IMapRoute& route = GetMapRoute();
    if (route.GetState() & kRouteStateRouteExists) {
        DrawDestinationFlag(dc);
        if (guidanceFlag_ || zoomIndex_ < 4)
            DrawNextManeuverArrow(dc);
    }
    SelectObject(dc, oldFont);
    DeleteObject(labelFont);
    RestoreDC(dc, saved);
    DrawOutsideNotice(dc);
    if (view3D)
        DrawSky(dc, skyBand_, 0);
    g_mapRendering.store(0);
}

void CMapView::CollectPois() {
    const bool moved = poiLayer_.NeedsRecollect(centreLongitude_, centreLatitude_) != 0;
    if (!poiRefresh_ && !moved && zoomIndex_ == poiZoomIndex_)
        return;
    uint32_t codes[kPoiSelectionRoom];
    int count = 0;
    const DWORD mode = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"POIIconMode", 0);
    if (mode == 1)
        codes[count++] = kPoiCitiesCode;
    else
        count = LoadPoiSelection(codes, mode == 0 ? 1 : 0, 0, zoomIndex_);
    poiLayer_.CollectNear(codes, count, centreLongitude_, centreLatitude_, *this);
    poiRefresh_ = false;
    poiZoomIndex_ = zoomIndex_;
}

void CMapView::DrawAreas(HDC dc) {
    const PolygonCellRange cells = polygonFile_.CellsUnder(areaView_.GetVisibleRect());
    const int detail = static_cast<int>(roadClassLimit_);
    if (g_map3DMode.load() == 0) {
        DrawAreaFeatures2D(polygonFile_, dc, cells.c0, cells.r0, cells.c1, cells.r1, detail,
                           zoomIndex_);
        return;
    }
    const GeoRect rect = areaView_.GetVisibleRect();
    DrawAreaFeatures3D(polygonFile_, dc, cells.c0, cells.r0, cells.c1, cells.r1, detail, zoomIndex_,
                       0, std::sin(tilt_), std::cos(tilt_), rect.west, rect.north, rect.east,
                       rect.south);
}

GeoRect CMapView::AreaView::GetVisibleRect() {
    const float* b = view_.viewBounds_;
    return GeoRect{b[0], -b[3], b[2], -b[1]};
}

bool CMapView::AreaView::Is3DMode() {
    return g_map3DMode.load() != 0;
}

void CMapView::AreaView::MapToScreen2D(FLOAT longitude, FLOAT latitude, int32_t* x, int32_t* y) {
    view_.MapToScreen2D(longitude, latitude, x, y);
}

COLORREF CMapView::AreaView::GetAreaColour(int kind) {
    return g_mapTheme.FillColour(g_mapTheme.ColourMode(), kind);
}

COLORREF CMapView::AreaView::GetBackgroundColour() {
    return g_mapTheme.BackgroundColour();
}

void CMapView::AreaView::ClipPolygon3D(HDC dc, const POINT* points, int count) {
    std::vector<POINT> copy(points, points + std::max(count, 0));
    POINT first{};
    if (!copy.empty())
        ::ClipPolygon3D(view_, dc, copy.data(), &first, count, nullptr);
}

void CMapView::AreaView::ClipRibbon3D(HDC dc, const POINT* points, int count, FLOAT ribbon,
                                      FLOAT tilt, FLOAT depth) {
    std::vector<POINT> copy(points, points + std::max(count, 0));
    POINT first{};
    if (!copy.empty())
        ::ClipRibbon3D(view_, dc, copy.data(), &first, count, nullptr, ribbon, tilt, depth);
}
