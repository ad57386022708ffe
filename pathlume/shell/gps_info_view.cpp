#include "pathlume/shell/gps_info_view.h"

#include <algorithm>
#include <cmath>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/nmea_receiver.h"

namespace {

constexpr UINT kStringLat = 6118;
constexpr UINT kStringLon = 6119;
constexpr UINT kStringAlt = 6120;
constexpr UINT kStringSatellite = 6121;
constexpr UINT kStringUnknown = 6122;
constexpr UINT kStringLocation = 6123;
constexpr UINT kStringUtcTime = 6124;
constexpr UINT kStringLocalTime = 6125;
constexpr UINT kStringCaption = 6136;
constexpr UINT kStringSpeed = 6145;
constexpr UINT kStringEast = 6032;
constexpr UINT kStringSouth = 6034;
constexpr UINT kStringWest = 6036;
constexpr UINT kStringNorth = 6038;
constexpr UINT kSkyPlotId = 581;
constexpr UINT kSignalBarsId = 582;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kUsedGreen = RGB(0, 125, 0);
constexpr COLORREF kBoxGrey = RGB(192, 192, 192);
constexpr COLORREF kValueFrame = RGB(128, 128, 128);
constexpr COLORREF kPlotGrey = RGB(102, 102, 102);
constexpr COLORREF kLightGrey = RGB(220, 220, 220);
constexpr COLORREF kNavy = RGB(0, 0, 130);
constexpr COLORREF kNoSignal = RGB(105, 105, 105);
constexpr COLORREF kInView = RGB(192, 0, 0);
constexpr COLORREF kUsed = RGB(0, 192, 0);
constexpr double kRadiansPerDegree = 0.01745329238474369;
constexpr double kMaxDop = 99.9;
constexpr double kFeetPerMetre = 3.28084;
constexpr double kYardsPerMetre = 1.0936133333;
// Satellites in the used list of a fix, at most.
constexpr int kMaxUsed = kMaxSatellitesUsed;

void LoadText(UINT id, WCHAR* buffer, size_t chars) {
    if (!LoadResString(id, buffer, static_cast<int>(chars), FALSE))
        buffer[0] = 0;
}

void DrawTextAt(HDC dc, int x, int y, const WCHAR* text) {
    ExtTextOutW(dc, x, y, 0, nullptr, text, static_cast<UINT>(wcslen(text)), nullptr);
}

SIZE Extent(HDC dc, const WCHAR* text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    return size;
}

int Round(double value) {
    return RoundHalfAway(static_cast<float>(value));
}

void FormatCoordinate(float value, UINT positiveId, UINT negativeId, WCHAR* text, bool* unknown) {
    *unknown = !std::isfinite(value);
    if (*unknown) {
        LoadText(kStringUnknown, text, GpsInfoTexts::kChars);
        return;
    }
    WCHAR side[8];
    LoadText(value < 0 ? negativeId : positiveId, side, 8);
    swprintf(text, GpsInfoTexts::kChars, u"%lf%s", std::fabs(static_cast<double>(value)), side);
}

}  // namespace

double ShownDop(float dop) {
    return std::isfinite(dop) && dop <= kMaxDop ? static_cast<double>(dop) : kMaxDop;
}

void FormatGpsInfo(const GpsFix& fix, float speed, DWORD options, GpsInfoTexts& t) {
    const bool metric = (options & kOptionMetric) != 0;
    t.valid = fix.valid;
    FormatCoordinate(fix.latitude, kStringNorth, kStringSouth, t.latitude, &t.latitudeUnknown);
    FormatCoordinate(fix.longitude, kStringEast, kStringWest, t.longitude, &t.longitudeUnknown);
    t.altitudeUnknown = (fix.fixMode == kFixModeNone && !fix.valid) || !std::isfinite(fix.altitude);
    t.twoD = !t.altitudeUnknown && fix.fixMode == kFixMode2D;
    const double altitude = fix.altitude;
    if (t.altitudeUnknown)
        LoadText(kStringUnknown, t.altitude, GpsInfoTexts::kChars);
    else if (metric)
        swprintf(t.altitude, GpsInfoTexts::kChars, u"%0.0lf m", altitude);
    else if (options & kOptionYards)
        swprintf(t.altitude, GpsInfoTexts::kChars, u"%0.0lf yd", altitude * kYardsPerMetre);
    else
        swprintf(t.altitude, GpsInfoTexts::kChars, u"%0.0lf ft", altitude * kFeetPerMetre);
    const double shownSpeed = std::isfinite(speed) ? static_cast<double>(speed) : 0.0;
    swprintf(t.speed, GpsInfoTexts::kChars, metric ? u"%0.0lf km/h" : u"%0.0lf mph", shownSpeed);
    swprintf(t.used, GpsInfoTexts::kChars, u"%d", std::clamp(fix.satellitesUsed, 0, kMaxUsed));
    swprintf(t.inView, GpsInfoTexts::kChars, u"/%d",
             std::clamp(fix.satellitesInView, 0, kMaxSatellitesInView));
    swprintf(t.dop, GpsInfoTexts::kChars, u"HDOP:%4.1f VDOP:%4.1f PDOP:%4.1f", ShownDop(fix.hdop),
             ShownDop(fix.vdop), ShownDop(fix.pdop));
}

int CollectSatellites(const GpsFix& fix, SkySatellite* satellites) {
    const int count = std::clamp(fix.satellitesInView, 0, kMaxSatellitesInView);
    const int usedCount = std::clamp(fix.satellitesUsed, 0, kMaxUsed);
    for (int i = 0; i < count; ++i) {
        const SatelliteInView& in = fix.satellites[i];
        SkySatellite& out = satellites[i];
        out.number = in.number;
        out.elevation = std::clamp(in.elevationDegrees, 0, 90);
        out.azimuth = (in.azimuthDegrees % 360 + 360) % 360;
        out.snr = std::clamp(in.snr, 0, 99);
        out.used = std::find(fix.usedSatellites, fix.usedSatellites + usedCount, in.number) !=
                           fix.usedSatellites + usedCount
                       ? 1
                       : 0;
    }
    return count;
}

int SkyPlotHeading(double headingDegrees) {
    if (!std::isfinite(headingDegrees) || headingDegrees < 0 || headingDegrees > 720)
        return 0;
    return static_cast<int>(headingDegrees + 0.5);
}

POINT SkyPlotPoint(POINT centre, int radius, int elevation, int azimuth, int heading) {
    const double a = (azimuth - heading) * kRadiansPerDegree;
    const int r = radius - (radius * elevation) / 90;
    return {Round(centre.x + r * std::sin(a)), Round(centre.y - r * std::cos(a))};
}

int SatelliteBarState(const SkySatellite& satellite) {
    if (satellite.snr == 0)
        return 0;
    return satellite.used ? 2 : 1;
}

// ---------------------------------------------------------------------------------
// The two satellite controls.

BEGIN_MESSAGE_MAP(CSatelliteWnd, CWnd)
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CSatelliteWnd::~CSatelliteWnd() {
    if (m_hWnd)
        DestroyWindow();
}

void CSatelliteWnd::Keep(const SkySatellite* satellites, int count) {
    count_ = std::clamp(count, 0, kMaxSatellitesInView);
    std::copy(satellites, satellites + count_, satellites_);
}

void CSatelliteWnd::Repaint() {
    if (!m_hWnd)
        return;
    Invalidate(TRUE);
    UpdateWindow();
}

BOOL CSatelliteWnd::OnEraseBkgnd(CDC* dc) {
    RECT client{};
    GetClientRect(&client);
    HBRUSH white = CreateSolidBrush(kWhite);
    FillRect(dc->GetSafeHdc(), &client, white);
    DeleteObject(white);
    return TRUE;
}

void CSatelliteWnd::EraseIfAsked(CPaintDC& paint) {
    if (paint.m_ps.fErase)
        OnEraseBkgnd(&paint);
}

// ---------------------------------------------------------------------------------
// The sky plot.

BEGIN_MESSAGE_MAP(CSkyPlotWnd, CSatelliteWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

CSkyPlotWnd::CSkyPlotWnd() {
    CreateScaledFont(&font_, 12, 600, nullptr);
}

BOOL CSkyPlotWnd::Create(CWnd* parent, UINT id, int x, int y, int width) {
    const int top = ScaleY(19);
    const int side = ScaleY(12);
    radius_ = (width - 2 * side) / 2;
    centre_ = {side + radius_, top + radius_};
    horizon_ = {side, top, side + 2 * radius_, top + 2 * radius_};
    middle_ = {centre_.x - radius_ / 2, centre_.y - radius_ / 2, centre_.x + radius_ / 2,
               centre_.y + radius_ / 2};
    // The background disc is the width across and shares the circles' centre.
    background_ = {0, centre_.y - width / 2, width, centre_.y - width / 2 + width};
    const RECT rect{x, y, x + width, y + width + top};
    return CWnd::Create(nullptr, u"", WS_CHILD | WS_VISIBLE, rect, parent, id);
}

void CSkyPlotWnd::SetSatellites(const SkySatellite* satellites, int count, double heading) {
    if (count >= 1) {
        Keep(satellites, count);
        headingDegrees_ = std::isfinite(heading) ? heading : 0.0;
        heading_ = SkyPlotHeading(headingDegrees_);
    }
    Repaint();
}

void CSkyPlotWnd::OnPaint() {
    CPaintDC paint(this);
    HDC dc = paint.GetSafeHdc();
    EraseIfAsked(paint);
    SetBkMode(dc, OPAQUE);
    HPEN grey = CreatePen(PS_SOLID, 1, kPlotGrey);
    HBRUSH light = CreateSolidBrush(kLightGrey);
    HBRUSH white = CreateSolidBrush(kWhite);
    HBRUSH black = CreateSolidBrush(kBlack);
    HGDIOBJ oldPen = SelectObject(dc, grey);
    HGDIOBJ oldBrush = SelectObject(dc, light);
    HGDIOBJ oldFont = SelectObject(dc, font_.GetSafeHandle());
    Ellipse(dc, background_.left, background_.top, background_.right, background_.bottom);
    SelectObject(dc, white);
    Ellipse(dc, horizon_.left, horizon_.top, horizon_.right, horizon_.bottom);
    Ellipse(dc, middle_.left, middle_.top, middle_.right, middle_.bottom);

    // The heading marker and its text at the top.
    const POINT marker[3] = {{centre_.x, horizon_.top},
                             {centre_.x - 3, horizon_.top + 6},
                             {centre_.x + 3, horizon_.top + 6}};
    SelectObject(dc, black);
    Polygon(dc, marker, 3);
    WCHAR heading[32];
    swprintf(heading, 32, u"  %0.0lf\u00B0  ", headingDegrees_);
    const SIZE headingSize = Extent(dc, heading);
    RECT client{};
    GetClientRect(&client);
    SetBkColor(dc, kWhite);
    SetTextColor(dc, kBlack);
    DrawTextAt(dc, (client.right - headingSize.cx) / 2, 0, heading);

    // The compass letters, turned with the heading.
    const WCHAR letters[] = u"NESW";
    const double outer = radius_ + ScaleY(12);
    const double inner = 0.85 * outer;
    SetBkColor(dc, kLightGrey);
    for (int i = 0; i < 4; ++i) {
        const double a = (i * 90 - heading_) * kRadiansPerDegree;
        const POINT far{Round(centre_.x + outer * std::sin(a)),
                        Round(centre_.y - outer * std::cos(a))};
        const POINT near{Round(centre_.x + inner * std::sin(a)),
                         Round(centre_.y - inner * std::cos(a))};
        if (i % 2 == 1) {
            MoveToEx(dc, far.x, far.y, nullptr);
            LineTo(dc, near.x, near.y);
        }
        const WCHAR letter[2] = {letters[i], 0};
        const SIZE size = Extent(dc, letter);
        SetTextColor(dc, i == 0 ? kRed : kNavy);
        DrawTextAt(dc, near.x - size.cx / 2, near.y - size.cy / 2, letter);
    }
    // Those with no signal first, the used ones last, so the most useful lie on top.
    for (int pass = 0; pass < 3; ++pass)
        DrawSatellites(dc, pass);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(grey);
    DeleteObject(light);
    DeleteObject(white);
    DeleteObject(black);
}

void CSkyPlotWnd::DrawSatellites(HDC dc, int pass) {
    const COLORREF colours[3] = {kNoSignal, kInView, kUsed};
    HBRUSH fill = CreateSolidBrush(colours[pass]);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    const SIZE digits = Extent(dc, u"88");
    const int discRadius = Round(0.7 * digits.cy);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kWhite);
    for (int i = 0; i < count_; ++i) {
        const SkySatellite& s = satellites_[i];
        if (SatelliteBarState(s) != pass)
            continue;
        const POINT at = SkyPlotPoint(centre_, radius_, s.elevation, s.azimuth, heading_);
        Ellipse(dc, at.x - discRadius, at.y - discRadius, at.x + discRadius, at.y + discRadius);
        WCHAR number[16];
        swprintf(number, 16, u"%.2d", s.number);
        const SIZE size = Extent(dc, number);
        DrawTextAt(dc, at.x - size.cx / 2, at.y - size.cy / 2, number);
    }
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(fill);
}

// ---------------------------------------------------------------------------------
// The signal bars.

BEGIN_MESSAGE_MAP(CSatSignalWnd, CSatelliteWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

namespace {

// The bar of a ratio starts after the satellite's number and is the ratio long, so
// that a weak signal never draws its bar backwards over the number.
int BarLeft() {
    return ScaleX(14);
}

}  // namespace

CSatSignalWnd::CSatSignalWnd() {
    CreateScaledFont(&font_, 10, FW_NORMAL, nullptr);
}

int CSatSignalWnd::WidthNeeded() {
    return BarLeft() + RoundHalfAway(99 * g_screenScaleX.load()) + ScaleX(16);
}

BOOL CSatSignalWnd::Create(CWnd* parent, UINT id, int x, int y, int width) {
    const RECT rect{x, y, x + width, y + ScaleY(125)};
    return CWnd::Create(nullptr, u"", WS_CHILD | WS_VISIBLE, rect, parent, id);
}

void CSatSignalWnd::SetSatellites(const SkySatellite* satellites, int count) {
    Keep(satellites, count);
    usedCount_ = static_cast<int>(std::count_if(satellites_, satellites_ + count_,
                                                [](const SkySatellite& s) { return s.used; }));
    Repaint();
}

void CSatSignalWnd::OnPaint() {
    CPaintDC paint(this);
    HDC dc = paint.GetSafeHdc();
    EraseIfAsked(paint);
    SetBkMode(dc, TRANSPARENT);
    HPEN grey = CreatePen(PS_SOLID, 1, kPlotGrey);
    HGDIOBJ oldPen = SelectObject(dc, grey);
    HGDIOBJ oldFont = SelectObject(dc, font_.GetSafeHandle());
    const int spacing = ScaleY(8);
    const int height = ScaleY(125);
    const int barHeight = ScaleY(7);
    const float scaleX = g_screenScaleX.load();
    for (int i = 0; i < count_; ++i) {
        const SkySatellite& s = satellites_[i];
        const int state = SatelliteBarState(s);
        const int top = spacing * i + (height - (count_ - 1) * spacing) / 2;
        WCHAR text[16];
        swprintf(text, 16, u"%.2d", s.number);
        const COLORREF colour = state == 2 ? kUsed : state == 1 ? kInView : kBlack;
        SetTextColor(dc, colour);
        const SIZE size = Extent(dc, text);
        DrawTextAt(dc, 0, top + (barHeight - size.cy) / 2, text);
        if (state == 0)
            continue;
        const int left = BarLeft();
        const int right = left + RoundHalfAway(s.snr * scaleX);
        // A satellite in view shows its bar only while none is used.
        const bool drawBar = state == 2 || usedCount_ == 0;
        if (drawBar) {
            HBRUSH fill = CreateSolidBrush(colour);
            HPEN edge = CreatePen(PS_SOLID, 1, colour);
            HGDIOBJ previousPen = SelectObject(dc, edge);
            HGDIOBJ previousBrush = SelectObject(dc, fill);
            Rectangle(dc, left, top, right, top + barHeight);
            SelectObject(dc, previousBrush);
            SelectObject(dc, previousPen);
            DeleteObject(fill);
            DeleteObject(edge);
        }
        swprintf(text, 16, u"%.2d", s.snr);
        DrawTextAt(dc, right + ScaleX(2), top + (barHeight - size.cy) / 2, text);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldPen);
    DeleteObject(grey);
}

// ---------------------------------------------------------------------------------
// The screen.

BEGIN_MESSAGE_MAP(CGpsInfoView, CFullScreenChild)
ON_WM_CREATE()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CGpsInfoView::CGpsInfoView(CMainView& view) : CFullScreenChild(view) {
    columnUnit_ = ScaleX(10);
    rowHeight_ = ScaleY(15);
}

CGpsInfoView::~CGpsInfoView() {
    if (m_hWnd)
        DestroyWindow();
}

BOOL CGpsInfoView::Create(UINT controlId) {
    return CreateScreen(kStringCaption, controlId);
}

int CGpsInfoView::OnCreate(LPCREATESTRUCT cs) {
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    const int barsWidth = CSatSignalWnd::WidthNeeded();
    const int plotWidth = cs->cx - barsWidth - ScaleX(6);
    if (!skyPlot_.Create(this, kSkyPlotId, ScaleX(2), 0, plotWidth) ||
        !signalBars_.Create(this, kSignalBarsId, cs->cx - barsWidth - ScaleX(2), ScaleY(2),
                            barsWidth))
        return -1;
    CreateScaledFont(&boldFont_, 14, FW_BOLD, nullptr);
    CreateScaledFont(&valueFont_, g_screenScaleY.load() > 1.0f ? 13 : 14, FW_BOLD, nullptr);
    if (!MakeCloseButton(closeButton_, cs->cx, cs->cy, &boldFont_))
        return -1;
    layout_ = ComputeLayout(cs->cx, ButtonSize().cx);
    return 0;
}

BOOL CGpsInfoView::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_HOME)) {
        OnKeyDown(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
        return TRUE;
    }
    return CFullScreenChild::PreTranslateMessage(msg);
}

CGpsInfoView::Layout CGpsInfoView::ComputeLayout(int width, int buttonWidth) const {
    const RECT client{0, 0, width, 0};
    RECT plot{}, bars{};
    ::GetWindowRect(skyPlot_.GetSafeHwnd(), &plot);
    ::GetWindowRect(signalBars_.GetSafeHwnd(), &bars);
    const int margin = ScaleX(4);
    const int gap = ScaleY(9);
    const int boxLine = rowHeight_ + ScaleY(8);
    Layout l{};
    const int top = std::max(plot.bottom - plot.top, bars.bottom - bars.top + ScaleY(2)) + gap;
    l.location = {margin, top, client.right - margin, top + ScaleY(7) + 5 * rowHeight_ + ScaleY(4)};
    l.utc = {margin, l.location.bottom + gap, client.right - margin,
             l.location.bottom + gap + boxLine};
    l.local = {margin, l.utc.bottom + gap, client.right - margin, l.utc.bottom + gap + boxLine};
    // The DOP line keeps clear of the close button in the corner.
    l.dop = {margin, l.local.bottom + gap, client.right - buttonWidth - margin,
             l.local.bottom + gap + boxLine};
    l.labelX = margin + columnUnit_ / 2;
    l.valueX = l.labelX + 7 * columnUnit_;
    l.valueRight = client.right - margin - columnUnit_ / 2;
    l.firstRow = top + ScaleY(7);
    return l;
}

void CGpsInfoView::DrawFrame(HDC dc) {
    const Layout& l = layout_;
    HGDIOBJ oldFont = SelectObject(dc, boldFont_.GetSafeHandle());
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    WCHAR heading[32];
    const std::pair<const RECT*, UINT> boxes[3] = {
        {&l.location, kStringLocation}, {&l.utc, kStringUtcTime}, {&l.local, kStringLocalTime}};
    for (const auto& [box, id] : boxes) {
        LoadText(id, heading, 32);
        DrawGroupBox(dc, *box, heading, kBoxGrey, kBlue, kWhite);
    }
    DrawGroupBox(dc, l.dop, u"", kBoxGrey, kBlue, kWhite);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void CGpsInfoView::DrawValueRow(HDC dc, int row, UINT labelId, const WCHAR* value, COLORREF colour,
                                const WCHAR* tail, COLORREF tailColour) {
    const Layout& l = layout_;
    const int y = l.firstRow + row * rowHeight_;
    WCHAR label[32];
    LoadText(labelId, label, 32);
    SetTextColor(dc, kBlue);
    DrawTextAt(dc, l.labelX, y, label);
    RECT box{l.valueX, y, l.valueRight, y + rowHeight_ - 1};
    DrawOutlinedBox(dc, box, kValueFrame, WHITE_BRUSH);
    const SIZE size = Extent(dc, value);
    const int textY = y + (rowHeight_ - 1 - size.cy) / 2;
    SetTextColor(dc, colour);
    DrawTextAt(dc, l.valueX + ScaleX(3), textY, value);
    if (tail && tail[0]) {
        SetTextColor(dc, tailColour);
        DrawTextAt(dc, l.valueX + ScaleX(3) + size.cx, textY, tail);
    }
}

void CGpsInfoView::UpdatePage(HDC given) {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (!m_hWnd || !receiver)
        return;
    const GpsFix fix = receiver->GetFix();
    const DWORD options = g_options.load();
    FormatGpsInfo(fix, receiver->GetSpeed((options & kOptionMetric) != 0), options, texts_);
    HDC dc = given ? given : ::GetDC(m_hWnd);
    if (!dc)
        return;
    HGDIOBJ oldFont = SelectObject(dc, valueFont_.GetSafeHandle());
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF valueColour = texts_.valid ? kBlack : kRed;
    const GpsInfoTexts& t = texts_;
    DrawValueRow(dc, 0, kStringLat, t.latitude, t.latitudeUnknown ? kRed : valueColour, nullptr, 0);
    DrawValueRow(dc, 1, kStringLon, t.longitude, t.longitudeUnknown ? kRed : valueColour, nullptr,
                 0);
    DrawValueRow(dc, 2, kStringAlt, t.altitude, t.altitudeUnknown ? kRed : valueColour,
                 t.twoD ? u" (2D)" : nullptr, kRed);
    DrawValueRow(dc, 3, kStringSpeed, t.speed, valueColour, nullptr, 0);
    DrawValueRow(dc, 4, kStringSatellite, t.used, t.valid ? kUsedGreen : kRed, t.inView, kBlack);

    // The times and the DOP line, each in its box.
    const Layout& l = layout_;
    WCHAR line[64];
    const std::pair<const RECT*, bool> lines[2] = {{&l.utc, true}, {&l.local, false}};
    HBRUSH white = CreateSolidBrush(kWhite);
    for (const auto& [box, utc] : lines) {
        if (utc)
            receiver->FormatUtcTime(line, 64);
        else
            receiver->FormatLocalTime(line, 64);
        RECT inside{box->left + 1, box->top + ScaleY(5), box->right - 1, box->bottom - 1};
        FillRect(dc, &inside, white);
        SetTextColor(dc, kBlack);
        DrawTextAt(dc, l.labelX, inside.top, line);
    }
    RECT inside{l.dop.left + 1, l.dop.top + 1, l.dop.right - 1, l.dop.bottom - 1};
    FillRect(dc, &inside, white);
    DeleteObject(white);
    const SIZE dopSize = Extent(dc, t.dop);
    DrawTextAt(dc, l.dop.left + 2 * columnUnit_ / 2, (l.dop.top + l.dop.bottom - dopSize.cy) / 2,
               t.dop);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
    if (!given)
        ::ReleaseDC(m_hWnd, dc);

    SkySatellite satellites[kMaxSatellitesInView];
    const int count = CollectSatellites(fix, satellites);
    skyPlot_.SetSatellites(satellites, count, fix.headingDegrees);
    signalBars_.SetSatellites(satellites, count);
}

void CGpsInfoView::OnGpsUpdate(LPARAM kind) {
    if (kind == 1)
        UpdatePage(nullptr);
}

BOOL CGpsInfoView::OnEraseBkgnd(CDC*) {
    return TRUE;
}

void CGpsInfoView::OnPaint() {
    CPaintDC paint(this);
    HDC dc = paint.GetSafeHdc();
    RECT client{};
    GetClientRect(&client);
    HBRUSH white = CreateSolidBrush(kWhite);
    FillRect(dc, &client, white);
    DeleteObject(white);
    DrawFrame(dc);
    UpdatePage(dc);
}

CChildScreen* MakeGpsInfoScreen(CMainView& view, UINT controlId) {
    return MakeChildScreen<CGpsInfoView>(view, controlId);
}
