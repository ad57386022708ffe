// The base of the program's owner-drawn buttons, and the image button every screen
// uses: a bitmap face, an optional icon at the top left and one or two lines of text.
#pragma once

#include "platform/afx/afx.h"
#include "platform/user/dialogs.h"

// An owner-draw button window; the derived class draws it in DrawItem.
class COwnerDrawCtrl : public CButton {
  public:
    COwnerDrawCtrl() = default;
    ~COwnerDrawCtrl() override = default;
};

class CImageButton : public COwnerDrawCtrl {
  public:
    // Text alignment bits; with neither bit of a pair the text is centred that way.
    static constexpr UINT kAlignLeft = 0x1;
    static constexpr UINT kAlignRight = 0x4;
    static constexpr UINT kAlignTop = 0x8;
    static constexpr UINT kAlignBottom = 0x20;

    CImageButton() = default;
    ~CImageButton() override = default;

    // With iconMode 0 the face comes from firstId (faceId is not used); otherwise the
    // icon comes from firstId and the face from faceId. Call once the window exists.
    void SetImages(UINT firstId, CFont* font, int iconMode, COLORREF textColour, UINT faceId,
                   UINT align, int singleLine);
    // Sizes the window to the face bitmap; FALSE when there is none yet.
    BOOL SizeToBitmap();

    void DrawItem(LPDRAWITEMSTRUCT item) override;
    BOOL PreTranslateMessage(MSG* msg) override;

    int pressed = 0;
    UINT imageId = 0;
    CFont* font = nullptr;  // the caller's
    int iconMode = 0;
    COLORREF textColour = 0;
    COLORREF iconKeyColour = RGB(255, 255, 255);
    COLORREF faceKeyColour = RGB(255, 255, 255);
    UINT align = 0;
    int singleLine = 0;
    // Destroyed in reverse: the icon first, then the face.
    CBitmap face;
    CBitmap icon;

  protected:
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnKeyUp(UINT key, UINT repeat, UINT flags);
    UINT OnGetDlgCode();

  private:
    void RedrawNow();

    DECLARE_MESSAGE_MAP()
};

// An owner-drawn push button of a dialog template (an image button once bound), at
// x, y with the size cx, cy in dialog units; visible and a tab stop unless `style`
// says otherwise (it replaces those two bits).
platform::DialogItemTemplate ImageButtonItem(WORD id, const char16_t* text, short x, short y,
                                             short cx, short cy,
                                             DWORD style = WS_VISIBLE | WS_TABSTOP);
