// The list of the roads to avoid: one tall row per road, a mark square in front of
// its name (a green dot, or a red no-entry sign once the road is avoided); a tap on a
// row selects it and turns its mark over. The mark is bit 31 of the row's flag word,
// which the list's owner sets and reads back.
#pragma once

#include "pathlume/foundation/text_list_wnd.h"

class CAvoidRoadListWnd : public CTextListWnd {
  public:
    // The row flag word's avoid mark.
    static constexpr DWORD kAvoidMark = 0x80000000;

    CAvoidRoadListWnd() = default;
    ~CAvoidRoadListWnd() override;

    // The list's own creation, then rows of 43 scaled pixels.
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) override;
    // Draws every row off screen and copies the picture to the window.
    void Draw(CDC* dc, int row) override;
    // One row in the rectangle; row -1 is a blank row.
    void DrawRow(HDC dc, const RECT& rect, int row);

  protected:
    void OnLButtonDown(UINT flags, CPoint point);

    DECLARE_MESSAGE_MAP()

  private:
    HDC bufferDC_ = nullptr;
    HBITMAP bufferBitmap_ = nullptr;
};
