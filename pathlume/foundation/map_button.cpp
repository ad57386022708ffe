#include "pathlume/foundation/map_button.h"

BEGIN_MESSAGE_MAP(CMapButton, COwnerDrawCtrl)
ON_WM_LBUTTONDOWN()
// A quick second tap comes as a double click: it is a press like any other, and
// must not reach the built-in button, which would keep its own pushed state.
AFX_WM_ENTRY(WM_LBUTTONDBLCLK, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDown)
ON_WM_LBUTTONUP()
END_MESSAGE_MAP()

void CMapButton::SetChecked(int state) {
    selected = state;
    Invalidate(TRUE);
    UpdateWindow();
}

void CMapButton::DrawItem(LPDRAWITEMSTRUCT item) {
    CDC* dc = CDC::FromHandle(item->hDC);
    const RECT& r = item->rcItem;
    CFont* oldFont = font ? dc->SelectObject(font) : nullptr;
    int oldMode = dc->SetBkMode(TRANSPARENT);

    const bool pressedLook = selected || (item->itemState & ODS_SELECTED);
    CBrush brush(pressedLook ? selectedBackgroundColour : backgroundColour);
    COLORREF oldText = dc->SetTextColor(pressedLook ? selectedTextColour : textColour);
    CBitmap* picture = &image;
    if (!pressedLook && normalImage.GetSafeHandle() != nullptr) {
        picture = &normalImage;
    }

    if (picture->GetSafeHandle() != nullptr) {
        const LONG width = r.right - r.left;
        const LONG height = r.bottom - r.top;
        BITMAP record{};
        picture->GetBitmap(&record);
        TransparentImage(*dc, r.left, r.top, width, height, picture->GetSafeHandle(), 0, 0,
                         record.bmWidth, record.bmHeight, transparentColour);
    } else {
        CBrush* oldBrush = dc->SelectObject(&brush);
        const int radius = (r.bottom - r.top) / 2;
        switch (shape) {
            case kRoundedBar:
                dc->RoundRect(r.left, r.top, r.right, r.bottom, radius, radius);
                break;
            case kEllipse:
                dc->Ellipse(r.left, r.top, r.right, r.bottom);
                break;
            default:
                dc->Rectangle(r.left, r.top, r.right, r.bottom);
                break;
        }
        dc->SelectObject(oldBrush);
    }

    WCHAR text[128] = {};
    GetWindowText(text, 128);
    RECT textRect = r;
    dc->DrawText(text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    dc->SetTextColor(oldText);
    dc->SetBkMode(oldMode);
    if (oldFont) {
        dc->SelectObject(oldFont);
    }
}

void CMapButton::OnLButtonDown(UINT, CPoint) {
    SetCapture();
}

void CMapButton::OnLButtonUp(UINT, CPoint point) {
    if (::GetCapture() == m_hWnd) {
        ::ReleaseCapture();
    }
    RECT client{};
    GetClientRect(&client);
    if (!PtInRect(&client, point)) {
        return;
    }
    if (toggle) {
        SetChecked(selected ? 0 : 1);
    } else if (!selected) {
        SetChecked(1);
    }
    HWND parent = ::GetParent(m_hWnd);
    if (parent != nullptr) {
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), 0),
                       reinterpret_cast<LPARAM>(m_hWnd));
    }
}

void CColorLabel::SetColors(COLORREF background, COLORREF text) {
    backgroundColour = background;
    textColour = text;
    brush.DeleteObject();
    brush.CreateSolidBrush(background);
}

BOOL CColorLabel::OnChildNotify(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    if (message < WM_CTLCOLORMSGBOX || message > WM_CTLCOLORSTATIC) {
        return FALSE;
    }
    if (brush.GetSafeHandle() == nullptr) {
        brush.CreateSolidBrush(backgroundColour);
    }
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkColor(dc, backgroundColour);
    SetTextColor(dc, textColour);
    if (result) {
        *result = reinterpret_cast<LRESULT>(static_cast<HBRUSH>(brush));
    }
    return TRUE;
}
