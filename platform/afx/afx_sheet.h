// The class library's property sheets: a dialog window holding a row of tabs, one
// page (a child dialog from its own template) at a time, and the OK, Cancel, Apply
// and Help buttons.
//
// Page templates are child dialogs (WS_CHILD, as sheet pages are designed). Every
// page is made when the sheet starts, since the largest page sets the sheet's size;
// the others stay hidden until their tab is chosen. Enter and Escape on a page press
// the sheet's OK and Cancel, through the sheet's PreTranslateMessage; a sheet that
// overrides it can keep a key from doing that.
#pragma once

#include <vector>

#include "platform/afx/afx_dialog.h"

#define ID_APPLY_NOW 0x3021
#define ID_WIZBACK 0x3023
#define ID_WIZNEXT 0x3024
#define ID_WIZFINISH 0x3025

#define PSP_DEFAULT 0x0000
#define PSP_USETITLE 0x0008
#define PSP_HASHELP 0x0020

#define PSH_DEFAULT 0x0000
#define PSH_USEHICON 0x0002
#define PSH_NOAPPLYNOW 0x0080
#define PSH_HASHELP 0x0200

// PressButton's buttons.
#define PSBTN_OK 3
#define PSBTN_APPLYNOW 4
#define PSBTN_CANCEL 5
#define PSBTN_HELP 6

struct PROPSHEETPAGE {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    LPCWSTR pszTemplate;
    LPCWSTR pszTitle;  // the tab's text with PSP_USETITLE
    LPARAM lParam;
};

struct PROPSHEETHEADER {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    HICON hIcon;  // with PSH_USEHICON
    LPCWSTR pszCaption;
    UINT nPages;
    UINT nStartPage;
};

class CPropertySheet;

class CPropertyPage : public CDialog {
  public:
    explicit CPropertyPage(UINT templateId, UINT captionId = 0);
    explicit CPropertyPage(LPCWSTR templateName, UINT captionId = 0);

    // Becoming the shown page; FALSE keeps the previous page.
    virtual BOOL OnSetActive();
    // Leaving the page (another tab, OK, Apply): saves its data; FALSE keeps it.
    virtual BOOL OnKillActive();
    // OK or Apply: calls OnOK and succeeds.
    virtual BOOL OnApply();
    // The sheet's Cancel: calls OnCancel.
    virtual void OnReset();
    // Asked before the sheet is cancelled; FALSE keeps it open.
    virtual BOOL OnQueryCancel();
    // The sheet's OK or Apply reached this page (the default does nothing).
    void OnOK() override;
    // The sheet was cancelled (the default does nothing).
    void OnCancel() override;
    // Marks the page changed, which enables the sheet's Apply button.
    void SetModified(BOOL changed = TRUE);
    BOOL IsModified() const { return m_bModified; }
    CPropertySheet* GetSheet() const { return m_pSheet; }
    // A page leaves its keys to the sheet.
    BOOL PreTranslateMessage(MSG* msg) override;

    PROPSHEETPAGE m_psp{};

  protected:
    // Enter and Escape handled by the page's own dialog keys press the sheet's
    // buttons instead of ending the page.
    void OnPageOk();
    void OnPageCancel();

    friend class CPropertySheet;
    CPropertySheet* m_pSheet = nullptr;
    BOOL m_bModified = FALSE;
    CString m_strCaption;

    DECLARE_MESSAGE_MAP()
};

class CPropertySheet : public CDialog {
  public:
    CPropertySheet();
    explicit CPropertySheet(LPCWSTR caption, CWnd* parent = nullptr, UINT selectPage = 0);
    explicit CPropertySheet(UINT captionId, CWnd* parent = nullptr, UINT selectPage = 0);
    ~CPropertySheet() override;

    // IDOK or IDCANCEL; -1 when the sheet could not be made.
    INT_PTR DoModal() override;
    void AddPage(CPropertyPage* page);
    // Only a page that is not shown.
    void RemovePage(int index);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int index) const;
    int GetPageIndex(CPropertyPage* page) const;
    CPropertyPage* GetActivePage() const { return GetPage(m_nActive); }
    int GetActiveIndex() const { return m_nActive; }
    BOOL SetActivePage(int index);
    BOOL SetActivePage(CPropertyPage* page) { return SetActivePage(GetPageIndex(page)); }
    void SetTitle(LPCWSTR title);
    // Acts as a click of the button would.
    BOOL PressButton(int button);
    // Enables Apply while a page is modified.
    void UpdateApplyButton();

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    PROPSHEETHEADER m_psh{};

  protected:
    void OnOK() override;
    void OnCancel() override;
    void OnApplyNow();
    void OnHelpButton();
    // Leaves the active page and applies every page made so far; FALSE when one
    // refused.
    BOOL ApplyPages();
    BOOL MakePages();
    void Layout();

    friend class CPropertyPage;
    friend class AfxSheetTabs;
    std::vector<CPropertyPage*> m_pages;
    int m_nActive = -1;
    CString m_strCaption;
    CWnd* m_pTabs = nullptr;
    CRect m_pageRect;
    platform::DialogTemplate m_template;

    DECLARE_MESSAGE_MAP()
};
