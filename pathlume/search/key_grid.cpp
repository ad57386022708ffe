#include "pathlume/search/key_grid.h"

#include <cstring>

#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/text.h"

namespace {

KeyLayout FromText(const char* text) {
    KeyLayout layout{};
    std::memcpy(layout.data(), text, kKeyCells);
    return layout;
}

KeyLayout MakeSymbolsPage() {
    KeyLayout layout{};
    std::memcpy(layout.data(), "!@#%*dee", 8);
    // The Latin-1 capitals in four rows: 0xC0-0xC7, 0xC8-0xCF, 0xD0-0xD6 and 0xDD,
    // 0xD7-0xDC and 0xDE, 0xDF.
    int cell = 8;
    for (int c = 0xC0; c <= 0xD6; ++c)
        layout[cell++] = static_cast<uint8_t>(c);
    layout[cell++] = 0xDD;
    for (int c = 0xD7; c <= 0xDC; ++c)
        layout[cell++] = static_cast<uint8_t>(c);
    layout[cell++] = 0xDE;
    layout[cell++] = 0xDF;
    std::memcpy(layout.data() + 40, "?hhff()g", 8);
    return layout;
}

KeyLayout MakeMinimalPage() {
    KeyLayout layout{};
    layout[7] = 'e';
    layout[23] = 'g';
    return layout;
}

}  // namespace

// Decided: the letters page's ',' and '/' give way to the double "more" key, because
// without a page key the accented capitals of the symbols page could not be reached;
// neither sign is needed to find a name, which the list matches by any part of it.
const KeyLayout kLettersWithSearch = FromText("ABCDEdeeFGHIJ123KLMNO456PQRST789UVWXY-0iZff.'hhg");
const KeyLayout kLettersWithAmpersand =
    FromText("ABCDEdeeFGHIJ123KLMNO456PQRST789UVWXY-0&Zff.'hhg");
const KeyLayout kSymbolsPage = MakeSymbolsPage();
const KeyLayout kMinimalPage = MakeMinimalPage();

KeyAction ActionOf(uint8_t code) {
    switch (code) {
        case 0:
            return KeyAction::kNone;
        case 'd':
            return KeyAction::kBackspace;
        case 'e':
            return KeyAction::kOk;
        case 'f':
            return KeyAction::kSpace;
        case 'g':
            return KeyAction::kCancel;
        case 'h':
            return KeyAction::kTogglePage;
        case 'i':
            return KeyAction::kSearch;
        default:
            return code >= 'a' && code <= 'z' ? KeyAction::kNone : KeyAction::kType;
    }
}

KeyGridGeometry KeyGridGeometry::ForScale(float xScale, float yScale, int baseLeft) {
    KeyGridGeometry g;
    g.gridLeft = ScaleSize(baseLeft, xScale);
    g.gridTop = ScaleSize(90, yScale);
    g.keyWidth = ScaleSize(29, xScale);
    g.imageWidth = ScaleSize(29, xScale);
    g.imageHeight = ScaleSize(29, yScale);
    g.gap = ScaleSize(1, yScale);
    g.scrollShortening = ScaleSize(5, yScale);
    return g;
}

int KeyGridGeometry::SpanAt(const KeyLayout& layout, int cell) {
    if (cell < 0 || cell >= kKeyCells)
        return 1;
    const uint8_t code = layout[static_cast<size_t>(cell)];
    // A pair never runs over the end of a row: the cell after a row's last is the next
    // row's first, which the layouts never repeat.
    return code != 0 && cell < kKeyCells - 1 && layout[static_cast<size_t>(cell) + 1] == code &&
                   cell % kKeyColumns != kKeyColumns - 1
               ? 2
               : 1;
}

RECT KeyGridGeometry::KeyRect(const KeyLayout& layout, int cell) const {
    const int column = cell % kKeyColumns;
    const int row = cell / kKeyColumns;
    const int width = SpanAt(layout, cell) == 2 ? 2 * keyWidth + 1 : keyWidth;
    RECT rect;
    rect.left = (gap + keyWidth) * column + gridLeft;
    rect.top = (gap + keyWidth) * row + gridTop;
    rect.right = rect.left + width;
    rect.bottom = rect.top + keyWidth;
    return rect;
}

bool RectHolds(const RECT& rect, POINT point) {
    return point.x >= rect.left && point.x <= rect.right && point.y >= rect.top &&
           point.y <= rect.bottom;
}

int KeyGridGeometry::HitTest(const KeyLayout& layout, POINT point) const {
    for (int cell = 0; cell < kKeyCells; cell += SpanAt(layout, cell)) {
        if (layout[static_cast<size_t>(cell)] != 0 && RectHolds(KeyRect(layout, cell), point))
            return cell;
    }
    return -1;
}

RECT KeyGridGeometry::ScrollButtonRect(bool up, float xScale, float yScale) const {
    const int x = RoundHalfAway((static_cast<float>(gridLeft) + 210.0f) * xScale);
    const int y = RoundHalfAway(37.0f * yScale);
    const int height = keyWidth - scrollShortening;
    RECT rect;
    rect.left = x;
    rect.right = x + keyWidth;
    rect.top = up ? y : y + height + 1;
    rect.bottom = rect.top + height;
    return rect;
}

std::u16string KeyLabel(uint8_t code, bool symbolsPage) {
    switch (code) {
        case 'd':
            return u"<-";
        case 'e':
            return LoadResStringOr(6041, u"OK");
        case 'f':
            return u"SPC";
        case 'h':
            return symbolsPage ? LoadResStringOr(6088, u"back") : LoadResStringOr(6089, u"more");
        default:
            break;
    }
    if (ActionOf(code) != KeyAction::kType)
        return {};
    return std::u16string(1, KeyCharacter(code));
}

WCHAR KeyCharacter(uint8_t code) {
    const char byte = static_cast<char>(code);
    WCHAR wide = 0;
    MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1);
    return wide;
}
