#include "pathlume/foundation/avoid_road_list_wnd.h"

#include <algorithm>
#include <cstring>

#include "pathlume/foundation/registry_helpers.h"

namespace {

constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kGreen = 0x00FF00;
constexpr COLORREF kRed = 0x0000FF;
constexpr int kRowHeight = 43;
constexpr int kMaxRowBytes = 128;

void FillWith(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

// Draws an ellipse with a pen of the colour and width and no fill of its own.
void MarkEllipse(HDC dc, COLORREF colour, int width, int left, int top, int right, int bottom) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Ellipse(dc, left, top, right, bottom);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

}  // namespace

BEGIN_MESSAGE_MAP(CAvoidRoadListWnd, CTextListWnd)
ON_WM_LBUTTONDOWN()
// A quick second tap on a row comes as a double click: it turns the mark back.
AFX_WM_ENTRY(WM_LBUTTONDBLCLK, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDown)
END_MESSAGE_MAP()

CAvoidRoadListWnd::~CAvoidRoadListWnd() {
    if (bufferDC_)
        DeleteDC(bufferDC_);
    if (bufferBitmap_)
        DeleteObject(bufferBitmap_);
}

BOOL CAvoidRoadListWnd::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    const BOOL made = CTextListWnd::Create(style, rect, parent, id);
    SetRowHeight(ScaleY(kRowHeight));
    return made;
}

void CAvoidRoadListWnd::OnLButtonDown(UINT flags, CPoint point) {
    CTextListWnd::OnLButtonDown(flags, point);
    // Decided: the mark turns over here, when the tap has selected a row, and not at
    // the next paint: a tap below the last road must not turn over the mark of the
    // road selected before, and the driver sees the new mark at once.
    if (!tapped)
        return;
    SetItemFlags(selection, GetItemFlags(selection) ^ kAvoidMark);
    Invalidate(FALSE);
    UpdateWindow();
}

void CAvoidRoadListWnd::Draw(CDC* cdc, int) {
    HDC windowDC = cdc->GetSafeHdc();
    RECT client{};
    GetClientRect(&client);
    if (!bufferDC_) {
        bufferDC_ = CreateCompatibleDC(windowDC);
        bufferBitmap_ = CreateCompatibleBitmap(windowDC, client.right, client.bottom);
        if (bufferBitmap_)
            SelectObject(bufferDC_, bufferBitmap_);
    }
    // Decided: without a picture to draw into the list stays as it is, because
    // ending the whole program for one list's picture would lose the drive.
    if (!bufferBitmap_)
        return;
    HDC dc = bufferDC_;
    // Below the last whole row the picture would show what the bitmap held before.
    FillWith(dc, client, GetBkColor(dc));
    SetBkMode(dc, TRANSPARENT);
    HFONT font = listFont ? listFont : static_cast<HFONT>(fallbackFont1.GetSafeHandle());
    HGDIOBJ oldFont = SelectObject(dc, font);

    const int height = std::max(rowHeight, 1);
    int y = 1;
    int drawn = 0;
    for (int row = std::max(topIndex, 0); row < itemCount && y + height <= client.bottom;
         ++row, ++drawn) {
        DrawRow(dc, RECT{1, y, client.right - 1, y + height + 1}, row);
        y += height;
    }
    for (; drawn < rowsPerPage; ++drawn) {
        DrawRow(dc, RECT{1, y, client.right - 1, y + height + 1}, -1);
        y += height;
    }

    HPEN pen = CreatePen(PS_SOLID, 1, kBlack);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const POINT border[] = {{client.left, client.top},
                            {client.right - 1, client.top},
                            {client.right - 1, client.bottom - 1},
                            {client.left, client.bottom - 1},
                            {client.left, client.top}};
    Polyline(dc, border, 5);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    SelectObject(dc, oldFont);

    BitBlt(windowDC, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    const bool tall = g_screenScaleY.load() > 1.0f;
    const int barTop = client.bottom - (tall ? 4 : 2);
    FillWith(
        windowDC,
        RECT{client.left + 1, barTop, client.left + 1 + client.right - 2, barTop + (tall ? 3 : 1)},
        kWhite);
}

void CAvoidRoadListWnd::DrawRow(HDC dc, const RECT& area, int row) {
    FillWith(dc, area, GetBkColor(dc));
    SetBkMode(dc, TRANSPARENT);
    const COLORREF oldText = GetTextColor(dc);
    const bool selected = selection >= 0 && selection == row;
    HBRUSH brush = CreateSolidBrush(selected ? kBlue : kWhite);
    SetTextColor(dc, selected ? kWhite : kBlack);
    HGDIOBJ oldBrush = SelectObject(dc, brush);

    RECT r{area.left + 1, area.top + 1, area.right - 1, area.bottom};
    if (row < 0) {
        FillWith(dc, RECT{r.left, r.top, r.right, r.bottom + 1}, GetBkColor(dc));
    } else {
        WCHAR text[kMaxRowBytes + 1] = {};
        const auto* bytes = static_cast<const char*>(GetItem(row));
        if (bytes) {
            char cut[kMaxRowBytes + 1] = {};
            std::strncpy(cut, bytes, kMaxRowBytes);
            MultiByteToWideChar(CP_ACP, 0, cut, -1, text, kMaxRowBytes + 1);
        }
        Rectangle(dc, r.left, r.top, r.left + ScaleY(kRowHeight), r.bottom);
        const int x = r.left;
        const int y = r.top;
        if (GetItemFlags(row) & kAvoidMark) {
            MarkEllipse(dc, kRed, ScaleY(12), x + ScaleX(17), y + ScaleY(17), x + ScaleX(25),
                        y + ScaleY(25));
            HPEN white = CreatePen(PS_SOLID, ScaleY(4), kWhite);
            HGDIOBJ oldPen = SelectObject(dc, white);
            MoveToEx(dc, x + ScaleX(17) - ScaleX(2), y + ScaleY(21), nullptr);
            LineTo(dc, x + ScaleX(17) + ScaleX(10), y + ScaleY(21));
            SelectObject(dc, oldPen);
            DeleteObject(white);
        } else {
            MarkEllipse(dc, kGreen, ScaleY(5), x + ScaleX(18), y + ScaleY(18), x + ScaleX(24),
                        y + ScaleY(24));
        }
        RECT textArea{r.left + ScaleY(45), r.top, r.right, r.bottom};
        Rectangle(dc, textArea.left, textArea.top, textArea.right, textArea.bottom);
        textArea.left += 3;
        textArea.right -= 3;
        RECT measured = textArea;
        DrawTextW(dc, text, -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        const int blockHeight = measured.bottom - measured.top;
        textArea.top += std::max(0, (textArea.bottom - textArea.top - blockHeight) / 2);
        DrawTextW(dc, text, -1, &textArea, DT_WORDBREAK | DT_NOPREFIX);
    }
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    SetTextColor(dc, oldText);
}
