// What the area drawers (polygon_file.h) ask of the map view: the visible
// rectangle, the 2D or 3D mode, the flat transform and the projection values, the
// current colour set's area colours, and the two 3D polygon clippers. The map view
// implements this interface and installs itself; until then a default shows
// nothing, so the drawers draw nothing visible.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/geometry.h"
#include "platform/gdi/gdi.h"

// A rectangle of the map in degrees.
struct GeoRect {
    FLOAT west = 0;
    FLOAT south = 0;
    FLOAT east = 0;
    FLOAT north = 0;
};

// The colour row of a colour set holds kinds 0-18; this value in it stands for the
// set's background colour.
inline constexpr int kAreaColourKinds = 19;
inline constexpr COLORREF kAreaColourBackground = 0xFFFFFFFF;

class IAreaFeatureView {
  public:
    virtual GeoRect GetVisibleRect() = 0;
    virtual bool Is3DMode() = 0;
    // The flat map-to-screen transform, far-off points held to the int32 range.
    virtual void MapToScreen2D(FLOAT longitude, FLOAT latitude, int32_t* x, int32_t* y) = 0;
    // What ProjectToScreen3D and ProjectToScreen read of the view.
    virtual const MapViewValues& GetViewValues() = 0;
    // The current colour set's colour of kind 0-18 (kAreaColourBackground allowed).
    virtual COLORREF GetAreaColour(int kind) = 0;
    virtual COLORREF GetBackgroundColour() = 0;
    // Fill a closed polygon of flat screen points on the 3D view with the selected
    // brush: clipped at the near plane, or as the ribbon with the camera values.
    virtual void ClipPolygon3D(HDC dc, const POINT* points, int count) = 0;
    virtual void ClipRibbon3D(HDC dc, const POINT* points, int count, FLOAT ribbon, FLOAT tilt,
                              FLOAT depth) = 0;

  protected:
    ~IAreaFeatureView() = default;
};

// No map view: an empty rectangle at (0, 0), every point on (0, 0), white, and
// clippers that draw nothing.
class DefaultAreaFeatureView : public IAreaFeatureView {
  public:
    GeoRect GetVisibleRect() override { return {}; }
    bool Is3DMode() override { return false; }
    void MapToScreen2D(FLOAT, FLOAT, int32_t* x, int32_t* y) override { *x = *y = 0; }
    const MapViewValues& GetViewValues() override { return values_; }
    COLORREF GetAreaColour(int) override { return kAreaColourBackground; }
    COLORREF GetBackgroundColour() override { return RGB(255, 255, 255); }
    void ClipPolygon3D(HDC, const POINT*, int) override {}
    void ClipRibbon3D(HDC, const POINT*, int, FLOAT, FLOAT, FLOAT) override {}

    virtual ~DefaultAreaFeatureView() = default;

  private:
    MapViewValues values_;
};

// The view in use: the default until the map view installs itself (null goes back
// to the default).
IAreaFeatureView& GetAreaFeatureView();
void SetAreaFeatureView(IAreaFeatureView* view);
