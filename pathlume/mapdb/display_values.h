// What the map database reads of the map display: the theme's zoom widths and the
// level that sizes the display layer, the view factor, and the screen's size. The
// map display installs its theme later; until then the theme's defaults hold.
#pragma once

class IMapDisplayValues {
  public:
    // The highest zoom level whose draw-class entry is at least 193, else the last
    // level (level count - 1; -1 when there are no levels).
    virtual int FindLastLevelBelow() = 0;
    virtual float GetViewFactor() = 0;
    virtual int GetZoomLevelCount() = 0;
    // Width of a zoom level's view, in metres and in feet.
    virtual float GetZoomWidthMetres(int level) = 0;
    virtual float GetZoomWidthFeet(int level) = 0;
    // The screen in pixels.
    virtual int GetScreenWidth() = 0;
    virtual int GetScreenHeight() = 0;
    // The map view shows a close zoom: the chunks it pins keep their full detail.
    virtual bool IsCloseZoom() = 0;

  protected:
    ~IMapDisplayValues() = default;
};

// The theme's defaults and the system's screen metrics.
class DefaultMapDisplayValues : public IMapDisplayValues {
  public:
    static constexpr int kLevels = 9;
    static constexpr float kViewFactor = 4.0f;
    static constexpr int kMinDrawClass = 193;

    int FindLastLevelBelow() override;
    float GetViewFactor() override { return kViewFactor; }
    int GetZoomLevelCount() override { return kLevels; }
    float GetZoomWidthMetres(int level) override;
    float GetZoomWidthFeet(int level) override;
    int GetScreenWidth() override;
    int GetScreenHeight() override;
    bool IsCloseZoom() override { return false; }

    virtual ~DefaultMapDisplayValues() = default;
};

// The values in use: the defaults until the map display installs its own (null
// goes back to the defaults).
IMapDisplayValues& GetMapDisplayValues();
void SetMapDisplayValues(IMapDisplayValues* values);
