#include "pathlume/foundation/key_style.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

constexpr KeyStyle kOkStyle{KeyImage::kOk, kWhite, kBlack};
constexpr KeyStyle kCancelStyle{KeyImage::kCancel, kWhite, kBlack};
constexpr KeyStyle kSearchStyle{KeyImage::kSearch, kWhite, kBlack};
constexpr KeyStyle kLetterStyle{KeyImage::kLetter, kWhite, kRed};
constexpr KeyStyle kOtherStyle{KeyImage::kOther, kBlue, kRed};

// 'd' backspace, 'f' space, 'h' the page key; 'j' to 'm' are letter-like codes too.
constexpr KeyStyleRow kKeyboardRows[] = {
    {'e', 'e', kOkStyle},     {'g', 'g', kCancelStyle},   {'i', 'i', kSearchStyle},
    {'A', 'Z', kLetterStyle}, {0xC0, 0xDF, kLetterStyle}, {'d', 'd', kLetterStyle},
    {'f', 'f', kLetterStyle}, {'h', 'h', kLetterStyle},   {'j', 'm', kLetterStyle},
};

constexpr KeyStyleRow kNameRows[] = {
    {'e', 'e', kOkStyle},       {'g', 'g', kCancelStyle}, {'A', 'Z', kLetterStyle},
    {0xC0, 0xDF, kLetterStyle}, {'d', 'd', kLetterStyle}, {'f', 'f', kLetterStyle},
    {'h', 'i', kLetterStyle},   {'j', 'm', kLetterStyle},
};

constexpr KeyStyleRow kKeypadRows[] = {
    {-2, -2, kOkStyle},
    {-4, -4, kCancelStyle},
    {'0', '9', kOtherStyle},
};

}  // namespace

const KeyStyleTable kKeyboardKeyStyles{kKeyboardRows, kOtherStyle, false};
const KeyStyleTable kNameKeyStyles{kNameRows, kOtherStyle, false};
const KeyStyleTable kKeypadKeyStyles{kKeypadRows, kLetterStyle, true};

int KeyCodeAt(std::span<const uint8_t> layout, int cell, const KeyStyleTable& table) {
    if (cell < 0 || static_cast<size_t>(cell) >= layout.size())
        return 0;
    const uint8_t byte = layout[static_cast<size_t>(cell)];
    return table.signedCodes ? static_cast<int>(static_cast<int8_t>(byte)) : byte;
}

const KeyStyle& LookUpKeyStyle(int code, const KeyStyleTable& table) {
    for (const KeyStyleRow& row : table.rows) {
        if (code >= row.firstCode && code <= row.lastCode)
            return row.style;
    }
    return table.otherwise;
}

KeyImage SelectKeyStyle(HDC dc, std::span<const uint8_t> layout, int cell, int state,
                        const KeyStyleTable& table) {
    const KeyStyle& style = LookUpKeyStyle(KeyCodeAt(layout, cell, table), table);
    SetTextColor(dc, state == kKeyPressed ? style.pressed : style.normal);
    return style.image;
}
