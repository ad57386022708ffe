#include "pathlume/search/poi_options_dlg.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/search/input_method_dlg.h"
#include "pathlume/search/poi_category_dlg.h"
#include "pathlume/search/poi_chain.h"

namespace {

constexpr UINT kTitleOptions = 6150;
constexpr UINT kTitleCityCentre = 6278;
constexpr UINT kRadiusMetric = 6151;
constexpr UINT kRadiusImperial = 6152;
constexpr COLORREF kLabelColour = 0x800000;  // dark blue

constexpr WORD kAlphabetical = 553;
constexpr WORD kChange = 554;
constexpr WORD kDistance = 555;
constexpr WORD kListAll = 556;
constexpr WORD kByCity = 557;

}  // namespace

BEGIN_MESSAGE_MAP(CPoiOptionsDlg, CMenuScreenDlg)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
ON_COMMAND_RANGE(500, 999, OnChoice)
END_MESSAGE_MAP()

CPoiOptionsDlg::CPoiOptionsDlg(CWnd* parent, uint32_t code, uint8_t region)
    : CMenuScreenDlg(kPoiOptionsTemplate, parent),
      m_code(code),
      m_region(region),
      m_radiusTop(ScaleY(40)),
      m_regionTop(ScaleY(148)),
      m_textLeft(ScaleX(10)) {
    RegisterPoiTemplates();
}

void CPoiOptionsDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kChange, m_change);
    DDX_Control(dx, IDCANCEL, m_close);
    DDX_Control(dx, kDistance, m_distance);
    DDX_Control(dx, kByCity, m_byCity);
    DDX_Control(dx, kAlphabetical, m_alphabetical);
    DDX_Control(dx, kListAll, m_listAll);
}

BOOL CPoiOptionsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    CreateScaledFont(&m_buttonFont, 14, FW_BOLD, nullptr);
    CreateScaledFont(&m_changeFont, 14, FW_BOLD, nullptr);
    SetUpImageButton(m_alphabetical, 346, &m_buttonFont, RGB(0, 0, 0));
    SetUpImageButton(m_distance, 347, &m_buttonFont, RGB(0, 0, 0));
    SetUpImageButton(m_listAll, 345, &m_buttonFont, RGB(0, 0, 0));
    SetUpImageButton(m_byCity, 344, &m_buttonFont, RGB(0, 0, 0));
    SetUpImageButton(m_change, 131, &m_changeFont, RGB(255, 255, 255));
    SetUpImageButton(m_close, 246, &m_buttonFont, RGB(255, 255, 255));
    // City centres are listed by region, never within a city.
    if (CityCentres()) {
        m_byCity.ShowWindow(SW_HIDE);
        m_listAll.ShowWindow(SW_SHOW);
    } else {
        m_byCity.ShowWindow(SW_SHOW);
    }
    SetWindowText(kProductName);
    return TRUE;
}

int CPoiOptionsDlg::ResultOf(UINT id) const {
    uint32_t bits = IDCANCEL;
    switch (id) {
        case kAlphabetical:
            bits = kPoiSortByName;
            break;
        case kDistance:
            bits = kPoiSortByDistance;
            break;
        case kListAll:
            bits = kPoiListAll;
            break;
        case kByCity:
            bits = kPoiByCity;
            break;
        case kChange:
            bits = kPoiChangeRegion;
            break;
        default:
            break;
    }
    return static_cast<int>((m_code << 8) | bits);
}

void CPoiOptionsDlg::OnChoice(UINT id) {
    EndDialog(ResultOf(id));
}

void CPoiOptionsDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackgroundAndTitle(dc, *this, CityCentres() ? kTitleCityCentre : kTitleOptions);
    CFont font;
    CreateScaledFont(&font, 18, FW_BOLD, nullptr);
    CFont* before = dc.SelectObject(&font);
    dc.SetTextColor(kLabelColour);
    const std::u16string label = CInputMethodDlg::RegionLabel(m_region);
    if (!label.empty())
        dc.ExtTextOut(m_textLeft, m_regionTop, 0, nullptr, label.c_str(),
                      static_cast<UINT>(label.size()), nullptr);
    // The units may have changed since the screen opened.
    const std::u16string radius =
        ScreenText((g_options.load() & kOptionMetric) ? kRadiusMetric : kRadiusImperial);
    dc.ExtTextOut(m_textLeft, m_radiusTop, 0, nullptr, radius.c_str(),
                  static_cast<UINT>(radius.size()), nullptr);
    dc.SelectObject(before);
}

HBRUSH CPoiOptionsDlg::OnCtlColor(CDC*, CWnd*, UINT kind) {
    return kind == CTLCOLOR_BTN ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)) : m_brush.Get();
}
