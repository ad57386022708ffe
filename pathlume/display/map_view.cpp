#include "pathlume/display/map_view.h"

#include <algorithm>
#include <cmath>

#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/position_services.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/threads.h"

namespace {

constexpr float kNoHeading = 5000.0f;
constexpr float kRadiansPerDegree = 0.017453292f;
constexpr int kStringError = 6044;
// Radians of arc: the automatic zoom's thresholds (200 m, 500 ft, 500 m, 1320 ft) and
// half a mile, the reach of the widening towards a maneuver.
constexpr float kNearMetres = 3.1392377e-5f;
constexpr float kNearFeet = 2.3920991e-5f;
constexpr float kNearMajorMetres = 7.8480945e-5f;
constexpr float kNearMajorFeet = 6.3151419e-5f;
constexpr float kHalfMile = 1.2630284e-4f;
// The widening towards a maneuver stops after this many steps: near the top of
// the view it could otherwise never end.
constexpr int kMaxWidenings = 16;
// Pixels of road beyond the map's edges whose casing may still reach into it.
constexpr int kEdgeMarginPixels = 16;
// The 3D view's corners reach at most this many map heights ahead: near the
// horizon a pixel stands for an endless stretch of ground.
constexpr double kFarestFlatHeights = 6.0;

DWORD MapLoadThreadProc(LPVOID parameter) {
    return static_cast<DWORD>(static_cast<CMapView*>(parameter)->LoadMaps());
}

// The point of segment a-b nearest to p, in the flat frame of a's latitude
// (longitudes scaled by its cosine).
MapPoint FootOnSegment(const MapPoint& p, const MapPoint& a, const MapPoint& b) {
    const float c = std::max(std::cos(a.latitude * kRadiansPerDegree), 0.01f);
    const float ax = a.longitude * c, bx = b.longitude * c, px = p.longitude * c;
    const float dx = bx - ax, dy = b.latitude - a.latitude;
    const float length = dx * dx + dy * dy;
    float t = length > 0 ? ((px - ax) * dx + (p.latitude - a.latitude) * dy) / length : 0;
    t = std::clamp(t, 0.0f, 1.0f);
    return MapPoint{a.latitude + t * dy, (ax + t * dx) / c};
}

float Tilt(int mode, bool portrait) {
    if (portrait)
        return mode == 1 ? 0.9738937616f : (mode == 2 ? 0.8482300639f : 0.7225663066f);
    return mode == 1 ? 0.7225663066f : (mode == 2 ? 0.5969026089f : 0.4712389112f);
}

}  // namespace

CMapView::CMapView(IMapViewHost* host) : host_(host) {
    projection_.cameraDistance = cameraDistance_;
    projection_.nearDistance = nearDistance_;
}

CMapView::~CMapView() {
    if (&GetMapDisplayValues() == this)
        SetMapDisplayValues(nullptr);
    if (&GetAreaFeatureView() == &areaView_)
        SetAreaFeatureView(nullptr);
    ReleaseBackBuffer();
    if (redBrush_)
        DeleteObject(redBrush_);
    if (whiteBrush_)
        DeleteObject(whiteBrush_);
}

void CMapView::ReleaseBackBuffer() {
    if (offscreenBitmap_)
        DeleteObject(offscreenBitmap_);
    if (offscreenDC_)
        DeleteDC(offscreenDC_);
    offscreenBitmap_ = nullptr;
    offscreenDC_ = nullptr;
}

bool CMapView::LoadStopped() {
    if (!loadStop_.load())
        return false;
    g_mapsLoading.store(kMapLoadStopped);
    return true;
}

HANDLE CMapView::StartMapLoading() {
    loadStop_.store(false);
    g_mapsLoading.store(1);
    HANDLE thread = CreateThread(nullptr, 0, MapLoadThreadProc, this, 0, nullptr);
    if (!thread) {
        // Nobody will publish a result: the disclaimer must not wait for one.
        g_mapsLoading.store(-1);
        HWND owner = host_ ? host_->GetViewWindow() : nullptr;
        MessageBoxW(owner, u"Couldn't load maps", LoadResStringOr(kStringError, u"Error").c_str(),
                    MB_OK);
        return nullptr;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    return thread;
}

float CMapView::ZoomSpan(int index) const {
    const double perUnit = (g_options.load() & kOptionMetric) ? kDegreesPerMetre : kDegreesPerFoot;
    return static_cast<float>(g_mapTheme.GetZoomValue(index) * g_mapTheme.GetViewFactor() *
                              perUnit);
}

int CMapView::LoadMaps() {
    guidanceFlag_ = 0;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    vehicleImage_.LoadFromResource(kBitmapVehicle, nullptr);
    vehicleImage_.SetTransparentColor(0xFFFFFF);
    vehicleBitmapId_ = kBitmapVehicle;
    // The destination's flag is loaded when one is first drawn: its picture depends
    // on the zoom and the colours then.
    int index = static_cast<int>(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"ZoomIndex", 2));
    if (index > 3 || index < 0)
        index = 3;
    savedZoomIndex_ = index;
    StoreZoomIndex(index);
    ResetViewSpan();
    mapWest_ = 500, mapEast_ = -500, mapSouth_ = 500, mapNorth_ = -500;
    lastZoomIndex_ = -1;

    SetMapDisplayValues(this);
    if (LoadStopped())
        return kMapLoadStopped;
    const int result = g_mapDatabase.Open();
    if (result != 0) {
        g_mapsLoading.store(result);
        return result;
    }
    mapsOpen_ = true;
    if (LoadStopped())
        return kMapLoadStopped;
    OpenPolygons();
    SetAreaFeatureView(&areaView_);
    g_mapDatabase.GetBounds(&mapSouth_, &mapNorth_, &mapWest_, &mapEast_);
    if (!whiteBrush_)
        whiteBrush_ = CreateSolidBrush(0xFFFFFF);
    if (!redBrush_)
        redBrush_ = CreateSolidBrush(0x0000FF);
    zoomInImage_.LoadFromResource(kBitmapZoomIn, nullptr);
    zoomInImage_.SetTransparentColor(0);
    zoomOutImage_.LoadFromResource(kBitmapZoomOut, nullptr);
    zoomOutImage_.SetTransparentColor(0);

    if (LoadStopped())
        return kMapLoadStopped;
    IMapVehicle& vehicle = GetMapVehicle();
    vehicle.LoadLastPosition();
    VehicleFix fix = vehicle.GetFix();
    const bool inside = IsInsideMapBounds(fix.longitude, fix.latitude);
    if (inside) {
        vehicle.PushPosition();
        vehicle.Snap(1, 0, 0);
    } else {
        vehicle.SetPosition((mapWest_ + mapEast_) / 2, (mapSouth_ + mapNorth_) / 2);
        vehicle.ClearFixValid();
        vehicle.PushPosition();
        vehicle.Snap(1, 1, 128);
    }
    if (!g_vehicleLocation.GetLink(false)) {
        vehicle.ClearFixValid();
        vehicle.Snap(1, 1, 128);
    }
    if (!inside) {
        MapPoint& matched = g_vehicleLocation.position;
        fix = vehicle.GetFix();
        if (matched.longitude != 0 && matched.latitude != 0) {
            vehicle.SetPosition(matched.longitude, matched.latitude);
        } else if (matched.longitude == 0 && matched.latitude == 0) {
            matched.longitude = fix.longitude;
            matched.latitude = fix.latitude;
        }
        span_ = ZoomSpan(zoomIndex_);
    }
    g_mapsLoading.store(0);
    return 0;
}

void CMapView::OpenPolygons() {
    // Without the polygon file the map is drawn without areas.
    polygonFile_.Open(u"polygons.biz");
    polygonFile_.SetDetailThresholds(static_cast<int>(roadClassLimit_));
}

void CMapView::ReopenPoiLayer() {
    poiLayer_.OpenPoiFile();
}

float CMapView::GetMapHeading() const {
    return (g_options.load() & kOptionNorthUp) ? 0.0f : storedHeading_;
}

float CMapView::GetHeadingForDrawing() {
    if (GetPositionServices().GetSpeedMph() <= 3.0f && storedHeading_ != kNoHeading)
        return storedHeading_;
    return GetMapVehicle().GetFix().heading;
}

bool CMapView::IsInsideMapBounds(float longitude, float latitude) const {
    return longitude >= mapWest_ && longitude <= mapEast_ && latitude >= mapSouth_ &&
           latitude <= mapNorth_;
}

int CMapView::MapWidth() const {
    const int width = host_ ? host_->GetMapWidth() : g_screenWidth.load();
    return width > 0 ? width : 1;
}

int CMapView::MapHeight() const {
    const int height = host_ ? host_->GetMapHeight() : g_viewHeight.load();
    return height > 0 ? height : 1;
}

int CMapView::ClientHeight() const {
    return host_ ? host_->GetClientHeight() : MapHeight();
}

bool CMapView::Panning() const {
    return host_ && host_->IsPanMode();
}

void CMapView::StoreZoomIndex(int index) {
    zoomIndex_ = index;
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ZoomIndex", static_cast<DWORD>(index));
    g_mapTheme.SelectColourSet(guidanceFlag_, index, g_mapTheme.ColourMode());
    const int level = std::clamp(index, 0, CMapTheme::kLevels - 1);
    roadClassLimit_ =
        static_cast<uint32_t>(g_map3DMode.load() != 0 ? g_mapTheme.levelDrawClass2[level]
                                                      : g_mapTheme.levelDrawClass[level]);
    polygonFile_.SetDetailThresholds(static_cast<int>(roadClassLimit_));
}

void CMapView::ResetViewSpan() {
    anchorFraction_ = g_map3DMode.load() != 0 ? 0.13f : 0.4f;
    anchorInUse_ = anchorFraction_;
    span_ = ZoomSpan(zoomIndex_);
    // A screen not yet measured has no width: 1 pixel keeps the aspect finite.
    const int width = std::max(g_screenWidth.load(), 1);
    const int height = std::max(g_viewHeight.load(), 1);
    viewRect_ = {0, 0, width, height};
    anchorRow_ = static_cast<int>((1 - anchorInUse_) * height);
    anchorColumn_ = width / 2;
    aspect_ = static_cast<float>(height) / static_cast<float>(width);
}

void CMapView::UpdateCentreAndHeading(float* longitude, float* latitude, float* heading,
                                      int panMode, int snap) {
    IMapVehicle& vehicle = GetMapVehicle();
    if (panMode && host_) {
        host_->GetPanCentre(latitude, longitude);
    } else {
        if (snap && vehicle.SnapWithTimeout(1000) == 0 && host_ && !host_->IsPanMode() &&
            host_->IsWindowVisible())
            vehicle.PostPosition();
        const VehicleFix fix = vehicle.GetFix();
        MapLink* link = g_vehicleLocation.GetLink(true);
        if (fix.valid && !IsInsideMapBounds(fix.longitude, fix.latitude)) {
            *longitude = fix.longitude;
            *latitude = fix.latitude;
        } else if (link) {
            *longitude = g_vehicleLocation.position.longitude;
            *latitude = g_vehicleLocation.position.latitude;
            // Close in, the map follows the fix along the matched segment.
            if (zoomIndex_ >= 6 && g_vehicleLocation.segment != MapLocation::kNoSegment) {
                MapPoint a, b;
                link->GetEndPositions(g_vehicleLocation.segment, &a, &b);
                const MapPoint foot = FootOnSegment({fix.latitude, fix.longitude}, a, b);
                *longitude = foot.longitude;
                *latitude = foot.latitude;
            }
        } else if (fix.valid) {
            *longitude = fix.longitude;
            *latitude = fix.latitude;
        } else {
            *longitude = g_vehicleLocation.position.longitude;
            *latitude = g_vehicleLocation.position.latitude;
        }
    }
    if (g_options.load() & kOptionNorthUp) {
        *heading = 0;
    } else {
        *heading = GetHeadingForDrawing();
        storedHeading_ = *heading;
    }
}

void CMapView::CreateBackBuffer(HDC dc, int width, int height) {
    if (!offscreenDC_)
        offscreenDC_ = CreateCompatibleDC(dc);
    if (!offscreenDC_) {
        FatalErrorExit(2);
        return;
    }
    HBITMAP bitmap =
        CreateCompatibleBitmap(dc ? dc : offscreenDC_, std::max(width, 1), std::max(height, 1));
    if (!bitmap) {
        FatalErrorExit(1);
        return;
    }
    HGDIOBJ replaced = SelectObject(offscreenDC_, bitmap);
    if (offscreenBitmap_ && replaced == offscreenBitmap_)
        DeleteObject(offscreenBitmap_);
    offscreenBitmap_ = bitmap;
}

void CMapView::ApplyGuidanceZoom(int guidance) {
    IMapRoute& route = GetMapRoute();
    if (guidance == guidanceFlag_ && guidance == 0) {
        route.SetZoomBand(0);
        return;
    }
    if (!guidance) {
        guidanceFlag_ = 0;
        StoreZoomIndex(savedZoomIndex_);
        span_ = ZoomSpan(zoomIndex_);
        zoomBand_ = 0;
        route.SetZoomBand(0);
        return;
    }
    if (!guidanceFlag_) {
        guidanceFlag_ = 1;
        savedZoomIndex_ = zoomIndex_;
    }
    if (!(route.GetState() & kRouteStateRouteExists)) {
        StoreZoomIndex(savedZoomIndex_);
        span_ = ZoomSpan(zoomIndex_);
        zoomBand_ = 0;
        route.SetZoomBand(0);
        return;
    }
    MapLink* link = g_vehicleLocation.GetLink(false);
    const bool major = link && (link->shapeInfo & kShapeMajorRoad);
    const float threshold = ManeuverThreshold();
    const int closeIndex = major ? 2 : (g_map3DMode.load() != 0 ? 2 : 1);
    const float d = route.GetDistanceToNextManeuver();
    if (zoomIndex_ != closeIndex)
        StoreZoomIndex(closeIndex);
    span_ = ZoomSpan(closeIndex);
    if (d >= threshold)
        zoomBand_ = 0;
    else if (d < threshold / 3)
        zoomBand_ = 2;
    else if (zoomBand_ == 0)
        zoomBand_ = 1;
    route.SetZoomBand(zoomBand_);
}

float CMapView::ManeuverThreshold() const {
    const bool metric = (g_options.load() & kOptionMetric) != 0;
    MapLink* link = g_vehicleLocation.GetLink(false);
    if (link && (link->shapeInfo & kShapeMajorRoad))
        return metric ? kNearMajorMetres : kNearMajorFeet;
    return metric ? kNearMetres : kNearFeet;
}

void CMapView::UpdateView(float longitude, float latitude, float heading, HDC dc, int guidance) {
    g_homeKeyPressed.store(0);
    const bool view3D = g_map3DMode.load() != 0;
    anchorFraction_ = view3D ? 0.13f : 0.4f;
    const bool northUp = (g_options.load() & kOptionNorthUp) != 0;
    headingRadians_ = northUp ? 0.0f : heading * kRadiansPerDegree;
    headingSin_ = std::sin(headingRadians_);
    headingCos_ = std::cos(headingRadians_);
    cameraDistance_ = 50.0f;
    nearDistance_ = 25.0f;
    const bool portrait = MapWidth() < MapHeight();
    tilt_ = Tilt(static_cast<int>(g_map3DMode.load()), portrait);

    if (!startFlag_ && host_ && host_->ScheduleRedraw())
        return;

    bool changed = guidance != 0 || guidanceFlag_ != 0 || longitude != centreLongitude_ ||
                   latitude != centreLatitude_ || heading != headingUsed_ ||
                   zoomIndex_ != lastZoomIndex_ || Panning();
    ApplyGuidanceZoom(guidance);
    if (forceFlag_) {
        changed = true;
        forceFlag_ = 0;
    }
    // A position that is not a number cannot place the view: the last one stays.
    if (!std::isfinite(longitude) || !std::isfinite(latitude) || !std::isfinite(heading))
        changed = false;
    if (changed) {
        RecomputeTransform(longitude, latitude, heading, guidance);
        LoadChunksAroundView(longitude, latitude);
    }
    RenderMap(changed ? 1 : 0);
    startFlag_ = 0;
    lastZoomIndex_ = zoomIndex_;
}

void CMapView::RecomputeTransform(float longitude, float latitude, float heading, int guidance) {
    centreLongitude_ = longitude;
    centreLatitude_ = latitude;
    headingUsed_ = heading;
    const bool view3D = g_map3DMode.load() != 0;
    const bool northUpOrPanning = (g_options.load() & kOptionNorthUp) || Panning();
    const float c = std::max(std::cos(std::fabs(latitude) * kRadiansPerDegree), 0.01f);
    const int width = viewRect_.right - viewRect_.left;
    const int height = viewRect_.bottom - viewRect_.top;
    const int margin = host_ ? host_->GetFullScreenExtraHeight() : 0;
    IMapRoute& route = GetMapRoute();
    for (int widening = 0;; ++widening) {
        anchorInUse_ = northUpOrPanning ? (view3D ? 0.2f : 0.5f) : anchorFraction_;
        anchorRow_ = viewRect_.top + static_cast<int>(height * (1 - anchorInUse_));
        longitudeSpan_ = span_ / c;
        latitudeSpan_ = span_ * aspect_;
        const float kx = width / longitudeSpan_;
        const float ky = height / latitudeSpan_;
        projection_.centreLongitude = longitude;
        projection_.centreLatitude = latitude;
        projection_.a = kx * headingCos_;
        projection_.d = kx * headingSin_;  // the rotation terms of the longitude and
        projection_.b = ky * headingSin_;  // the latitude difference
        projection_.c = ky * headingCos_;
        projection_.screenCentreX = anchorColumn_;
        projection_.screenCentreY = anchorRow_;
        projection_.offsetX = 0;
        projection_.offsetY = 0;
        projection_.cameraDistance = cameraDistance_;
        projection_.nearDistance = nearDistance_;
        projection_.width = width;
        projection_.height = height;
        projection_.bottomMargin = margin;
        projection_.clientHeight = ClientHeight();
        inverse_[0] = headingCos_ / kx;
        inverse_[1] = headingCos_ / ky;
        inverse_[2] = headingSin_ / kx;
        inverse_[3] = headingSin_ / ky;
        ComputeViewCorners();
        ComputeViewBounds();

        if (!(guidance && (g_options.load() & kOptionAutoGuidance) && !view3D &&
              (route.GetState() & kRouteStateRouteExists)) ||
            widening >= kMaxWidenings)
            break;
        const int32_t current = route.GetCurrentManeuver();
        if (current >= route.GetManeuverCount() - 1 ||
            !(route.GetDistanceToNextManeuver() < ManeuverThreshold()))
            break;
        RouteStep step;
        if (!route.ResolveEntry(route.GetManeuverRouteIndex(current), &step) || !step.node)
            break;
        const VehicleFix fix = GetMapVehicle().GetFix();
        const MapPoint at{fix.latitude, fix.longitude};
        if (PointDistance(step.node->position, at, 0) > kHalfMile)
            break;
        int x = 0, y = 0;
        MapToScreen2D(step.node->position.longitude, step.node->position.latitude, &x, &y);
        const float wider = span_ * 1.125f;
        if (y > 35 || !std::isfinite(wider))
            break;
        span_ = wider;
    }
}

void CMapView::ComputeViewCorners() {
    const int width = viewRect_.right - viewRect_.left;
    const int height = viewRect_.bottom - viewRect_.top;
    const int g = ScaleY(kEdgeMarginPixels);
    const int left = -g, right = width + g, bottom = height + g;
    int top = -g;
    const bool view3D = g_map3DMode.load() != 0;
    if (view3D) {
        // The first row below the sky whose ground lies no further than the limit.
        const double s = std::sin(double{tilt_}), k = std::cos(double{tilt_});
        const double v = kFarestFlatHeights * height;
        const double farRow = -width * v * s / (v * k + cameraDistance_) + (s + 1) * height * 0.5;
        top = std::max(GetSkyBandHeight(), static_cast<int>(std::ceil(farRow)));
    }
    const int xs[4] = {left, right, right, left};
    const int ys[4] = {top, top, bottom, bottom};
    for (int i = 0; i < 4; ++i) {
        if (view3D)
            ScreenToWorld3D(xs[i], ys[i], &corners_[2 * i], &corners_[2 * i + 1]);
        else
            ScreenToWorld(xs[i], ys[i], &corners_[2 * i], &corners_[2 * i + 1]);
    }
}

void CMapView::ComputeViewBounds() {
    float west = 180, east = -180, south = 90, north = -90;
    for (int i = 0; i < 4; ++i) {
        const float lon = std::clamp(corners_[2 * i], -180.0f, 180.0f);
        west = std::min(west, lon);
        east = std::max(east, lon);
        south = std::min(south, corners_[2 * i + 1]);
        north = std::max(north, corners_[2 * i + 1]);
    }
    viewBounds_[0] = west;
    viewBounds_[1] = -north;
    viewBounds_[2] = east;
    viewBounds_[3] = -south;
}

void CMapView::LoadChunksAroundView(float longitude, float latitude) {
    if (!mapsOpen_)
        return;
    CMapDatabase& db = g_mapDatabase;
    MapLayer& overview = db.layers[0];
    if (overview.windowW <= 0 || overview.windowH <= 0)
        return;
    // The pins of the last window go; those the new window needs are set again below,
    // and the refresh drops the rest. A window at cell 0 is a window too.
    if (hasWindow_)
        db.ReleaseLayerPin(1);
    const float west = viewBounds_[0], east = viewBounds_[2];
    const float south = -viewBounds_[3], north = -viewBounds_[1];
    auto column = [&](float lon) {
        return static_cast<int32_t>(std::clamp<int64_t>(
            overview.FileColumnOf(lon) - overview.windowX0, 0, overview.windowW - 1));
    };
    auto row = [&](float lat) {
        return static_cast<int32_t>(std::clamp<int64_t>(overview.FileRowOf(lat) - overview.windowY0,
                                                        0, overview.windowH - 1));
    };
    cellBounds_[0] = column(west);
    cellBounds_[1] = column(east);
    cellBounds_[2] = row(south);
    cellBounds_[3] = row(north);
    if (roadClassLimit_ > kRoadClassMajorLimit && IsCloseZoom()) {
        const MapPoint middle{(south + north) / 2, (west + east) / 2};
        db.LoadArea(1, middle, east - west, north - south, 0, 0, true, false);
    } else {
        db.layers[1].DropAll(true);
    }
    db.LoadPinnedRange(1, cellBounds_[0], cellBounds_[2], cellBounds_[1], cellBounds_[3]);
    if (hasWindow_)
        db.RefreshReleasedChunks(1, false);
    hasWindow_ = true;
    GetMapRoute().ApplyAvoidMarks();
}

int CMapView::FindLastLevelBelow() {
    return g_mapTheme.FindLastLevelBelow();
}

float CMapView::GetViewFactor() {
    return g_mapTheme.GetViewFactor();
}

int CMapView::GetZoomLevelCount() {
    return g_mapTheme.zoomLevelCount;
}

float CMapView::GetZoomWidthMetres(int level) {
    return g_mapTheme.zoomListMetres[std::clamp(level, 0, CMapTheme::kLevels - 1)];
}

float CMapView::GetZoomWidthFeet(int level) {
    return g_mapTheme.zoomListFeet[std::clamp(level, 0, CMapTheme::kLevels - 1)];
}

int CMapView::GetScreenWidth() {
    return MapWidth();
}

int CMapView::GetScreenHeight() {
    return MapHeight();
}
