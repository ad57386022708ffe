#include "pathlume/search/address_list_dlg.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"

namespace {

constexpr int kNav = 540;
constexpr int kFav = 501;
constexpr int kOrigin = 539;
constexpr int kNavigated = 2;

}  // namespace

BEGIN_MESSAGE_MAP(CAddressListDlg, CListScreenDlg)
ON_WM_PAINT()
ON_COMMAND(kNav, OnNav)
ON_COMMAND(kFav, OnFav)
ON_COMMAND(kOrigin, OnOrigin)
END_MESSAGE_MAP()

CAddressListDlg::CAddressListDlg(CWnd* parent, const AddressListQuery& query,
                                 CMapDatabase& database, IMainView* view)
    : CListScreenDlg(kAddressListTemplate, parent, true),
      m_query(query),
      m_database(database),
      m_view(view) {}

void CAddressListDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kNav, m_nav);
    DDX_Control(dx, IDCANCEL, m_close);
    DDX_Control(dx, kFav, m_fav);
    DDX_Control(dx, kOrigin, m_origin);
}

BOOL CAddressListDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    CreateScaledFont(&m_buttonFont, 14, FW_BOLD, nullptr);
    SetUpImageButton(m_nav, 367, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_fav, 385, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_origin, 385, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_close, 246, &m_buttonFont, RGB(255, 255, 255));
    LayoutButtonRows(*this, {&m_nav, &m_fav, &m_origin, &m_close}, ScaleY(244));
    CreateList();
    {
        CWaitCursor wait;
        m_rows = BuildAddressRows(m_database, m_query);
    }
    for (const AddressRow& row : m_rows)
        m_list->AddItem(row.text.c_str(), 0);
    m_list->SetSelection(0, FALSE, FALSE);
    m_list->ShowWindow(SW_SHOW);
    // The list has the focus: a focused image button would swallow Enter.
    m_list->SetFocus();
    SetWindowText(kProductName);
    if (m_rows.empty()) {
        // Said, then closed before the screen is shown.
        ShowWarningBox(
            this, m_query.IsIntersection() ? kMsgIntersectionNotFound : kMsgHouseNumberNotFound,
            u"");
        EndDialog(kNavigated);
    }
    return FALSE;
}

const AddressRow* CAddressListDlg::SelectedRow() const {
    const int row = m_list ? m_list->selection : -1;
    return row >= 0 && static_cast<size_t>(row) < m_rows.size() ? &m_rows[static_cast<size_t>(row)]
                                                                : nullptr;
}

void CAddressListDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackground(dc, 0, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    DrawTitleBar(dc, m_hWnd, u"Select Address");
}

void CAddressListDlg::OnNav() {
    const AddressRow* row = SelectedRow();
    if (!row)
        return;
    NavigateToAddress(m_database, *row, m_query, m_view);
    EndDialog(kNavigated);
}

void CAddressListDlg::OnFav() {
    if (const AddressRow* row = SelectedRow())
        AddAddressToFavorites(m_database, *row, m_query, m_view);
}

void CAddressListDlg::OnOrigin() {
    const AddressRow* row = SelectedRow();
    if (!row)
        return;
    MakeAddressTheOrigin(m_database, *row, m_query, m_view);
    EndDialog(kOrigin);
}
