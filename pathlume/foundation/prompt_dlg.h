// The program's full-screen question: a title, one or two centred messages and up
// to three image buttons, every text the caller's. Where boxes are not drawn
// (headless) it is answered as MessageBoxW answers a box: from the script, else
// by its first answer.
#pragma once

#include "pathlume/foundation/owner_draw.h"
#include "platform/afx/afx.h"

inline constexpr UINT kPromptDlgTemplateId = 1046;

// The results of CPromptDlg::DoModal: its answer buttons and the close button
// (Escape and Home close it too).
inline constexpr int kPromptFirstAnswer = 1;
inline constexpr int kPromptSecondAnswer = 608;
inline constexpr int kPromptClosed = 2;

class CPromptDlg : public CDialog {
  public:
    // The texts are not copied: they must live until the dialog ends. A null parent
    // means the program's main window. An empty secondText hides the second answer;
    // without firstText or cancelText both answers keep the template's "Add" and
    // "Edit". cancelText, when given, labels the close button; secondMessage may be
    // null.
    CPromptDlg(CWnd* parent, LPCWSTR title, LPCWSTR message, LPCWSTR caption, LPCWSTR firstText,
               LPCWSTR secondText, LPCWSTR cancelText, LPCWSTR secondMessage);
    ~CPromptDlg() override = default;

    // kPromptFirstAnswer, kPromptSecondAnswer (or another command from 500 to 999)
    // or kPromptClosed; after kPromptClosed the caller tests g_homeKeyPressed.
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DoDataExchange(CDataExchange* dx) override;

    // Whether the second answer shows: with both the first answer's and the cancel
    // text given, only when its own text is not empty.
    bool ShowsSecondAnswer() const;

    // Destroyed in reverse order: the buttons, then the drawing objects.
    CFont m_boldFont;
    CBitmap m_background;
    CBrush m_backgroundBrush;
    CImageButton m_firstButton;
    CImageButton m_secondButton;
    CImageButton m_closeButton;

    LPCWSTR m_title;
    LPCWSTR m_message;
    LPCWSTR m_secondMessage;
    LPCWSTR m_caption;
    LPCWSTR m_firstText;
    LPCWSTR m_secondText;
    LPCWSTR m_cancelText;

  protected:
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnAnswer(UINT id);
    void PlaceButtons();
    // The headless answer.
    int AnswerLikeAMessageBox();

    DECLARE_MESSAGE_MAP()
};

// Registers dialog template 1046 for the program's resource module (done by the
// first CPromptDlg; callable again).
void RegisterPromptDlgTemplate();
