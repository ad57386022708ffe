#include "pathlume/search/poi_here_list_dlg.h"

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"

namespace {

constexpr UINT kTitle = 6068;
constexpr int kNav = 540;
constexpr int kFav = 501;
constexpr int kOrigin = 539;
constexpr int kBlank = 620;
constexpr int kDown = 536;
constexpr int kUp = 537;

}  // namespace

BEGIN_MESSAGE_MAP(CPoiHereListDlg, CListScreenDlg)
ON_WM_PAINT()
ON_COMMAND(kNav, OnOK)
ON_COMMAND_RANGE(kFav, kFav, OnChoice)
ON_COMMAND_RANGE(kOrigin, kOrigin, OnChoice)
ON_COMMAND(kDown, OnNext)
ON_COMMAND(kUp, OnPrev)
END_MESSAGE_MAP()

CPoiHereListDlg::CPoiHereListDlg(CWnd* parent, const std::vector<PoiRecord>& records)
    : CListScreenDlg(kAddressListTemplate, parent, true), m_records(records) {}

void CPoiHereListDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kNav, m_nav);
    DDX_Control(dx, kFav, m_fav);
    DDX_Control(dx, kOrigin, m_origin);
    DDX_Control(dx, kBlank, m_blank);
    DDX_Control(dx, IDCANCEL, m_close);
    DDX_Control(dx, kDown, m_down);
    DDX_Control(dx, kUp, m_up);
}

BOOL CPoiHereListDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartWithNavFavOrigin(m_nav, m_fav, m_origin, m_close);
    SetUpImageButton(m_down, 123, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_up, 122, &m_buttonFont, RGB(255, 255, 255));
    // Decided: the template's blank key (620) stays hidden, because it does nothing.
    m_up.ShowWindow(SW_SHOW);
    m_down.ShowWindow(SW_SHOW);
    LayoutButtonRows(*this, {&m_nav, &m_fav, &m_origin, &m_up, &m_down, &m_close}, ScaleY(244));
    CreateList();
    m_list->ownsItems = 1;
    for (const PoiRecord& record : m_records) {
        std::string text = record.name;
        if (!record.phone.empty())
            text += "\n" + record.phone;
        m_list->AddItem(text.c_str(), 0);
    }
    m_list->SetSelection(0, TRUE, FALSE);
    m_list->ShowWindow(SW_SHOW);
    m_list->SetFocus();
    SetWindowText(kProductName);
    return FALSE;
}

void CPoiHereListDlg::End(int result) {
    m_chosen = m_list ? m_list->selection : 0;
    EndDialog(result);
}

void CPoiHereListDlg::OnChoice(UINT id) {
    End(static_cast<int>(id));
}

void CPoiHereListDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackground(dc, 0, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    DrawTitleBar(dc, m_hWnd, ScreenText(kTitle).c_str());
}
