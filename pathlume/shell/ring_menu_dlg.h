// The ring menu: eight image buttons in a ring over a background picture, each with
// a label the dialog paints under it. Pressing one ends the menu with its id; the
// main view acts on it (CMainView::OnMenuScreen).
#pragma once

#include "pathlume/foundation/owner_draw.h"
#include "platform/afx/afx.h"

inline constexpr UINT kRingMenuTemplateId = 1044;

// The buttons' ids, and what the main view starts for each.
inline constexpr int kRingDestinations = 509;
inline constexpr int kRingDisplayOptions = 510;
inline constexpr int kRingRouteOptions = 511;
inline constexpr int kRingGpsInfo = 512;
inline constexpr int kRingVolume = 513;
inline constexpr int kRingSpeedAlert = 514;
inline constexpr int kRingRecord = 515;
inline constexpr int kRingGoToMap = 516;
// Another face of Display Options the view also answers.
inline constexpr int kRingDisplayOptionsOther = 577;

class CRingMenuDlg : public CDialog {
  public:
    static constexpr int kButtons = 8;

    explicit CRingMenuDlg(CWnd* parent);
    // The buttons go in reverse order, then the font.
    ~CRingMenuDlg() override = default;

    // The id of the button pressed (509 to 516), or IDCANCEL for Escape and Home.
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    void DoDataExchange(CDataExchange* dx) override;

    // Where the label of button 509 + index stands: its top-left corner, for a label
    // `width` pixels wide, from the button's window rectangle.
    static POINT LabelPosition(int index, const RECT& button, int width);

    CFont m_font;
    CImageButton m_buttons[kButtons];

  protected:
    void OnPaint();
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnButton(UINT id);

    DECLARE_MESSAGE_MAP()
};

// Registers dialog template 1044 for the program's resource module (done by the
// first CRingMenuDlg; callable again).
void RegisterRingMenuTemplate();
