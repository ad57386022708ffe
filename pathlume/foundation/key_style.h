// The look of a drawn key: which key face it is drawn on and in which text colour,
// looked up by the key's code in a table of styles. The keyboard screens and the
// speed alert's number pad share the routine, each with its own table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/gdi/gdi.h"

// The key faces, each a bitmap the screen loads.
enum class KeyImage { kCancel, kOk, kLetter, kOther, kSearch };
inline constexpr size_t kKeyImageCount = 5;

// The bitmap of each face.
inline constexpr UINT kKeyImageBitmaps[kKeyImageCount] = {246, 247, 248, 249, 127};

// How a key is drawn: state 0 pressed, 1 released, 2 painting (drawn as released).
inline constexpr int kKeyPressed = 0;
inline constexpr int kKeyReleased = 1;
inline constexpr int kKeyPainting = 2;

struct KeyStyle {
    KeyImage image;
    COLORREF normal;   // the label's colour as released
    COLORREF pressed;  // and while pressed
};

// Codes from firstCode to lastCode (both included) have the style.
struct KeyStyleRow {
    int firstCode;
    int lastCode;
    KeyStyle style;
};

struct KeyStyleTable {
    std::span<const KeyStyleRow> rows;  // the first row that holds the code counts
    KeyStyle otherwise;                 // every other code
    bool signedCodes;                   // a layout byte reads as a signed byte
};

// The keyboard screens with a list: OK 'e', cancel 'g', the search key 'i', the
// letters and Latin-1 capitals (and the special keys 'd', 'f', 'h', 'j' to 'm') on
// the letter face, digits and punctuation blue on the other face.
extern const KeyStyleTable kKeyboardKeyStyles;
// The same without a search key ('i' is drawn as a letter): the name and house
// number screens.
extern const KeyStyleTable kNameKeyStyles;
// The speed alert's number pad: OK -2, cancel -4, the digits on the other face,
// every other code on the letter face.
extern const KeyStyleTable kKeypadKeyStyles;

// The code of a cell of a layout; a cell outside the layout reads as an empty cell (0).
int KeyCodeAt(std::span<const uint8_t> layout, int cell, const KeyStyleTable& table);

// The style of a code.
const KeyStyle& LookUpKeyStyle(int code, const KeyStyleTable& table);

// Looks the cell up in the layout, sets the text colour of the state on the DC and
// returns the face the key is drawn on.
KeyImage SelectKeyStyle(HDC dc, std::span<const uint8_t> layout, int cell, int state,
                        const KeyStyleTable& table);
