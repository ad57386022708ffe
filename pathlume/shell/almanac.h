// The almanac screen: today's sunrise and sunset at the vehicle's position in local
// time, and the moon: its lit share with a picture of its phase, its age, and the
// phases of the current lunation.
#pragma once

#include <memory>

#include "pathlume/shell/child_screen.h"

// What the almanac shows of the moon at one instant.
struct AlmanacRecord {
    static constexpr size_t kTextChars = 256;
    double julianDay = 0;  // the instant, universal time
    // 0 while the instant lies after the lunation's new moon and before its full
    // moon, else 1.
    int waning = 0;
    double litPercent = 0;
    double phase = 0;  // of the cycle: 0 new, 0.5 full
    WCHAR age[kTextChars] = {};
    // The instant, the first quarter, the full moon, the last quarter and the next
    // new moon, as local dates and times "month/day/year h:mm:ss".
    WCHAR dates[5][kTextChars] = {};
};
inline constexpr int kAlmanacNow = 0;
inline constexpr int kAlmanacFullMoon = 2;
inline constexpr int kAlmanacNextNewMoon = 4;

// Fills the record for a UTC instant. The moon is computed at that instant and
// every date is shown in the device's local time of its own instant.
void ComputeAlmanac(const SYSTEMTIME& utc, AlmanacRecord& record);
// The age "3 days 12 hrs 0 min" (string 6273).
void FormatMoonAge(double ageDays, WCHAR* buffer, size_t chars);
// A time of day in minutes taken into 0 to 1439.
int WrapMinuteOfDay(int minutes);
// The lit part of one row of the phase picture whose limb lies halfWidth either
// side of the centre line: from and to, left to right, as offsets from the centre.
void MoonLitSpan(double phase, int waning, double halfWidth, double* from, double* to);
// Whether a time names a real calendar date and time of day.
bool IsCalendarTime(const SYSTEMTIME& time);
// The current instant: the receiver's UTC date and time when it has a calendar date,
// else the device clock's.
SYSTEMTIME AlmanacInstant();

class CAlmanacWnd final : public CFullScreenChild {
  public:
    explicit CAlmanacWnd(CMainView& view);
    ~CAlmanacWnd() override;

    BOOL Create(UINT controlId);
    // Fills the record for the current instant.
    void Compute();
    // The page on a context.
    void Draw(HDC dc);
    const AlmanacRecord& Record() const { return *record_; }

  protected:
    int OnCreate(LPCREATESTRUCT cs);
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    BOOL PreTranslateMessage(MSG* msg) override;

    DECLARE_MESSAGE_MAP()

  private:
    void DrawRow(HDC dc, int x, int y, UINT labelId, const WCHAR* value);
    void DrawPhasePicture(HDC dc, int centreX, int centreY, int radius);

    std::unique_ptr<AlmanacRecord> record_;
    CImageButton closeButton_;
    CFont boldFont_;
    CBrush whiteBrush_;
    int rowHeight_ = 0;
    int columnUnit_ = 0;
};

// The screen maker of the almanac (mode 16).
CChildScreen* MakeAlmanacScreen(CMainView& view, UINT controlId);
