#include "pathlume/search/menu_screen_dlg.h"

#include "pathlume/foundation/app_services.h"

BEGIN_MESSAGE_MAP(CMenuScreenDlg, CDialog)
ON_WM_KEYDOWN()
ON_COMMAND_RANGE(500, 999, OnButton)
END_MESSAGE_MAP()

CMenuScreenDlg::CMenuScreenDlg(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {
    RegisterSearchTemplates();
}

BOOL CMenuScreenDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) {
        OnKeyDown(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void CMenuScreenDlg::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (key == VK_HOME)
        g_homeKeyPressed.store(1);
    if (key == VK_ESCAPE || key == VK_HOME) {
        OnCancel();
        return;
    }
    PassKeyOn(m_pParentWnd, key, repeat, flags);
}

void CMenuScreenDlg::OnButton(UINT id) {
    EndDialog(static_cast<int>(id));
}
