#include "pathlume/shell/child_screen.h"

#include "pathlume/foundation/registry_helpers.h"
#include "platform/shell/shell.h"

namespace {

// The style of the screens' image buttons: a visible, owner-drawn tab stop.
constexpr DWORD kImageButtonStyle = 0x5001000B;
// The text colour of the image buttons.
constexpr COLORREF kButtonText = RGB(255, 255, 255);
// The close request's lParam: the map screen.
constexpr LPARAM kBackToMap = 1;

}  // namespace

void DrawOutlinedBox(HDC dc, const RECT& box, COLORREF outline, int stockBrush) {
    HPEN pen = CreatePen(PS_SOLID, 1, outline);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(stockBrush));
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

void DrawGroupBox(HDC dc, const RECT& box, LPCWSTR heading, COLORREF outline,
                  COLORREF headingColour, COLORREF background) {
    DrawOutlinedBox(dc, box, outline, NULL_BRUSH);
    const int length = static_cast<int>(wcslen(heading));
    SIZE extent{};
    GetTextExtentPoint32W(dc, heading, length, &extent);
    const int x = (box.left + box.right - extent.cx) / 2;
    const int y = box.top - extent.cy / 2;
    const int oldMode = SetBkMode(dc, OPAQUE);
    const COLORREF oldBack = SetBkColor(dc, background);
    const COLORREF oldColour = SetTextColor(dc, headingColour);
    ExtTextOutW(dc, x, y, 0, nullptr, heading, static_cast<UINT>(length), nullptr);
    SetTextColor(dc, oldColour);
    SetBkColor(dc, oldBack);
    SetBkMode(dc, oldMode);
}

BEGIN_MESSAGE_MAP(CFullScreenChild, CWnd)
ON_WM_KEYDOWN()
ON_COMMAND(kScreenCloseCommand, OnCloseButton)
END_MESSAGE_MAP()

BOOL CFullScreenChild::CreateScreen(UINT captionStringId, UINT controlId) {
    WCHAR caption[80] = {};
    LoadResString(captionStringId, caption, 80, FALSE);
    RECT client{};
    view_.GetClientRect(&client);
    if (!Create(nullptr, caption, WS_CHILD | WS_VISIBLE, client, &view_, controlId))
        return FALSE;
    SHDoneButton(m_hWnd, SHDB_HIDE);
    ShowWindow(SW_SHOW);
    // The keys come to the screen, which passes on what it does not take.
    SetFocus();
    return TRUE;
}

void CFullScreenChild::CloseScreen() {
    OnClosing();
    view_.PostMessage(WM_USER, kViewSwitchScreen, kBackToMap);
}

void CFullScreenChild::CloseScreenHome() {
    g_homeKeyPressed.store(1);
    CloseScreen();
}

void CFullScreenChild::PassKeyToView(UINT message, UINT key, UINT repeat, UINT flags) {
    view_.PostMessage(message, key, static_cast<LPARAM>(MAKELONG(repeat, flags)));
}

SIZE CFullScreenChild::ButtonSize() {
    HBITMAP face = static_cast<HBITMAP>(LoadScaledImage(kBitmapCloseKey, IMAGE_BITMAP, 0, 0, 0));
    BITMAP info{};
    SIZE size{ScaleX(29), ScaleY(29)};
    if (face && GetObjectW(face, sizeof info, &info) != 0)
        size = {info.bmWidth, info.bmHeight};
    if (face)
        DeleteObject(face);
    return size;
}

BOOL CFullScreenChild::MakeButton(CImageButton& button, UINT command, UINT faceBitmap,
                                  LPCWSTR caption, int x, int y, CFont* font) {
    const SIZE size = ButtonSize();
    const RECT rect{x, y, x + size.cx, y + size.cy};
    if (!button.Create(caption ? caption : u"", kImageButtonStyle, rect, this, command))
        return FALSE;
    button.SetImages(faceBitmap, font, 0, kButtonText, 0, 0, 1);
    return TRUE;
}

BOOL CFullScreenChild::MakeCloseButton(CImageButton& button, int clientWidth, int clientHeight,
                                       CFont* font) {
    const SIZE size = ButtonSize();
    return MakeButton(button, kScreenCloseCommand, kBitmapScreenClose, nullptr,
                      clientWidth - size.cx, clientHeight - size.cy, font);
}

void CFullScreenChild::OnKeyUp(UINT key, UINT repeat, UINT flags) {
    if (key == VK_UP || key == VK_DOWN || key == VK_RETURN)
        return;
    PassKeyToView(WM_KEYUP, key, repeat, flags);
}

void CFullScreenChild::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    switch (key) {
        case VK_ESCAPE:
            CloseScreen();
            return;
        case VK_HOME:
            CloseScreenHome();
            return;
        default:
            PassKeyToView(WM_KEYDOWN, key, repeat, flags);
            return;
    }
}

void CFullScreenChild::OnCloseButton() {
    CloseScreen();
}
