#include "pathlume/search/input_method_dlg.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "platform/kernel/text.h"

namespace {

constexpr UINT kTitle = 6083;
constexpr COLORREF kLabelColour = 0x800000;  // navy

}  // namespace

BEGIN_MESSAGE_MAP(CInputMethodDlg, CMenuScreenDlg)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CInputMethodDlg::CInputMethodDlg(CWnd* parent, uint8_t region)
    : CMenuScreenDlg(kInputMethodTemplate, parent), m_region(region) {}

std::u16string CInputMethodDlg::RegionLabel(uint8_t region) {
    char label[128] = "";
    g_areaZones.FormatAreaName(region, label, sizeof label);
    return platform::AnsiToWide(label);
}

void CInputMethodDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, 551, m_streetFirst);
    DDX_Control(dx, 552, m_cityFirst);
    DDX_Control(dx, 554, m_change);
    DDX_Control(dx, IDCANCEL, m_close);
}

BOOL CInputMethodDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    CreateScaledFont(&m_buttonFont, 14, FW_BOLD, nullptr);
    CreateScaledFont(&m_changeFont, 14, FW_BOLD, nullptr);
    SetUpImageButton(m_streetFirst, 310, &m_buttonFont, RGB(0, 0, 0));
    SetUpImageButton(m_cityFirst, 311, &m_buttonFont, RGB(0, 0, 0));
    SetUpImageButton(m_change, 132, &m_changeFont, RGB(255, 255, 255));
    SetUpImageButton(m_close, 246, &m_buttonFont, RGB(255, 255, 255));
    SetWindowText(kProductName);
    return TRUE;
}

void CInputMethodDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackgroundAndTitle(dc, *this, kTitle);
    const std::u16string label = RegionLabel(m_region);
    if (label.empty())
        return;
    CFont font;
    CreateScaledFont(&font, 18, FW_BOLD, nullptr);
    CFont* before = dc.SelectObject(&font);
    dc.SetTextColor(kLabelColour);
    dc.SetBkColor(0xFF6060);
    RECT client{};
    GetClientRect(&client);
    const RECT clip{0, 0, client.right, client.bottom};
    dc.ExtTextOut(ScaleY(10), ScaleY(40), ETO_CLIPPED, &clip, label.c_str(),
                  static_cast<UINT>(label.size()), nullptr);
    dc.SelectObject(before);
}

HBRUSH CInputMethodDlg::OnCtlColor(CDC*, CWnd*, UINT kind) {
    // Buttons draw their whole face themselves.
    return kind == CTLCOLOR_BTN ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)) : nullptr;
}
