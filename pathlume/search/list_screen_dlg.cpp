#include "pathlume/search/list_screen_dlg.h"

#include "pathlume/foundation/registry_helpers.h"

BEGIN_MESSAGE_MAP(CListScreenDlg, CDialog)
ON_WM_CTLCOLOR()
ON_WM_KEYDOWN()
END_MESSAGE_MAP()

CListScreenDlg::CListScreenDlg(UINT templateId, CWnd* parent, bool homeCloses)
    : CDialog(templateId, parent), homeCloses_(homeCloses) {
    RegisterSearchTemplates();
}

CListScreenDlg::~CListScreenDlg() {
    if (m_list) {
        if (m_list->GetSafeHwnd())
            m_list->DestroyWindow();
        delete m_list;
    }
}

void CListScreenDlg::CreateList() {
    m_list = new CDestListCtrl();
    m_list->Create(this, RECT{4, ScaleY(20), ScaleX(236), ScaleY(238)}, kDestinationListId,
                   WS_VSCROLL, FALSE);
}

HBRUSH CListScreenDlg::OnCtlColor(CDC*, CWnd* wnd, UINT) {
    if (wnd && m_list && wnd->GetSafeHwnd() == m_list->GetSafeHwnd())
        return nullptr;
    return m_brush.Get();
}

BOOL CListScreenDlg::PreTranslateMessage(MSG* msg) {
    if (IsScreenKey(*msg, homeCloses_ ? VK_HOME : VK_LEFT)) {
        OnKeyDown(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void CListScreenDlg::OnKeyDown(UINT key, UINT, UINT) {
    const ScreenKeys keys{[this] { SelectPrev(); }, [this] { SelectNext(); }, [this] { OnOK(); },
                          [this] { OnCancel(); }, homeCloses_};
    if (!ActOnScreenKey(key, keys))
        Default();
}
