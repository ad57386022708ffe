#include "pathlume/display/map_labels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/text.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

int Side(LabelPoint a, LabelPoint b, LabelPoint c) {
    const double cross =
        (double{b.x} - a.x) * (double{c.y} - a.y) - (double{b.y} - a.y) * (double{c.x} - a.x);
    return cross > 0 ? 1 : (cross < 0 ? -1 : 0);
}

bool OnSegment(LabelPoint a, LabelPoint b, LabelPoint p) {
    return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
           p.y <= std::max(a.y, b.y);
}

// True when p lies inside the convex quadrilateral (or on its edge).
bool InsideBox(const LabelPoint box[4], LabelPoint p) {
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const int s = Side(box[i], box[(i + 1) % 4], p);
        if (s == 0)
            continue;
        if (sign == 0)
            sign = s;
        else if (s != sign)
            return false;
    }
    return true;
}

}  // namespace

int SegmentsCross(LabelPoint a0, LabelPoint a1, LabelPoint b0, LabelPoint b1) {
    const int d1 = Side(b0, b1, a0), d2 = Side(b0, b1, a1);
    const int d3 = Side(a0, a1, b0), d4 = Side(a0, a1, b1);
    if (d1 * d2 < 0 && d3 * d4 < 0)
        return 1;
    // Touching: an end on the other segment.
    if ((d1 == 0 && OnSegment(b0, b1, a0)) || (d2 == 0 && OnSegment(b0, b1, a1)) ||
        (d3 == 0 && OnSegment(a0, a1, b0)) || (d4 == 0 && OnSegment(a0, a1, b1)))
        return 1;
    return 0;
}

int CMapLabels::AddSlot(uint32_t keyA, uint32_t keyB, float score) {
    for (int i = 0; i < count_; ++i) {
        if (keyA_[i] != keyA || keyB_[i] != keyB)
            continue;
        if (score > score_[i]) {
            score_[i] = score;
            return i;
        }
        return kFull;
    }
    if (count_ >= kCapacity)
        return kFull;
    keyA_[count_] = keyA;
    keyB_[count_] = keyB;
    score_[count_] = score;
    ++count_;
    return -1;
}

void CMapLabels::SetMargins() {
    SetMargins(static_cast<float>(g_screenWidth.load() - 30),
               static_cast<float>(g_viewHeight.load() - 30));
}

SIZE CMapLabels::GetTextExtent(HDC dc, const char* text) {
    const std::u16string wide = WidenLabelText(text);
    SIZE size{0, 0};
    int fit = 0;
    GetTextExtentExPointW(dc, reinterpret_cast<LPCWSTR>(wide.c_str()),
                          static_cast<int>(wide.size()), 0, &fit, nullptr, &size);
    return size;
}

bool CMapLabels::GetRotatedBox(LabelPoint corners[4], double angle) const {
    const double c = std::cos(-angle * kRadiansPerDegree);
    const double s = std::sin(-angle * kRadiansPerDegree);
    const LabelPoint origin = corners[0];
    for (int i = 0; i < 4; ++i) {
        const double dx = corners[i].x - origin.x, dy = corners[i].y - origin.y;
        corners[i] = {static_cast<float>(dx * c - dy * s + origin.x),
                      static_cast<float>(dy * c + dx * s + origin.y)};
    }
    return IsClear(corners);
}

bool CMapLabels::IsClear(const LabelPoint corners[4]) const {
    for (int i = 0; i < 4; ++i) {
        if (!(corners[i].x >= 0 && corners[i].x <= marginX_ && corners[i].y >= 0 &&
              corners[i].y <= marginY_))
            return false;
    }
    for (const RECT& cover : covers_) {
        const float l = static_cast<float>(cover.left), t = static_cast<float>(cover.top);
        const float r = static_cast<float>(cover.right), b = static_cast<float>(cover.bottom);
        if (r <= l || b <= t)
            continue;
        const LabelPoint box[4] = {{l, t}, {r, t}, {r, b}, {l, b}};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                if (SegmentsCross(corners[i], corners[(i + 1) % 4], box[j], box[(j + 1) % 4]))
                    return false;
        if (InsideBox(box, corners[0]) || InsideBox(corners, box[0]))
            return false;
    }
    return true;
}

bool CMapLabels::Overlaps(const LabelPoint corners[4]) const {
    for (int k = 0; k < count_; ++k) {
        const Slot& placed = slots_[k];
        if (placed.text.empty())
            continue;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                if (SegmentsCross(corners[i], corners[(i + 1) % 4], placed.corners[j],
                                  placed.corners[(j + 1) % 4]))
                    return true;
        // No edge crosses: one box may still lie wholly inside the other.
        if (InsideBox(placed.corners, corners[0]) || InsideBox(corners, placed.corners[0]))
            return true;
    }
    return false;
}

int CMapLabels::PlaceLabel(HDC dc, const char* text, int slot) {
    if (count_ < 1 || count_ > kCapacity)
        return kFull;
    const bool newest = slot == 0;
    const int index = newest ? count_ - 1 : slot;
    if (index < 0 || index >= count_)
        return kFull;
    const SIZE size = GetTextExtent(dc, text);
    const float w = static_cast<float>(size.cx), h = static_cast<float>(size.cy);
    const double a = currentAngle_;
    const float half = w / 2;
    float x0 = current_.x, y0 = current_.y;
    if (a == 0) {
        x0 = current_.x - half;
    } else if (a > 0 && a <= 90) {
        x0 = static_cast<float>(current_.x - half * std::cos(a * kRadiansPerDegree));
        y0 = static_cast<float>(current_.y + half * std::sin(a * kRadiansPerDegree));
    } else if (a >= 270 && a < 360) {
        const double b = (360.0 - a) * kRadiansPerDegree;
        x0 = static_cast<float>(current_.x - half * std::cos(b));
        y0 = static_cast<float>(current_.y - half * std::sin(b));
    }
    LabelPoint corners[4] = {{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}};
    // A label's own slot is empty until it is placed, so it never overlaps itself.
    Slot& target = slots_[index];
    std::string previous;
    previous.swap(target.text);
    if (GetRotatedBox(corners, a) && !Overlaps(corners)) {
        std::copy(corners, corners + 4, target.corners);
        target.angle = static_cast<float>(a);
        target.text = text ? text : "";
        return newest ? 0 : 1;
    }
    target.text.swap(previous);
    if (newest) {
        --count_;
        slots_[count_].text.clear();
        return 1;
    }
    return kFull;
}

void CMapLabels::Draw(HDC dc, int fontHeight, COLORREF colour, COLORREF poiColour, bool view3D,
                      int topRow, int bandLimit1, int bandLimit2) const {
    const float scaleX = g_screenScaleX.load();
    for (int i = 0; i < count_; ++i) {
        const Slot& slot = slots_[i];
        if (slot.text.empty() || slot.corners[0].y < static_cast<float>(topRow))
            continue;
        const bool poi = IsPoiSlot(i);
        int height = poi ? fontHeight - RoundHalfAway(4 * scaleX) : fontHeight;
        if (view3D) {
            const float row = slot.corners[0].y;
            height -= row < static_cast<float>(bandLimit1)
                          ? 3
                          : (row < static_cast<float>(bandLimit2) ? 2 : 1);
        } else {
            height -= 1;
        }
        LOGFONTW spec{};
        spec.lfHeight = height;
        spec.lfWeight = 400;
        spec.lfEscapement = spec.lfOrientation = static_cast<LONG>(std::lround(slot.angle * 10));
        spec.lfQuality = 5;
        spec.lfPitchAndFamily = 0x20;
        std::memcpy(spec.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
        HFONT font = CreateFontIndirectW(&spec);
        HGDIOBJ oldFont = SelectObject(dc, font);
        const COLORREF oldColour = SetTextColor(dc, poi ? poiColour : colour);
        const std::u16string wide = WidenLabelText(slot.text.c_str());
        ExtTextOutW(dc, static_cast<int>(std::lround(slot.corners[0].x)),
                    static_cast<int>(std::lround(slot.corners[0].y)), 0, nullptr,
                    reinterpret_cast<LPCWSTR>(wide.c_str()), static_cast<UINT>(wide.size()),
                    nullptr);
        SetTextColor(dc, oldColour);
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }
}

int IconLabelList::Add(UINT id, int width, int height, int x, int y, COLORREF colour,
                       const char* text) {
    if (Full())
        return 1;
    entries_.push_back({id, width, height, x, y, colour, text ? text : ""});
    return 0;
}

bool IconLabelList::HoldsText(const char* text) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [text](const IconLabel& e) { return e.text == text; });
}

std::u16string WidenLabelText(const char* text) {
    std::u16string wide;
    if (!text)
        return wide;
    const size_t length = std::min(std::strlen(text), CMapLabels::kDrawnChars);
    wide.resize(length);
    const int made =
        MultiByteToWideChar(0, 0, text, static_cast<int>(length),
                            reinterpret_cast<LPWSTR>(wide.data()), static_cast<int>(length));
    wide.resize(made > 0 ? static_cast<size_t>(made) : 0);
    return wide;
}
