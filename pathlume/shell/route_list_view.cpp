#include "pathlume/shell/route_list_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_background.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/banner_state.h"

namespace {

constexpr UINT kStringCaption = 6155;
constexpr UINT kStringMap = 6154;
constexpr UINT kBitmapUp = 122;
constexpr UINT kBitmapDown = 123;
constexpr UINT kBitmapLetterKey = 248;
constexpr UINT kBitmapOtherStep = 201;
constexpr UINT_PTR kScrollTimer = 1;
constexpr UINT kFirstRepeatMs = 500;
constexpr UINT kRepeatMs = 50;
// Road names are cut at '/' to these lengths; the arrival's is shorter.
constexpr size_t kRoadNameChars = 50;
constexpr size_t kArrivalNameChars = 28;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kSelectedBlue = 0xFF0000;
constexpr COLORREF kSeparator = RGB(128, 128, 128);
// The view's request to show the map and stay in pan mode, and its refresh.
constexpr LPARAM kMapKeepingPan = static_cast<LPARAM>(0x80000001u);

// The scroll rectangles, unscaled: portrait and landscape.
constexpr RECT kUpPortrait{396, 90, 476, 170};
constexpr RECT kDownPortrait{396, 360, 476, 440};
constexpr RECT kUpLandscape{558, 90, 636, 170};
constexpr RECT kDownLandscape{558, 200, 636, 280};

bool Landscape() {
    return GetSystemMetrics(SM_CYSCREEN) < GetSystemMetrics(SM_CXSCREEN);
}

bool Inside(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

bool RouteExists(const CRouter* r) {
    return r && (r->state & kRouterRouteState) && r->maneuvers && r->maneuverCount > 0;
}

}  // namespace

RouteRowFields SplitRouteRow(std::string_view row) {
    RouteRowFields fields;
    const size_t first = row.find(',');
    const std::string_view code = row.substr(0, first);
    fields.code = code.empty() ? 0 : code.front();
    if (first == std::string_view::npos)
        return fields;
    // Only the first two commas split: a street named with a comma keeps its tail.
    const std::string_view rest = row.substr(first + 1);
    const size_t second = rest.find(',');
    fields.distance = rest.substr(0, second);
    if (second != std::string_view::npos)
        fields.street = rest.substr(second + 1);
    return fields;
}

UINT StepArrowBitmap(char code) {
    switch (code) {
        case '0':
            return 219;
        case '1':
            return 217;
        case '2':
            return 221;
        case '3':
        case 'C':
            return 227;
        case '4':
        case 'D':
            return 229;
        case '5':
            return 223;
        case '6':
            return 225;
        case '7':
            return 235;
        case '8':
            return 237;
        case 'A':
            return 231;
        case 'B':
            return 233;
        case 'E':
            return 240;
        default:
            return kBitmapOtherStep;
    }
}

void FormatRouteRow(const RouteRowParts& parts, char* row, size_t size) {
    if (size == 0)
        return;
    char name[kStreetTextSize];
    std::snprintf(name, sizeof name, "%s", parts.name ? parts.name : "");
    ShortenRoadName(name, parts.arrival ? kArrivalNameChars : kRoadNameChars);
    const char* action = parts.action ? parts.action : "";
    const char* request = parts.request ? parts.request : "";
    const char* distance = parts.distance ? parts.distance : "";
    const bool named = parts.arrival && request[0] && std::strcmp(request, "-") != 0;
    if (!parts.arrival || (!named && action[0]))
        std::snprintf(row, size, "%c,%s,%s %s", parts.symbol, distance, name, action);
    else if (!named)
        std::snprintf(row, size, "%c,%s,%s", parts.symbol, distance, name);
    else if (action[0])
        std::snprintf(row, size, "%c,%s,%s %s %s", parts.symbol, distance, request, name, action);
    else
        std::snprintf(row, size, "%c,%s,%s %s", parts.symbol, distance, request, name);
}

void BuildRouteRow(const CRouter& r, int32_t index, bool firstRow, char* row, size_t size) {
    if (size == 0)
        return;
    row[0] = 0;
    if (!r.maneuvers || index < 0 || index >= r.maneuverCount)
        return;
    const Maneuver& m = r.maneuvers[index];
    RouteRowParts parts;
    parts.arrival = index == r.maneuverCount - 1;
    char action[kManeuverTextSize] = {};
    parts.symbol = GetManeuverGlyphText(ShownManeuverKind(r, index), action, sizeof action,
                                        parts.arrival ? DestinationSide(r) : kSideUnknown);
    parts.action = action;
    // The first row shown counts down the live distance, once guidance has one.
    const FLOAT live = r.GetFirstManeuverDistance();
    char distance[kDistanceTextSize];
    FormatDistance(firstRow && live > 0 ? live : m.distance, distance, sizeof distance);
    parts.distance = distance;
    char name[kStreetTextSize] = {};
    if (!parts.arrival) {
        if (m.routeIndex >= 0 && m.routeIndex < r.routeCount && r.routeList)
            ResolveNodeRef(r.routeList[m.routeIndex]);
        GetManeuverRoadName(r, m, name, sizeof name);
    } else if (r.routeList && r.routeCount > 0) {
        const RouteEntry& last = r.routeList[r.routeCount - 1];
        GetLinkStreetName(g_linkInfo, last.linkId, last.attributes, kPrimaryNames, name,
                          sizeof name, false);
    }
    parts.name = name;
    char request[sizeof r.request.shortName + 1] = {};
    std::memcpy(request, r.request.shortName, sizeof r.request.shortName);
    parts.request = request;
    FormatRouteRow(parts, row, size);
}

// ---------------------------------------------------------------------------------
// The step list.

BEGIN_MESSAGE_MAP(CTurnListView, CTextListWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

CTurnListView::~CTurnListView() {
    if (m_hWnd)
        DestroyWindow();
    if (backDC_) {
        SelectObject(backDC_, backOldBitmap_);
        DeleteDC(backDC_);
    }
    if (backBitmap_)
        DeleteObject(backBitmap_);
    for (const auto& [id, bitmap] : arrows_)
        if (bitmap)
            DeleteObject(bitmap);
}

BOOL CTurnListView::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    if (!CTextListWnd::Create(style, rect, parent, id))
        return FALSE;
    SetRowHeight(ScaleY(43));
    return TRUE;
}

HBITMAP CTurnListView::Arrow(UINT id) {
    auto found = arrows_.find(id);
    if (found != arrows_.end())
        return found->second;
    HBITMAP bitmap = static_cast<HBITMAP>(LoadScaledImage(id, IMAGE_BITMAP, 0, 0, 0));
    arrows_[id] = bitmap;
    return bitmap;
}

void CTurnListView::DrawStep(HDC dc, int index, const RECT& row, bool selected) {
    HBRUSH fill = CreateSolidBrush(selected ? kSelectedBlue : kWhite);
    FillRect(dc, &row, fill);
    DeleteObject(fill);
    const auto* text = static_cast<const char*>(GetItem(index));
    if (!text || !*text)
        return;
    const RouteRowFields fields = SplitRouteRow(text);
    const int inset = ScaleX(3);
    int x = row.left + inset;
    if (HBITMAP arrow = Arrow(StepArrowBitmap(fields.code))) {
        BITMAP info{};
        GetObjectW(arrow, sizeof info, &info);
        TransparentImage(dc, x, row.top + (row.bottom - row.top - info.bmHeight) / 2, info.bmWidth,
                         info.bmHeight, arrow, 0, 0, info.bmWidth, info.bmHeight, kWhite);
        x += info.bmWidth;
    }
    x += inset;
    HPEN pen = CreatePen(PS_SOLID, 1, kSeparator);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const int distanceRight = x + ScaleX(52);
    for (int line : {x, distanceRight}) {
        MoveToEx(dc, line, row.top, nullptr);
        LineTo(dc, line, row.bottom);
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    HGDIOBJ oldFont = SelectObject(dc, listFont ? listFont : fallbackFont1.GetSafeHandle());
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, selected ? kWhite : kBlack);
    const std::string_view parts[2] = {fields.distance, fields.street};
    const RECT cells[2] = {{x + 3, row.top + 1, distanceRight - 3, row.bottom - 1},
                           {distanceRight + 3, row.top + 1, row.right - 3, row.bottom - 1}};
    for (int i = 0; i < 2; ++i) {
        WCHAR wide[kMaxItemBytes];
        const size_t length = std::min(parts[i].size(), static_cast<size_t>(kMaxItemBytes - 1));
        for (size_t c = 0; c < length; ++c)
            wide[c] = static_cast<unsigned char>(parts[i][c]);
        wide[length] = 0;
        // Measured first, then placed at half the spare height.
        RECT measure = cells[i];
        DrawTextW(dc, wide, -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        RECT place = cells[i];
        const int spare = (cells[i].bottom - cells[i].top) - (measure.bottom - measure.top);
        place.top += std::max(spare / 2, 0);
        DrawTextW(dc, wide, -1, &place, DT_WORDBREAK | DT_NOPREFIX);
    }
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void CTurnListView::OnPaint() {
    CPaintDC paint(this);
    HDC dc = paint.GetSafeHdc();
    RECT client{};
    GetClientRect(&client);
    if (!backDC_) {
        backDC_ = CreateCompatibleDC(dc);
        if (!backDC_)
            return;
        backBitmap_ = CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1),
                                             std::max<LONG>(client.bottom, 1));
        if (!backBitmap_)
            FatalErrorExit(9);
        backOldBitmap_ = SelectObject(backDC_, backBitmap_);
    }
    const int width = client.right;
    const int height = client.bottom;
    const int step = std::max(rowHeight, 1);
    int y = 1;
    int drawn = 0;
    for (int i = topIndex; i < itemCount && y + step <= height - 1; ++i, ++drawn) {
        DrawStep(backDC_, i, RECT{1, y, width - 1, y + step}, i == selection);
        y += step;
    }
    HBRUSH white = CreateSolidBrush(kWhite);
    for (; drawn < rowsPerPage && y < height - 1; ++drawn, y += step) {
        const RECT blank{1, y, width - 1, std::min(y + step, height - 1)};
        FillRect(backDC_, &blank, white);
    }
    if (y < height - 1) {
        const RECT rest{1, y, width - 1, height - 1};
        FillRect(backDC_, &rest, white);
    }
    HGDIOBJ oldPen = SelectObject(backDC_, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(backDC_, GetStockObject(NULL_BRUSH));
    Rectangle(backDC_, 0, 0, width, height);
    SelectObject(backDC_, oldBrush);
    SelectObject(backDC_, oldPen);
    BitBlt(dc, 0, 0, width, height, backDC_, 0, 0, SRCCOPY);
    const int bar = g_screenScaleY.load() > 1.0f ? 3 : 1;
    const RECT bottom{0, height - bar, width, height};
    FillRect(dc, &bottom, white);
    DeleteObject(white);
}

// ---------------------------------------------------------------------------------
// The screen.

BEGIN_MESSAGE_MAP(CRouteListView, CFullScreenChild)
ON_WM_CREATE()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_TIMER()
ON_WM_KEYDOWN()
ON_WM_KEYUP()
ON_WM_CTLCOLOR()
ON_COMMAND(kRouteListUpCommand, OnUpButton)
ON_COMMAND(kRouteListDownCommand, OnDownButton)
ON_COMMAND(kRouteListMapCommand, OnMapButton)
END_MESSAGE_MAP()

CRouteListView::CRouteListView(CMainView& view) : CFullScreenChild(view) {
    background_ = CreateSolidBrush(GetBackgroundColor());
}

CRouteListView::~CRouteListView() {
    if (m_hWnd)
        DestroyWindow();
    delete list_;
    DeleteObject(background_);
}

const RECT& CRouteListView::ScrollUpRect() {
    static const RECT up = Landscape() ? kUpLandscape : kUpPortrait;
    return up;
}

RECT CRouteListView::ScrollDownRect(bool fullScreen) {
    static const RECT down = Landscape() ? kDownLandscape : kDownPortrait;
    RECT shown = down;
    if (fullScreen)
        OffsetRect(&shown, 0, 40);
    return shown;
}

BOOL CRouteListView::Create(UINT controlId) {
    return CreateScreen(kStringCaption, controlId);
}

int CRouteListView::OnCreate(LPCREATESTRUCT cs) {
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    CreateScaledFont(&boldFont_, 14, FW_BOLD, nullptr);
    const SIZE button = ButtonSize();
    const int top = cs->cy - button.cy;
    const int closeX = cs->cx - ScaleX(4) - button.cx;
    WCHAR map[16] = {};
    LoadResString(kStringMap, map, 16, FALSE);
    if (!MakeButton(downButton_, kRouteListDownCommand, kBitmapDown, nullptr, ScaleX(4), top,
                    &boldFont_) ||
        !MakeButton(upButton_, kRouteListUpCommand, kBitmapUp, nullptr, ScaleX(8) + button.cx, top,
                    &boldFont_) ||
        !MakeButton(mapButton_, kRouteListMapCommand, kBitmapLetterKey, map,
                    closeX - ScaleX(4) - button.cx, top, &boldFont_) ||
        !MakeButton(closeButton_, kScreenCloseCommand, kBitmapScreenClose, nullptr, closeX, top,
                    &boldFont_))
        return -1;
    RECT rect{};
    const int left = ScaleX(4);
    const int width = RoundHalfAway(236 * g_screenScaleX.load());
    if (!view_.fullScreen) {
        const int listTop = ScaleY(20);
        rect = {left, listTop, left + width, listTop + ScaleY(238)};
    } else {
        const int listTop = ScaleY(24);
        rect = {left, listTop, left + width, std::max(listTop + 1, top - ScaleY(4))};
    }
    list_ = new CTurnListView;
    list_->listFont = static_cast<HFONT>(boldFont_.GetSafeHandle());
    if (!list_->Create(WS_VSCROLL, rect, this, kRouteListControlId))
        return -1;
    FillRows();
    list_->SetSelection(0, TRUE, FALSE);
    return 0;
}

BOOL CRouteListView::OnEraseBkgnd(CDC*) {
    return TRUE;
}

void CRouteListView::OnPaint() {
    CPaintDC paint(this);
    if (g_windowActive.load()) {
        if (CWnd* frame = view_.GetParent())
            ::SetForegroundWindow(frame->m_hWnd);
    }
    HDC dc = paint.GetSafeHdc();
    RECT client{};
    GetClientRect(&client);
    FillRect(dc, &client, background_);
    WCHAR caption[80] = {};
    GetWindowText(caption, 80);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, kBlack);
    HGDIOBJ oldFont = DrawFittedLine(caption, dc, 0, 0, client.right, ScaleY(20), TRUE, FALSE);
    SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

HBRUSH CRouteListView::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
    if (wnd && wnd->GetSafeHwnd() == list_->GetSafeHwnd())
        return CWnd::OnCtlColor(dc, wnd, kind);
    return background_;
}

void CRouteListView::ClearRows() {
    while (list_->GetCount() > 0)
        list_->DeleteItem(list_->GetCount() - 1);
}

void CRouteListView::FillRows() {
    const CRouter* r = g_router;
    dropped_ = 0;
    if (!RouteExists(r))
        return;
    const int32_t current = std::max(r->currentManeuver, 0);
    dropped_ = current;
    char row[kRouteRowSize];
    for (int32_t i = current; i < r->maneuverCount; ++i) {
        BuildRouteRow(*r, i, i == current, row, sizeof row);
        list_->AddItem(row, 0);
    }
}

void CRouteListView::UpdateCurrentRow() {
    const CRouter* r = g_router;
    if (busy_ || !list_ || !RouteExists(r))
        return;
    const int32_t current = std::clamp(r->currentManeuver, 0, r->maneuverCount - 1);
    // Never more rows than the list holds.
    for (int32_t missing = current - dropped_; missing > 0 && list_->GetCount() > 0; --missing)
        list_->DeleteItem(0);
    if (current > dropped_)
        dropped_ = current;
    if (list_->GetCount() == 0)
        return;
    char row[kRouteRowSize];
    BuildRouteRow(*r, dropped_, true, row, sizeof row);
    list_->SetItemText(0, row, TRUE);
}

void CRouteListView::Refresh() {
    if (busy_ || !list_)
        return;
    ClearRows();
    FillRows();
    list_->SetSelection(0, TRUE, FALSE);
    Invalidate(FALSE);
    UpdateWindow();
}

BOOL CRouteListView::IsRouteListActive() {
    Refresh();
    return TRUE;
}

void CRouteListView::OnMapButton() {
    if (CWnd* frame = view_.GetParent())
        ::SetForegroundWindow(frame->m_hWnd);
    const CRouter* r = g_router;
    if (!RouteExists(r) || !list_)
        return;
    const int selected = list_->selection;
    if (selected < 0 || selected >= list_->GetCount())
        return;
    const int32_t index = dropped_ + selected;
    MapPoint place{};
    if (index >= r->maneuverCount - 1) {
        place = r->destPoint;
    } else {
        const Maneuver& m = r->maneuvers[index];
        if (m.routeIndex < 0 || m.routeIndex >= r->routeCount || !r->routeList)
            return;
        const MapNode* node = ResolveNodeRef(r->routeList[m.routeIndex]);
        if (!node)
            return;
        place = node->position;
    }
    view_.SetPanMode(TRUE);
    view_.SetPanCentre(place.latitude, place.longitude);
    busy_ = true;
    view_.PostMessage(WM_USER, kViewSwitchScreen, kMapKeepingPan);
    view_.PostMessage(WM_USER, kViewRefresh, 0);
}

void CRouteListView::Step() {
    if (direction_ < 0)
        list_->SelectPrev();
    else if (direction_ > 0)
        list_->SelectNext();
}

void CRouteListView::OnLButtonDown(UINT, CPoint point) {
    const POINT p{point.x, point.y};
    if (Inside(ScrollUpRect(), p))
        direction_ = -1;
    else if (Inside(ScrollDownRect(view_.fullScreen != FALSE), p))
        direction_ = 1;
    else
        return;
    // The repeat runs only while a rectangle is held: a press elsewhere starts no
    // timer that nothing would stop.
    interval_ = kFirstRepeatMs;
    SetTimer(kScrollTimer, interval_);
    Step();
}

void CRouteListView::OnTimer(UINT_PTR id) {
    if (id != kScrollTimer)
        return;
    Step();
    if (interval_ == kFirstRepeatMs) {
        interval_ = kRepeatMs;
        SetTimer(kScrollTimer, interval_);
    }
}

void CRouteListView::OnLButtonUp(UINT, CPoint) {
    if (direction_ == 0)
        return;
    direction_ = 0;
    KillTimer(kScrollTimer);
    interval_ = kFirstRepeatMs;
}

void CRouteListView::OnUpButton() {
    list_->SelectPrev();
}

void CRouteListView::OnDownButton() {
    list_->SelectNext();
}

void CRouteListView::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    switch (key) {
        case VK_UP:
            list_->SelectPrev();
            return;
        case VK_DOWN:
            list_->SelectNext();
            return;
        default:
            CFullScreenChild::OnKeyDown(key, repeat, flags);
            return;
    }
}

CChildScreen* MakeRouteListScreen(CMainView& view, UINT controlId) {
    return MakeChildScreen<CRouteListView>(view, controlId);
}
