// The class library's dialogs, data exchange and property sheets.
//
// DoModal creates the dialog from its template as a modeless window, disables the
// owner and runs the library's own modal loop, so that PreTranslateMessage of the
// dialog (and of its parents) sees every message first, as in the thread's pump.
// EndDialog ends that loop with its result.
#pragma once

#include "platform/afx/afx_wnd.h"

class CDataExchange {
  public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    // The control's window; a missing control fails the exchange.
    HWND PrepareCtrl(int id);
    // Marks the exchange as failed on the last prepared control (which gets the focus).
    void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    BOOL m_bFailed = FALSE;
    HWND m_hWndLastControl = nullptr;
};

// Attaches (and subclasses) the dialog's control to the CWnd, once.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, CString& value);
// A text that is not a whole number fails the exchange (the value is left alone).
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, UINT& value);
void DDX_Check(CDataExchange* dx, int id, int& value);

class CDialog : public CWnd {
  public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    explicit CDialog(LPCWSTR templateName, CWnd* parent = nullptr);

    // Runs the dialog modally; its EndDialog result, or -1 when it could not be made.
    virtual INT_PTR DoModal();
    using CWnd::Create;
    // Modeless.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL Create(LPCWSTR templateName, CWnd* parent = nullptr);
    // Ends a modal dialog's loop with the result; a modeless dialog is only hidden,
    // as the platform's EndDialog does.
    void EndDialog(int result);

    // WM_INITDIALOG: UpdateData(FALSE); TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog();
    // IDOK: UpdateData(TRUE) and EndDialog(IDOK) when the data is valid.
    virtual void OnOK();
    // IDCANCEL: EndDialog(IDCANCEL).
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx);
    // Exchanges data with the controls; FALSE when a value failed to convert.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    BOOL PreTranslateMessage(MSG* msg) override;
    void GotoDlgCtrl(CWnd* control);
    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void MapDialogRect(LPRECT rect) const;

    LPCWSTR m_lpszTemplateName = nullptr;
    // A template in memory, used instead of the named one when set.
    LPCDLGTEMPLATE m_lpDialogTemplate = nullptr;
    UINT m_nIDHelp = 0;
    CWnd* m_pParentWnd = nullptr;

  protected:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    // Runs the library's modal loop until EndDialog; returns its result.
    INT_PTR RunModalLoop();
    HWND PreModal();
    void PostModal(HWND owner);
    BOOL CreateFromTemplate(CWnd* parent);

    BOOL m_bModal = FALSE;
    BOOL m_bContinueModal = FALSE;
    INT_PTR m_nModalResult = -1;

    DECLARE_MESSAGE_MAP()
};

// The dialog procedure CDialog gives the dialog manager: attaches the window to its
// CDialog (and subclasses it) at WM_INITDIALOG and calls OnInitDialog.
INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
