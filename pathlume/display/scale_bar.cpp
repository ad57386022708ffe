// Zoom steps, the scale bar under the map and the two zoom buttons beside it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"

namespace {

constexpr double kEarthRadiusMetres = 6370973.27862;
constexpr double kEarthRadiusFeet = 20902143.302568;

}  // namespace

int CMapView::SetZoom(int index) {
    const int count =
        g_map3DMode.load() != 0 ? g_mapTheme.zoomLevelCount2 : g_mapTheme.zoomLevelCount;
    if (index == zoomIndex_ || index < 0 || index > count - 1)
        return 1;
    savedZoomIndex_ = zoomIndex_;
    StoreZoomIndex(index);
    span_ = ZoomSpan(index);
    return 0;
}

int CMapView::ZoomIn() {
    if (zoomIndex_ <= 0)
        return 1;
    return SetZoom(zoomIndex_ - 1);
}

int CMapView::ZoomOut() {
    const int count =
        g_map3DMode.load() != 0 ? g_mapTheme.zoomLevelCount2 : g_mapTheme.zoomLevelCount;
    if (zoomIndex_ >= count - 1)
        return 1;
    return SetZoom(zoomIndex_ + 1);
}

int CMapView::HitTest(int x, int y) const {
    const int width = zoomInImage_.width, height = zoomInImage_.height;
    const int growX = RoundHalfAway(8 * g_screenScaleX.load());
    const int growY = RoundHalfAway(8 * g_screenScaleY.load());
    auto inside = [&](int left) {
        return x >= left - growX && x < left + width + growX && y >= buttonRow_ - growY &&
               y < buttonRow_ + height + growY;
    };
    if (inside(firstButtonLeft_))
        return -1;
    if (inside(secondButtonLeft_))
        return 1;
    return 0;
}

std::string CMapView::ScaleBarText() const {
    char text[32];
    const int v = static_cast<int>(g_mapTheme.GetZoomValue(zoomIndex_));
    if (g_map3DMode.load() != 0)
        std::snprintf(text, sizeof text, "Zoom %d", zoomIndex_ + 1);
    else if (g_options.load() & kOptionMetric)
        std::snprintf(text, sizeof text, "%d %s", v < 1000 ? v : v / 1000, v < 1000 ? "m" : "km");
    else
        std::snprintf(text, sizeof text, "%d %s", v < 5280 ? v : v / 5280, v < 5280 ? "ft" : "mi");
    return text;
}

int CMapView::ScaleBarLength() const {
    const double v = static_cast<int>(g_mapTheme.GetZoomValue(zoomIndex_));
    const double radius =
        (g_options.load() & kOptionMetric) ? kEarthRadiusMetres : kEarthRadiusFeet;
    const double pixelsPerDegreeLongitude =
        longitudeSpan_ > 0 ? (viewRect_.right - viewRect_.left) / longitudeSpan_ : 0;
    if (span_ <= 0)
        return 0;
    return static_cast<int>(v * longitudeSpan_ * pixelsPerDegreeLongitude /
                            (span_ * 0.0174532924 * radius));
}

RECT CMapView::ScaleBarCover(const RECT& rect) const {
    const float scaleX = g_screenScaleX.load(), scaleY = g_screenScaleY.load();
    const int length = ScaleBarLength();
    const int x0 = ((rect.right - rect.left) - length) / 2, x1 = x0 + length;
    const int y = rect.bottom - RoundHalfAway((Panning() ? 53 : 33) * scaleY);
    const int row = y + RoundHalfAway(10 * scaleY);
    const int width = zoomInImage_.bitmap ? zoomInImage_.width : RoundHalfAway(23 * scaleX);
    const int height = zoomInImage_.bitmap ? zoomInImage_.height : RoundHalfAway(23 * scaleY);
    // The text is centred on the bar and may stand out past a short one.
    const int textReach = RoundHalfAway(30 * scaleX);
    const int mid = (x0 + x1) / 2;
    const int pad = RoundHalfAway(2 * scaleX);
    return {std::min({x0, mid - textReach, RoundHalfAway(87 * scaleX)}) - pad,
            y - RoundHalfAway(8 * scaleY) - pad,
            std::max({x1, mid + textReach, RoundHalfAway(114 * scaleX) + width}) + pad,
            row + height + pad};
}

void CMapView::DrawScaleBar(const RECT& rect, HDC dc) {
    if (!dc)
        dc = offscreenDC_;
    if (!dc)
        return;
    scaleBarRect_ = rect;
    const float scaleX = g_screenScaleX.load(), scaleY = g_screenScaleY.load();
    const int length = ScaleBarLength();
    const COLORREF background = g_mapTheme.BackgroundColour();
    const int x0 = ((rect.right - rect.left) - length) / 2, x1 = x0 + length;
    const int y = rect.bottom - RoundHalfAway((Panning() ? 53 : 33) * scaleY);
    const bool night = g_mapTheme.ColourMode() == 1;

    HPEN halo = CreatePen(PS_SOLID, RoundHalfAway(5 * scaleX), background);
    HGDIOBJ oldPen = SelectObject(dc, halo);
    const int t3 = RoundHalfAway(3 * scaleY), t4 = RoundHalfAway(4 * scaleY);
    MoveToEx(dc, x0, y - t3, nullptr);
    LineTo(dc, x0, y + t3);
    MoveToEx(dc, x0, y, nullptr);
    LineTo(dc, x1, y);
    MoveToEx(dc, x1, y - t3, nullptr);
    LineTo(dc, x1, y + t3);
    SelectObject(dc, GetStockObject(night ? WHITE_PEN : BLACK_PEN));
    MoveToEx(dc, x0, y - t4, nullptr);
    LineTo(dc, x0, y + t4);
    MoveToEx(dc, x1, y - t4, nullptr);
    LineTo(dc, x1, y + t4);

    buttonRow_ = y + RoundHalfAway(10 * scaleY);
    firstButtonLeft_ = RoundHalfAway(87 * scaleX);
    secondButtonLeft_ = RoundHalfAway(114 * scaleX);
    if (zoomOutImage_.bitmap)
        zoomOutImage_.Draw(dc, firstButtonLeft_, buttonRow_, 0, 0, 0, 0);
    if (zoomInImage_.bitmap)
        zoomInImage_.Draw(dc, secondButtonLeft_, buttonRow_, 0, 0, 0, 0);

    LOGFONTW spec{};
    spec.lfHeight = RoundHalfAway(12 * scaleY);
    spec.lfWeight = 700;
    spec.lfQuality = 5;
    std::memcpy(spec.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    HFONT font = CreateFontIndirectW(&spec);
    HGDIOBJ oldFont = SelectObject(dc, font);
    const COLORREF oldColour = SetTextColor(dc, night ? 0xFFFFFF : 0x000000);
    const COLORREF oldBackground = SetBkColor(dc, background);
    const std::string narrow = ScaleBarText();
    const std::u16string text(narrow.begin(), narrow.end());
    SIZE extent{0, 0};
    GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()),
                          static_cast<int>(text.size()), &extent);
    const int w = extent.cx;
    if (zoomIndex_ != lastScaleZoom_) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT strip = {x0 + 2, y - 4, x1, y + 4};
        FillRect(dc, &strip, brush);
        DeleteObject(brush);
        lastScaleZoom_ = zoomIndex_;
    }
    const int t6 = RoundHalfAway(6 * scaleY);
    RECT box = {x0, y - t6, x1, y + t6};
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<int>(text.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    const int gap = x0 + (length - w) / 2;
    MoveToEx(dc, x0, y, nullptr);
    LineTo(dc, gap - 1, y);
    MoveToEx(dc, gap + w + 1, y, nullptr);
    LineTo(dc, x1, y);

    SetBkColor(dc, oldBackground);
    SetTextColor(dc, oldColour);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, oldPen);
    DeleteObject(halo);
}
