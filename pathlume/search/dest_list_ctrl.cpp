#include "pathlume/search/dest_list_ctrl.h"

#include <cmath>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/kernel/text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = 0.017453292;
constexpr COLORREF kSelectedBack = 0xFF0000;  // blue
constexpr COLORREF kArrowColour = 0x00FF00;
constexpr UINT kTextFormat = DT_WORDBREAK | DT_NOPREFIX;
// Rows that carry a search's message, which no arrow points from.
constexpr UINT kMessageRows[] = {6189, 6193, 6190, 6191};

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

int Round(double value) {
    return RoundHalfAway(static_cast<float>(value));
}

}  // namespace

int ArrowSector(double bearingRadians, double headingDegrees) {
    double angle = bearingRadians + kPi / 8 - headingDegrees * kDegToRad;
    if (angle < 0)
        angle += 2 * kPi;
    else if (angle >= 2 * kPi)
        angle -= 2 * kPi;
    const int sector = static_cast<int>(std::floor(angle * 180.0 / kPi / 45.0));
    return sector & 7;
}

double BearingRadians(const MapPoint& from, const MapPoint& to) {
    const double lat1 = from.latitude * kDegToRad;
    const double lat2 = to.latitude * kDegToRad;
    const double dLon = (to.longitude - from.longitude) * kDegToRad;
    const double y = std::sin(dLon) * std::cos(lat2);
    const double x =
        std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dLon);
    double bearing = std::atan2(y, x);
    if (bearing < 0)
        bearing += 2 * kPi;
    return bearing;
}

std::array<POINT, 7> ArrowPolygon(int cx, int cy, float scale, int sector) {
    const int w = ScaleSize(5, scale);
    const int l = ScaleSize(25, scale);
    const int h = ScaleSize(4, scale);
    const int b = cy - l / 2 + h + w;
    std::array<POINT, 7> points = {{{cx, cy - l / 2},
                                    {cx - w / 2 - h, b},
                                    {cx - w / 2, b},
                                    {cx - w / 2, cy + l / 2},
                                    {cx + w / 2, cy + l / 2},
                                    {cx + w / 2, b},
                                    {cx + w / 2 + h, b}}};
    if (sector != 0) {
        const double a = sector * kPi / 4;
        for (POINT& p : points) {
            const double dx = p.x - cx;
            const double dy = p.y - cy;
            p = POINT{cx + Round(dx * std::cos(a) - dy * std::sin(a)),
                      cy + Round(dy * std::cos(a) + dx * std::sin(a))};
        }
    }
    return points;
}

CDestListCtrl::CDestListCtrl() {
    selection = -1;
}

BOOL CDestListCtrl::Create(CWnd* parent, const RECT& rect, UINT id, DWORD style, BOOL withArrows) {
    arrows = withArrows;
    const BOOL created = CTextListWnd::Create(style, rect, parent, id);
    SetRowHeight(ScaleY(kDestListRowHeight));
    return created;
}

bool CDestListCtrl::DrawsArrow(int row, const char* text) const {
    if (!arrows || !text || !*text || !rowPlace || (parentHasResults && !parentHasResults()))
        return false;
    for (UINT id : kMessageRows) {
        const std::u16string message = LoadResStringOr(id, u"");
        if (!message.empty() && std::strstr(text, platform::WideToAnsi(message).c_str()))
            return false;
    }
    MapPoint ignored;
    return rowPlace(row, &ignored);
}

void CDestListCtrl::DrawArrow(HDC dc, const RECT& square, int row) {
    MapPoint place;
    if (!rowPlace(row, &place) || g_vehicleLocation.cosLat == 0)
        return;
    const MapPoint vehicle{g_vehicleLocation.lat,
                           g_vehicleLocation.scaledLon / g_vehicleLocation.cosLat};
    const int sector = ArrowSector(BearingRadians(vehicle, place), g_vehicleLocation.matcherValue);
    const std::array<POINT, 7> points =
        ArrowPolygon((square.left + square.right) / 2, (square.top + square.bottom) / 2,
                     g_screenScaleY.load(), sector);
    DrawFilledPolygon(dc, points.data(), 7, kArrowColour, kArrowColour);
}

void CDestListCtrl::Draw(CDC* cdc, int) {
    HDC dc = cdc->GetSafeHdc();
    SetBkMode(dc, TRANSPARENT);
    if (rowHeight == 0)
        SetRowHeight(ScaleY(kDestListRowHeight));
    HFONT font = listFont ? listFont : static_cast<HFONT>(g_fontBold12.GetSafeHandle());
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT client{};
    GetClientRect(&client);
    const int width = client.right;
    const int height = client.bottom;
    int y = 1;
    int drawn = 0;
    for (int i = topIndex; i < itemCount && y + rowHeight <= height; ++i) {
        if (!Matches(i))
            continue;
        const bool selected = i == selection;
        const RECT band{1, y, width - 1, y + rowHeight};
        Fill(dc, band, selected ? kSelectedBack : RGB(255, 255, 255));
        SetTextColor(dc, selected ? RGB(255, 255, 255) : RGB(0, 0, 0));
        const auto* text = static_cast<const char*>(items[i]);
        RECT area{4, y, width - 4, y + rowHeight};
        if (DrawsArrow(i, text)) {
            const RECT square{1, y, 1 + rowHeight, y + rowHeight};
            DrawArrow(dc, square, i);
            area.left = square.right;
        }
        if (text && *text) {
            const std::u16string wide = platform::AnsiToWide(text);
            RECT measured = area;
            DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &measured,
                      kTextFormat | DT_CALCRECT);
            const int textHeight = measured.bottom - measured.top;
            RECT centred = area;
            centred.top = y + std::max(0, (rowHeight - textHeight) / 2);
            DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &centred, kTextFormat);
        }
        y += rowHeight;
        ++drawn;
    }
    for (; drawn < rowsPerPage && y < height; ++drawn, y += rowHeight)
        Fill(dc, RECT{1, y, width - 1, std::min(y + rowHeight, height)}, RGB(255, 255, 255));
    if (y < height)
        Fill(dc, RECT{1, y, width - 1, height}, RGB(255, 255, 255));
    Fill(dc, RECT{0, 0, width, 1}, RGB(0, 0, 0));
    Fill(dc, RECT{0, height - 1, width, height}, RGB(0, 0, 0));
    Fill(dc, RECT{0, 0, 1, height}, RGB(0, 0, 0));
    Fill(dc, RECT{width - 1, 0, width, height}, RGB(0, 0, 0));
    if (g_screenScaleY.load() > 1.0f)
        Fill(dc, RECT{1, height - 4, width - 1, height - 1}, RGB(255, 255, 255));
    else
        Fill(dc, RECT{1, height - 2, width - 1, height - 1}, RGB(255, 255, 255));
    SelectObject(dc, oldFont);
}
