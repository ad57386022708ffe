#include "pathlume/shell/guidance_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/banner_state.h"

std::atomic<DWORD> g_screenChangeBlock{0};

namespace {

constexpr UINT kStringCaption = 6142;
constexpr UINT kStringNoDestination = 6141;
constexpr UINT kStringOffRoad = 6192;
constexpr UINT kBitmapWaiting = 220;
constexpr size_t kBannerMaxChars = 28;
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kBannerGreen = RGB(0, 128, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kShadow = 0x101010;
constexpr double kFeetPerRadian = 20902143.302568;
constexpr double kMetresPerRadian = 6370973.27862;

int S(int n) {
    return ScaleY(n);
}

bool Inside(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void CopyText(char* target, size_t size, const char* text) {
    std::snprintf(target, size, "%s", text);
}

bool MetricUnits() {
    return (g_options.load() & kOptionMetric) != 0;
}

}  // namespace

// ---------------------------------------------------------------------------------
// The bar.

CBarGauge::~CBarGauge() {
    if (pen_)
        DeleteObject(pen_);
    if (brush_)
        DeleteObject(brush_);
}

void CBarGauge::Init(const RECT& rect, int minimum, int maximum, COLORREF outline, COLORREF frame,
                     COLORREF fill, int direction) {
    rect_ = rect;
    minimum_ = minimum;
    maximum_ = maximum;
    direction_ = direction;
    if (pen_)
        DeleteObject(pen_);
    if (brush_)
        DeleteObject(brush_);
    pen_ = CreatePen(PS_SOLID, 1, outline);
    brush_ = CreateSolidBrush(frame);
    fill_ = fill;
}

void CBarGauge::SetRect(int left, int top, int right, int bottom) {
    rect_ = {left, top, right, bottom};
}

int CBarGauge::FilledHeight(int value) const {
    // A scale of no span would divide by zero: nothing is filled.
    if (maximum_ <= minimum_)
        return 0;
    const int64_t inner = std::max<LONG>(rect_.bottom - rect_.top - 2, 0);
    const int64_t span = static_cast<int64_t>(maximum_) - minimum_;
    const int64_t part = std::clamp<int64_t>(static_cast<int64_t>(value) - minimum_, 0, span);
    return static_cast<int>(inner * part / span);
}

void CBarGauge::Draw(HDC dc, int value) {
    HGDIOBJ oldPen = SelectObject(dc, pen_);
    HGDIOBJ oldBrush = SelectObject(dc, brush_);
    Rectangle(dc, rect_.left, rect_.top, rect_.right, rect_.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    const int filled = FilledHeight(value);
    if (filled <= 0)
        return;
    RECT inside{rect_.left + 1, rect_.top + 1, rect_.right - 1, rect_.bottom - 1};
    if (direction_ == 0)
        inside.bottom = inside.top + filled;
    else
        inside.top = inside.bottom - filled;
    HBRUSH fill = CreateSolidBrush(fill_);
    FillRect(dc, &inside, fill);
    DeleteObject(fill);
}

void CBarGauge::Erase(HDC dc) {
    HBRUSH background = CreateSolidBrush(GetBkColor(dc));
    FillRect(dc, &rect_, background);
    DeleteObject(background);
}

// ---------------------------------------------------------------------------------
// What a pass shows.

int32_t GuidanceBarScale(int32_t switchDistance, bool metric) {
    if (switchDistance > 0)
        return switchDistance;
    return metric ? kGuidanceBarMetres : kGuidanceBarFeet;
}

GuidancePanel ComposeGuidancePanel() {
    GuidancePanel p;
    CRouter* router = g_router;
    if (!router || !(router->state & kRouterRouteState)) {
        WCHAR none[GuidancePanel::kTextSize];
        if (!LoadResString(kStringNoDestination, none, GuidancePanel::kTextSize, FALSE))
            none[0] = 0;
        size_t i = 0;
        for (; none[i] && i + 1 < GuidancePanel::kTextSize; ++i)
            p.text[i] = static_cast<char>(none[i]);
        p.text[i] = 0;
        return p;
    }
    p.hasRoute = true;
    const BannerState b = GetBannerState(router);
    if (!b.show)
        return p;
    const CRouter& r = *router;
    const Maneuver& maneuver = r.maneuvers[b.maneuver];
    p.hasManeuver = true;
    p.waiting = !b.placed;
    char line[kManeuverTextSize] = {};
    if (!p.waiting) {
        const double radians = r.GetFirstManeuverDistance();
        const double units = radians * (MetricUnits() ? kMetresPerRadian : kFeetPerRadian);
        if (std::isfinite(units) && std::fabs(units) < 1e9)
            p.distance = RoundHalfAway(static_cast<float>(units));
        FormatDistance(static_cast<FLOAT>(radians), line, sizeof line);
    }
    if (b.nameVariant) {
        if (b.current) {
            GetLinkStreetName(g_linkInfo, b.current->linkId, b.current->attributes, kPrimaryNames,
                              line, sizeof line, false);
        } else if (b.offRoadIndication) {
            LoadStringText(kStringOffRoad, line, sizeof line);
        } else {
            CopyText(line, sizeof line, "PROCEED TO THE NEAREST ROAD");
        }
    } else if (!p.waiting || !b.promptOn) {
        if (b.phase == 0 || b.atNext) {
            if (!FormatManeuverRoadName(r, line, maneuver, false, sizeof line))
                line[0] = 0;
        }
    } else if (!b.current) {
        line[0] = 0;
        if (b.lastLink)
            GetLinkStreetName(g_linkInfo, b.lastLink->linkId, b.lastLink->attributes, kPrimaryNames,
                              line, sizeof line, false);
    } else {
        CopyText(line, sizeof line,
                 b.fixValid ? "PLEASE START DRIVING..." : "WAITING FOR GPS SIGNAL...");
    }
    line[sizeof line - 1] = 0;
    ShortenRoadName(line, kBannerMaxChars);
    CopyText(p.text, sizeof p.text, line);
    if (!p.waiting) {
        const uint32_t kind = b.nameVariant ? kManeuverUTurn : ShownManeuverKind(r, b.maneuver);
        p.arrowId = static_cast<UINT>(ManeuverIconId(kind));
    } else if (b.fixValid) {
        p.arrowId = kBitmapWaiting;
    }
    return p;
}

GuidanceTap ClassifyGuidanceTap(const GuidanceTapZones& z, POINT p, bool routeExists,
                                bool changeBlocked) {
    if (Inside(z.menuButton, p))
        return GuidanceTap::MenuButton;
    if (Inside(z.speaker, p))
        return GuidanceTap::Speaker;
    if (routeExists) {
        if (Inside(z.centre, p))
            return GuidanceTap::BackToMap;
        if (Inside(z.arrow, p))
            return GuidanceTap::RepeatPrompt;
        if (Inside(z.banner, p) && !changeBlocked)
            return GuidanceTap::RouteList;
    }
    if (Inside(z.bottomStrip, p) && !changeBlocked)
        return GuidanceTap::LocationInfo;
    return GuidanceTap::StatusBox;
}

// ---------------------------------------------------------------------------------
// The window.

BEGIN_MESSAGE_MAP(CGuidanceView, CFullScreenChild)
ON_WM_CREATE()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_KEYDOWN()
ON_WM_KEYUP()
END_MESSAGE_MAP()

CGuidanceView::CGuidanceView(CMainView& view) : CFullScreenChild(view) {
    bannerBrush_ = CreateSolidBrush(kBannerGreen);
    fullScale_ = MetricUnits() ? kGuidanceBarMetres : kGuidanceBarFeet;
    bannerHeight_ = S(36);
}

CGuidanceView::~CGuidanceView() {
    if (m_hWnd)
        DestroyWindow();
    if (memDC_) {
        SelectObject(memDC_, memOldBitmap_);
        DeleteDC(memDC_);
    }
    if (memBitmap_)
        DeleteObject(memBitmap_);
    DeleteObject(bannerBrush_);
}

BOOL CGuidanceView::Create(UINT controlId) {
    return CreateScreen(kStringCaption, controlId);
}

int CGuidanceView::OnCreate(LPCREATESTRUCT cs) {
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    const int w = cs->cx;
    barRectFull_ = {w - ScaleX(27), S(60), w - ScaleX(2), S(250)};
    barRectNormal_ = {w - ScaleX(27), S(60), w - ScaleX(2), S(200)};
    barRect_ = view_.fullScreen ? barRectFull_ : barRectNormal_;
    fullScale_ = GuidanceBarScale(g_guidanceSwitchDistance, MetricUnits());
    bar_.Init(barRect_, 0, fullScale_, kWhite, barFrame_, kYellow, 0);
    return 0;
}

void CGuidanceView::Relayout() {
    RECT client{};
    view_.GetClientRect(&client);
    MoveWindow(0, 0, client.right, client.bottom, TRUE);
    barRect_ = {client.right - ScaleX(27), S(60), client.right - ScaleX(2), S(190)};
    bar_.SetRect(barRect_.left, barRect_.top, barRect_.right, barRect_.bottom);
}

void CGuidanceView::GetMapCovers(std::vector<RECT>* covers) {
    RECT client{};
    if (m_hWnd)
        GetClientRect(&client);
    const int w = client.right, b = client.bottom;
    if (w <= 0 || b <= 0)
        return;
    // The navy columns either side of the map column, the banner with the turn arrow
    // under it, the distance box at the column's right, the band at the bottom, and
    // the speaker and street name over the bottom bar.
    const int column = RoundHalfAway(0.75f * w);
    const int margin = (w - column) / 2;
    covers->push_back({0, 0, margin, b});
    covers->push_back({w - margin, 0, w, b});
    covers->push_back({0, 0, w, bannerHeight_});
    covers->push_back({0, bannerHeight_, S(48), bannerHeight_ + S(48)});
    covers->push_back({0, BandTop(b), w, b});
    const int distanceRight = (w + column) / 2 - ScaleX(4);
    covers->push_back(
        {distanceRight - ScaleX(60), bannerHeight_, distanceRight, bannerHeight_ + S(22)});
    covers->push_back({0, b - S(42), ScaleX(141), b - S(18)});
    covers->push_back({ScaleX(58), b - S(85), ScaleX(85), b - S(58)});
}

int CGuidanceView::GetZoomIndex() {
    return view_.MapView().GetUserZoomIndex();
}

BOOL CGuidanceView::OnEraseBkgnd(CDC*) {
    return TRUE;
}

void CGuidanceView::OnPaint() {
    CPaintDC paint(this);
    if (g_windowActive.load()) {
        if (CWnd* frame = view_.GetParent())
            ::SetForegroundWindow(frame->m_hWnd);
    }
    DrawPanel(paint.GetSafeHdc());
}

void CGuidanceView::LeaveToMap() {
    if (leaving_)
        return;
    leaving_ = true;
    CloseScreen();
}

void CGuidanceView::DrawMap(HDC target, const RECT& client) {
    CMapView& map = view_.MapView();
    HDC back = map.GetBackBufferDC();
    if (g_mapsLoading.load() != 0 || !back) {
        HBRUSH navy = CreateSolidBrush(kNavy);
        FillRect(target, &client, navy);
        DeleteObject(navy);
        return;
    }
    SetBkMode(back, OPAQUE);
    float longitude = 0, latitude = 0, heading = 0;
    map.UpdateCentreAndHeading(&longitude, &latitude, &heading, 0, 1);
    if (view_.forceRedraw) {
        map.Force();
        view_.forceRedraw = FALSE;
    }
    map.UpdateView(longitude, latitude, heading, back, 1);
    map.DrawVehicle(nullptr, back);
    BitBlt(target, 0, 0, client.right, client.bottom, back, 0, 0, SRCCOPY);
}

int CGuidanceView::BandTop(int clientHeight) const {
    return view_.fullScreen ? RoundHalfAway(268 * g_screenScaleY.load())
                            : bannerHeight_ + (clientHeight - S(58)) + 2;
}

void CGuidanceView::DrawBanner(HDC dc, const RECT& client) {
    HBRUSH navy = CreateSolidBrush(kNavy);
    // The map column is three quarters of the width, centred; navy either side.
    const int column = RoundHalfAway(0.75f * client.right);
    const int margin = (client.right - column) / 2;
    const RECT left{0, 0, margin, client.bottom};
    const RECT right{client.right - margin, 0, client.right, client.bottom};
    FillRect(dc, &left, navy);
    FillRect(dc, &right, navy);
    const RECT band{0, BandTop(client.bottom), client.right, client.bottom};
    FillRect(dc, &band, navy);
    DeleteObject(navy);

    HGDIOBJ oldBrush = SelectObject(dc, bannerBrush_);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    Rectangle(dc, 0, 0, client.right, bannerHeight_);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);

    WCHAR text[GuidancePanel::kTextSize];
    size_t i = 0;
    for (; panel_.text[i] && i + 1 < GuidancePanel::kTextSize; ++i)
        text[i] = static_cast<unsigned char>(panel_.text[i]);
    text[i] = 0;
    if (!text[0])
        return;
    const int inset = 3;
    const int x = inset, y = inset, width = client.right - 2 * inset,
              height = bannerHeight_ - 2 * inset;
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, kShadow);
    HGDIOBJ oldFont = DrawFittedLine(text, dc, x + 2, y + 2, width, height, FALSE, FALSE);
    SelectObject(dc, oldFont);
    SetTextColor(dc, kWhite);
    oldFont = DrawFittedLine(text, dc, x, y, width, height, FALSE, FALSE);
    SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

void CGuidanceView::DrawArrow(HDC dc) {
    arrowRect_ = {};
    if (panel_.arrowId == 0)
        return;
    HBITMAP bitmap = static_cast<HBITMAP>(LoadScaledImage(panel_.arrowId, IMAGE_BITMAP, 0, 0, 0));
    if (!bitmap)
        return;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    // The arrow is tapped where it is drawn, under the banner.
    arrowRect_ = {0, bannerHeight_, info.bmWidth, bannerHeight_ + info.bmHeight};
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap);
    BitBlt(dc, 0, bannerHeight_, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(bitmap);
    const int side = S(48);
    const POINT square[5] = {{0, bannerHeight_},
                             {side, bannerHeight_},
                             {side, bannerHeight_ + side},
                             {0, bannerHeight_ + side},
                             {0, bannerHeight_}};
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    Polyline(dc, square, 5);
    SelectObject(dc, oldPen);
}

void CGuidanceView::DrawPanel(HDC paintDC) {
    if (leaving_ || !m_hWnd)
        return;
    // Off the route: back to the map, which shows the new route once it is made.
    if (g_router && g_router->offRouteCount != 0) {
        LeaveToMap();
        return;
    }
    RECT client{};
    GetClientRect(&client);
    if (client.right <= 0 || client.bottom <= 0)
        return;
    HDC dc = paintDC ? paintDC : ::GetDC(m_hWnd);
    if (!dc)
        return;
    if (!memDC_ || memSize_.cx != client.right || memSize_.cy != client.bottom) {
        if (!memDC_) {
            memDC_ = CreateCompatibleDC(dc);
            memOldBitmap_ = nullptr;
        }
        HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        if (!memDC_ || !bitmap) {
            if (bitmap)
                DeleteObject(bitmap);
            if (!paintDC)
                ::ReleaseDC(m_hWnd, dc);
            return;
        }
        HGDIOBJ previous = SelectObject(memDC_, bitmap);
        if (!memOldBitmap_)
            memOldBitmap_ = previous;
        if (memBitmap_)
            DeleteObject(memBitmap_);
        memBitmap_ = bitmap;
        memSize_ = {client.right, client.bottom};
    }
    const int32_t previous = distance_;
    panel_ = ComposeGuidancePanel();
    distance_ = panel_.distance;

    DrawMap(memDC_, client);
    HGDIOBJ oldFont = SelectObject(memDC_, static_cast<HFONT>(g_fontBold21));
    DrawBanner(memDC_, client);
    SelectObject(memDC_, oldFont);
    if (previous <= fullScale_ && distance_ > fullScale_)
        bar_.Erase(memDC_);

    view_.DrawFrameBitmaps(client, FALSE, memDC_);
    view_.DrawSpeedEta(memDC_, client);
    view_.DrawStreetName(memDC_, client);
    view_.LayoutMapButtons(client, memDC_);
    RECT speaker = client;
    speaker.bottom -= S(20);
    view_.DrawSpeakerIcon(speaker, memDC_, TRUE);

    if (g_router && g_router->offRouteCount != 0) {
        if (!paintDC)
            ::ReleaseDC(m_hWnd, dc);
        LeaveToMap();
        return;
    }
    const RECT& layout = view_.fullScreen ? barRectFull_ : barRectNormal_;
    const RECT& current = bar_.Rect();
    if (current.bottom - current.top != layout.bottom - layout.top)
        bar_.SetRect(layout.left, layout.top, layout.right, layout.bottom);
    if (distance_ <= fullScale_)
        bar_.Draw(memDC_, distance_);
    if (panel_.hasRoute && !panel_.waiting) {
        // The distance box just under the banner, at the map column's right.
        const int column = RoundHalfAway(0.75f * client.right);
        const RECT box{0, bannerHeight_ - S(20), (client.right + column) / 2, client.bottom};
        view_.DrawTurnDistance(memDC_, box, true);
    }
    const int mapHeight = view_.GetMapHeight();
    centreRect_ = {S(50), S(40), client.right - S(50), mapHeight - S(40)};
    DrawArrow(memDC_);

    BitBlt(dc, 0, 0, client.right, client.bottom, memDC_, 0, 0, SRCCOPY);
    if (!paintDC)
        ::ReleaseDC(m_hWnd, dc);
}

GuidanceTapZones CGuidanceView::TapZones() const {
    RECT client{};
    GetClientRect(&client);
    GuidanceTapZones z{};
    z.menuButton = view_.menuButtonRect;
    z.speaker = view_.speakerRect;
    z.centre = centreRect_;
    z.arrow = arrowRect_;
    z.banner = {0, 0, client.right, bannerHeight_};
    z.bottomStrip = {view_.menuButtonRect.right, client.bottom - S(20),
                     client.right - view_.statBoxWidth, client.bottom};
    return z;
}

void CGuidanceView::OnLButtonDown(UINT flags, CPoint point) {
    const POINT p{point.x, point.y};
    const bool routeExists = g_router && (g_router->state & kRouterRouteState);
    BOOL handled = TRUE;
    switch (ClassifyGuidanceTap(TapZones(), p, routeExists, g_screenChangeBlock.load() != 0)) {
        case GuidanceTap::MenuButton:
            // The map first; the view then takes the press on its own menu button.
            LeaveToMap();
            view_.PostMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
            break;
        case GuidanceTap::Speaker:
            view_.ToggleMute(FALSE);
            DrawPanel(nullptr);
            break;
        case GuidanceTap::BackToMap:
            LeaveToMap();
            break;
        case GuidanceTap::RepeatPrompt:
            view_.RepeatGuidance();
            break;
        case GuidanceTap::RouteList:
            view_.PostMessage(WM_USER, kViewSwitchScreen, kScreenRouteList);
            break;
        case GuidanceTap::LocationInfo:
            view_.ShowLocationInfo();
            break;
        case GuidanceTap::StatusBox:
            if (view_.CycleStatBoxMode(m_hWnd, point.x, point.y, 1) == 0)
                handled = FALSE;
            break;
    }
    view_.tapHandled = handled;
}

void CGuidanceView::OnLButtonUp(UINT flags, CPoint point) {
    view_.OnLButtonUp(flags, point);
}

void CGuidanceView::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    switch (key) {
        case VK_UP:
        case VK_DOWN:
        case VK_RETURN:
            return;
        default:
            CFullScreenChild::OnKeyDown(key, repeat, flags);
            return;
    }
}

CChildScreen* MakeGuidanceScreen(CMainView& view, UINT controlId) {
    return MakeChildScreen<CGuidanceView>(view, controlId);
}
