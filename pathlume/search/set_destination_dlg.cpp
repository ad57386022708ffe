#include "pathlume/search/set_destination_dlg.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"

namespace {

constexpr UINT kTitleDestination = 6167;
constexpr UINT kTitleStopover = 6166;

struct MenuButton {
    int id;
    UINT bitmap;
};
// Top to bottom, the close key last.
constexpr MenuButton kButtons[8] = {{500, 312}, {502, 313}, {505, 311}, {504, 315},
                                    {506, 314}, {501, 316}, {503, 317}, {IDCANCEL, 246}};

}  // namespace

BEGIN_MESSAGE_MAP(CSetDestinationDlg, CMenuScreenDlg)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CSetDestinationDlg::CSetDestinationDlg(CWnd* parent)
    : CMenuScreenDlg(kSetDestinationTemplate, parent) {}

UINT CSetDestinationDlg::TitleId() {
    IDestinationRouter* router = GetDestinationRouter();
    return router && router->IsDetourActive() ? kTitleStopover : kTitleDestination;
}

void CSetDestinationDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    for (int i = 0; i < 8; ++i)
        DDX_Control(dx, kButtons[i].id, m_buttons[i]);
}

BOOL CSetDestinationDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    CreateScaledFont(&m_buttonFont, 14, FW_BOLD, nullptr);
    for (int i = 0; i < 8; ++i) {
        const bool close = kButtons[i].id == IDCANCEL;
        SetUpImageButton(m_buttons[i], kButtons[i].bitmap, &m_buttonFont,
                         close ? RGB(255, 255, 255) : RGB(0, 0, 0));
        if (close)
            m_buttons[i].iconKeyColour = m_buttons[i].faceKeyColour = RGB(255, 255, 255);
    }
    SetWindowText(kProductName);
    return TRUE;
}

void CSetDestinationDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackgroundAndTitle(dc, *this, TitleId());
}

HBRUSH CSetDestinationDlg::OnCtlColor(CDC*, CWnd*, UINT) {
    return m_brush.Get();
}
