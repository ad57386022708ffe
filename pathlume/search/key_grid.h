// The drawn keyboard of the text-entry screens: the three pages of 8 x 6 key codes,
// where each key lies on the screen, which key a point hits, what a key does and what
// it shows. No window here: the screens draw and act on what this answers.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "platform/gdi/gdi.h"

inline constexpr int kKeyColumns = 8;
inline constexpr int kKeyRows = 6;
inline constexpr int kKeyCells = kKeyColumns * kKeyRows;

// A page: key codes row by row. 0 is an empty cell; an upper-case letter, digit,
// punctuation or Latin-1 capital (0xC0-0xDF) types itself; a lower-case letter is a
// special key. Two neighbouring cells of a row with the same code are one double key.
using KeyLayout = std::array<uint8_t, kKeyCells>;

// The letters page with the search key 'i' (screens with a list) or with '&' (the
// name and house-number screens) and a "more" key to the symbols page, the symbols
// page (the Latin-1 capitals, with "back") and the minimal page (only OK and cancel,
// for the driver's own keyboard).
extern const KeyLayout kLettersWithSearch;
extern const KeyLayout kLettersWithAmpersand;
extern const KeyLayout kSymbolsPage;
extern const KeyLayout kMinimalPage;

enum class KeyAction { kNone, kType, kBackspace, kOk, kSpace, kCancel, kTogglePage, kSearch };
KeyAction ActionOf(uint8_t code);

// Where the keys and the list's scroll buttons lie, in pixels, for the screen scale.
struct KeyGridGeometry {
    int gridLeft = 0;
    int gridTop = 0;
    int keyWidth = 0;  // also the key height
    int imageWidth = 0;
    int imageHeight = 0;
    int gap = 0;
    int scrollShortening = 0;

    // The standard grid (left 0) or the name screen's (left 2 x the horizontal scale).
    static KeyGridGeometry ForScale(float xScale, float yScale, int baseLeft = 0);

    // The cells a key at `cell` covers: 2 for the first cell of a double key, else 1.
    static int SpanAt(const KeyLayout& layout, int cell);
    // The rectangle of the key whose first cell is `cell` (edges belong to it).
    RECT KeyRect(const KeyLayout& layout, int cell) const;
    // The key whose rectangle holds the point (edges included): its first cell, or -1.
    // The second cell of a double key is never answered on its own.
    int HitTest(const KeyLayout& layout, POINT point) const;
    // The list's scroll buttons beside it, the down button 1 pixel below the up one.
    RECT ScrollButtonRect(bool up, float xScale, float yScale) const;
    // Whether a key is drawn in one piece (narrower than one and a half images) or
    // stretched in four slices.
    bool IsWide(int width) const { return width >= (6 * imageWidth + 3) / 4; }
};

// A rectangle's hit test with both edges included.
bool RectHolds(const RECT& rect, POINT point);

// One slice of a double key: destination x and width, source x, each before scaling.
struct KeySlice {
    int destinationX;
    int width;
    int sourceX;
};
inline constexpr KeySlice kWideKeySlices[4] = {{0, 21, 0}, {21, 11, 8}, {32, 10, 8}, {42, 17, 12}};

// The label of a key ('e' "OK", 'd' "<-", 'f' "SPC", 'h' "more" or "back" by the page
// shown); empty for the cancel and search keys and for empty cells. Character keys
// show their character.
std::u16string KeyLabel(uint8_t code, bool symbolsPage);
// The character a key types, from the ANSI code page.
WCHAR KeyCharacter(uint8_t code);
