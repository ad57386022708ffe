// A flat, north-up map view over a bitmap for the area drawers' tests and benchmark:
// the visible rectangle fills the bitmap, colours are the test's own, and the two 3D
// clippers record what they are handed (and, when asked, fill it unclipped).
#pragma once

#include <array>
#include <vector>

#include "pathlume/mapdb/area_feature_view.h"
#include "pathlume/mapdb/geometry.h"
#include "platform/gdi/gdi.h"

namespace mapdb_test {

// A legible day palette: water blue, green land, grey towns.
inline constexpr std::array<COLORREF, kAreaColourKinds> kAreaTestColours = {
    RGB(60, 110, 200),   // 0 shore
    RGB(150, 190, 235),  // 1 ocean
    RGB(120, 170, 230),  // 2 lake
    RGB(150, 210, 130),  // 3 park
    RGB(215, 205, 195),  // 4 urban
    RGB(100, 150, 220),  // 5 river
    RGB(170, 225, 150),  // 6 golf
    RGB(180, 200, 170),  // 7 cemetery
    RGB(200, 195, 220),  // 8 airport
    RGB(10, 10, 10),     // 9 (never drawn)
    RGB(120, 60, 120),   // 10 state border
    RGB(160, 110, 160),  // 11 county border
    RGB(90, 90, 90),     // 12 railway
    RGB(230, 215, 160),  // 13 campus
    RGB(235, 190, 190),  // 14 hospital
    RGB(190, 170, 160),  // 15 building
    RGB(20, 20, 20),     // 16 (never drawn)
    RGB(30, 30, 30),     // 17 (never drawn)
    RGB(90, 160, 90),    // 18 forest
};
inline constexpr COLORREF kTestBackground = RGB(245, 242, 232);

struct ClipCall {
    bool ribbon = false;  // ClipRibbon3D, else ClipPolygon3D
    std::vector<POINT> points;
    FLOAT ribbonValue = 0;
    FLOAT tilt = 0;
    FLOAT depth = 0;
};

class FlatAreaView : public IAreaFeatureView {
  public:
    FlatAreaView(const GeoRect& rect, int width, int height) : rect_(rect) {
        scaleX_ = width / (static_cast<double>(rect.east) - rect.west);
        scaleY_ = height / (static_cast<double>(rect.north) - rect.south);
        values_.centreLongitude = (rect.west + rect.east) / 2;
        values_.centreLatitude = (rect.south + rect.north) / 2;
        values_.a = static_cast<FLOAT>(scaleX_);
        values_.c = static_cast<FLOAT>(scaleY_);
        values_.screenCentreX = width / 2;
        values_.screenCentreY = height / 2;
        values_.width = width;
        values_.height = height;
        values_.cameraDistance = static_cast<FLOAT>(height);
        values_.nearDistance = static_cast<FLOAT>(height) / 4;
        colours.assign(kAreaTestColours.begin(), kAreaTestColours.end());
    }

    GeoRect GetVisibleRect() override { return rect_; }
    bool Is3DMode() override { return mode3D; }
    void MapToScreen2D(FLOAT longitude, FLOAT latitude, int32_t* x, int32_t* y) override {
        *x = TruncateToInt32((longitude - static_cast<double>(rect_.west)) * scaleX_);
        *y = TruncateToInt32((static_cast<double>(rect_.north) - latitude) * scaleY_);
    }
    // The same transform unrounded, for tests that measure in pixels.
    void MapToPixel(double longitude, double latitude, double* x, double* y) const {
        *x = (longitude - rect_.west) * scaleX_;
        *y = (rect_.north - latitude) * scaleY_;
    }
    const MapViewValues& GetViewValues() override { return values_; }
    COLORREF GetAreaColour(int kind) override {
        return kind >= 0 && kind < static_cast<int>(colours.size()) ? colours[kind]
                                                                    : kAreaColourBackground;
    }
    COLORREF GetBackgroundColour() override { return background; }
    void ClipPolygon3D(HDC dc, const POINT* points, int count) override {
        Clip(dc, points, count, false, 0, 0, 0);
    }
    void ClipRibbon3D(HDC dc, const POINT* points, int count, FLOAT ribbon, FLOAT tilt,
                      FLOAT depth) override {
        Clip(dc, points, count, true, ribbon, tilt, depth);
    }

    bool mode3D = false;
    bool record = true;
    bool passThrough = false;  // the clippers fill what they get
    std::vector<COLORREF> colours;
    COLORREF background = kTestBackground;
    std::vector<ClipCall> clipCalls;

  private:
    void Clip(HDC dc, const POINT* points, int count, bool ribbon, FLOAT value, FLOAT tilt,
              FLOAT depth) {
        if (record)
            clipCalls.push_back(
                {ribbon, std::vector<POINT>(points, points + count), value, tilt, depth});
        if (passThrough)
            Polygon(dc, points, count);
    }

    GeoRect rect_;
    double scaleX_ = 1;
    double scaleY_ = 1;
    MapViewValues values_;
};

}  // namespace mapdb_test
