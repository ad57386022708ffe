// The "Select Address" screen at the end of an address or intersection search: one
// row per address found, with "Nav", "Fav" and "Origin".
#pragma once

#include <vector>

#include "pathlume/search/address_list.h"
#include "pathlume/search/list_screen_dlg.h"

class CMapDatabase;
class IMainView;

class CAddressListDlg : public CListScreenDlg {
  public:
    // Results: 2 after Nav (or when nothing was found, after saying so), 539 after
    // Origin, 1 when closed (the close key, Escape, Home; Home also sets
    // g_homeKeyPressed).
    CAddressListDlg(CWnd* parent, const AddressListQuery& query, CMapDatabase& database,
                    IMainView* view);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override { OnNav(); }
    void OnCancel() override { EndDialog(1); }

    const std::vector<AddressRow>& Rows() const { return m_rows; }

  protected:
    void OnPaint();
    void OnNav();
    void OnFav();
    void OnOrigin();
    const AddressRow* SelectedRow() const;

    AddressListQuery m_query;
    CMapDatabase& m_database;
    IMainView* m_view;
    std::vector<AddressRow> m_rows;
    CImageButton m_nav;
    CImageButton m_close;
    CImageButton m_fav;
    CImageButton m_origin;

    DECLARE_MESSAGE_MAP()
};
