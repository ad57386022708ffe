// What the destination screens share: their full-screen templates, the start every
// screen makes (the whole screen, the input panel down, the product's name as the
// window text), the background and title band they paint, the brush behind their
// image buttons, the keys they pass on, and their buttons laid out along the bottom.
#pragma once

#include <functional>
#include <initializer_list>
#include <vector>

#include "pathlume/foundation/full_screen_dialog.h"
#include "pathlume/foundation/owner_draw.h"
#include "platform/afx/afx.h"

// The screens' templates.
inline constexpr UINT kSetDestinationTemplate = 1004;
inline constexpr UINT kFavoritesTemplate = 1006;
inline constexpr UINT kKeyboardTemplate = 1008;
inline constexpr UINT kRecentTemplate = 1010;
inline constexpr UINT kAddressListTemplate = 1022;
inline constexpr UINT kInputMethodTemplate = 1032;

// The window text of every screen.
inline constexpr const char16_t* kProductName = u"Travona";

// One owner-drawn button of a template, in dialog units of a 160 x 213 screen.
struct ScreenButton {
    WORD id;
    const char16_t* text;
    short x, y, cx, cy;
};
// Registers a full-screen template with its buttons (hidden ones with hidden set).
void RegisterScreenTemplate(UINT id, std::initializer_list<ScreenButton> buttons,
                            std::initializer_list<WORD> hidden = {});
// Registers every template of the destination screens (once; callable again).
void RegisterSearchTemplates();

// The start of every screen's OnInitDialog: the dialog sized to the whole screen and
// the input panel forced down.
void StartScreen(CDialog& dialog);

// The standard background and, when titleId is not 0, the title band with that
// string-table text.
void PaintScreenBackgroundAndTitle(CDC& dc, CWnd& window, UINT titleId);
std::u16string ScreenText(UINT id);

// A button face with its caption font and colour, sized to its bitmap.
void SetUpImageButton(CImageButton& button, UINT bitmapId, CFont* font, COLORREF textColour);

// The brush the screens give their buttons (the standard background as a pattern).
class ScreenBrush {
  public:
    HBRUSH Get();

  private:
    CBitmap picture_;
    CBrush brush_;
};

// Whether a key-down is one a screen takes before the dialog manager: Enter, Escape
// and the keys from firstKey to Select (VK_HOME with Home, VK_LEFT without).
bool IsScreenKey(const MSG& msg, UINT firstKey);
// What a screen does with the keys it takes: Up and Down (moving its list), Enter
// (OK), Escape (cancel) and, when homeCancels, Home (g_homeKeyPressed set, then
// cancel). False for any other key, which gets the default handling.
struct ScreenKeys {
    std::function<void()> up;
    std::function<void()> down;
    std::function<void()> ok;
    std::function<void()> cancel;
    bool homeCancels = true;
};
bool ActOnScreenKey(UINT key, const ScreenKeys& keys);

// The program's warning box: caption 6007 "Warning", the message, the heading, buttons
// 6009 "Confirm" and 6010 "Cancel".
void ShowWarningBox(CWnd* parent, UINT messageId, LPCWSTR heading);

// Lays the buttons (shown ones only) out in centred rows from `top` down, as many in a
// row as fit the client width.
void LayoutButtonRows(CWnd& dialog, const std::vector<CWnd*>& buttons, int top);
