#include <algorithm>

#include "platform/afx/afx_internal.h"
#include "platform/user/tab_control.h"

namespace {

// Sizes at 96 dpi, scaled with the screen.
constexpr int kMargin = 7;
constexpr int kTabHeight = 22;
constexpr int kTabPadding = 16;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;

int Scaled(int pixels) {
    return pixels * platform::ScreenDpi() / 96;
}

}  // namespace

// The row of tabs above the pages: a tab control, one tab per page. A tap on a tab
// asks the shown page to let go (TCN_SELCHANGING), then shows the page of the tab
// (TCN_SELCHANGE); the notifications come back to this object from the sheet.
class AfxSheetTabs : public CWnd {
  public:
    static constexpr int kId = 0x3020;

    explicit AfxSheetTabs(CPropertySheet* sheet) : m_sheet(sheet) {}

    BOOL Create(HFONT font) {
        HWND hwnd = ::CreateWindowExW(
            0, WC_TABCONTROL, u"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, m_sheet->m_hWnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kId)), nullptr, nullptr);
        if (hwnd == nullptr || !SubclassWindow(hwnd)) {
            if (hwnd != nullptr)
                ::DestroyWindow(hwnd);
            return FALSE;
        }
        if (font != nullptr)
            SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return TRUE;
    }

    void AddTab(int index, const CString& title) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<LPWSTR>(title.GetString());
        SendMessage(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }

    // Shows the page; the page shown before has let go already.
    static BOOL ShowPage(CPropertySheet* sheet, int index) {
        CPropertyPage* page = sheet->GetPage(index);
        CPropertyPage* current = sheet->GetActivePage();
        const int previous = sheet->m_nActive;
        sheet->m_nActive = index;
        const BOOL shown = page->OnSetActive();
        if (!shown) {
            sheet->m_nActive = previous;
        } else {
            if (current != nullptr)
                current->ShowWindow(SW_HIDE);
            page->ShowWindow(SW_SHOW);
        }
        if (sheet->m_pTabs != nullptr)
            sheet->m_pTabs->SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(sheet->m_nActive));
        return shown;
    }

    BOOL OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result) override {
        if (message != WM_NOTIFY)
            return FALSE;
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == TCN_SELCHANGING) {
            // The page may keep the tab (its data did not validate).
            CPropertyPage* current = m_sheet->GetActivePage();
            *result = current != nullptr && !current->OnKillActive() ? TRUE : FALSE;
            return TRUE;
        }
        if (header->code == TCN_SELCHANGE) {
            const int index = static_cast<int>(SendMessage(TCM_GETCURSEL));
            if (m_sheet->GetPage(index) != nullptr && index != m_sheet->m_nActive)
                ShowPage(m_sheet, index);
            *result = 0;
            return TRUE;
        }
        return FALSE;
    }

    void PostNcDestroy() override { delete this; }

  private:
    CPropertySheet* m_sheet;
};

// ---------------------------------------------------------------------------------
// Pages

BEGIN_MESSAGE_MAP(CPropertyPage, CDialog)
ON_COMMAND(IDOK, OnPageOk)
ON_COMMAND(IDCANCEL, OnPageCancel)
END_MESSAGE_MAP()

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId)
    : CPropertyPage(MAKEINTRESOURCEW(templateId), captionId) {
    m_nIDHelp = templateId;
}

CPropertyPage::CPropertyPage(LPCWSTR templateName, UINT captionId) : CDialog(templateName) {
    m_psp.dwSize = sizeof(m_psp);
    m_psp.pszTemplate = templateName;
    if (captionId != 0 && m_strCaption.LoadString(captionId)) {
        m_psp.dwFlags |= PSP_USETITLE;
        m_psp.pszTitle = m_strCaption;
    }
}

BOOL CPropertyPage::OnSetActive() {
    return TRUE;
}

BOOL CPropertyPage::OnKillActive() {
    return UpdateData(TRUE);
}

BOOL CPropertyPage::OnApply() {
    OnOK();
    return TRUE;
}

void CPropertyPage::OnReset() {
    OnCancel();
}

BOOL CPropertyPage::OnQueryCancel() {
    return TRUE;
}

void CPropertyPage::OnOK() {}

void CPropertyPage::OnCancel() {}

void CPropertyPage::SetModified(BOOL changed) {
    m_bModified = changed;
    if (m_pSheet != nullptr)
        m_pSheet->UpdateApplyButton();
}

BOOL CPropertyPage::PreTranslateMessage(MSG*) {
    return FALSE;
}

void CPropertyPage::OnPageOk() {
    if (m_pSheet != nullptr)
        m_pSheet->PressButton(PSBTN_OK);
}

void CPropertyPage::OnPageCancel() {
    if (m_pSheet != nullptr)
        m_pSheet->PressButton(PSBTN_CANCEL);
}

// ---------------------------------------------------------------------------------
// The sheet

BEGIN_MESSAGE_MAP(CPropertySheet, CDialog)
ON_COMMAND(ID_APPLY_NOW, OnApplyNow)
ON_COMMAND(IDHELP, OnHelpButton)
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet() : CPropertySheet(static_cast<LPCWSTR>(nullptr)) {}

CPropertySheet::CPropertySheet(LPCWSTR caption, CWnd* parent, UINT selectPage) {
    m_pParentWnd = parent;
    m_strCaption = caption;
    m_psh.dwSize = sizeof(m_psh);
    m_psh.pszCaption = m_strCaption;
    m_psh.nStartPage = selectPage;
}

CPropertySheet::CPropertySheet(UINT captionId, CWnd* parent, UINT selectPage)
    : CPropertySheet(static_cast<LPCWSTR>(nullptr), parent, selectPage) {
    m_strCaption.LoadString(captionId);
    m_psh.pszCaption = m_strCaption;
}

// The pages are the caller's and may already be gone.
CPropertySheet::~CPropertySheet() = default;

void CPropertySheet::AddPage(CPropertyPage* page) {
    page->m_pSheet = this;
    m_pages.push_back(page);
}

void CPropertySheet::RemovePage(int index) {
    if (index < 0 || index >= GetPageCount() || index == m_nActive)
        return;
    CPropertyPage* page = m_pages[static_cast<size_t>(index)];
    if (page->m_hWnd != nullptr)
        page->DestroyWindow();
    page->m_pSheet = nullptr;
    m_pages.erase(m_pages.begin() + index);
    if (m_nActive > index)
        --m_nActive;
    if (m_pTabs != nullptr)
        m_pTabs->SendMessage(TCM_DELETEITEM, static_cast<WPARAM>(index));
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)] : nullptr;
}

int CPropertySheet::GetPageIndex(CPropertyPage* page) const {
    auto found = std::find(m_pages.begin(), m_pages.end(), page);
    return found == m_pages.end() ? -1 : static_cast<int>(found - m_pages.begin());
}

void CPropertySheet::SetTitle(LPCWSTR title) {
    m_strCaption = title;
    m_psh.pszCaption = m_strCaption;
    if (m_hWnd != nullptr)
        SetWindowText(m_strCaption);
}

INT_PTR CPropertySheet::DoModal() {
    if (m_pages.empty())
        return -1;
    m_template = platform::DialogTemplate{};
    m_template.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    m_template.cx = 50;
    m_template.cy = 50;
    m_template.caption = m_strCaption.Str();
    m_lpDialogTemplate = &m_template;
    m_nActive = -1;
    INT_PTR result = CDialog::DoModal();
    m_pTabs = nullptr;
    m_nActive = -1;
    return result;
}

BOOL CPropertySheet::MakePages() {
    for (CPropertyPage* page : m_pages) {
        if (page->m_hWnd != nullptr)
            continue;
        page->m_bModal = FALSE;
        page->m_pParentWnd = this;
        if (!page->CreateFromTemplate(this))
            return FALSE;
        page->ShowWindow(SW_HIDE);
    }
    return TRUE;
}

void CPropertySheet::Layout() {
    // The largest page sets the page area.
    int pageWidth = 0;
    int pageHeight = 0;
    for (CPropertyPage* page : m_pages) {
        CRect rect;
        page->GetWindowRect(rect);
        pageWidth = std::max(pageWidth, rect.Width());
        pageHeight = std::max(pageHeight, rect.Height());
    }
    const int margin = Scaled(kMargin);
    const int tabHeight = Scaled(kTabHeight);
    const int buttonWidth = Scaled(kButtonWidth);
    const int buttonHeight = Scaled(kButtonHeight);
    const int gap = Scaled(kButtonGap);
    const int buttonsWidth = 4 * buttonWidth + 3 * gap;
    const int clientWidth = std::max(pageWidth, buttonsWidth) + 2 * margin;
    const int clientHeight = margin + tabHeight + pageHeight + margin + buttonHeight + margin;

    CRect window;
    CRect client;
    GetWindowRect(window);
    GetClientRect(client);
    int width = clientWidth + window.Width() - client.Width();
    int height = clientHeight + window.Height() - client.Height();
    int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    SetWindowPos(nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    m_pTabs->MoveWindow(margin, margin, clientWidth - 2 * margin, tabHeight);
    m_pageRect =
        CRect(margin, margin + tabHeight, margin + pageWidth, margin + tabHeight + pageHeight);
    for (CPropertyPage* page : m_pages) {
        ::SetWindowPos(page->m_hWnd, nullptr, m_pageRect.left, m_pageRect.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The buttons, right-aligned: OK, Cancel, Apply, Help.
    const int ids[] = {IDOK, IDCANCEL, ID_APPLY_NOW, IDHELP};
    int buttonX = clientWidth - margin - buttonsWidth;
    int buttonY = clientHeight - margin - buttonHeight;
    for (int id : ids) {
        ::MoveWindow(::GetDlgItem(m_hWnd, id), buttonX, buttonY, buttonWidth, buttonHeight, TRUE);
        buttonX += buttonWidth + gap;
    }
}

BOOL CPropertySheet::OnInitDialog() {
    CDialog::OnInitDialog();
    if (m_psh.pszCaption != nullptr && m_psh.pszCaption != m_strCaption.GetString()) {
        SetWindowText(m_psh.pszCaption);
    }
    HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    struct ButtonInfo {
        int id;
        const char16_t* text;
        DWORD style;
        bool shown;
    } buttons[] = {
        {IDOK, u"OK", BS_DEFPUSHBUTTON, true},
        {IDCANCEL, u"Cancel", BS_PUSHBUTTON, true},
        {ID_APPLY_NOW, u"&Apply", BS_PUSHBUTTON | WS_DISABLED, !(m_psh.dwFlags & PSH_NOAPPLYNOW)},
        {IDHELP, u"Help", BS_PUSHBUTTON, (m_psh.dwFlags & PSH_HASHELP) != 0},
    };
    for (const auto& button : buttons) {
        HWND hwnd = CreateWindowExW(
            0, WC_BUTTON, button.text,
            WS_CHILD | WS_TABSTOP | button.style | (button.shown ? WS_VISIBLE : 0), 0, 0,
            Scaled(kButtonWidth), Scaled(kButtonHeight), m_hWnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.id)), nullptr, nullptr);
        if (hwnd != nullptr && font != nullptr) {
            ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
    auto* tabs = new AfxSheetTabs(this);
    if (!tabs->Create(font)) {
        delete tabs;
        EndDialog(-1);
        return FALSE;
    }
    m_pTabs = tabs;
    if (!MakePages()) {
        EndDialog(-1);
        return FALSE;
    }
    for (int i = 0; i < GetPageCount(); ++i) {
        CPropertyPage* page = GetPage(i);
        CString title;
        if ((page->m_psp.dwFlags & PSP_USETITLE) && page->m_psp.pszTitle != nullptr)
            title = page->m_psp.pszTitle;
        else
            page->GetWindowText(title);
        tabs->AddTab(i, title);
    }
    Layout();
    int start = static_cast<int>(m_psh.nStartPage);
    if (start >= GetPageCount())
        start = 0;
    SetActivePage(start);
    return TRUE;
}

BOOL CPropertySheet::SetActivePage(int index) {
    CPropertyPage* page = GetPage(index);
    if (page == nullptr)
        return FALSE;
    if (m_hWnd == nullptr) {
        m_psh.nStartPage = static_cast<UINT>(index);
        return TRUE;
    }
    if (index == m_nActive)
        return TRUE;
    CPropertyPage* current = GetActivePage();
    if (current != nullptr && !current->OnKillActive())
        return FALSE;
    return AfxSheetTabs::ShowPage(this, index);
}

void CPropertySheet::UpdateApplyButton() {
    if (m_hWnd == nullptr)
        return;
    bool modified = std::any_of(m_pages.begin(), m_pages.end(),
                                [](CPropertyPage* page) { return page->m_bModified; });
    ::EnableWindow(::GetDlgItem(m_hWnd, ID_APPLY_NOW), modified);
}

BOOL CPropertySheet::ApplyPages() {
    CPropertyPage* active = GetActivePage();
    if (active != nullptr && !active->OnKillActive())
        return FALSE;
    // A copy: a page's OnApply may end the sheet and its pages.
    std::vector<CPropertyPage*> pages = m_pages;
    for (CPropertyPage* page : pages) {
        if (page->m_hWnd == nullptr)
            continue;
        if (!page->OnApply()) {
            if (m_hWnd != nullptr)
                SetActivePage(page);
            return FALSE;
        }
        page->m_bModified = FALSE;
    }
    UpdateApplyButton();
    return TRUE;
}

void CPropertySheet::OnOK() {
    if (ApplyPages())
        EndDialog(IDOK);
}

void CPropertySheet::OnCancel() {
    CPropertyPage* active = GetActivePage();
    if (active != nullptr && !active->OnQueryCancel())
        return;
    std::vector<CPropertyPage*> pages = m_pages;
    for (CPropertyPage* page : pages) {
        if (page->m_hWnd != nullptr)
            page->OnReset();
    }
    EndDialog(IDCANCEL);
}

void CPropertySheet::OnApplyNow() {
    CPropertyPage* active = GetActivePage();
    if (ApplyPages() && active != nullptr && active == GetActivePage() &&
        active->m_hWnd != nullptr) {
        active->OnSetActive();
    }
}

void CPropertySheet::OnHelpButton() {}

BOOL CPropertySheet::PressButton(int button) {
    switch (button) {
        case PSBTN_OK:
            OnOK();
            return TRUE;
        case PSBTN_CANCEL:
            OnCancel();
            return TRUE;
        case PSBTN_APPLYNOW:
            if (!::IsWindowEnabled(::GetDlgItem(m_hWnd, ID_APPLY_NOW)))
                return FALSE;
            OnApplyNow();
            return TRUE;
        case PSBTN_HELP:
            OnHelpButton();
            return TRUE;
        default:
            return FALSE;
    }
}

BOOL CPropertySheet::PreTranslateMessage(MSG* msg) {
    if (m_hWnd == nullptr || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) {
        return FALSE;
    }
    if (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd))
        return FALSE;
    CPropertyPage* page = GetActivePage();
    if (page != nullptr && page->m_hWnd != nullptr &&
        (msg->hwnd == page->m_hWnd || ::IsChild(page->m_hWnd, msg->hwnd))) {
        return IsDialogMessageW(page->m_hWnd, msg);
    }
    return IsDialogMessageW(m_hWnd, msg);
}
