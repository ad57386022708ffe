// The option dialogs' own button: a flat rectangle, rounded bar or circle (or an
// image) with centred text, working as a toggle or as one button of a radio group.
#pragma once

#include "pathlume/foundation/owner_draw.h"

class CMapButton : public COwnerDrawCtrl {
  public:
    enum Shape : int { kRectangle = 0, kRoundedBar = 1, kEllipse = 2 };

    CMapButton() = default;
    ~CMapButton() override = default;

    // Stores the state and repaints the button at once.
    void SetChecked(int state);
    void DrawItem(LPDRAWITEMSTRUCT item) override;

    int selected = 0;
    int toggle = 0;  // 1: every tap flips the state; 0: a tap selects, never clears
    int shape = kRectangle;
    CFont* font = nullptr;  // null: the DC's font
    COLORREF textColour = RGB(0x20, 0x20, 0x20);
    COLORREF backgroundColour = RGB(0xE1, 0xE1, 0xE1);
    COLORREF selectedTextColour = RGB(0xFF, 0xFF, 0xFF);
    COLORREF selectedBackgroundColour = RGB(0x00, 0x00, 0xC0);
    // Shown when pressed or selected, and in the normal state too when there is no
    // normal image.
    CBitmap image;
    CBitmap normalImage;
    COLORREF transparentColour = 0;

  protected:
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);

    DECLARE_MESSAGE_MAP()
};

// A child window that paints itself in its own colours: it answers the colour
// message its parent reflects to it.
class CColorLabel : public CStatic {
  public:
    CColorLabel() = default;
    ~CColorLabel() override = default;

    // Sets both colours; the brush follows the background.
    void SetColors(COLORREF background, COLORREF text);

    CBrush brush;
    COLORREF backgroundColour = RGB(255, 255, 255);
    COLORREF textColour = RGB(0, 0, 0);

  protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};
