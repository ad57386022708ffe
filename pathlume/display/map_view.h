// The map view: the view state of the moving map (centre, heading, zoom, 2D or 3D
// camera, the screen transform, the bitmaps and the off-screen buffer), the map
// loading at start-up, the view update on every repaint, the projection between map
// and screen both ways, and the frame's drawing (map_render.cpp, road_drawing.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "pathlume/display/held_location.h"
#include "pathlume/display/map_interfaces.h"
#include "pathlume/display/map_labels.h"
#include "pathlume/display/poi_layer.h"
#include "pathlume/display/street_labels.h"
#include "pathlume/foundation/bitmap_image.h"
#include "pathlume/mapdb/area_feature_view.h"
#include "pathlume/mapdb/display_values.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/mapdb/polygon_file.h"
#include "platform/gdi/gdi.h"

struct LinkIterator;
struct MapGdiSet;

// Road-class values of the flag word (attributes & 0x1C0); a lower value is a more
// important road.
inline constexpr uint32_t kRoadClass0 = 0x000;
inline constexpr uint32_t kRoadClassMajorLimit = 0x0C0;  // classes up to it are on the main layer
inline constexpr uint32_t kRoadClassLeast = 0x140;

// Link attribute bits the road pass reads.
inline constexpr uint32_t kAttrSpeedRankMask = 0x7;
inline constexpr uint32_t kAttrTypeRoad = 0x200;
inline constexpr uint32_t kAttrTypeNarrow = 0x800;
inline constexpr uint32_t kAttrSpecialB = 0x80000;
inline constexpr uint32_t kAttrNoLabel = 0x100000;
inline constexpr uint32_t kAttrSpecialDashed = 0x800000;  // passes every class limit
inline constexpr uint32_t kDrawKeyMask = 0x818803C8;

// Strings and artwork of the view.
inline constexpr UINT kStringOutsideMapArea = 6173;
inline constexpr UINT kBitmapVehicle = 176;
inline constexpr UINT kBitmapFlagFirst = 202;
inline constexpr UINT kBitmapZoomIn = 120;
inline constexpr UINT kBitmapZoomOut = 121;

// Commands of the hold menu, sent to the main view; the address line sends Cancel's.
inline constexpr UINT kHoldCommandDestination = 3003;
inline constexpr UINT kHoldCommandStopover = 3004;
inline constexpr UINT kHoldCommandStart = 3005;
inline constexpr UINT kHoldCommandSave = 3006;
inline constexpr UINT kHoldCommandInfo = 3007;
inline constexpr UINT kHoldCommandCancel = 3008;

// Degrees of latitude per metre and per foot.
inline constexpr double kDegreesPerMetre = 8.993253848543394e-6;
inline constexpr double kDegreesPerFoot = 2.741143773034854e-6;

// What the last frame drew (fill passes), for the figures of tools and tests.
struct FrameFigures {
    int linksDrawn = 0;
    int chains = 0;  // polylines or ribbons
    int labels = 0;
    int shields = 0;
};

class CMapView : public IMapDisplayValues {
  public:
    // Frames of the chain buffer: a chain stops growing before it would pass them.
    static constexpr int kChainPoints = 2048;
    static constexpr int kChainLinks = 500;

    explicit CMapView(IMapViewHost* host);
    virtual ~CMapView();
    CMapView(const CMapView&) = delete;
    CMapView& operator=(const CMapView&) = delete;

    // Loading (map_view.cpp). StartMapLoading starts the loader thread: its handle,
    // or null ("Couldn't load maps" shown, g_mapsLoading holding the failure).
    HANDLE StartMapLoading();
    int LoadMaps();
    // Asks a running loader to stop at its next step; it then ends with
    // kMapLoadStopped in g_mapsLoading. The caller still waits for the thread
    // before tearing down what it may be using.
    void StopMapLoading() { loadStop_.store(true); }
    // Opens the area polygons again (after a power resume).
    void OpenPolygons();
    // Reads the point-of-interest file's head again (after it was reopened).
    void ReopenPoiLayer();
    static constexpr LONG kMapLoadStopped = -2;

    // View state.
    float GetMapHeading() const;
    float GetHeadingForDrawing();
    void UpdateView(float longitude, float latitude, float heading, HDC dc, int guidance);
    void UpdateCentreAndHeading(float* longitude, float* latitude, float* heading, int panMode,
                                int snap);
    void StoreZoomIndex(int index);
    // Zoom steps (scale_bar.cpp): 0 changed, 1 the step is current or out of the list.
    int SetZoom(int index);
    int ZoomIn();
    int ZoomOut();
    // -1 on the zoom-out button (the first), 1 on the zoom-in button, else 0.
    int HitTest(int x, int y) const;
    // The scale bar and the zoom buttons under the map; the back buffer when dc is null.
    void DrawScaleBar(const RECT& rect, HDC dc);
    // The box the scale bar, its text and the zoom buttons take when drawn in `rect`.
    RECT ScaleBarCover(const RECT& rect) const;
    // What labels keep clear of in this frame: the screen's own controls over the map
    // (the host's), the scale bar with its buttons and the vehicle symbol.
    std::vector<RECT> MapCovers() const;
    std::string ScaleBarText() const;
    int ScaleBarLength() const;
    // The route over the base map (route_overlay.cpp); withStartShape follows the start
    // link's shape to the start position, else joins it straight.
    void DrawRoute(HDC dc, int withStartShape);
    // The vehicle symbol at the point (the vehicle's position when null), into dc (the
    // back buffer when null); a vehicle outside the area drawn asks for a new frame.
    void DrawVehicle(const MapPoint* point, HDC dc);
    // The screen box of the vehicle symbol drawn at the point (as DrawVehicle).
    RECT VehicleCover(const MapPoint* point) const;
    // Where DrawVehicle puts the symbol: the position it stands for and its screen point.
    void VehicleSymbolPlace(const MapPoint* point, float* longitude, float* latitude, int* x,
                            int* y) const;
    UINT LoadedVehicleBitmap() const { return vehicleBitmapId_; }
    void ResetViewSpan();
    // Makes (the first time) the off-screen context and a bitmap of the given size.
    void CreateBackBuffer(HDC dc, int width, int height);
    // Deletes the back buffer's bitmap and then its DC (at shutdown).
    void ReleaseBackBuffer();
    HDC GetBackBufferDC() const { return offscreenDC_; }
    void Force() { forceFlag_ = 1; }
    int GetZoomIndex() const { return zoomIndex_; }
    // The zoom step the map screen returns to: the user's, while the guidance screen
    // zooms by the distance to the maneuver.
    int GetUserZoomIndex() const { return guidanceFlag_ ? savedZoomIndex_ : zoomIndex_; }
    float GetSpan() const { return span_; }
    UINT LoadedFlagBitmap() const { return flagBitmapId_; }
    bool IsInsideMapBounds(float longitude, float latitude) const;

    // A long press (tap_and_hold.cpp): the nearest road is marked and recorded as the
    // held location and the hold menu shown through the host. 1 when shown, 0 when no
    // road was found (nothing is recorded then).
    int OnTapAndHold(int x, int y);
    HMENU BuildHoldMenu() const;
    // The region (area index) of the drawn road nearest to the point, for the
    // destination entry; kNoRegion when there is none.
    static constexpr int kNoRegion = 255;
    int FindNearestRoadRegion(float longitude, float latitude);
    // The region of a link's address record (its left side's place, else its
    // right's); kNoRegion without one.
    static int RegionOfLink(int32_t linkId);
    const HeldLocation& Held() const { return held_; }
    int GetNumbersSide() const { return numbersSide_; }
    // The hold menu's actions (hold_actions.cpp). Each lets go of the road the press
    // kept loaded; a held road whose chunk has gone since does nothing but say so.
    void LoadDetailedChunks();
    // 1 when a route to the held point was asked for.
    int RouteToHeldPoint();
    // The "Block Info" text into `target`, or shown by the host when null.
    void FormatBlockInfo(std::string* target);
    // The held place as a destination record: kind 2 the itinerary's, any other kind
    // the favourites list of that kind. 0 when handed on.
    int FormatPointInfo(int kind);
    // 1 when the held place became the vehicle's position.
    int SetLocationAsPoint();
    // Set by an action that wants the view closer in; the main view clears it.
    int ZoomInRequested() const { return zoomInRequest_; }
    void ClearZoomInRequest() { zoomInRequest_ = 0; }

    // Projection (view_projection.cpp).
    void MapToScreen2D(float longitude, float latitude, int* x, int* y) const;
    int WorldToScreen(float x, float y, int* outX, int* outY, int flatOnly, int alreadyFlat,
                      float* outFlatX, float* outFlatY) const;
    // The map point under a pixel (its centre) of the flat view, and of the 3D view.
    void ScreenToWorld(int x, int y, float* longitude, float* latitude) const;
    void ScreenToWorld3D(int x, int y, float* longitude, float* latitude) const;
    // The flat-view position whose perspective image is the screen point; a point at
    // or above the horizon is taken just below it.
    void UnprojectPerspective(double x, double y, double* flatX, double* flatY) const;
    bool IsCloseZoom() override;
    void ZoomToDetailLevel();
    int GetDetailLevel() const { return detailLevel_; }
    const MapViewValues& Projection() const { return projection_; }
    float GetTilt() const { return tilt_; }

    // Drawing (map_render.cpp, road_drawing.cpp).
    void RenderMap(int changed);
    void BuildThemeGdi(MapGdiSet& set);
    int GetSkyBandHeight() const;
    void DrawSky(HDC dc, int band, int full);
    void DrawManeuverArrow(HDC dc, int x, int y, float angle);
    void ComputeViewCorners();
    void ComputeViewBounds();
    bool IsLinkVisible(const MapLink& link, int close) const;
    float GetRoadHalfWidth3D(const MapLink& link) const;
    // A ribbon outline holds its two sides one after the other, the second reversed.
    // Where a side's edge crosses the facing edge of the other side, their far points
    // are swapped, in the map outline and the screen outline (and its float copy)
    // alike; with skipFirst the first pair of edges is left as it is.
    static void UntwistRibbon(MapPoint* mapOutline, int count, POINT* screenOutline,
                              float* flatFloats, bool skipFirst);
    // Street names and route shields along a road (street_labels.cpp): 0 when it
    // placed something or chose not to, -1 when the segment cannot carry a label
    // (too short, off the margins, or the tables are full). `chain` holds the
    // link's screen points when it has more than two.
    int PlaceStreetLabel(POINT a, POINT b, int drawClass, const POINT* chain, int chainCount,
                         MapLink& link, CMapLabels& labels, IconLabelList& icons, HDC dc);
    // Clips a screen segment to the label rectangle; false when none of it is inside.
    bool ClipLabelSegment(float* x1, float* y1, float* x2, float* y2) const;
    void DrawIconLabels(const IconLabelList& icons, HDC dc, int fontHeight);
    const RoadRecordTable& RoadRecords() const { return roadRecords_; }
    const FrameFigures& LastFrame() const { return figures_; }
    // The street labels and icon labels the last frame placed.
    const std::vector<CMapLabels::Slot>& PlacedLabels() const { return placedLabels_; }
    const std::vector<IconLabel>& PlacedIcons() const { return placedIcons_; }
    // The area seen: least longitude, least negated latitude, greatest longitude,
    // greatest negated latitude.
    const float* ViewBounds() const { return viewBounds_; }
    // The map area's size in pixels.
    int MapWidth() const;
    int MapHeight() const;

    // Points of interest (poi_layer.h): the layer reads the head of g_poiFile again;
    // the next frame collects anew (the shown categories changed).
    int OpenPoiFile() { return poiLayer_.OpenPoiFile(); }
    void RefreshPois() { poiRefresh_ = true; }
    const PoiLayer& Pois() const { return poiLayer_; }
    PoiLayer& Pois() { return poiLayer_; }
    // A tap: with act 0, 1 when it lies on a point's icon; otherwise lists the points
    // under it and acts on the one chosen through the host.
    int PoiHitTest(int x, int y, int act) { return poiLayer_.HitTest(*this, host_, x, y, act); }

    // IMapDisplayValues, over the theme and this view.
    int FindLastLevelBelow() override;
    float GetViewFactor() override;
    int GetZoomLevelCount() override;
    float GetZoomWidthMetres(int level) override;
    float GetZoomWidthFeet(int level) override;
    int GetScreenWidth() override;
    int GetScreenHeight() override;

  private:
    friend class RoadPass;

    // True, with g_mapsLoading set, once StopMapLoading was asked.
    bool LoadStopped();

    // What the area drawers of the map database ask of this view.
    class AreaView : public IAreaFeatureView {
      public:
        explicit AreaView(CMapView& view) : view_(view) {}
        GeoRect GetVisibleRect() override;
        bool Is3DMode() override;
        void MapToScreen2D(FLOAT longitude, FLOAT latitude, int32_t* x, int32_t* y) override;
        const MapViewValues& GetViewValues() override { return view_.projection_; }
        COLORREF GetAreaColour(int kind) override;
        COLORREF GetBackgroundColour() override;
        void ClipPolygon3D(HDC dc, const POINT* points, int count) override;
        void ClipRibbon3D(HDC dc, const POINT* points, int count, FLOAT ribbon, FLOAT tilt,
                          FLOAT depth) override;

      private:
        CMapView& view_;
    };

    int ClientHeight() const;
    bool Panning() const;
    float ZoomSpan(int index) const;
    void ApplyGuidanceZoom(int guidance);
    // Radians of arc to a maneuver below which the guidance view closes in on it.
    float ManeuverThreshold() const;
    void RecomputeTransform(float longitude, float latitude, float heading, int guidance);
    void LoadChunksAroundView(float longitude, float latitude);
    void FlatToWorld(double x, double y, float* longitude, float* latitude) const;
    int MarginFor() const;
    void DrawRoads2D(int changed, int close, HDC dc, MapGdiSet& set, CMapLabels& labels,
                     IconLabelList& icons);
    void DrawRoads3D(int changed, int close, HDC dc, MapGdiSet& set, CMapLabels& labels,
                     IconLabelList& icons);
    void DrawAreas(HDC dc);
    void CollectPois();
    struct NearestRoad {
        MapLink* link = nullptr;
        LinkHandle handle;
        int32_t segment = 0;
        MapPoint foot{};
        FLOAT distance2 = 3.402823466e+38f;
        bool main = false;
    };
    // The drawn road nearest to the point: the main layer within the view's cells and,
    // when the zoom shows it, the detailed layer.
    NearestRoad FindNearestRoad(const MapPoint& point, bool drawnOnly);
    // The held link, resolved again, with the press's shield let go; null when gone.
    MapLink* ReleaseHeldLink();
    void DrawDestinationFlag(HDC dc);
    void DrawNextManeuverArrow(HDC dc);
    void DrawOutsideNotice(HDC dc);
    int FlagBitmapId() const;
    void DrawPositionCircles(HDC dc);
    void DrawRouteLine(HDC dc, const std::vector<MapPoint>& line);
    // A ribbon along the line; `before` and `after`, when given, are the directions of
    // the route's links that meet it at its first and last point.
    void DrawRouteRibbon(HDC dc, const MapLink& link, const std::vector<MapPoint>& line,
                         const double* before, const double* after);

    IMapViewHost* host_;
    AreaView areaView_{*this};
    PolygonFile polygonFile_;
    float anchorFraction_ = 0.4f;
    float anchorFraction3D_ = 0.13f;
    int detailLevel_ = 5;
    float storedHeading_ = 5000.0f;
    int forceFlag_ = 0;
    float headingUsed_ = 0;
    float headingRadians_ = 0;
    float headingSin_ = 0;
    float headingCos_ = 1;
    float tilt_ = 0;
    float cameraDistance_ = 50.0f;
    float nearDistance_ = 25.0f;
    CBitmapImage vehicleImage_;
    CBitmapImage flagImage_;
    CBitmapImage zoomInImage_;
    CBitmapImage zoomOutImage_;
    float span_ = 0;
    int zoomIndex_ = -1;
    int lastZoomIndex_ = -1;
    int savedZoomIndex_ = 2;
    int startFlag_ = 1;
    int guidanceFlag_ = 0;
    int zoomBand_ = 0;
    float centreLongitude_ = 500.0f;
    float centreLatitude_ = 500.0f;
    float corners_[8] = {};
    float viewBounds_[4] = {};
    RECT viewRect_ = {};
    int anchorColumn_ = 0;
    int anchorRow_ = 0;
    float aspect_ = 1;
    float anchorInUse_ = 0.4f;
    float longitudeSpan_ = 0;
    float latitudeSpan_ = 0;
    float inverse_[4] = {};  // the flat transform's inverse: x scale and rotation terms
    uint32_t roadClassLimit_ = kRoadClassLeast;
    MapViewValues projection_;
    HBRUSH redBrush_ = nullptr;
    HBRUSH whiteBrush_ = nullptr;
    HDC offscreenDC_ = nullptr;
    HBITMAP offscreenBitmap_ = nullptr;
    UINT vehicleBitmapId_ = 0;
    UINT flagBitmapId_ = 0;
    float mapWest_ = 500, mapEast_ = -500, mapSouth_ = 500, mapNorth_ = -500;
    int skyBand_ = 0;
    // The chunk window last loaded: overview cells, and whether there is one.
    int32_t cellBounds_[4] = {};
    bool hasWindow_ = false;
    bool mapsOpen_ = false;
    std::atomic<bool> loadStop_{false};
    FrameFigures figures_;
    RoadRecordTable roadRecords_;
    // The zoom buttons' row and left edges, set by the scale bar.
    int buttonRow_ = -1000;
    int secondButtonLeft_ = -1000;
    int firstButtonLeft_ = -1000;
    int lastScaleZoom_ = -1;
    RECT scaleBarRect_ = {};  // where the scale bar was last drawn
    float symbolLongitude_ = 0;
    float symbolLatitude_ = 0;
    std::vector<CMapLabels::Slot> placedLabels_;
    std::vector<IconLabel> placedIcons_;
    PoiLayer poiLayer_;
    HeldLocation held_;
    int numbersSide_ = 1;
    int zoomInRequest_ = 0;
    bool poiRefresh_ = true;
    int poiZoomIndex_ = -1;
};

// Flat-view points clipped at the near row of the 3D view, projected and drawn as
// one polygon: an open chain (area polygons) and a closed ribbon outline (roads).
void ClipPolygon3D(const CMapView& view, HDC dc, POINT* points, POINT* outFirst, int count,
                   const float* flatFloats);
// The ribbon's 3D stage takes the caller's y offset and the sine and cosine of the tilt.
void ClipRibbon3D(const CMapView& view, HDC dc, POINT* points, POINT* outFirst, int count,
                  const float* flatFloats, float yOffset, float sinTilt, float cosTilt);

// Link attribute queries of the road pass.
uint32_t GetRecordDrawFlags(const MapLink& link);
void SetRecordMarkFlag(MapLink& link, int on);
int GetRoadDrawClass(const MapLink& link);

float FastAtan2(float y, float x);
// The closed outline of a route ribbon of the half width about the line (map
// degrees, longitudes scaled by cosLat): the left offsets, then the right ones
// reversed. Inner points are mitred, turns held within 135 degrees; an end that meets
// a neighbouring link's direction (radians in the scaled frame) is mitred with it
// unless the mitre would pass 2.5 half widths, then squared to the incoming
// direction. Empty for a line of fewer than two distinct points.
std::vector<MapPoint> RouteRibbonOutline(const std::vector<MapPoint>& line, float halfWidth,
                                         double cosLat, const double* before, const double* after);
// The vehicle bitmap by colour set, GPS status colour and view; 182 for any other
// status colour.
UINT VehicleBitmapId(bool night, COLORREF status, int mode3D, bool northUp);
int SegmentMayCrossRect(float x1, float y1, float x2, float y2, float minX, float minY, float maxX,
                        float maxY);
