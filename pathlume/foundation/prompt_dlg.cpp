#include "pathlume/foundation/prompt_dlg.h"

#include "pathlume/foundation/message_dlg.h"

#include <mutex>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/full_screen_dialog.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr UINT kFirstFaceBitmap = 367;
constexpr UINT kSecondFaceBitmap = 373;
constexpr UINT kCloseFaceBitmap = 369;
constexpr UINT kPressedFaceBitmap = 348;
constexpr UINT kTextCentred = 18;
constexpr COLORREF kTitleColourDay = 0x0000FF;
constexpr COLORREF kTitleColourNight = 0x000000;
// Commands from these ids end the prompt with the id (the second answer is one).
constexpr UINT kFirstAnswerCommand = 500;
constexpr UINT kLastAnswerCommand = 999;
constexpr UINT kMessageFormat = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;

std::once_flag g_templateRegistered;

bool Given(LPCWSTR text) {
    return text != nullptr;
}

}  // namespace

void RegisterPromptDlgTemplate() {
    platform::DialogTemplate prompt;
    prompt.style = WS_POPUP | DS_SETFONT;
    prompt.cx = 160;
    prompt.cy = 213;
    struct Button {
        int id;
        const char16_t* text;
        short x;
    };
    for (const Button& b :
         {Button{kPromptFirstAnswer, u"Add", 8}, Button{kPromptSecondAnswer, u"Edit", 60},
          Button{kPromptClosed, u"", 112}})
        prompt.items.push_back(ImageButtonItem(static_cast<WORD>(b.id), b.text, b.x, 190, 40, 15));
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kPromptDlgTemplateId), prompt);
}

BEGIN_MESSAGE_MAP(CPromptDlg, CDialog)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
ON_WM_KEYDOWN()
ON_COMMAND_RANGE(kFirstAnswerCommand, kLastAnswerCommand, OnAnswer)
END_MESSAGE_MAP()

CPromptDlg::CPromptDlg(CWnd* parent, LPCWSTR title, LPCWSTR message, LPCWSTR caption,
                       LPCWSTR firstText, LPCWSTR secondText, LPCWSTR cancelText,
                       LPCWSTR secondMessage)
    : CDialog(kPromptDlgTemplateId, parent),
      m_title(title),
      m_message(message),
      m_secondMessage(secondMessage),
      m_caption(caption),
      m_firstText(firstText),
      m_secondText(secondText && secondText[0] ? secondText : nullptr),
      m_cancelText(cancelText) {
    std::call_once(g_templateRegistered, RegisterPromptDlgTemplate);
}

bool CPromptDlg::ShowsSecondAnswer() const {
    return !(Given(m_firstText) && Given(m_cancelText)) || Given(m_secondText);
}

INT_PTR CPromptDlg::DoModal() {
    if (OwnBoxesAnsweredAsMessageBoxes())
        return AnswerLikeAMessageBox();
    return CDialog::DoModal();
}

int CPromptDlg::AnswerLikeAMessageBox() {
    std::u16string text = m_message ? m_message : u"";
    if (m_secondMessage) {
        text += u"\n";
        text += m_secondMessage;
    }
    const LPCWSTR title = m_title ? m_title : m_caption;
    const HWND owner = MessageBoxOwner(m_pParentWnd);
    // A box's default, its first button, is the first answer; a script may answer
    // with the prompt's own ids or with a box's.
    const int answer = MessageBoxW(owner, text.c_str(), title, MB_OKCANCEL | MB_ICONQUESTION);
    const bool second = ShowsSecondAnswer();
    switch (answer) {
        case IDOK:
        case IDYES:
            return kPromptFirstAnswer;
        case IDNO:
        case kPromptSecondAnswer:
            return second ? kPromptSecondAnswer : kPromptClosed;
        default:
            return answer >= static_cast<int>(kFirstAnswerCommand) &&
                           answer <= static_cast<int>(kLastAnswerCommand) && second
                       ? answer
                       : kPromptClosed;
    }
}

void CPromptDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kPromptFirstAnswer, m_firstButton);
    DDX_Control(dx, kPromptSecondAnswer, m_secondButton);
    DDX_Control(dx, kPromptClosed, m_closeButton);
}

BOOL CPromptDlg::OnInitDialog() {
    // The whole screen, with the input panel down.
    SHINITDLGINFO info{SHIDIM_FLAGS, m_hWnd, SHIDIF_SIZEDLG};
    SHInitDialog(&info);
    CDialog::OnInitDialog();
    SHSipPreference(m_hWnd, SIP_FORCEDOWN);
    CreateScaledFont(&m_boldFont, 14, FW_BOLD, nullptr);
    if (m_background.LoadBitmap(kBitmapBackgroundPortrait)) {
        m_backgroundBrush.CreatePatternBrush(&m_background);
    } else {
        m_backgroundBrush.CreateSolidBrush(RGB(255, 255, 255));
    }
    const struct {
        CImageButton& button;
        UINT face;
    } buttons[] = {{m_firstButton, kFirstFaceBitmap},
                   {m_secondButton, kSecondFaceBitmap},
                   {m_closeButton, kCloseFaceBitmap}};
    for (const auto& b : buttons) {
        b.button.SetImages(b.face, &m_boldFont, 0, RGB(255, 255, 255), kPressedFaceBitmap,
                           kTextCentred, 1);
        b.button.SizeToBitmap();
    }
    if (Given(m_firstText) && Given(m_cancelText)) {
        m_firstButton.SetWindowText(m_firstText);
        if (Given(m_secondText)) {
            m_secondButton.SetWindowText(m_secondText);
        }
    }
    // Decided: the close button shows the cancel text, because a blank button does
    // not tell the driver that it declines.
    if (Given(m_cancelText)) {
        m_closeButton.SetWindowText(m_cancelText);
    }
    m_secondButton.ShowWindow(ShowsSecondAnswer() ? SW_SHOW : SW_HIDE);
    PlaceButtons();
    SetWindowText(u"Travona");
    return TRUE;
}

void CPromptDlg::PlaceButtons() {
    // The shown buttons share a strip along the bottom, evenly spaced.
    RECT client{};
    GetClientRect(&client);
    CImageButton* shown[3];
    int count = 0;
    for (CImageButton* button : {&m_firstButton, &m_secondButton, &m_closeButton}) {
        if (button->GetStyle() & WS_VISIBLE) {
            shown[count++] = button;
        }
    }
    const int strip = ScaleY(50);
    int total = 0;
    CRect size[3];
    for (int i = 0; i < count; ++i) {
        shown[i]->GetWindowRect(&size[i]);
        total += size[i].Width();
    }
    const int gap = (client.right - total) / (count + 1);
    int x = gap;
    for (int i = 0; i < count; ++i) {
        const int y = client.bottom - strip + (strip - size[i].Height()) / 2;
        shown[i]->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        x += size[i].Width() + gap;
    }
}

BOOL CPromptDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_HOME)) {
        OnKeyDown(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void CPromptDlg::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (key == VK_ESCAPE) {
        OnCancel();
        return;
    }
    if (key == VK_HOME) {
        g_homeKeyPressed.store(1);
        OnCancel();
        return;
    }
    // Every other key goes on to the screen behind, so its hotkeys keep working.
    PassKeyOn(m_pParentWnd, key, repeat, flags);
}

void CPromptDlg::OnAnswer(UINT id) {
    EndDialog(static_cast<int>(id));
}

void CPromptDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackground(dc, 0, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    // The caption names the screen in the shell's task bar.
    SetWindowText(m_caption ? m_caption : u"");
    RECT client{};
    GetClientRect(&client);
    CFont* before = dc.SelectObject(&m_boldFont);
    if (m_title) {
        dc.SetTextColor(g_colorMode.load() == kColorModeNight ? kTitleColourNight
                                                              : kTitleColourDay);
        DrawFittedLine(m_title, dc, 0, ScaleY(50), client.right, ScaleY(30), TRUE, FALSE);
        dc.SelectObject(&m_boldFont);
    }
    dc.SetTextColor(RGB(0, 0, 0));
    // The margins are not scaled; the heights are.
    constexpr int kMargin = 15;
    if (m_message) {
        RECT area{kMargin, ScaleY(100), client.right - kMargin, ScaleY(100) + ScaleY(85)};
        dc.DrawText(m_message, -1, &area, kMessageFormat);
    }
    if (m_secondMessage) {
        RECT area{kMargin, ScaleY(120), client.right - kMargin, ScaleY(200)};
        dc.DrawText(m_secondMessage, -1, &area, kMessageFormat);
    }
    dc.SelectObject(before);
}

HBRUSH CPromptDlg::OnCtlColor(CDC*, CWnd*, UINT) {
    return m_backgroundBrush;
}
