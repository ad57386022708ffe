// The point-of-interest list options: nearby by distance or by name, all of the
// region, within a city, or another region ("Change"). The answer is the selection
// code shifted left by 8 with the choice's bits in the low byte, or 2 (the close key,
// Escape, Home; Home also sets g_homeKeyPressed).
#pragma once

#include <cstdint>
#include <string>

#include "pathlume/search/menu_screen_dlg.h"

class CPoiOptionsDlg : public CMenuScreenDlg {
  public:
    // code: the selection code (0xFF08 for city centres); region: the flow's region.
    CPoiOptionsDlg(CWnd* parent, uint32_t code, uint8_t region);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override {}

    // The answer of a button.
    int ResultOf(UINT id) const;
    bool CityCentres() const { return (m_code & 0xFF) == 8; }

    uint32_t m_code;
    uint8_t m_region;

  protected:
    void OnPaint();
    void OnChoice(UINT id);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);

    DECLARE_MESSAGE_MAP()

  private:
    CFont m_buttonFont;
    CFont m_changeFont;
    CImageButton m_change;
    CImageButton m_close;
    CImageButton m_distance;
    CImageButton m_byCity;
    CImageButton m_alphabetical;
    CImageButton m_listAll;
    int m_radiusTop;
    int m_regionTop;
    int m_textLeft;
    ScreenBrush m_brush;
};
