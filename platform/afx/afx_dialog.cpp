#include <limits>
#include <type_traits>

#include "platform/afx/afx_internal.h"

namespace {

// The dialog being made on this thread, attached at its first dialog-procedure call.
thread_local CDialog* t_dialogInit = nullptr;

// A whole decimal number with optional blanks around it and a sign; false for
// anything else or a value beyond 32 bits.
bool ParseWhole(CString text, bool isSigned, long long* value) {
    text.Trim();
    int at = 0;
    bool negative = false;
    if (at < text.GetLength() && (text[at] == u'-' || text[at] == u'+')) {
        negative = text[at] == u'-';
        ++at;
    }
    if (at == text.GetLength() || (negative && !isSigned))
        return false;
    long long parsed = 0;
    for (; at < text.GetLength(); ++at) {
        if (text[at] < u'0' || text[at] > u'9')
            return false;
        parsed = parsed * 10 + (text[at] - u'0');
        if (parsed > 0xFFFFFFFFLL)
            return false;
    }
    *value = negative ? -parsed : parsed;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Data exchange

HWND CDataExchange::PrepareCtrl(int id) {
    HWND control = ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), id);
    if (control == nullptr) {
        m_bFailed = TRUE;
        return nullptr;
    }
    m_hWndLastControl = control;
    return control;
}

void CDataExchange::Fail() {
    m_bFailed = TRUE;
    if (m_bSaveAndValidate && m_hWndLastControl != nullptr)
        ::SetFocus(m_hWndLastControl);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd != nullptr)
        return;
    HWND hwnd = dx->PrepareCtrl(id);
    if (hwnd != nullptr && !control.SubclassWindow(hwnd))
        dx->Fail();
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    HWND hwnd = dx->PrepareCtrl(id);
    if (hwnd == nullptr)
        return;
    if (dx->m_bSaveAndValidate) {
        CWnd::FromHandle(hwnd)->GetWindowText(value);
    } else {
        ::SetWindowTextW(hwnd, value);
    }
}

namespace {

// DDX_Text for a whole number: a value outside T's range fails the exchange, and
// only a signed T takes a minus sign.
template <class T>
void ExchangeWhole(CDataExchange* dx, int id, T& value, LPCWSTR format) {
    HWND hwnd = dx->PrepareCtrl(id);
    if (hwnd == nullptr)
        return;
    if (dx->m_bSaveAndValidate) {
        CString text;
        CWnd::FromHandle(hwnd)->GetWindowText(text);
        long long parsed = 0;
        if (!ParseWhole(text, std::is_signed_v<T>, &parsed) ||
            parsed < static_cast<long long>(std::numeric_limits<T>::min()) ||
            parsed > static_cast<long long>(std::numeric_limits<T>::max())) {
            dx->Fail();
            return;
        }
        value = static_cast<T>(parsed);
    } else {
        CString text;
        text.Format(format, value);
        ::SetWindowTextW(hwnd, text);
    }
}

}  // namespace

void DDX_Text(CDataExchange* dx, int id, int& value) {
    ExchangeWhole(dx, id, value, u"%d");
}

void DDX_Text(CDataExchange* dx, int id, UINT& value) {
    ExchangeWhole(dx, id, value, u"%u");
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND hwnd = dx->PrepareCtrl(id);
    if (hwnd == nullptr)
        return;
    if (dx->m_bSaveAndValidate) {
        value = static_cast<int>(::SendMessageW(hwnd, BM_GETCHECK, 0, 0));
    } else {
        ::SendMessageW(hwnd, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

// ---------------------------------------------------------------------------------
// Dialogs

INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (wnd == nullptr) {
        CDialog* dialog = t_dialogInit;
        if (dialog == nullptr && message == WM_INITDIALOG) {
            dialog = reinterpret_cast<CDialog*>(lParam);
        }
        if (dialog == nullptr)
            return FALSE;
        t_dialogInit = nullptr;
        if (!dialog->SubclassWindow(hwnd))
            return FALSE;
        wnd = dialog;
    }
    if (message == WM_INITDIALOG) {
        auto* dialog = dynamic_cast<CDialog*>(wnd);
        return dialog != nullptr ? dialog->OnInitDialog() : TRUE;
    }
    return FALSE;
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_lpszTemplateName(MAKEINTRESOURCEW(templateId)),
      m_nIDHelp(templateId),
      m_pParentWnd(parent) {}

CDialog::CDialog(LPCWSTR templateName, CWnd* parent)
    : m_lpszTemplateName(templateName), m_pParentWnd(parent) {}

BOOL CDialog::CreateFromTemplate(CWnd* parent) {
    if (m_hWnd != nullptr || (m_lpszTemplateName == nullptr && m_lpDialogTemplate == nullptr)) {
        return FALSE;
    }
    CDialog* previous = t_dialogInit;
    t_dialogInit = this;
    HWND owner = parent != nullptr ? parent->GetSafeHwnd() : nullptr;
    HWND hwnd = m_lpDialogTemplate != nullptr
                    ? CreateDialogIndirectParamW(AfxGetResourceHandle(), m_lpDialogTemplate, owner,
                                                 AfxDlgProc, reinterpret_cast<LPARAM>(this))
                    : CreateDialogParamW(AfxGetResourceHandle(), m_lpszTemplateName, owner,
                                         AfxDlgProc, reinterpret_cast<LPARAM>(this));
    if (t_dialogInit == this)
        t_dialogInit = previous;
    if (hwnd == nullptr)
        return FALSE;
    if (m_hWnd != hwnd) {
        // The dialog procedure was never asked anything: attach now.
        if (!SubclassWindow(hwnd)) {
            ::DestroyWindow(hwnd);
            return FALSE;
        }
        OnInitDialog();
    }
    return TRUE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    return Create(MAKEINTRESOURCEW(templateId), parent);
}

BOOL CDialog::Create(LPCWSTR templateName, CWnd* parent) {
    m_lpszTemplateName = templateName;
    if (IS_INTRESOURCE(templateName)) {
        m_nIDHelp = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(templateName));
    }
    m_pParentWnd = parent;
    m_bModal = FALSE;
    return CreateFromTemplate(parent);
}

HWND CDialog::PreModal() {
    CWnd* parent = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetMainWnd();
    HWND owner = parent != nullptr ? parent->GetSafeHwnd() : nullptr;
    // The owner is the top-level window of the parent.
    while (owner != nullptr && (::GetWindowLongW(owner, GWL_STYLE) & WS_CHILD) != 0) {
        owner = ::GetParent(owner);
    }
    return owner;
}

void CDialog::PostModal(HWND owner) {
    if (owner != nullptr && ::IsWindow(owner))
        ::EnableWindow(owner, TRUE);
    if (m_hWnd != nullptr) {
        // A dialog that is the program's main window goes as it is shown, so that the
        // host keeps its last picture; DestroyWindow hides it.
        if (platform::MainWindow() != m_hWnd)
            ::SetWindowPos(
                m_hWnd, nullptr, 0, 0, 0, 0,
                SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        DestroyWindow();
    }
    if (owner != nullptr && ::IsWindow(owner))
        ::SetActiveWindow(owner);
}

INT_PTR CDialog::DoModal() {
    HWND owner = PreModal();
    m_bModal = TRUE;
    m_nModalResult = -1;
    // Disabled first, as the platform's modal loop does, so nothing reaches the owner
    // while the dialog starts.
    bool disabledOwner = owner != nullptr && ::IsWindowEnabled(owner) &&
                         GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId();
    if (disabledOwner)
        ::EnableWindow(owner, FALSE);
    // Set before creation, so that an EndDialog in OnInitDialog ends it at once.
    m_bContinueModal = TRUE;
    if (!CreateFromTemplate(CWnd::FromHandle(owner))) {
        if (disabledOwner)
            ::EnableWindow(owner, TRUE);
        m_bModal = FALSE;
        m_bContinueModal = FALSE;
        return -1;
    }
    INT_PTR result = m_bContinueModal ? RunModalLoop() : m_nModalResult;
    PostModal(disabledOwner ? owner : nullptr);
    m_bModal = FALSE;
    return result;
}

INT_PTR CDialog::RunModalLoop() {
    HWND hwnd = m_hWnd;
    if (hwnd != nullptr && !::IsWindowVisible(hwnd))
        ::ShowWindow(hwnd, SW_SHOWNORMAL);
    MSG msg;
    while (m_bContinueModal && ::IsWindow(hwnd)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT: the dialog is cancelled and the quit left for the loop outside.
            PostQuitMessage(static_cast<int>(msg.wParam));
            m_nModalResult = IDCANCEL;
            break;
        }
        if (got == -1)
            break;
        CWinThread* thread = AfxGetThread();
        BOOL taken = thread != nullptr ? thread->PreTranslateMessage(&msg)
                                       : CWnd::WalkPreTranslateTree(nullptr, &msg);
        if (!taken) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    m_bContinueModal = FALSE;
    return m_nModalResult;
}

void CDialog::EndDialog(int result) {
    if (m_bModal) {
        m_nModalResult = result;
        m_bContinueModal = FALSE;
        // Wakes the loop when this was called from another window's code.
        if (m_hWnd != nullptr)
            ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd != nullptr) {
        ::EndDialog(m_hWnd, result);
    }
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (m_hWnd == nullptr || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) {
        return FALSE;
    }
    if (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd))
        return FALSE;
    return IsDialogMessageW(m_hWnd, msg);
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control != nullptr)
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->m_hWnd), TRUE);
}

void CDialog::NextDlgCtrl() const {
    SendMessage(WM_NEXTDLGCTL, 0, FALSE);
}

void CDialog::PrevDlgCtrl() const {
    SendMessage(WM_NEXTDLGCTL, 1, FALSE);
}

void CDialog::MapDialogRect(LPRECT rect) const {
    ::MapDialogRect(m_hWnd, rect);
}
