// The GPS information screen: the receiver's fix as text (position, altitude,
// speed, satellites, the dilution of precision, UTC and local time) with the
// satellites on a heading-up sky plot and their signal strengths as bars. The view
// forwards the position threads' WM_USER 1 to it, so it follows every fix.
#pragma once

#include "pathlume/position/gps_fix.h"
#include "pathlume/shell/child_screen.h"

// The texts of the screen's values for one fix, apart from the drawing.
struct GpsInfoTexts {
    static constexpr size_t kChars = 64;
    bool valid = false;  // black values; red without a valid fix
    WCHAR latitude[kChars] = {};
    WCHAR longitude[kChars] = {};
    bool latitudeUnknown = false;  // "(unknown)" in red
    bool longitudeUnknown = false;
    WCHAR altitude[kChars] = {};
    bool altitudeUnknown = false;
    bool twoD = false;  // " (2D)" follows the altitude, in red
    WCHAR speed[kChars] = {};
    WCHAR used[kChars] = {};
    WCHAR inView[kChars] = {};  // "/n"
    WCHAR dop[kChars] = {};
};
// The values of a fix at a speed (mph, or km/h with metric units), with the unit
// bits of the option word.
void FormatGpsInfo(const GpsFix& fix, float speed, DWORD options, GpsInfoTexts& texts);
// A DOP as shown: above 99.9 or not a number, 99.9.
double ShownDop(float dop);

// One satellite as the two controls take it, its figures held to their ranges.
struct SkySatellite {
    int number = 0;
    int elevation = 0;  // 0 to 90
    int azimuth = 0;    // 0 to 359
    int snr = 0;        // 0 to 99; 0 no signal
    int used = 0;
};
// The satellites in view of a fix (at most 14), with their used flags.
int CollectSatellites(const GpsFix& fix, SkySatellite* satellites);
// The heading as the sky plot turns by it: 0.5 added and truncated (359.6 is 360).
int SkyPlotHeading(double headingDegrees);
// Where a satellite lies on a plot of horizon radius R about the centre.
POINT SkyPlotPoint(POINT centre, int radius, int elevation, int azimuth, int heading);
// A bar's state: 0 no signal, 1 in view, 2 used.
int SatelliteBarState(const SkySatellite& satellite);

// What the two satellite controls share: the satellites they show on a white
// background, drawn again at once when they change.
class CSatelliteWnd : public CWnd {
  public:
    ~CSatelliteWnd() override;
    int Count() const { return count_; }

  protected:
    // Keeps the satellites (at most 14).
    void Keep(const SkySatellite* satellites, int count);
    // Draws the window again at once.
    void Repaint();
    // The background, when the paint asks for it.
    void EraseIfAsked(CPaintDC& paint);
    BOOL OnEraseBkgnd(CDC* dc);

    SkySatellite satellites_[kMaxSatellitesInView];
    int count_ = 0;

    DECLARE_MESSAGE_MAP()
};

// The satellites on a heading-up polar plot: the horizon and 45-degree circles, the
// compass letters, and a numbered disc for each satellite.
class CSkyPlotWnd final : public CSatelliteWnd {
  public:
    CSkyPlotWnd();
    BOOL Create(CWnd* parent, UINT id, int x, int y, int width);
    // A count below 1 keeps the satellites shown and only draws again.
    void SetSatellites(const SkySatellite* satellites, int count, double heading);
    int Heading() const { return heading_; }
    POINT Centre() const { return centre_; }
    int Radius() const { return radius_; }

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    void DrawSatellites(HDC dc, int pass);

    POINT centre_{};
    int radius_ = 0;
    RECT horizon_{}, middle_{}, background_{};
    CFont font_;
    double headingDegrees_ = 0;
    int heading_ = 0;
};

// One bar a satellite: its number, its signal-to-noise ratio as a bar, the ratio.
class CSatSignalWnd final : public CSatelliteWnd {
  public:
    CSatSignalWnd();
    BOOL Create(CWnd* parent, UINT id, int x, int y, int width);
    void SetSatellites(const SkySatellite* satellites, int count);
    // The window's width for bars of ratios up to 99.
    static int WidthNeeded();

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    CFont font_;
    int usedCount_ = 0;
};

class CGpsInfoView final : public CFullScreenChild {
  public:
    explicit CGpsInfoView(CMainView& view);
    ~CGpsInfoView() override;

    BOOL Create(UINT controlId);
    // WM_USER 1 from the position threads: kind 1 redraws the values.
    void OnGpsUpdate(LPARAM kind) override;
    // The values on the context (a window context when null), then the satellites to
    // the two controls.
    void UpdatePage(HDC dc);
    const GpsInfoTexts& Texts() const { return texts_; }
    CSkyPlotWnd& SkyPlot() { return skyPlot_; }
    CSatSignalWnd& SignalBars() { return signalBars_; }

  protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    BOOL PreTranslateMessage(MSG* msg) override;

    DECLARE_MESSAGE_MAP()

  private:
    struct Layout {
        RECT location, utc, local, dop;
        int labelX, valueX, valueRight, firstRow;
    };
    // Below the sky plot and the bars, for a client of the width; the DOP box keeps
    // clear of the close button in the corner.
    Layout ComputeLayout(int width, int buttonWidth) const;
    void DrawFrame(HDC dc);
    void DrawValueRow(HDC dc, int row, UINT labelId, const WCHAR* value, COLORREF colour,
                      const WCHAR* tail, COLORREF tailColour);

    CSkyPlotWnd skyPlot_;
    CSatSignalWnd signalBars_;
    CImageButton closeButton_;
    CFont boldFont_;
    CFont valueFont_;
    int columnUnit_ = 0;
    int rowHeight_ = 0;
    GpsInfoTexts texts_;
    Layout layout_{};
};

// The screen maker of the GPS information screen (mode 2).
CChildScreen* MakeGpsInfoScreen(CMainView& view, UINT controlId);
