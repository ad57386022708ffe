// The program's own modal message box: a caption drawn as the title bar, the message
// in a read-only scrolling text box and one image OK button, on a background that
// follows the day or night colours.
#pragma once

#include "pathlume/foundation/owner_draw.h"
#include "platform/afx/afx.h"

inline constexpr UINT kMessageDlgTemplateId = 1036;

class CMessageDlg : public CDialog {
  public:
    // The texts are not copied: they must live until the dialog ends. The heading,
    // the two button texts and the mode are kept for the callers and not shown.
    CMessageDlg(CWnd* parent, LPCWSTR caption, LPCWSTR message, LPCWSTR heading,
                LPCWSTR firstButtonText, LPCWSTR secondButtonText, int mode);
    ~CMessageDlg() override = default;

    // Headless (see OwnBoxesAnsweredAsMessageBoxes) the box is a MessageBoxW: the
    // script's answer or IDOK, the caption and the message on stderr.
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DoDataExchange(CDataExchange* dx) override;

    // Destroyed in reverse order: the button, the text box, then the drawing objects.
    CFont m_font;
    CBrush m_backgroundBrush;
    COLORREF m_backgroundColour = RGB(255, 255, 255);
    CEdit m_messageBox;
    CImageButton m_okButton;

    LPCWSTR m_caption;
    LPCWSTR m_message;
    LPCWSTR m_heading;
    LPCWSTR m_firstButtonText;
    LPCWSTR m_secondButtonText;
    int m_mode;

  protected:
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void PlaceOkButton();

    DECLARE_MESSAGE_MAP()
};

// Registers dialog template 1036 for the program's resource module (done by the
// first CMessageDlg; callable again).
void RegisterMessageDlgTemplate();

// Whether the program's own boxes and question screens are answered as MessageBoxW
// answers a box instead of being shown: no box is drawn, or a scripted answer waits
// for the next box. An unattended run then never waits for a tap.
bool OwnBoxesAnsweredAsMessageBoxes();
// The owner such a box names: the parent, else the main window of this thread.
HWND MessageBoxOwner(CWnd* parent);
