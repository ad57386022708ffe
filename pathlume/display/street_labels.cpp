// Street names and route shields along roads (CMapView::PlaceStreetLabel) and the
// icon labels drawn over the map.
#include "pathlume/display/street_labels.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "pathlume/display/map_labels.h"
#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/special_zones.h"
#include "pathlume/mapdb/street_texts.h"

int ExtractFirstNumber(char* text, int start) {
    if (!text || start < 0)
        return 0;
    const size_t length = std::strlen(text);
    size_t i = std::min(static_cast<size_t>(start), length);
    while (i < length && !std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == length)
        return 0;
    size_t end = i;
    while (end < length && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    std::memmove(text, text + i, end - i);
    text[end - i] = '\0';
    return 1;
}

float FastAtanDegrees(float a, float b) {
    const float p = std::fabs(a), q = std::fabs(b);
    if (p == 0 && q == 0)
        return 0;
    auto f = [](float r) { return r > 0.01f ? 62.19f * r - 17.0f * r * r - 0.19f : 45.0f * r; };
    float t = 0;
    if (p <= q)
        t = f(q == 0 ? 0 : p / q);
    else
        t = 90.0f - f(q / p);
    if (b < 0)
        t = -t;
    if (a < 0)
        t = -t;
    return t;
}

double StreetLabelAngle(float x1, float y1, float x2, float y2) {
    const float dx = x2 - x1;
    if (std::fabs(dx) < 1.0f)
        return 90.0;
    const float dy = y2 - y1;
    if (std::fabs(dy) < 1.0f)
        return 0.0;
    double angle = FastAtanDegrees(-dy, dx);
    if (angle < 0)
        angle += 360.0;
    // Text along a road pointing left would read upside down: turn it over.
    if (angle > 100.0 && angle < 280.0)
        angle -= 180.0;
    return angle;
}

ShieldStyle ChooseShield(int kind, bool inSpecialZone, const char* text) {
    switch (kind) {
        case 1:
            return inSpecialZone ? ShieldStyle{kIconShieldZone, kShieldBlack}
                                 : ShieldStyle{kIconShieldFirst, kShieldWhite};
        case 2:
            return inSpecialZone ? ShieldStyle{kIconShieldZone, kShieldBlack}
                                 : ShieldStyle{kIconShieldSecond, kShieldBlack};
        case 3:
            return std::strncmp(text, "CA-", 3) == 0 ? ShieldStyle{kIconShieldState, kShieldWhite}
                                                     : ShieldStyle{kIconShieldZone, kShieldBlack};
        default:
            return ShieldStyle{kIconShieldState, kShieldBlack};
    }
}

RoadRecordTable::Entry* RoadRecordTable::Find(int32_t nameId, Entry** freeEntry) {
    *freeEntry = nullptr;
    Entry* found = nullptr;
    for (Entry& entry : entries_) {
        // A free entry still answers for its key until it is reused.
        if (!found && (entry.flags & (kUsed | kKeep)) && entry.nameId == nameId)
            found = &entry;
        else if (!*freeEntry && !(entry.flags & kUsed))
            *freeEntry = &entry;
    }
    if (found)
        found->flags |= kUsed | kKeep;
    return found;
}

void RoadRecordTable::Set(Entry& entry, int32_t nameId, int32_t nameNumber, uint32_t kind,
                          const char* text) {
    entry.text = text ? text : "";
    entry.nameId = nameId;
    entry.nameNumber = nameNumber;
    entry.flags = (kind & kKindMask) | kUsed | kKeep;
}

void RoadRecordTable::Age() {
    for (Entry& entry : entries_)
        entry.flags = (entry.flags & kKeep) ? kKeep : (entry.flags & ~kUsed);
}

namespace {

// Liang-Barsky: clips the segment to the rectangle; false when nothing of it is inside.
bool ClipToRect(float& x1, float& y1, float& x2, float& y2, float right, float bottom) {
    const float dx = x2 - x1, dy = y2 - y1;
    float t0 = 0, t1 = 1;
    const float p[4] = {-dx, dx, -dy, dy};
    const float q[4] = {x1, right - x1, y1, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const float r = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1)
            return false;
    }
    const float ax = x1 + t0 * dx, ay = y1 + t0 * dy;
    x2 = x1 + t1 * dx;
    y2 = y1 + t1 * dy;
    x1 = ax;
    y1 = ay;
    return true;
}

}  // namespace

bool CMapView::ClipLabelSegment(float* x1, float* y1, float* x2, float* y2) const {
    return ClipToRect(*x1, *y1, *x2, *y2, static_cast<float>(MapWidth() - 10),
                      static_cast<float>(MapHeight() - 10));
}

int CMapView::PlaceStreetLabel(POINT a, POINT b, int drawClass, const POINT* chain, int chainCount,
                               MapLink& link, CMapLabels& labels, IconLabelList& icons, HDC dc) {
    if (zoomIndex_ > 9)
        return 0;
    const float right = static_cast<float>(MapWidth() - 10);
    const float bottom = static_cast<float>(MapHeight() - 10);
    auto inside = [&](float x, float y) { return x >= 0 && x <= right && y >= 0 && y <= bottom; };
    float x1 = static_cast<float>(a.x), y1 = static_cast<float>(a.y);
    float x2 = static_cast<float>(b.x), y2 = static_cast<float>(b.y);
    if (chainCount > 2 && chain) {
        // The longest clipped segment of the chain carries the label.
        float best = -1;
        for (int i = 0; i + 1 < chainCount; ++i) {
            float sx1 = static_cast<float>(chain[i].x), sy1 = static_cast<float>(chain[i].y);
            float sx2 = static_cast<float>(chain[i + 1].x),
                  sy2 = static_cast<float>(chain[i + 1].y);
            if (!ClipLabelSegment(&sx1, &sy1, &sx2, &sy2))
                continue;
            const float length = (sx2 - sx1) * (sx2 - sx1) + (sy2 - sy1) * (sy2 - sy1);
            if (length > best) {
                best = length;
                x1 = sx1, y1 = sy1, x2 = sx2, y2 = sy2;
            }
        }
        if (best < 0)
            return 0;
    } else if (!inside(x1, y1) || !inside(x2, y2)) {
        if (!ClipLabelSegment(&x1, &y1, &x2, &y2))
            return 0;
    }
    if (x1 == x2 && y1 == y2)
        return 0;
    if (std::min(y1, y2) < static_cast<float>(skyBand_))
        return 0;
    x1 = std::round(x1), y1 = std::round(y1), x2 = std::round(x2), y2 = std::round(y2);
    if ((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1) < 25)
        return -1;

    char text[kStreetTextSize] = {};
    uint32_t nameNumber = 0xFFFFFFFF;
    int kind = 0;
    RoadRecordTable::Entry* freeEntry = nullptr;
    if (RoadRecordTable::Entry* known = roadRecords_.Find(link.linkId, &freeEntry)) {
        std::snprintf(text, sizeof text, "%s", known->text.c_str());
        nameNumber = static_cast<uint32_t>(known->nameNumber);
        kind = static_cast<int>(known->flags & RoadRecordTable::kKindMask);
    } else {
        const uint32_t roadClass = link.attributes & kAttrClassMask;
        const bool major = (link.shapeInfo & kShapeMajorRoad) != 0;
        if (major || roadClass <= 0xC0)
            kind = GetRouteName(g_linkInfo, link.linkId, text, sizeof text);
        if (kind == 0) {
            FormatHouseRange(g_linkInfo, link.linkId, kAllNames, text, sizeof text, &nameNumber,
                             false);
            // Route names are not remembered: their lookup is the cheap one.
            if (text[0] && freeEntry)
                RoadRecordTable::Set(*freeEntry, link.linkId, static_cast<int32_t>(nameNumber), 0,
                                     text);
        }
    }
    if (char* slash = std::strchr(text, '/'))
        *slash = '\0';

    const float midX = (x1 + x2) / 2, midY = (y1 + y2) / 2;
    if (kind < 1 || kind > 4) {
        if (labels.Count() >= CMapLabels::kCapacity)
            return -1;
        if ((drawClass == 1 || drawClass == 2) && zoomIndex_ > 4)
            return -1;
        const double angle = StreetLabelAngle(x1, y1, x2, y2);
        float x = midX, y = midY;
        if (g_map3DMode.load() != 0) {
            const float half = static_cast<float>(g_mapTheme.StreetTextSize(zoomIndex_)) / 2;
            const double r = angle * 0.017453292519943295;
            x += static_cast<float>(std::sin(r)) * half;
            y += static_cast<float>(std::cos(r)) * half;
        }
        labels.SetCurrent(x, y, angle);
        if (text[0]) {
            const int slot = labels.AddSlot(nameNumber, link.attributes & kAttrClassMask,
                                            static_cast<float>(link.linkId));
            if (slot < CMapLabels::kFull) {
                if (slot == -1)
                    labels.PlaceLabel(dc, text, 0);
                link.flags |= kLinkLabelAllowed;
            }
        }
        SetBkMode(dc, OPAQUE);
        return 0;
    }

    // The shield is chosen by the whole route name ("CA-" routes have their own):
    // before the text is cut to its number.
    const ShieldStyle style = ChooseShield(kind, IsLinkInSpecialZone(&link) != 0, text);
    ExtractFirstNumber(text, 0);
    if (icons.Full())
        return -1;
    const int size = g_screenScaleX.load() > 1.0f ? 64 : 32;
    // A shield is drawn whole, in the map and clear of the screen's controls and the
    // vehicle, as labels are.
    const float half = static_cast<float>(size) / 2;
    const LabelPoint shield[4] = {{midX - half, midY - half},
                                  {midX + half, midY - half},
                                  {midX + half, midY + half},
                                  {midX - half, midY + half}};
    if (!labels.IsClear(shield) || labels.Overlaps(shield))
        return -1;
    if (zoomIndex_ > 8)
        return 0;
    // A numberless shield would say nothing.
    if (!std::isdigit(static_cast<unsigned char>(text[0])) || icons.HoldsText(text)) {
        SetBkMode(dc, OPAQUE);
        return 0;
    }
    link.flags |= kLinkLabelAllowed;
    icons.Add(style.icon, size, size, static_cast<int>(midX) - size / 2,
              static_cast<int>(midY) - size / 2, style.colour, text);
    // Labels placed after it keep clear of it too.
    labels.AddCover({static_cast<LONG>(shield[0].x), static_cast<LONG>(shield[0].y),
                     static_cast<LONG>(shield[2].x), static_cast<LONG>(shield[2].y)});
    SetBkMode(dc, OPAQUE);
    return 0;
}

void CMapView::DrawIconLabels(const IconLabelList& icons, HDC dc, int fontHeight) {
    if (icons.Entries().empty())
        return;
    LOGFONTW spec{};
    spec.lfHeight = fontHeight;
    spec.lfQuality = 5;
    spec.lfPitchAndFamily = 0x20;
    std::memcpy(spec.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    HFONT font = CreateFontIndirectW(&spec);
    HGDIOBJ oldFont = SelectObject(dc, font);
    const COLORREF oldColour = GetTextColor(dc);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF last = oldColour;
    for (const IconLabel& entry : icons.Entries()) {
        HICON icon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(entry.id), IMAGE_ICON,
                                                   entry.width, entry.height, 0));
        if (icon) {
            DrawIconEx(dc, entry.x, entry.y, icon, entry.width, entry.height, 0, nullptr,
                       DI_NORMAL);
            DestroyIcon(icon);
        }
        if (entry.text.empty())
            continue;
        if (entry.colour != last) {
            SetTextColor(dc, entry.colour);
            last = entry.colour;
        }
        const std::u16string wide = WidenLabelText(entry.text.c_str());
        const SIZE extent = CMapLabels::GetTextExtent(dc, entry.text.c_str());
        ExtTextOutW(dc, entry.x + (entry.width - extent.cx) / 2,
                    entry.y + (entry.height - extent.cy) / 2, 0, nullptr,
                    reinterpret_cast<LPCWSTR>(wide.c_str()), static_cast<UINT>(wide.size()),
                    nullptr);
    }
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColour);
    SelectObject(dc, oldFont);
    DeleteObject(font);
}
