#include "pathlume/shell/almanac.h"

#include <algorithm>
#include <cmath>

#include "pathlume/foundation/clock_text.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/moon_phase.h"

namespace {

constexpr UINT kStringCaption = 6263;
constexpr UINT kStringSun = 6264;
constexpr UINT kStringMoon = 6265;
constexpr UINT kStringSunset = 6266;
constexpr UINT kStringSunrise = 6267;
constexpr UINT kStringCurrentPhase = 6268;
constexpr UINT kStringAge = 6269;
constexpr UINT kStringFullMoon = 6270;
constexpr UINT kStringNextNewMoon = 6271;
constexpr UINT kStringLocalTime = 6272;
constexpr UINT kStringAgeFormat = 6273;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kHeadingBlue = RGB(0, 0, 255);
constexpr COLORREF kLabelBlue = RGB(0, 0, 175);
constexpr COLORREF kBoxGrey = RGB(192, 192, 192);
constexpr COLORREF kMoonGrey = RGB(100, 100, 100);
constexpr double kTwoPi = 6.283185307179586;

void LoadText(UINT id, WCHAR* buffer, int chars) {
    if (!LoadResString(id, buffer, chars, FALSE))
        buffer[0] = 0;
}

// A Julian day as the local date and time of its instant.
void FormatLocalDate(double julianDay, WCHAR* buffer, size_t chars) {
    const CalendarTime c = JulianToCalendar(julianDay);
    SYSTEMTIME utc{};
    utc.wYear = static_cast<WORD>(c.year);
    utc.wMonth = static_cast<WORD>(c.month);
    utc.wDay = static_cast<WORD>(c.day);
    utc.wHour = static_cast<WORD>(c.hour);
    utc.wMinute = static_cast<WORD>(c.minute);
    utc.wSecond = static_cast<WORD>(c.second);
    SYSTEMTIME local{};
    if (!UtcToLocalTime(&utc, &local))
        local = utc;
    swprintf(buffer, chars, u"%d/%d/%d %d:%0.2d:%0.2d", local.wMonth, local.wDay, local.wYear,
             local.wHour, local.wMinute, local.wSecond);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

void FormatMoonAge(double ageDays, WCHAR* buffer, size_t chars) {
    WCHAR format[64];
    LoadText(kStringAgeFormat, format, 64);
    if (!format[0] || !std::isfinite(ageDays) || ageDays < 0)
        ageDays = 0;
    const double whole = std::floor(ageDays);
    const double fraction = ageDays - whole;
    const int hours = static_cast<int>(24 * fraction);
    const int minutes = static_cast<int>(1440 * fraction) % 60;
    swprintf(buffer, chars, format[0] ? format : u"%d days %d hrs %d min", static_cast<int>(whole),
             hours, minutes);
}

int WrapMinuteOfDay(int minutes) {
    const int wrapped = minutes % 1440;
    return wrapped < 0 ? wrapped + 1440 : wrapped;
}

bool IsCalendarTime(const SYSTEMTIME& t) {
    return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 &&
           t.wSecond < 60;
}

SYSTEMTIME AlmanacInstant() {
    SYSTEMTIME instant{};
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (receiver && receiver->GetUtcTime(&instant) == 0 && IsCalendarTime(instant))
        return instant;
    GetSystemTime(&instant);
    return instant;
}

void ComputeAlmanac(const SYSTEMTIME& utc, AlmanacRecord& record) {
    record.julianDay =
        JulianDay(utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    const MoonState moon = MoonPosition(record.julianDay);
    const Lunation lunation = PhaseHunt(record.julianDay);
    record.waning =
        record.julianDay > lunation.newMoon && record.julianDay < lunation.fullMoon ? 0 : 1;
    record.litPercent = moon.illuminated * 100.0;
    record.phase = moon.phase;
    FormatMoonAge(moon.ageDays, record.age, AlmanacRecord::kTextChars);
    const double instants[5] = {record.julianDay, lunation.firstQuarter, lunation.fullMoon,
                                lunation.lastQuarter, lunation.nextNewMoon};
    for (int i = 0; i < 5; ++i)
        FormatLocalDate(instants[i], record.dates[i], AlmanacRecord::kTextChars);
}

void MoonLitSpan(double phase, int waning, double halfWidth, double* from, double* to) {
    const double terminator = halfWidth * std::cos(kTwoPi * phase);
    // Waxing, the lit part runs from the terminator to the right limb; waning, the
    // mirror image of it to the left limb, so a waning gibbous moon is mostly lit.
    if (waning == 0) {
        *from = terminator;
        *to = halfWidth;
    } else {
        *from = -halfWidth;
        *to = -terminator;
    }
}

// ---------------------------------------------------------------------------------
// The window.

BEGIN_MESSAGE_MAP(CAlmanacWnd, CFullScreenChild)
ON_WM_CREATE()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CAlmanacWnd::CAlmanacWnd(CMainView& view)
    : CFullScreenChild(view), record_(std::make_unique<AlmanacRecord>()) {
    rowHeight_ = ScaleY(15);
    columnUnit_ = ScaleY(12);
}

CAlmanacWnd::~CAlmanacWnd() {
    if (m_hWnd)
        DestroyWindow();
}

BOOL CAlmanacWnd::Create(UINT controlId) {
    return CreateScreen(kStringCaption, controlId);
}

int CAlmanacWnd::OnCreate(LPCREATESTRUCT cs) {
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    CreateScaledFont(&boldFont_, 14, FW_BOLD, nullptr);
    whiteBrush_.CreateSolidBrush(kWhite);
    if (!MakeCloseButton(closeButton_, cs->cx, cs->cy, &boldFont_))
        return -1;
    return 0;
}

BOOL CAlmanacWnd::OnEraseBkgnd(CDC*) {
    return TRUE;
}

void CAlmanacWnd::OnPaint() {
    CPaintDC paint(this);
    Draw(paint.GetSafeHdc());
}

BOOL CAlmanacWnd::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) {
        const UINT key = static_cast<UINT>(msg->wParam);
        if (key == VK_ESCAPE || key == VK_HOME || key == VK_LEFT || key == VK_RIGHT) {
            OnKeyDown(key, LOWORD(msg->lParam), HIWORD(msg->lParam));
            return TRUE;
        }
    }
    return CFullScreenChild::PreTranslateMessage(msg);
}

void CAlmanacWnd::Compute() {
    ComputeAlmanac(AlmanacInstant(), *record_);
}

void CAlmanacWnd::DrawRow(HDC dc, int x, int y, UINT labelId, const WCHAR* value) {
    WCHAR label[64];
    LoadText(labelId, label, 64);
    const int length = static_cast<int>(wcslen(label));
    SIZE extent{};
    GetTextExtentPoint32W(dc, label, length, &extent);
    SetTextColor(dc, kLabelBlue);
    ExtTextOutW(dc, x, y, 0, nullptr, label, static_cast<UINT>(length), nullptr);
    SetTextColor(dc, kBlack);
    ExtTextOutW(dc, x + extent.cx, y, 0, nullptr, value, static_cast<UINT>(wcslen(value)), nullptr);
}

void CAlmanacWnd::DrawPhasePicture(HDC dc, int centreX, int centreY, int radius) {
    HBRUSH grey = CreateSolidBrush(kMoonGrey);
    HGDIOBJ oldBrush = SelectObject(dc, grey);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, centreX - radius, centreY - radius, centreX + radius + 1, centreY + radius + 1);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(grey);
    HBRUSH white = CreateSolidBrush(kWhite);
    for (int dy = 0; dy <= radius; ++dy) {
        const double halfWidth = std::sqrt(static_cast<double>(radius) * radius - dy * dy);
        double from = 0, to = 0;
        MoonLitSpan(record_->phase, record_->waning, halfWidth, &from, &to);
        const int left = centreX + static_cast<int>(std::lround(from));
        const int right = centreX + static_cast<int>(std::lround(to));
        if (right <= left)
            continue;
        const RECT above{left, centreY - dy, right, centreY - dy + 1};
        const RECT below{left, centreY + dy, right, centreY + dy + 1};
        FillRect(dc, &above, white);
        FillRect(dc, &below, white);
    }
    DeleteObject(white);
    // The limb, so that the lit part stands out from the white page.
    HPEN limb = CreatePen(PS_SOLID, 1, kMoonGrey);
    oldPen = SelectObject(dc, limb);
    oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, centreX - radius, centreY - radius, centreX + radius + 1, centreY + radius + 1);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(limb);
}

void CAlmanacWnd::Draw(HDC dc) {
    Compute();
    RECT client{};
    GetClientRect(&client);
    HDC buffer = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1),
                                            std::max<LONG>(client.bottom, 1));
    HGDIOBJ oldBitmap = SelectObject(buffer, bitmap);
    FillRect(buffer, &client, static_cast<HBRUSH>(whiteBrush_.GetSafeHandle()));
    HGDIOBJ oldFont = SelectObject(buffer, static_cast<HFONT>(g_fontBold12));
    SetBkMode(buffer, TRANSPARENT);

    const int margin = ScaleX(4);
    const int textX = margin + columnUnit_ / 2;
    WCHAR heading[32];

    // The sun: minutes from now added to the local time of day.
    int toSunrise = 0, toSunset = 0;
    ComputeSunTimes(&toSunrise, &toSunset);
    SYSTEMTIME local{};
    GetLocalTime(&local);
    const int now = local.wHour * 60 + local.wMinute;
    WCHAR localWord[32];
    LoadText(kStringLocalTime, localWord, 32);
    const int sunTop = columnUnit_;
    RECT sunBox{margin, sunTop, client.right - margin, sunTop + 2 * rowHeight_ + columnUnit_};
    LoadText(kStringSun, heading, 32);
    DrawGroupBox(buffer, sunBox, heading, kBoxGrey, kHeadingBlue, kWhite);
    SetBkMode(buffer, TRANSPARENT);
    const UINT sunLabels[2] = {kStringSunrise, kStringSunset};
    const int sunMinutes[2] = {WrapMinuteOfDay(now + toSunrise), WrapMinuteOfDay(now + toSunset)};
    for (int i = 0; i < 2; ++i) {
        WCHAR value[64];
        swprintf(value, 64, u"%02d:%02d:00 %s", sunMinutes[i] / 60, sunMinutes[i] % 60, localWord);
        DrawRow(buffer, textX, sunTop + columnUnit_ / 2 + i * rowHeight_, sunLabels[i], value);
    }

    // The moon: four rows, then the picture of its phase.
    const AlmanacRecord& r = *record_;
    const int moonTop = sunBox.bottom + columnUnit_;
    const int radius = ScaleY(40);
    const int rowsBottom = moonTop + columnUnit_ / 2 + 4 * rowHeight_;
    RECT moonBox{margin, moonTop, client.right - margin, rowsBottom + 2 * radius + columnUnit_};
    LoadText(kStringMoon, heading, 32);
    DrawGroupBox(buffer, moonBox, heading, kBoxGrey, kHeadingBlue, kWhite);
    SetBkMode(buffer, TRANSPARENT);
    WCHAR lit[32];
    swprintf(lit, 32, u"%.1f %c", r.litPercent, u'%');
    const UINT moonLabels[4] = {kStringCurrentPhase, kStringAge, kStringFullMoon,
                                kStringNextNewMoon};
    const WCHAR* moonValues[4] = {lit, r.age, r.dates[kAlmanacFullMoon],
                                  r.dates[kAlmanacNextNewMoon]};
    for (int i = 0; i < 4; ++i)
        DrawRow(buffer, textX, moonTop + columnUnit_ / 2 + i * rowHeight_, moonLabels[i],
                moonValues[i]);
    DrawPhasePicture(buffer, (client.right) / 2, rowsBottom + radius + columnUnit_ / 2, radius);

    BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
    SelectObject(buffer, oldFont);
    SelectObject(buffer, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(buffer);
    // The close button lies over the page.
    closeButton_.Invalidate(FALSE);
}

CChildScreen* MakeAlmanacScreen(CMainView& view, UINT controlId) {
    return MakeChildScreen<CAlmanacWnd>(view, controlId);
}
