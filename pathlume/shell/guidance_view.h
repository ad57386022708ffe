// The guidance screen: the map around the vehicle in a central column, a banner
// with the next maneuver's road, its turn arrow, a vertical bar that follows the
// distance to it, and the main view's status box and buttons, in one double-buffered
// picture drawn after every fix.
#pragma once

#include <atomic>
#include <cstdint>

#include "pathlume/shell/child_screen.h"

// Nothing sets it: non-zero would keep the screen's taps from changing the screen.
extern std::atomic<DWORD> g_screenChangeBlock;

// A vertical bar gauge: a framed rectangle whose inside fills with a value between
// a minimum and a maximum, from the top edge (direction 0) or the bottom.
class CBarGauge {
  public:
    CBarGauge() = default;
    ~CBarGauge();
    CBarGauge(const CBarGauge&) = delete;
    CBarGauge& operator=(const CBarGauge&) = delete;

    void Init(const RECT& rect, int minimum, int maximum, COLORREF outline, COLORREF frame,
              COLORREF fill, int direction);
    void SetRect(int left, int top, int right, int bottom);
    // The frame, then the inside filled in proportion to the value. With a maximum
    // not above the minimum only the frame is drawn.
    void Draw(HDC dc, int value);
    // The rectangle in the context's background colour.
    void Erase(HDC dc);
    // Pixels of the inside the value fills.
    int FilledHeight(int value) const;
    const RECT& Rect() const { return rect_; }
    int Maximum() const { return maximum_; }

  private:
    RECT rect_{};
    int minimum_ = 0;
    int maximum_ = 0;
    int direction_ = 0;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
    COLORREF fill_ = 0;
};

// The distance the screen shows before it has measured one.
inline constexpr int32_t kGuidanceNoDistance = 10000;
// The bar's full scale before the guidance update gave its switch distance: 800 ft,
// or 243 m.
inline constexpr int32_t kGuidanceBarFeet = 800;
inline constexpr int32_t kGuidanceBarMetres = 243;

// What one pass shows, apart from the drawing.
struct GuidancePanel {
    static constexpr size_t kTextSize = 127;  // 126 characters
    char text[kTextSize] = {};
    bool hasRoute = false;
    bool waiting = false;
    bool hasManeuver = false;                // a current maneuver is shown
    int32_t distance = kGuidanceNoDistance;  // whole feet or metres by the units
    UINT arrowId = 0;                        // 0: no picture
};
// The banner text, the distance and the arrow for the router's route now.
GuidancePanel ComposeGuidancePanel();
// The bar's full scale: the guidance update's switch distance when it has one, else
// the default of the units.
int32_t GuidanceBarScale(int32_t switchDistance, bool metric);

// What a tap on the screen does, tested in this order.
enum class GuidanceTap {
    MenuButton,    // the view's menu button: to the map, and the tap to the view
    Speaker,       // toggle the voice mute
    BackToMap,     // the central area over the map
    RepeatPrompt,  // the turn arrow: say the guidance again
    RouteList,     // the banner
    LocationInfo,  // the bottom strip
    StatusBox,     // anything else: the status box's step
};
struct GuidanceTapZones {
    RECT menuButton, speaker, centre, arrow, banner, bottomStrip;
};
GuidanceTap ClassifyGuidanceTap(const GuidanceTapZones& zones, POINT point, bool routeExists,
                                bool changeBlocked);

class CGuidanceView final : public CFullScreenChild {
  public:
    explicit CGuidanceView(CMainView& view);
    ~CGuidanceView() override;

    BOOL Create(UINT controlId);
    void DrawPanel() override { DrawPanel(nullptr); }
    // One pass on the paint context, or a window context when null.
    void DrawPanel(HDC paintDC);
    void Relayout() override;
    int GetZoomIndex() override;
    void GetMapCovers(std::vector<RECT>* covers) override;

    const CBarGauge& Bar() const { return bar_; }
    const GuidancePanel& LastPanel() const { return panel_; }
    int BannerHeight() const { return bannerHeight_; }
    GuidanceTapZones TapZones() const;

  protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);

    DECLARE_MESSAGE_MAP()

  private:
    void DrawMap(HDC target, const RECT& client);
    void DrawBanner(HDC dc, const RECT& client);
    void DrawArrow(HDC dc);
    // Where the navy band along the bottom starts.
    int BandTop(int clientHeight) const;
    // Back to the map: asked of the view, which tears this screen down later.
    void LeaveToMap();

    CBarGauge bar_;
    int32_t distance_ = kGuidanceNoDistance;
    HBRUSH bannerBrush_ = nullptr;
    RECT barRect_{}, barRectNormal_{}, barRectFull_{};
    COLORREF barFrame_ = RGB(0, 0, 128);
    HDC memDC_ = nullptr;
    HBITMAP memBitmap_ = nullptr;
    HGDIOBJ memOldBitmap_ = nullptr;
    SIZE memSize_{};
    RECT arrowRect_{};
    RECT centreRect_{};
    int32_t fullScale_ = kGuidanceBarFeet;
    int bannerHeight_ = 0;
    GuidancePanel panel_;
    bool leaving_ = false;
};

// The screen maker of the guidance screen (mode 4).
CChildScreen* MakeGuidanceScreen(CMainView& view, UINT controlId);
