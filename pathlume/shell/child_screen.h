// What the full-screen children of the main view (guidance, route list, GPS
// information, almanac) share: their window over the view's client area, the way
// back to the map by Escape, Home and the close button, keys passed on to the view
// so that its hotkeys keep working, and their bottom-row image buttons.
#pragma once

#include "pathlume/foundation/owner_draw.h"
#include "pathlume/shell/main_view.h"

// The close button's command and face, and the key whose face sizes every button
// of these screens.
inline constexpr UINT kScreenCloseCommand = 2;
inline constexpr UINT kBitmapScreenClose = 370;
inline constexpr UINT kBitmapCloseKey = 246;

// The rectangle outlined 1 pixel wide in the colour and filled with the brush (a
// stock NULL_BRUSH leaves the inside as it is).
void DrawOutlinedBox(HDC dc, const RECT& box, COLORREF outline, int stockBrush);
// A group box: the rectangle outlined with the pen, its heading centred on the top
// edge in the colour, on the background colour, in the font selected.
void DrawGroupBox(HDC dc, const RECT& box, LPCWSTR heading, COLORREF outline,
                  COLORREF headingColour, COLORREF background);

// Makes a screen of the class and its window; null when the window could not be made.
template <class Screen>
CChildScreen* MakeChildScreen(CMainView& view, UINT controlId) {
    auto* screen = new Screen(view);
    if (!screen->Create(controlId)) {
        delete screen;
        return nullptr;
    }
    return screen;
}

class CFullScreenChild : public CChildScreen {
  public:
    explicit CFullScreenChild(CMainView& view) : view_(view) {}

    // Makes the window a visible child of the view at (0, 0) with the view's client
    // size and the caption string; FALSE when it could not be made.
    BOOL CreateScreen(UINT captionStringId, UINT controlId);

    // Back to the map: WM_USER 2 with lParam 1 to the view.
    void CloseScreen();
    // Home: the flag that ends a chain of screens, then back to the map.
    void CloseScreenHome();
    // Posts a key message on to the view with the key's repeat count and flags.
    void PassKeyToView(UINT message, UINT key, UINT repeat, UINT flags);

    // The size of the close key's face, which every bottom button takes.
    static SIZE ButtonSize();
    // An owner-drawn image button (command, face bitmap, caption in white in the
    // font) of ButtonSize at (x, y); FALSE when it could not be made.
    BOOL MakeButton(CImageButton& button, UINT command, UINT faceBitmap, LPCWSTR caption, int x,
                    int y, CFont* font);
    // The close button (command 2, face 370) in the bottom-right corner of a client of
    // the size.
    BOOL MakeCloseButton(CImageButton& button, int clientWidth, int clientHeight, CFont* font);

    CMainView& View() { return view_; }

  protected:
    // Told before the screen asks to be closed.
    virtual void OnClosing() {}
    // Escape and Home close the screen; every other key goes to the view.
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    // For the screens that pass key releases on: all but up, down and Enter.
    void OnKeyUp(UINT key, UINT repeat, UINT flags);
    // The close button.
    void OnCloseButton();

    CMainView& view_;

    DECLARE_MESSAGE_MAP()
};
