#include "pathlume/search/select_address_dlg.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/geocoder.h"

namespace {

constexpr int kUp = 537;
constexpr int kDown = 536;
constexpr int kNav = 540;
constexpr int kFav = 501;
constexpr int kOrigin = 539;
constexpr int kSpare = 620;
constexpr UINT kTitle = 6115;

}  // namespace

BEGIN_MESSAGE_MAP(CSelectAddressDlg, CListScreenDlg)
ON_WM_PAINT()
ON_WM_KEYUP()
ON_COMMAND(kUp, OnUp)
ON_COMMAND(kDown, OnDown)
ON_COMMAND(kNav, OnNav)
ON_COMMAND(kFav, OnFav)
ON_COMMAND(kOrigin, OnOrigin)
END_MESSAGE_MAP()

CSelectAddressDlg::CSelectAddressDlg(CWnd* parent, const std::string& lines,
                                     const ContactAddresses& addresses, const std::u16string& name,
                                     const std::string& regionLabel)
    : CListScreenDlg(kAddressListTemplate, parent, false),
      m_lines(lines),
      m_addresses(addresses),
      m_name(name),
      m_regionLabel(regionLabel) {}

void CSelectAddressDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kUp, m_up);
    DDX_Control(dx, kDown, m_down);
    DDX_Control(dx, kNav, m_nav);
    DDX_Control(dx, kFav, m_fav);
    DDX_Control(dx, kOrigin, m_origin);
    DDX_Control(dx, kSpare, m_spare);
    DDX_Control(dx, IDCANCEL, m_close);
}

BOOL CSelectAddressDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    CreateScaledFont(&m_buttonFont, 14, FW_BOLD, nullptr);
    SetUpImageButton(m_nav, 367, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_fav, 385, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_origin, 385, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_spare, 248, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_up, 122, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_down, 123, &m_buttonFont, RGB(255, 255, 255));
    SetUpImageButton(m_close, 246, &m_buttonFont, RGB(255, 255, 255));
    // The arrows move the list; the template's spare button stays hidden.
    m_up.ShowWindow(SW_SHOW);
    m_down.ShowWindow(SW_SHOW);
    LayoutButtonRows(*this, {&m_nav, &m_fav, &m_origin, &m_up, &m_down, &m_close}, ScaleY(244));
    CreateList();
    // Two neighbouring separators make no empty row.
    size_t start = 0;
    while (start < m_lines.size()) {
        const size_t end = std::min(m_lines.find('|', start), m_lines.size());
        if (end > start)
            m_list->AddItem(m_lines.substr(start, end - start).c_str(), 0);
        start = end + 1;
    }
    m_list->SetSelection(0, TRUE, FALSE);
    m_list->ShowWindow(SW_SHOW);
    // The list has the focus: a focused image button would swallow Enter.
    m_list->SetFocus();
    SetWindowText(kProductName);
    return FALSE;
}

CSelectAddressDlg::GeocoderTexts CSelectAddressDlg::TextsFor(int record) const {
    const ContactAddress& a = m_addresses[record];
    GeocoderTexts texts;
    texts.street = ToMapNameText(a.street);
    texts.city = ToMapNameText(a.city);
    texts.state = ToMapNameText(a.state);
    if (texts.state.empty())
        texts.state = g_currentRegionText[0] ? std::string(g_currentRegionText) : m_regionLabel;
    texts.country = ToMapNameText(a.country);
    texts.caption = platform::WideToAnsi(m_name);
    return texts;
}

void CSelectAddressDlg::Geocode(BOOL setOrigin, BOOL favouritesOnly) {
    const char* row = m_list ? static_cast<const char*>(m_list->GetSelectedItem()) : nullptr;
    const GeocoderTexts texts = TextsFor(ChooseContactRecord(row));
    if (texts.street.empty())
        return;
    if (texts.city.empty()) {
        // A postal code alone names no place the maps know: say so rather than close
        // without a word.
        ShowMapMessage(kMsgCityNotFound);
        return;
    }
    GeocodeAddress(texts.street.c_str(), texts.city.c_str(), texts.state.c_str(),
                   texts.country.c_str(), texts.caption.empty() ? nullptr : texts.caption.c_str(),
                   0, setOrigin, FALSE, favouritesOnly);
}

void CSelectAddressDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackgroundAndTitle(dc, *this, kTitle);
}

void CSelectAddressDlg::OnKeyUp(UINT key, UINT, UINT) {
    if (key != VK_UP && key != VK_DOWN && key != VK_RETURN)
        Default();
}

void CSelectAddressDlg::OnUp() {
    SelectPrev();
}

void CSelectAddressDlg::OnDown() {
    SelectNext();
}

void CSelectAddressDlg::OnNav() {
    Geocode(FALSE, FALSE);
    EndDialog(IDOK);
}

void CSelectAddressDlg::OnFav() {
    Geocode(FALSE, TRUE);
    EndDialog(IDOK);
}

void CSelectAddressDlg::OnOrigin() {
    Geocode(TRUE, FALSE);
    EndDialog(kOrigin);
}
