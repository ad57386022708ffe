// The input method screen: the address and intersection searches ask whether the
// driver enters the street first, the city first, or changes the region first. It
// shows the region's label.
#pragma once

#include <cstdint>
#include <string>

#include "pathlume/search/menu_screen_dlg.h"

class CInputMethodDlg : public CMenuScreenDlg {
  public:
    CInputMethodDlg(CWnd* parent, uint8_t region);

    // 551 Street First, 552 City First, 554 Change, or IDCANCEL (the close key,
    // Escape, Home; Home also sets g_homeKeyPressed).
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override {}

    // "NAME (CC)" of the region, empty for one beyond the area index.
    static std::u16string RegionLabel(uint8_t region);

    CFont m_buttonFont;
    CFont m_changeFont;
    uint8_t m_region;
    CImageButton m_streetFirst;
    CImageButton m_cityFirst;
    CImageButton m_change;
    CImageButton m_close;

  protected:
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);

    DECLARE_MESSAGE_MAP()
};
