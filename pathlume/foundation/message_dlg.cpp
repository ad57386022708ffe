#include "pathlume/foundation/message_dlg.h"

#include <mutex>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/kernel/msgbox.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr UINT kOkFaceBitmap = 367;
constexpr UINT kPressedFaceBitmap = 348;
constexpr UINT kTextCentred = 18;  // centred both ways
constexpr int kTextMargin = 10;    // left and right of the message
constexpr DWORD kMessageBoxStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_READONLY | ES_MULTILINE;
constexpr COLORREF kNightBackground = RGB(0x60, 0x60, 0xFF);
constexpr COLORREF kDayBackground = RGB(0xFF, 0xFF, 0xFF);

std::once_flag g_templateRegistered;

}  // namespace

void RegisterMessageDlgTemplate() {
    platform::DialogTemplate box;
    box.style = WS_POPUP | DS_SETFONT;
    box.cx = 137;
    box.cy = 133;
    box.items.push_back(ImageButtonItem(IDOK, u"OK", 0, 118, 40, 15));
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kMessageDlgTemplateId), box);
}

BEGIN_MESSAGE_MAP(CMessageDlg, CDialog)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CMessageDlg::CMessageDlg(CWnd* parent, LPCWSTR caption, LPCWSTR message, LPCWSTR heading,
                         LPCWSTR firstButtonText, LPCWSTR secondButtonText, int mode)
    : CDialog(kMessageDlgTemplateId, parent),
      m_caption(caption),
      m_message(message),
      m_heading(heading),
      m_firstButtonText(firstButtonText),
      m_secondButtonText(secondButtonText),
      m_mode(mode) {
    std::call_once(g_templateRegistered, RegisterMessageDlgTemplate);
}

INT_PTR CMessageDlg::DoModal() {
    if (!OwnBoxesAnsweredAsMessageBoxes())
        return CDialog::DoModal();
    return MessageBoxW(MessageBoxOwner(m_pParentWnd), m_message ? m_message : u"",
                       m_caption ? m_caption : u"", MB_OK);
}

bool OwnBoxesAnsweredAsMessageBoxes() {
    return !platform::IsDrawnMessageBox() || platform::MessageBoxAnswerQueued();
}

HWND MessageBoxOwner(CWnd* parent) {
    if (HWND owner = parent ? parent->GetSafeHwnd() : nullptr)
        return owner;
    CWnd* main = GetAppMainWindow();
    return main ? main->GetSafeHwnd() : nullptr;
}

void CMessageDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDOK, m_okButton);
}

BOOL CMessageDlg::OnInitDialog() {
    // Sized to the work area: the box covers the whole screen.
    SHINITDLGINFO info{SHIDIM_FLAGS, m_hWnd, SHIDIF_SIZEDLG};
    SHInitDialog(&info);
    CDialog::OnInitDialog();

    m_backgroundColour = g_colorMode.load() == kColorModeNight ? kNightBackground : kDayBackground;
    m_backgroundBrush.CreateSolidBrush(m_backgroundColour);
    CreateScaledFont(&m_font, 14, FW_BOLD, nullptr);

    if (m_message != nullptr) {
        RECT client{};
        GetClientRect(&client);
        RECT area{client.left, client.top + ScaleY(20), client.right, client.bottom - ScaleY(50)};
        m_messageBox.Create(kMessageBoxStyle, area, this, IDOK);
        const int margin = ScaleX(kTextMargin);
        m_messageBox.SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                                 MAKELONG(margin, margin));
        m_messageBox.SetWindowText(m_message);
        m_messageBox.ShowWindow(SW_SHOW);
        m_messageBox.SetFont(&m_font);
    }

    m_okButton.SetImages(kOkFaceBitmap, &m_font, 0, RGB(255, 255, 255), kPressedFaceBitmap,
                         kTextCentred, 1);
    m_okButton.SizeToBitmap();
    PlaceOkButton();
    SetWindowText(u"Travona");
    return TRUE;
}

void CMessageDlg::PlaceOkButton() {
    // The template puts the button two thirds down a box of the template's size; on the
    // full screen that is over the text box, which stops 50 scaled pixels above the
    // bottom to leave the button its own strip. The button goes into that strip.
    RECT client{};
    GetClientRect(&client);
    CRect button;
    m_okButton.GetWindowRect(&button);
    ScreenToClient(&button);
    const int strip = ScaleY(50);
    const int y = client.bottom - strip + (strip - button.Height()) / 2;
    m_okButton.SetWindowPos(nullptr, button.left, y, 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CMessageDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) {
        if (msg->wParam == VK_ESCAPE) {
            OnCancel();
            return TRUE;
        }
        if (msg->wParam == VK_HOME) {
            g_homeKeyPressed.store(1);
            OnCancel();
            return TRUE;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

void CMessageDlg::OnPaint() {
    CPaintDC dc(this);
    RECT client{};
    GetClientRect(&client);
    dc.FillSolidRect(&client, m_backgroundColour);
    dc.SetBkMode(TRANSPARENT);
    if (m_caption != nullptr) {
        DrawTitleBar(dc, m_hWnd, m_caption);
    }
    if (m_messageBox.GetSafeHwnd() != nullptr) {
        m_messageBox.Invalidate();
    }
}

HBRUSH CMessageDlg::OnCtlColor(CDC* dc, CWnd*, UINT kind) {
    if (kind != CTLCOLOR_DLG) {
        dc->SetBkColor(m_backgroundColour);
        dc->SetTextColor(m_backgroundColour == kNightBackground ? RGB(255, 255, 255)
                                                                : RGB(0, 0, 0));
    }
    return m_backgroundBrush;
}
