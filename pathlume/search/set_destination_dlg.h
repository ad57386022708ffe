// The Set Destination screen: how the driver finds a destination (address,
// intersection, city centre, point of interest, contact, favourite or recent
// destination). It only answers which button was pressed.
#pragma once

#include "pathlume/search/menu_screen_dlg.h"

class CSetDestinationDlg : public CMenuScreenDlg {
  public:
    explicit CSetDestinationDlg(CWnd* parent);

    // 500-506, or IDCANCEL for the close key, Escape and Home (Home also sets
    // g_homeKeyPressed).
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override { OnCancel(); }

    // "Set Stopover" while a detour or stopover is active, else "Set Destination".
    static UINT TitleId();

    ScreenBrush m_brush;
    CFont m_buttonFont;
    CImageButton m_buttons[8];

  protected:
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);

    DECLARE_MESSAGE_MAP()
};
