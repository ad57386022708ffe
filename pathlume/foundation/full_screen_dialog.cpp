#include "pathlume/foundation/full_screen_dialog.h"

#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_background.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr UINT kPressedFaceBitmap = 348;
constexpr UINT kTextCentred = 18;
constexpr COLORREF kWhite = RGB(255, 255, 255);

bool Taken(CFullScreenDialog::TakenKeys taken, WPARAM key) {
    const bool navigation = key >= VK_HOME && key <= VK_SELECT;
    switch (taken) {
        case CFullScreenDialog::TakenKeys::kEscapeAndHome:
            return key == VK_ESCAPE || key == VK_HOME;
        case CFullScreenDialog::TakenKeys::kNavigation:
            return key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE || navigation;
        case CFullScreenDialog::TakenKeys::kEnterAndNavigation:
            return key == VK_RETURN || key == VK_ESCAPE || navigation;
    }
    return false;
}

}  // namespace

BEGIN_MESSAGE_MAP(CFullScreenDialog, CDialog)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_CTLCOLOR()
ON_WM_KEYDOWN()
END_MESSAGE_MAP()

CFullScreenDialog::CFullScreenDialog(UINT templateId, CWnd* parent, TakenKeys taken,
                                     bool passKeysOn)
    : CDialog(templateId, parent), taken_(taken), passKeysOn_(passKeysOn) {}

CFullScreenDialog::~CFullScreenDialog() {
    ReleaseBuffer();
}

void CFullScreenDialog::BeginScreen() {
    SHINITDLGINFO info{SHIDIM_FLAGS, m_hWnd, SHIDIF_SIZEDLG};
    SHInitDialog(&info);
    CDialog::OnInitDialog();
    SHDoneButton(m_hWnd, SHDB_HIDE);
    CreateScaledFont(&m_labelFont, 14, FW_BOLD, nullptr);
}

void CFullScreenDialog::FinishScreen() {
    SetWindowText(u"Travona");
}

void CFullScreenDialog::BindControls(CDataExchange* dx,
                                     std::initializer_list<std::pair<int, CWnd*>> controls) {
    for (const auto& [id, control] : controls)
        DDX_Control(dx, id, *control);
}

void CFullScreenDialog::SetFace(CImageButton& button, UINT faceId, CFont* font) {
    button.SetImages(faceId, font ? font : &m_labelFont, 0, kWhite, kPressedFaceBitmap,
                     kTextCentred, 1);
    button.SizeToBitmap();
}

void CFullScreenDialog::DrawLabels(CDC& dc, std::initializer_list<UINT> ids) {
    CFont* oldFont = dc.SelectObject(&m_labelFont);
    const COLORREF oldColour = dc.SetTextColor(RGB(0, 0, 0));
    const int oldMode = dc.SetBkMode(TRANSPARENT);
    for (UINT id : ids) {
        RECT rect{};
        if (GetDlgItemRect(m_hWnd, static_cast<int>(id), &rect) != 0)
            continue;
        WCHAR text[81] = {};
        ::GetDlgItemTextW(m_hWnd, static_cast<int>(id), text, 81);
        dc.ExtTextOut(rect.left, rect.top, 0, nullptr, text,
                      static_cast<UINT>(std::char_traits<WCHAR>::length(text)), nullptr);
    }
    dc.SetBkMode(oldMode);
    dc.SetTextColor(oldColour);
    dc.SelectObject(oldFont);
}

BOOL CFullScreenDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && Taken(taken_, msg->wParam)) {
        OnScreenKey(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void CFullScreenDialog::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (!OnScreenKey(key, repeat, flags))
        Default();
}

bool CFullScreenDialog::OnScreenKey(UINT key, UINT repeat, UINT flags) {
    if (key == VK_ESCAPE) {
        OnCancel();
        return true;
    }
    if (key == VK_HOME) {
        g_homeKeyPressed.store(1);
        OnCancel();
        return true;
    }
    if (passKeysOn_) {
        PassKeyOn(m_pParentWnd, key, repeat, flags);
        return true;
    }
    return false;
}

void CFullScreenDialog::ReleaseBuffer() {
    if (bufferDC_) {
        SelectObject(bufferDC_, previousBitmap_);
        DeleteDC(bufferDC_);
    }
    if (bufferBitmap_)
        DeleteObject(bufferBitmap_);
    bufferDC_ = nullptr;
    bufferBitmap_ = nullptr;
    previousBitmap_ = nullptr;
}

void CFullScreenDialog::OnPaint() {
    CPaintDC paint(this);
    RECT client{};
    GetClientRect(&client);
    // The picture is kept for later paints and made again when the screen turned.
    if (bufferDC_ && (bufferSize_.cx != client.right || bufferSize_.cy != client.bottom))
        ReleaseBuffer();
    if (!bufferDC_) {
        bufferDC_ = CreateCompatibleDC(paint);
        bufferBitmap_ =
            bufferDC_ ? CreateCompatibleBitmap(paint, client.right, client.bottom) : nullptr;
        if (!bufferBitmap_) {
            ReleaseBuffer();
            return;
        }
        previousBitmap_ = SelectObject(bufferDC_, bufferBitmap_);
        bufferSize_ = SIZE{client.right, client.bottom};
    }
    HBRUSH fill = CreateSolidBrush(GetBkColor(paint));
    FillRect(bufferDC_, &client, fill);
    DeleteObject(fill);
    PaintScreenBackground(bufferDC_, 0, kWhite);
    DrawTitleBar(bufferDC_, m_hWnd, ScreenTitle());
    CDC* dc = CDC::FromHandle(bufferDC_);
    const int savedState = SaveDC(bufferDC_);
    DrawScreen(*dc);
    RestoreDC(bufferDC_, savedState);
    BitBlt(paint, 0, 0, client.right, client.bottom, bufferDC_, 0, 0, SRCCOPY);
}

BOOL CFullScreenDialog::OnEraseBkgnd(CDC*) {
    return TRUE;  // the paint covers every pixel
}

HBRUSH CFullScreenDialog::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
    if (kind == CTLCOLOR_BTN)
        return GetBackgroundBrush();
    return CDialog::OnCtlColor(dc, wnd, kind);
}

void CheckRadioGroup(std::initializer_list<CMapButton*> group, const CMapButton* chosen) {
    bool inGroup = false;
    for (const CMapButton* button : group)
        inGroup = inGroup || button == chosen;
    if (!inGroup)
        return;
    for (CMapButton* button : group)
        button->SetChecked(button == chosen ? 1 : 0);
}

bool CheckRadioGroupById(std::initializer_list<CMapButton*> group, UINT id) {
    for (CMapButton* button : group) {
        if (button->GetSafeHwnd() && static_cast<UINT>(button->GetDlgCtrlID()) == id) {
            CheckRadioGroup(group, button);
            return true;
        }
    }
    return false;
}

CMapButton* CheckedButton(std::initializer_list<CMapButton*> group) {
    for (CMapButton* button : group) {
        if (button->selected)
            return button;
    }
    return nullptr;
}

void PassKeyOn(CWnd* parent, UINT key, UINT repeat, UINT flags) {
    HWND target = parent ? parent->GetSafeHwnd() : nullptr;
    if (!target) {
        IMainView* view = g_mainView.load();
        target = view ? view->GetViewWindow() : nullptr;
    }
    if (target)
        ::PostMessageW(target, WM_KEYDOWN, key, static_cast<LPARAM>(repeat | (flags << 16)));
}
