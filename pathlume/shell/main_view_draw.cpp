// The map screen's drawing pass: the map, the frame bitmaps, the next-maneuver
// banner, the status box, the current street, the heading indicator, the on-map
// buttons, the centred notices and the panning legend; the redraw scheduling, the
// refresh and the full-screen layout.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pathlume/foundation/clock_text.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/banner_state.h"
#include "pathlume/shell/main_view.h"
#include "platform/shell/shell.h"

namespace {

// Strings of the map screen.
constexpr UINT kStringRec = 6018;
constexpr UINT kStringPlay = 6019;
constexpr UINT kStringPanLegend = 6020;
constexpr UINT kStringEta = 6023;
constexpr UINT kStringNotAvailable = 6024;
constexpr UINT kStringRemaining = 6025;
constexpr UINT kStringDest = 6026;
constexpr UINT kStringSpeed = 6027;
constexpr UINT kStringOffRoad = 6192;
constexpr UINT kStringRecalculating = 6094;
constexpr UINT kStringCalculating = 6095;
constexpr UINT kStringPedestrianZone = 6302;
constexpr UINT kStringOutsideMap = 6173;

constexpr UINT kIconNone = 63;
constexpr UINT kIconStartDriving = 220;
constexpr uint32_t kGpsFixValidFlag = kGpsFixValid;
// Every text buffer of the pass has room for this many characters.
constexpr size_t kTextChars = 64;
constexpr size_t kBannerMaxChars = 28;
constexpr COLORREF kStatusGreen = RGB(0x60, 0xFF, 0x60);
constexpr COLORREF kShadow = RGB(0x10, 0x10, 0x10);
constexpr COLORREF kRed = RGB(0xFF, 0, 0);
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kBlack = 0;

int S(int n) {
    return ScaleY(n);
}
int X(int n) {
    return ScaleX(n);
}

void LoadText(UINT id, WCHAR* buffer, size_t chars) {
    if (!LoadResString(id, buffer, static_cast<int>(chars), FALSE))
        buffer[0] = 0;
}

// Single-byte text into a wide buffer, cut to fit.
void Widen(const char* text, WCHAR* buffer, size_t chars) {
    size_t i = 0;
    for (; text && text[i] && i + 1 < chars; ++i)
        buffer[i] = static_cast<unsigned char>(text[i]);
    buffer[i] = 0;
}

bool RouteExists() {
    return g_router && (g_router->state & kRouterRouteState);
}

void DrawBitmapKeyed(HDC dc, HBITMAP bitmap, int x, int y) {
    if (!bitmap)
        return;
    BITMAP info{};
    if (GetObjectW(bitmap, sizeof info, &info) == 0)
        return;
    TransparentImage(dc, x, y, info.bmWidth, info.bmHeight, bitmap, 0, 0, info.bmWidth,
                     info.bmHeight, kWhite);
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || GetObjectW(bitmap, sizeof info, &info) == 0)
        return {0, 0};
    return {info.bmWidth, info.bmHeight};
}

void DrawRedCross(HDC dc, const RECT& r) {
    HPEN pen = CreatePen(PS_SOLID, S(2), kRed);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, r.left + 5, r.top + 5, nullptr);
    LineTo(dc, r.right - 5, r.bottom - 5);
    MoveToEx(dc, r.right - 5, r.top + 5, nullptr);
    LineTo(dc, r.left + 5, r.bottom - 5);
    SelectObject(dc, old);
    DeleteObject(pen);
}

// The text twice: a dark shadow offset by (X·2, S·2), then white.
void DrawShadowedLine(HDC dc, const WCHAR* text, int x, int y, int width, int height) {
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, kShadow);
    HGDIOBJ oldFont = DrawFittedLine(text, dc, x + X(2), y + S(2), width, height, FALSE, FALSE);
    SelectObject(dc, oldFont);
    SetTextColor(dc, kWhite);
    oldFont = DrawFittedLine(text, dc, x, y, width, height, FALSE, FALSE);
    SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

}  // namespace

// ---------------------------------------------------------------------------------
// The status box.

void CMainView::GetStatusTexts(WCHAR* label, size_t labelChars, WCHAR* value, size_t valueChars) {
    label[0] = 0;
    value[0] = 0;
    const int mode = RouteExists() ? statBoxMode : kStatBoxSpeed;
    if (mode < 0 || mode > kStatBoxRemaining)
        return;
    const float hours = g_router ? g_router->timeToGo : 0.0f;
    char text[kTextChars] = {};
    bool set = false;
    switch (mode) {
        case kStatBoxEta: {
            LoadText(kStringEta, label, labelChars);
            SYSTEMTIME local{};
            GetLocalTime(&local);
            set = FormatEtaValue(hours, local.wHour, local.wMinute, text, sizeof text);
            break;
        }
        case kStatBoxDest:
            LoadText(kStringDest, label, labelChars);
            if (IsShowableHours(hours) && g_router) {
                // At most 20 characters of the distance text.
                FormatDistance(g_router->remainingLength, text, sizeof text);
                text[20] = 0;
                set = true;
            }
            break;
        case kStatBoxSpeed: {
            const bool metric = (g_options.load() & kOptionMetric) != 0;
            CNmeaReceiver* receiver = g_gpsReceiver.load();
            const float speed = receiver ? receiver->GetSpeed(metric) : 0.0f;
            const bool bare = g_voiceLanguage.load() == 4;
            if (bare)
                Widen(metric ? "KM/H" : "MPH", label, labelChars);
            else
                LoadText(kStringSpeed, label, labelChars);
            FormatSpeedValue(speed, metric, bare, text, sizeof text);
            set = true;
            break;
        }
        default:
            LoadText(kStringRemaining, label, labelChars);
            set = FormatRemainingValue(hours, text, sizeof text);
            break;
    }
    if (set)
        Widen(text, value, valueChars);
    else
        LoadText(kStringNotAvailable, value, valueChars);
}

RECT CMainView::StatusTextRect(const RECT& client) const {
    RECT box;
    box.left = client.right - statBoxWidth + X(14);
    box.right = client.right - X(2);
    box.top = client.bottom - S(20) - 2 * S(15) - S(1);
    box.bottom = client.bottom - S(20) - S(2);
    return box;
}

void CMainView::DrawSpeedEta(HDC dc, const RECT& rect) {
    const SIZE frame = BitmapSize(g_statusBoxBitmap);
    DrawBitmapKeyed(dc, g_statusBoxBitmap, rect.right - frame.cx, rect.bottom - frame.cy - S(20));
    lastStatBoxDraw = GetTickCount();
    WCHAR label[kTextChars], value[kTextChars];
    GetStatusTexts(label, kTextChars, value, kTextChars);
    if (!label[0] && !value[0])
        return;
    RECT box = StatusTextRect(rect);
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    FillRect(dc, &box, black);
    HPEN pen = CreatePen(PS_SOLID, S(1), kStatusGreen);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const int middle = (box.top + box.bottom) / 2;
    MoveToEx(dc, box.left, middle, nullptr);
    LineTo(dc, box.right, middle);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, kStatusGreen);
    HGDIOBJ oldFont = SelectObject(dc, static_cast<HFONT>(g_fontBold12));
    DrawTextW(dc, label, -1, &box, DT_CENTER | DT_TOP | DT_NOPREFIX);
    box.left -= 5;
    box.right += 2;
    box.top += S(15);
    FillRect(dc, &box, black);
    DrawTextW(dc, value, -1, &box, DT_CENTER | DT_TOP | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

// ---------------------------------------------------------------------------------
// The banner and the street line.

bool CMainView::GetBannerText(WCHAR* text, size_t chars, UINT* iconId, bool* placedOut) {
    text[0] = 0;
    *iconId = kIconNone;
    *placedOut = false;
    const BannerState b = GetBannerState(g_router);
    if (!b.show)
        return false;
    CRouter& r = *g_router;
    char line[kManeuverTextSize] = {};
    *placedOut = b.placed;
    const Maneuver& next = r.maneuvers[b.maneuver];
    if (r.offRouteCount != 0) {
        std::snprintf(line, sizeof line, "OFF ROUTE...");
        Widen(line, text, chars);
        return true;
    }
    if (!b.nameVariant) {
        if (!b.placed && b.promptOn) {
            if (b.current)
                std::snprintf(line, sizeof line, "%s",
                              b.fixValid ? "PLEASE START DRIVING" : "WAITING FOR GPS SIGNAL...");
            else
                GetLinkStreetName(g_linkInfo, b.routeLink->linkId, b.routeLink->attributes,
                                  kPrimaryNames, line, sizeof line, false);
        } else if (b.phase == 0 || b.atNext) {
            FormatManeuverRoadName(r, line, next, false, sizeof line);
        }
    } else if (b.current) {
        GetLinkStreetName(g_linkInfo, b.current->linkId, b.current->attributes, kPrimaryNames, line,
                          sizeof line, false);
    } else if (!b.offRoadIndication) {
        std::snprintf(line, sizeof line, "PROCEED TO THE NEAREST ROAD");
    } else {
        WCHAR off[kTextChars];
        LoadText(kStringOffRoad, off, kTextChars);
        for (size_t i = 0; i < sizeof line - 1 && off[i]; ++i)
            line[i] = static_cast<char>(off[i]), line[i + 1] = 0;
    }
    line[sizeof line - 1] = 0;
    ShortenRoadName(line, kBannerMaxChars);
    Widen(line, text, chars);
    // Before the vehicle is placed the banner tells the driver to start driving or
    // waits for the fix: no maneuver's arrow goes with that.
    if (!b.placed && !b.nameVariant)
        *iconId = b.fixValid ? kIconStartDriving : kIconNone;
    else
        *iconId = static_cast<UINT>(ManeuverIconId(b.nameVariant ? 4 : next.kind));
    return true;
}

void CMainView::DrawGpsStatusText(HDC dc, const RECT& rect) {
    WCHAR text[kManeuverTextSize];
    UINT icon = kIconNone;
    bool placed = false;
    if (!GetBannerText(text, kManeuverTextSize, &icon, &placed))
        return;
    // Right of the maneuver icon.
    const int left = X(50);
    DrawShadowedLine(dc, text, left, 0, rect.right - left - X(4), S(20));
    g_bannerIconId.store(icon);
    if (icon != kIconNone) {
        HBITMAP bitmap = static_cast<HBITMAP>(LoadScaledImage(icon, IMAGE_BITMAP, 0, 0, 0));
        DrawBitmapKeyed(dc, bitmap, rect.left, rect.top);
        if (bitmap)
            DeleteObject(bitmap);
    }
    if (placed && g_router && g_router->offRouteCount == 0) {
        RECT box = rect;
        box.right = box.left + X(243);
        DrawTurnDistance(dc, box, false);
    }
}

void CMainView::DrawTurnDistance(HDC dc, const RECT& rect, bool guidanceScreenTarget) {
    if (!g_router)
        return;
    CRouter& r = *g_router;
    MapLink* lastLink = g_vehicleLocation.GetLink(false);
    if (!(r.guidanceWord == 0 || (lastLink && lastLink == r.guidanceLinks[1])))
        return;
    const float distance = r.GetFirstManeuverDistance();
    if (!(distance != 0.0f) || !std::isfinite(distance))
        return;
    char narrow[kDistanceTextSize];
    FormatDistance(distance, narrow, sizeof narrow);
    narrow[std::min<size_t>(25, sizeof narrow - 1)] = 0;
    WCHAR text[32];
    Widen(narrow, text, 32);
    HGDIOBJ oldFont = SelectObject(dc, static_cast<HFONT>(g_fontBold12));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &extent);
    RECT box;
    box.right = rect.right - X(4);
    box.left = box.right - extent.cx - X(6);
    box.top = rect.top + S(22);
    box.bottom = box.top + extent.cy + S(2);
    HPEN pen = CreatePen(PS_SOLID, X(1), guidanceScreenTarget ? kBlack : kWhite);
    HBRUSH fill = CreateSolidBrush(guidanceScreenTarget ? kWhite : RGB(0x21, 0x5E, 0x9B));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(fill);
    DeleteObject(pen);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour =
        SetTextColor(dc, guidanceScreenTarget ? RGB(0x20, 0x20, 0x20) : kWhite);
    DrawTextW(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void CMainView::DrawStreetName(HDC dc, const RECT& rect) {
    float longitude = 0, latitude = 0;
    if (panMode.load()) {
        latitude = panCentreLat.load();
        longitude = panCentreLon.load();
    } else {
        longitude = g_vehicleLocation.position.longitude;
        latitude = g_vehicleLocation.position.latitude;
    }
    MapLink* link = g_vehicleLocation.GetLink(false);
    WCHAR text[kTextChars];
    if (!mapView.IsInsideMapBounds(longitude, latitude) || !link) {
        LoadText(kStringOffRoad, text, kTextChars);
    } else {
        char name[kStreetWordSize * 2] = {};
        GetLinkStreetName(g_linkInfo, link->linkId, link->attributes, kPrimaryNames, name,
                          sizeof name, false);
        ShortenRoadName(name, kBannerMaxChars);
        Widen(name, text, kTextChars);
    }
    // It ends before the POI button, which stands on the same row.
    const int right = std::min(rect.right - statBoxWidth - X(4), X(137));
    DrawShadowedLine(dc, text, rect.left + X(4), rect.bottom - S(20) - S(20),
                     right - rect.left - X(4), S(20));
}

// ---------------------------------------------------------------------------------
// The heading indicator and the buttons.

void CMainView::DrawHeadingArrow(HDC dc, int x, int y, float headingRadians) {
    const float s = g_screenScaleY.load();
    const int w = ScaleSize(11, s), h = ScaleSize(31, s), d = ScaleSize(6, s);
    const int cx = x + w / 2, cy = y + h / 2;
    POINT points[4] = {{x, y + h - 1}, {cx, y}, {x + w - 1, y + h - 1}, {cx, y + h - d}};
    if (headingRadians != 0.0f) {
        const double a = -headingRadians;
        const double c = std::cos(a), sn = std::sin(a);
        for (POINT& p : points) {
            const double dx = p.x - cx, dy = p.y - cy;
            p.x = cx + RoundHalfAway(static_cast<float>(dx * c - dy * sn));
            p.y = cy + RoundHalfAway(static_cast<float>(dy * c + dx * sn));
        }
    }
    DrawFilledPolygon(dc, points, 4, kBlack, 0x0000FF);
}

void CMainView::DrawHeadingBox(HDC dc, const RECT& rect, float degrees) {
    const int mid = (rect.left + rect.right) / 2;
    const POINT tip[3] = {{mid, rect.top - 10}, {mid - 4, rect.top}, {mid + 4, rect.top}};
    DrawFilledPolygon(dc, tip, 3, kBlack, 0x0000FF);
    RECT box = rect;
    box.right += ScaleX(1);
    const POINT corners[4] = {{box.left, box.top},
                              {box.right - 1, box.top},
                              {box.right - 1, box.bottom - 1},
                              {box.left, box.bottom - 1}};
    DrawFilledPolygon(dc, corners, 4, kBlack, kWhite);
    WCHAR text[8];
    LoadText(CompassStringId(degrees), text, 8);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, kBlack);
    HGDIOBJ oldFont = SelectObject(dc, static_cast<HFONT>(g_fontBold14));
    DrawTextW(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

void CMainView::DrawHeadingIndicator(const RECT& rect, HDC dc) {
    const float degrees = mapView.GetMapHeading();
    const float heading = std::isfinite(degrees) && degrees < 1000.0f ? degrees : 0.0f;
    if (!(g_options.load() & kOptionHeadingArrow)) {
        const RECT box = {rect.right - S(26) - S(10), S(50) + S(10), rect.right - S(10),
                          S(50) + S(27)};
        DrawHeadingBox(dc, box, heading);
    } else {
        DrawHeadingArrow(dc, rect.right - S(26), S(50), heading * 0.0174533f);
    }
}

void CMainView::LayoutMapButtons(const RECT& rect, HDC dc) {
    const int top = fullScreen ? S(250) : S(200);
    menuButtonRect = {0, top, X(55), top + S(50)};
    panExitRect.right = rect.right - X(2);
    panExitRect.left = rect.right - X(25);
    panExitRect.bottom = rect.bottom - X(20);
    panExitRect.top = panExitRect.bottom - S(23);
    if (panMode.load())
        DrawBitmapKeyed(dc, g_panExitBitmap, panExitRect.left, panExitRect.top);
}

void CMainView::DrawSpeakerIcon(const RECT& rect, HDC dc, BOOL faded) {
    speakerRect = {X(60), rect.bottom - S(43), X(60) + X(23), rect.bottom - S(43) + S(23)};
    if (g_speakerImage.bitmap) {
        g_speakerImage.SetAlpha(faded ? 160 : 255);
        g_speakerImage.Draw(dc, speakerRect.left, speakerRect.top, 0, 0, 0, 0);
    }
    if (g_options.load() & kOptionVoiceMuted)
        DrawRedCross(dc, speakerRect);
}

void CMainView::DrawPoiButton(const RECT& rect, HDC dc) {
    poiButtonRect = {X(141), rect.bottom - S(43), X(141) + X(23), rect.bottom - S(43) + S(23)};
    DrawBitmapKeyed(dc, g_poiButtonBitmap, poiButtonRect.left, poiButtonRect.top);
    if (g_poiIconMode.load() == 1)
        DrawRedCross(dc, poiButtonRect);
}

void CMainView::DrawFrameBitmaps(const RECT& rect, BOOL withBanner, HDC dc) {
    if (withBanner)
        DrawBitmapKeyed(dc, g_bannerBitmap, 0, 0);
    DrawBitmapKeyed(dc, g_bottomBarBitmap, 0, rect.bottom - S(69));
}

RECT CMainView::ScaleBarRect(const RECT& client) const {
    RECT rect = client;
    // The current street's name runs along the bottom, under where the bar would be.
    if (!panMode.load())
        rect.bottom -= S(40);
    return rect;
}

void CMainView::GetMapCovers(std::vector<RECT>* covers) {
    RECT client = clientRect;
    if (client.right <= 0 && m_hWnd)
        ::GetClientRect(m_hWnd, &client);
    const int w = client.right, b = client.bottom;
    const bool panning = panMode.load() != 0;
    // The bottom bar: its strip, and the tab behind the status box and the buttons.
    covers->push_back({0, b - S(20), w, b});
    covers->push_back({X(130), b - S(48), w, b});
    covers->push_back({w - statBoxWidth, b - statBoxBottom - statBoxHeight, w, b});
    // The guidance screen draws the same bottom bar; the rest over its map is its own.
    if (screenMode.load() & kScreenGuidance) {
        if (guidanceScreen)
            guidanceScreen->GetMapCovers(covers);
        return;
    }
    covers->push_back({X(139), b - S(45), X(166), b - S(18)});  // the POI button
    // The heading indicator (box or arrow).
    covers->push_back({w - S(40), S(45), w - S(4), S(85)});
    covers->push_back(mapView.ScaleBarCover(ScaleBarRect(client)));
    if (panning) {
        covers->push_back({0, b - S(18), w, b});
        covers->push_back(panExitRect);
        return;
    }
    covers->push_back({X(58), b - S(65), X(85), b - S(38)});  // the speaker
    covers->push_back({0, b - S(42), X(141), b - S(18)});     // the street's name
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (receiver && (receiver->GetFlags() & (kGpsReplayActive | kGpsLogging)))
        covers->push_back({w - S(60), S(86), w, S(108)});  // "PLAY" or "REC"
    if (RouteExists()) {
        // The banner with the next turn's arrow, text and distance box.
        covers->push_back({0, 0, w, S(22)});
        covers->push_back({0, 0, X(50), S(50)});
        covers->push_back({w - X(80), S(20), w, S(40)});
    }
}

// ---------------------------------------------------------------------------------
// The pass.

void CMainView::DrawOverlays(HDC dc) {
    if (g_mapsLoading.load() != 0 || !dc)
        return;
    g_homeKeyPressed.store(0);
    HDC back = mapView.GetBackBufferDC();
    if (!back)
        return;
    SetBkMode(back, OPAQUE);
    RECT client = clientRect;
    if (client.right <= 0)
        ::GetClientRect(m_hWnd, &client);
    const bool panning = panMode.load() != 0;
    float longitude = 0, latitude = 0, heading = 0;
    mapView.UpdateCentreAndHeading(&longitude, &latitude, &heading, panning, 1);
    if (forceRedraw) {
        mapView.Force();
        forceRedraw = FALSE;
    }
    mapView.UpdateView(longitude, latitude, heading, back, 0);
    if (panning) {
        mapView.DrawVehicle(nullptr, nullptr);
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, back, 0, 0, SRCCOPY);
    DrawFrameBitmaps(client, RouteExists() && !panning, back);
    if (!(screenMode.load() & kScreenGuidance)) {
        if (g_router && (g_router->state & kRouterTimer6Running))
            DrawCenteredMessage(2, back);
        if (!panning) {
            CNmeaReceiver* receiver = g_gpsReceiver.load();
            const DWORD flags = receiver ? receiver->GetFlags() : 0;
            if (flags & (kGpsReplayActive | kGpsLogging)) {
                WCHAR tag[16];
                LoadText((flags & kGpsLogging) ? kStringRec : kStringPlay, tag, 16);
                HGDIOBJ oldFont = SelectObject(back, static_cast<HFONT>(g_fontBold14));
                SIZE extent{};
                GetTextExtentPoint32W(back, tag, static_cast<int>(wcslen(tag)), &extent);
                const int oldMode = SetBkMode(back, TRANSPARENT);
                const COLORREF oldColour = SetTextColor(back, kRed);
                ExtTextOutW(back, client.right - S(5) - extent.cx, S(90), 0, nullptr, tag,
                            static_cast<UINT>(wcslen(tag)), nullptr);
                SetTextColor(back, oldColour);
                SetBkMode(back, oldMode);
                SelectObject(back, oldFont);
            }
            DrawGpsStatusText(back, client);
            DrawSpeedEta(back, client);
            DrawStreetName(back, client);
            RECT speaker = client;
            speaker.bottom -= S(20);
            DrawSpeakerIcon(speaker, back, TRUE);
        } else {
            RECT strip = {0, client.bottom - S(18), client.right, client.bottom};
            HBRUSH red = CreateSolidBrush(kRed);
            FillRect(back, &strip, red);
            DeleteObject(red);
            WCHAR legend[kTextChars];
            LoadText(kStringPanLegend, legend, kTextChars);
            const int oldMode = SetBkMode(back, TRANSPARENT);
            const COLORREF oldColour = SetTextColor(back, kWhite);
            HGDIOBJ oldFont = SelectObject(back, static_cast<HFONT>(g_fontBold12));
            ExtTextOutW(back, S(2), strip.top + S(2), 0, nullptr, legend,
                        static_cast<UINT>(wcslen(legend)), nullptr);
            SelectObject(back, oldFont);
            SetTextColor(back, oldColour);
            SetBkMode(back, oldMode);
            const int b = client.bottom;
            HPEN pen = CreatePen(PS_SOLID, S(2), kWhite);
            HGDIOBJ oldPen = SelectObject(back, pen);
            const POINT arrow[3] = {{S(210), b - S(8)}, {S(227), b - S(8)}, {S(227), b - S(18)}};
            Polyline(back, arrow, 3);
            const POINT head[3] = {{S(222), b - S(13)}, {S(227), b - S(18)}, {S(232), b - S(13)}};
            Polyline(back, head, 3);
            SelectObject(back, oldPen);
            DeleteObject(pen);
        }
        mapView.DrawScaleBar(ScaleBarRect(client), back);
        DrawHeadingIndicator(client, back);
        LayoutMapButtons(client, back);
        DrawPoiButton(client, back);
    }
    if (!panning)
        mapView.DrawVehicle(nullptr, back);
    storedFixColor = GetFixColor(FALSE);
    BitBlt(dc, 0, 0, client.right, client.bottom, back, 0, 0, SRCCOPY);
}

void CMainView::DrawCenteredMessage(int kind, HDC dc) {
    UINT id = kStringCalculating;
    if (kind == 1)
        id = kStringRecalculating;
    else if (kind == 2)
        id = kStringPedestrianZone;
    else if (kind == 3)
        id = kStringOutsideMap;
    WCHAR text[200];
    LoadText(id, text, 200);
    HWND target =
        (screenMode.load() & kScreenGuidance) && guidanceScreen ? guidanceScreen->m_hWnd : m_hWnd;
    if (!target)
        return;
    HDC drawDC = dc ? dc : ::GetDC(target);
    if (!drawDC)
        return;
    RECT client{};
    ::GetClientRect(target, &client);
    CFont font;
    CreateScaledFont(&font, 12, FW_BOLD, nullptr);
    HGDIOBJ oldFont = SelectObject(drawDC, static_cast<HFONT>(font));
    RECT measure = {0, 0, client.right - 8, 0};
    DrawTextW(drawDC, text, -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
    const int width = measure.right - measure.left;
    const int height = measure.bottom - measure.top;
    RECT box;
    box.left = (client.right - width) / 2;
    box.right = box.left + width;
    box.top = static_cast<int>(0.75 * (client.bottom / 2.0) + height / 2.0);
    box.bottom = box.top + height;
    InflateRect(&box, 4, 4);
    FillRect(drawDC, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const int oldMode = SetBkMode(drawDC, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(drawDC, RGB(0xC0, 0, 0));
    RECT textBox = box;
    textBox.top += S(2);
    DrawTextW(drawDC, text, -1, &textBox, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    SetTextColor(drawDC, oldColour);
    SetBkMode(drawDC, oldMode);
    SelectObject(drawDC, oldFont);
    if (!dc)
        ::ReleaseDC(target, drawDC);
}

// ---------------------------------------------------------------------------------
// The status box's taps, redraws, refresh and layout.

int CMainView::CycleStatBoxMode(HWND window, int x, int y, int cycle) {
    RECT client = clientRect;
    if (client.right <= 0 && m_hWnd)
        ::GetClientRect(m_hWnd, &client);
    const RECT box = {client.right - statBoxWidth, client.bottom - statBoxBottom - statBoxHeight,
                      client.right, client.bottom - statBoxBottom};
    const bool inside = (x == -1 && y == -1) || PtInRect(&box, POINT{x, y});
    if (!inside)
        return 1;
    if (cycle && RouteExists()) {
        statBoxMode = statBoxMode >= kStatBoxRemaining || statBoxMode < 0 ? 0 : statBoxMode + 1;
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"StatBoxMode",
                    static_cast<DWORD>(statBoxMode));
        if (window) {
            HDC dc = ::GetDC(window);
            DrawSpeedEta(dc, client);
            ::ReleaseDC(window, dc);
        }
        lastStatBoxCycle = GetTickCount();
    }
    return 0;
}

void CMainView::RedrawStatusBox() {
    const DWORD mode = screenMode.load();
    HWND target = nullptr;
    if (mode == kScreenGuidance && guidanceScreen)
        target = guidanceScreen->m_hWnd;
    else if (mode == kScreenMap && !panMode.load())
        target = m_hWnd;
    if (!target || modalCount.load() > 0)
        return;
    RECT client{};
    ::GetClientRect(target, &client);
    HDC dc = ::GetDC(target);
    DrawSpeedEta(dc, client);
    ::ReleaseDC(target, dc);
}

BOOL CMainView::ScheduleRedraw() {
    if (forceRedraw) {
        forceRedraw = FALSE;
        return FALSE;
    }
    MSG message;
    if (PeekMessageW(&message, nullptr, WM_KEYDOWN, WM_MOUSELAST, PM_NOREMOVE) &&
        (message.message == WM_KEYDOWN ||
         (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST))) {
        SetTimer(kTimerRedraw, 250, nullptr);
        redrawPending = TRUE;
        return TRUE;
    }
    return FALSE;
}

void CMainView::Refresh() {
    CWnd* frame = GetParent();
    if (!g_windowActive.load() && !(frame && ::GetForegroundWindow() == frame->m_hWnd))
        return;
    const DWORD mode = screenMode.load();
    if ((mode & kScreenGuidance) && guidanceScreen && ::IsWindow(guidanceScreen->m_hWnd)) {
        ::InvalidateRect(guidanceScreen->m_hWnd, nullptr, FALSE);
        ::UpdateWindow(guidanceScreen->m_hWnd);
    } else if ((mode & kScreenMap) && m_hWnd && ::IsWindow(m_hWnd)) {
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
        ::UpdateWindow(m_hWnd);
    }
}

void CMainView::EndModalScreen(BOOL refresh) {
    int count = modalCount.load();
    while (count > 0 && !modalCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count - 1 <= 0 && refresh)
        Refresh();
}

void CMainView::LayoutWindow(int full) {
    if ((g_options.load() & 0x40) || (full != 0) == (fullScreen != 0))
        return;
    fullScreen = full ? TRUE : FALSE;
    fastTickCount = 0;
    CWnd* frame = GetParent();
    if (!frame)
        return;
    RECT target;
    if (!full) {
        if (CWnd* bar = frame->GetDlgItem(AFX_IDW_COMMAND_BAR))
            bar->ShowWindow(SW_SHOW);
        SHFullScreen(frame->m_hWnd, SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON);
        target = savedWindowRect;
    } else {
        if (CWnd* bar = frame->GetDlgItem(AFX_IDW_COMMAND_BAR))
            bar->ShowWindow(SW_HIDE);
        frame->GetWindowRect(&savedWindowRect);
        SHFullScreen(frame->m_hWnd, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON);
        target = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    if (g_map3DMode.load() == 0) {
        g_screenWidth.store(target.right - target.left);
        g_screenHeight.store(target.bottom - target.top);
    }
    frame->MoveWindow(target.left, target.top, target.right - target.left,
                      target.bottom - target.top, TRUE);
    if (guidanceScreen) {
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        guidanceScreen->MoveWindow(0, 0, client.right, client.bottom, TRUE);
    } else if (routeListScreen || almanacScreen) {
        const DWORD mode = routeListScreen ? kScreenRouteList : kScreenAlmanac;
        TearDownScreen(mode);
        if (ScreenMaker maker = GetScreenMaker(mode)) {
            CChildScreen* screen =
                maker(*this, mode == kScreenRouteList ? kRouteListScreenId : kAlmanacScreenId);
            (mode == kScreenRouteList ? routeListScreen : almanacScreen) = screen;
            screenMode.store(mode);
        }
    }
    Refresh();
}
