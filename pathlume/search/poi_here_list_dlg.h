// "POI(s) at Current Location": the points of interest under a tap on the map, one row
// each (the name, then its telephone line). It answers the choice (540 Nav or Enter,
// 501 Fav, 539 Origin, 2 closed); the map acts on the chosen row.
#pragma once

#include <vector>

#include "pathlume/display/poi_layer.h"
#include "pathlume/search/list_screen_dlg.h"

class CPoiHereListDlg : public CListScreenDlg {
  public:
    CPoiHereListDlg(CWnd* parent, const std::vector<PoiRecord>& records);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override { End(540); }
    void OnCancel() override { End(IDCANCEL); }

    // The row selected when the screen ended.
    int Chosen() const { return m_chosen; }

  protected:
    void OnPaint();
    void OnChoice(UINT id);
    void OnNext() { SelectNext(); }
    void OnPrev() { SelectPrev(); }
    void End(int result);

    DECLARE_MESSAGE_MAP()

  private:
    const std::vector<PoiRecord>& m_records;
    int m_chosen = 0;
    CImageButton m_nav;
    CImageButton m_fav;
    CImageButton m_origin;
    CImageButton m_blank;
    CImageButton m_close;
    CImageButton m_down;
    CImageButton m_up;
};
