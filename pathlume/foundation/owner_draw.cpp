#include "pathlume/foundation/owner_draw.h"

#include <string>

#include "pathlume/foundation/registry_helpers.h"

BEGIN_MESSAGE_MAP(CImageButton, COwnerDrawCtrl)
ON_WM_LBUTTONDOWN()
// A quick second tap comes as a double click: it is a press like any other, and
// must not reach the built-in button, which would keep its own pushed state.
AFX_WM_ENTRY(WM_LBUTTONDBLCLK, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDown)
ON_WM_LBUTTONUP()
ON_WM_KEYDOWN()
ON_WM_KEYUP()
ON_WM_GETDLGCODE()
END_MESSAGE_MAP()

void CImageButton::SetImages(UINT firstId, CFont* textFont, int withIcon, COLORREF colour,
                             UINT faceId, UINT alignBits, int oneLine) {
    icon.DeleteObject();
    if (withIcon == 0) {
        face.DeleteObject();
        face.LoadBitmap(firstId);
    } else {
        icon.LoadBitmap(firstId);
        face.DeleteObject();
        face.LoadBitmap(faceId);
    }
    imageId = firstId;
    font = textFont;
    iconMode = withIcon;
    textColour = colour;
    align = alignBits;
    singleLine = oneLine;
}

BOOL CImageButton::SizeToBitmap() {
    BITMAP record{};
    if (face.GetSafeHandle() == nullptr || face.GetBitmap(&record) != sizeof(record)) {
        return FALSE;
    }
    return SetWindowPos(nullptr, 0, 0, record.bmWidth, record.bmHeight,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CImageButton::DrawItem(LPDRAWITEMSTRUCT item) {
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    const LONG width = r.right - r.left;
    const LONG height = r.bottom - r.top;
    if (face.GetSafeHandle() != nullptr) {
        TransparentImage(dc, r.left, r.top, width, height, face.GetSafeHandle(), 0, 0, width,
                         height, faceKeyColour);
    }
    if (iconMode && icon.GetSafeHandle() != nullptr) {
        BITMAP record{};
        icon.GetBitmap(&record);
        TransparentImage(dc, 0, 0, record.bmWidth, record.bmHeight, icon.GetSafeHandle(), 0, 0,
                         record.bmWidth, record.bmHeight, iconKeyColour);
    }

    WCHAR buffer[81] = {};
    GetWindowText(buffer, 81);
    if (buffer[0] == 0) {
        return;
    }
    RECT t = r;
    if (iconMode) {
        t.left += ScaleY(37);
    }
    int oldMode = SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = font ? SelectObject(dc, static_cast<HFONT>(*font)) : nullptr;

    UINT format = DT_NOPREFIX | (singleLine ? DT_SINGLELINE : 0);
    if (align & kAlignTop) {
        t.top += ScaleY(5);
    } else if (align & kAlignBottom) {
        // Bottom alignment works on a single line only; without it the text would be
        // laid out from the top and the bottom flag lost.
        format |= DT_BOTTOM | DT_SINGLELINE;
    } else {
        format |= DT_VCENTER;
    }
    if (!iconMode) {
        if (align & kAlignLeft) {
            t.left += ScaleY(10);
        } else if (align & kAlignRight) {
            format |= DT_RIGHT;
        } else {
            format |= DT_CENTER;
        }
    }
    COLORREF oldColour = SetTextColor(dc, textColour);

    std::u16string text = buffer;
    size_t feed = text.find(u'\n');
    if (feed == std::u16string::npos) {
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t, format);
    } else {
        std::u16string first = text.substr(0, feed);
        std::u16string rest = text.substr(feed + 1);
        if (t.bottom - t.top <= ScaleY(60)) {
            OffsetRect(&t, 0, -ScaleY(7));
        }
        DrawTextW(dc, first.c_str(), static_cast<int>(first.size()), &t, format);
        OffsetRect(&t, 0, ScaleY(14));
        DrawTextW(dc, rest.c_str(), static_cast<int>(rest.size()), &t, format);
    }

    SetTextColor(dc, oldColour);
    if (oldFont) {
        SelectObject(dc, oldFont);
    }
    SetBkMode(dc, oldMode);
}

BOOL CImageButton::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_SELECT)) {
        return TRUE;
    }
    return FALSE;
}

void CImageButton::RedrawNow() {
    HDC dc = ::GetDC(m_hWnd);
    if (dc == nullptr) {
        return;
    }
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(GetDlgCtrlID());
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = m_hWnd;
    item.hDC = dc;
    GetClientRect(&item.rcItem);
    DrawItem(&item);
    ::ReleaseDC(m_hWnd, dc);
}

void CImageButton::OnLButtonDown(UINT, CPoint) {
    pressed = 1;
    // The release must come back here even when the stylus has slid off the button:
    // every release is a click.
    ::SetCapture(m_hWnd);
    RedrawNow();
}

void CImageButton::OnLButtonUp(UINT, CPoint) {
    if (::GetCapture() == m_hWnd) {
        ::ReleaseCapture();
    }
    pressed = 0;
    RedrawNow();
    HWND parent = ::GetParent(m_hWnd);
    if (parent != nullptr) {
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), 0),
                       reinterpret_cast<LPARAM>(m_hWnd));
    }
}

void CImageButton::OnKeyDown(UINT, UINT, UINT) {}

void CImageButton::OnKeyUp(UINT, UINT, UINT) {}

UINT CImageButton::OnGetDlgCode() {
    SetWindowLongW(m_hWnd, GWL_EXSTYLE, 0);
    return DLGC_WANTALLKEYS;
}

platform::DialogItemTemplate ImageButtonItem(WORD id, const char16_t* text, short x, short y,
                                             short cx, short cy, DWORD style) {
    return platform::DialogItem(u"BUTTON", text, id, style | BS_OWNERDRAW, x, y, cx, cy);
}
