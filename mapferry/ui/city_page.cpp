#include "mapferry/ui/city_page.h"

#include <algorithm>
#include <cmath>
#include <cwctype>

#include "formats/source_disc.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/convert/region_names.h"
#include "mapferry/convert/size_tables.h"
#include "mapferry/ui/generating_dialog.h"
#include "mapferry/ui/map_sheet.h"
#include "mapferry/ui/messages.h"
#include "mapferry/ui/page_drawing.h"
#include "platform/user/dialogs.h"

namespace mc = formats::map_container;

namespace {

constexpr const char16_t* kSelectState = u"Please select state";
constexpr const char16_t* kSelectCity = u"Please select a city";
constexpr const char16_t* kNoCityList = u"City list not available";
constexpr const char16_t* kInvalidCityName = u"Invalid City Name";
constexpr int kRadiusSteps = 6;
constexpr int kMilesPerStep = 25;

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::u16string ComboText(const CComboBox& combo) {
    CString text;
    combo.GetWindowText(text);
    return std::u16string(static_cast<LPCWSTR>(text));
}

// A cell number of a coordinate, or nothing for a coordinate that is not finite.
bool CellNumber(double value, float origin, float cellSize, int32_t first, int32_t* cell) {
    if (!std::isfinite(value) || !std::isfinite(origin) || !(cellSize > 0))
        return false;
    // Held far outside every grid before it becomes an integer.
    const double cells = std::clamp((value - origin) / cellSize, -1.0e7, 1.0e7);
    *cell = static_cast<int32_t>(std::trunc(cells)) - first;
    return true;
}

}  // namespace

std::u16string RadiusText(int step) {
    step = std::clamp(step, 1, kRadiusSteps);
    const int miles = kMilesPerStep * step;
    const int kilometres = static_cast<int>(std::floor(miles * 1.609 + 0.5));
    WCHAR text[32];
    wsprintfW(text, u"%d (%d)", miles, kilometres);
    return text;
}

std::optional<GridCell> CellOf(const mc::GridHeader& grid, double latitude, double longitude) {
    GridCell cell;
    if (!CellNumber(latitude, grid.originLatitude, grid.cellHeight, grid.firstRow, &cell.row) ||
        !CellNumber(longitude, grid.originLongitude, grid.cellWidth, grid.firstColumn,
                    &cell.column))
        return std::nullopt;
    return cell;
}

CityRectangle CityCellRectangle(const mc::GridHeader& overview, const mc::GridHeader& detailed,
                                float latitude, float longitude, int radiusMiles) {
    CityRectangle rectangle;
    rectangle.fill(-1);
    if (!CellOf(overview, latitude, longitude))
        return rectangle;
    const float pi = 4.0f * std::atan2(1.0f, 1.0f);
    const float h = static_cast<float>(radiusMiles) * (180.0f / pi) * 0.00015696124f;
    // Near a pole the width would have no bound: half the globe is the most.
    const double cosine = std::cos(static_cast<double>(latitude) * pi / 180.0);
    const double w = cosine > 1e-6 ? std::min(h / cosine, 180.0) : 180.0;
    const mc::GridHeader* grids[2] = {&overview, &detailed};
    for (int layer = 0; layer < 2; ++layer) {
        const mc::GridHeader& grid = *grids[layer];
        if (grid.columns <= 0 || grid.rows <= 0)
            continue;
        const auto low = CellOf(grid, latitude - h, longitude - w);
        const auto high = CellOf(grid, latitude + h, longitude + w);
        if (!low || !high)
            continue;
        rectangle[layer * 4 + 0] = std::clamp(low->column, 0, grid.columns - 1);
        rectangle[layer * 4 + 1] = std::clamp(high->column, 0, grid.columns - 1);
        rectangle[layer * 4 + 2] = std::clamp(low->row, 0, grid.rows - 1);
        rectangle[layer * 4 + 3] = std::clamp(high->row, 0, grid.rows - 1);
    }
    return rectangle;
}

SizeRange SizeRangeOf(uint64_t bytes) {
    const unsigned long d = static_cast<unsigned long>(bytes >> 20);
    SizeRange range;
    range.upperMB = d * 13 / 10;
    WCHAR text[64];
    if (range.upperMB == d) {
        const unsigned long f = bytes > 0xFFFFF ? d : 1;
        wsprintfW(text, u"%lu - %lu MB", f, f + 1);
    } else {
        wsprintfW(text, u"%lu - %lu MB", d * 12 / 10, d * 14 / 10);
    }
    range.text = text;
    return range;
}

BEGIN_MESSAGE_MAP(CPropertyPageL0ByCity, CPropertyPage)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
ON_WM_HSCROLL()
ON_CBN_DROPDOWN(kStateCombo, OnRegionDropDown)
ON_CBN_SELCHANGE(kStateCombo, OnRegionChanged)
ON_CBN_CLOSEUP(kStateCombo, OnRegionCloseUp)
ON_CBN_EDITCHANGE(kStateCombo, OnRegionEdited)
ON_CBN_KILLFOCUS(kStateCombo, OnRegionKillFocus)
ON_CBN_SELCHANGE(kCityCombo, OnCityChanged)
ON_CBN_EDITCHANGE(kCityCombo, OnCityEdited)
ON_CBN_KILLFOCUS(kCityCombo, OnCityKillFocus)
ON_CBN_DROPDOWN(kTargetCombo, OnTargetDropDown)
ON_CBN_CLOSEUP(kTargetCombo, OnTargetCloseUp)
ON_CBN_SELCHANGE(kTargetCombo, OnTargetChanged)
END_MESSAGE_MAP()

CPropertyPageL0ByCity::CPropertyPageL0ByCity() : CPropertyPage(kCityPageTemplate) {
    RegisterPageTemplates();
}

void CPropertyPageL0ByCity::Init(CDeviceLinkHolder* holder) {
    m_target.SetHolder(holder);
    m_caption = MSG_TAB_CITY_RADIUS.Get();
    m_strCaption = m_caption.c_str();
    m_psp.dwFlags |= PSP_USETITLE;
    m_psp.pszTitle = m_strCaption;
}

BOOL CPropertyPageL0ByCity::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    SetModified(FALSE);
    m_states.SubclassDlgItem(kStateCombo, this);
    m_cityCombo.SubclassDlgItem(kCityCombo, this);
    m_target.Attach(this, true);
    m_target.Fill();
    const auto& states = InstallerStates();
    m_cities.assign(states.size(), StateCities{});
    m_states.AddString(MSG_SELECT_A_REGION.Get());
    m_states.SetItemData(0, kStatePromptData);
    for (size_t row = 0; row < states.size(); ++row) {
        const int index = m_states.AddString(Wide(states[row].name).c_str());
        m_states.SetItemData(index, row);
    }
    m_states.SetCurSel(0);
    m_cityCombo.EnableWindow(FALSE);
    SendDlgItemMessageW(m_hWnd, kRadiusTrackbar, TBM_SETRANGE, TRUE, MAKELPARAM(1, kRadiusSteps));
    SendDlgItemMessageW(m_hWnd, kRadiusTrackbar, TBM_SETTICFREQ, 1, 0);
    SendDlgItemMessageW(m_hWnd, kRadiusTrackbar, TBM_SETPOS, TRUE, 1);
    SetDlgItemText(kRadiusText, RadiusText(1).c_str());
    SetDlgItemText(kCitySize, u"0 MB");
    return TRUE;
}

int CPropertyPageL0ByCity::RadiusStep() const {
    return std::clamp(
        static_cast<int>(SendDlgItemMessageW(m_hWnd, kRadiusTrackbar, TBM_GETPOS, 0, 0)), 1,
        kRadiusSteps);
}

void CPropertyPageL0ByCity::OnPaint() {
    CPaintDC dc(this);
    SetDlgItemText(1020, MSG_CITY_HINT.Get());
    SetDlgItemText(1021, MSG_REGION_LABEL.Get());
    SetDlgItemText(1023, MSG_CITY_LABEL.Get());
    SetDlgItemText(1024, MSG_MAP_RADIUS_LABEL.Get());
    SetDlgItemText(1025, u"Mi (km)");
    SetDlgItemText(1026, MSG_AVAILABLE_SPACE.Get());
    SetDlgItemText(1027, MSG_TARGET_LOCATION.Get());
    SetDlgItemText(1028, MSG_SELECTED_SIZE.Get());
    m_target.UpdateAvailableSpace(0);
}

HBRUSH CPropertyPageL0ByCity::OnCtlColor(CDC* dc, CWnd*, UINT) {
    return FaceColoured(dc);
}

void CPropertyPageL0ByCity::ClearCity() {
    m_cityIndex = -1;
    m_citySet = false;
    m_rectangle.fill(-1);
}

void CPropertyPageL0ByCity::OnRegionDropDown() {
    if (m_states.GetCount() > 0 && m_states.GetItemData(0) == kStatePromptData) {
        m_states.DeleteString(0);
        m_states.SetCurSel(-1);
        m_states.SetWindowText(kSelectState);
    }
}

void CPropertyPageL0ByCity::OnRegionChanged() {
    const int index = m_states.GetCurSel();
    m_stateRow = index >= 0 && m_states.GetItemData(index) != kStatePromptData
                     ? static_cast<int>(m_states.GetItemData(index))
                     : -1;
    ClearCity();
    UpdateSizeRange();
    if (m_stateRow < 0) {
        m_states.SetWindowText(kSelectState);
        return;
    }
    CWaitCursor wait;
    LoadCityList(m_stateRow);
}

void CPropertyPageL0ByCity::OnRegionCloseUp() {
    if (m_states.GetCurSel() < 0 && m_stateRow < 0) {
        m_states.SetWindowText(kSelectState);
        ClearCity();
        UpdateSizeRange();
        m_cityCombo.ResetContent();
        m_cityCombo.EnableWindow(FALSE);
        SetModified(FALSE);
    }
}

int CPropertyPageL0ByCity::FindTyped(CComboBox& combo, std::u16string* typed) const {
    *typed = ComboText(combo);
    if (typed->empty())
        return -1;
    for (int index = 0; index < combo.GetCount(); ++index) {
        CString text;
        combo.GetLBText(index, text);
        const std::u16string item(static_cast<LPCWSTR>(text));
        if (item.size() >= typed->size() &&
            std::equal(typed->begin(), typed->end(), item.begin(),
                       [](char16_t a, char16_t b) { return std::towlower(a) == std::towlower(b); }))
            return index;
    }
    return -1;
}

void CPropertyPageL0ByCity::OnRegionEdited() {
    std::u16string typed;
    const int match = FindTyped(m_states, &typed);
    const bool grew = typed.size() > m_stateTyped;
    m_stateTyped = typed.size();
    if (grew && match >= 0 && m_states.GetItemData(match) != kStatePromptData) {
        m_states.SetCurSel(match);
        // The completion after the typed part stays selected, so typing goes on.
        m_states.SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(typed.size(), -1));
        m_stateRow = static_cast<int>(m_states.GetItemData(match));
        ClearCity();
        UpdateSizeRange();
        LoadCityList(m_stateRow);
        return;
    }
    m_cityCombo.ResetContent();
    m_cityCombo.EnableWindow(FALSE);
    m_stateRow = -1;
    ClearCity();
    UpdateSizeRange();
}

void CPropertyPageL0ByCity::OnRegionKillFocus() {
    m_stateTyped = 0;
}

void CPropertyPageL0ByCity::LoadCityList(int row) {
    if (row < 0 || row >= static_cast<int>(m_cities.size()))
        return;
    StateCities& state = m_cities[row];
    if (!state.loaded) {
        state.loaded = true;
        const std::u16string path =
            FindProgramFolder() + u"\\cities\\" + Wide(InstallerStates()[row].code) + u".dat";
        std::vector<uint8_t> bytes;
        if (ReadLocalFile(path.c_str(), formats::city_list::kMaxFileSize, &bytes)) {
            for (formats::city_list::City& city : formats::city_list::Decode(bytes))
                if (city.Listed())
                    state.cities.push_back(std::move(city));
        }
    }
    m_cityCombo.ResetContent();
    for (size_t i = 0; i < state.cities.size(); ++i) {
        const int index = m_cityCombo.AddString(Wide(state.cities[i].name).c_str());
        m_cityCombo.SetItemData(index, i);
    }
    ClearCity();
    m_cityCombo.EnableWindow(TRUE);
    if (state.cities.size() == 1) {
        m_cityCombo.SetCurSel(0);
        OnCityChanged();
    } else {
        m_cityCombo.SetWindowText(state.cities.empty() ? kNoCityList : kSelectCity);
    }
}

void CPropertyPageL0ByCity::SelectCity(int row, int index) {
    if (row < 0 || row >= static_cast<int>(m_cities.size()) || index < 0 ||
        index >= static_cast<int>(m_cities[row].cities.size()))
        return;
    m_latitude = m_cities[row].cities[index].latitude;
    m_longitude = m_cities[row].cities[index].longitude;
    m_citySet = true;
}

void CPropertyPageL0ByCity::OnCityChanged() {
    const int index = m_cityCombo.GetCurSel();
    if (m_stateRow < 0 || index < 0) {
        m_cityCombo.SetWindowText(kSelectCity);
        return;
    }
    m_cityIndex = static_cast<int>(m_cityCombo.GetItemData(index));
    SelectCity(m_stateRow, m_cityIndex);
    UpdateSizeRange();
    SetModified(TRUE);
}

void CPropertyPageL0ByCity::OnCityEdited() {
    std::u16string typed;
    const int match = FindTyped(m_cityCombo, &typed);
    const bool grew = typed.size() > m_cityTyped;
    m_cityTyped = typed.size();
    if (grew && match >= 0) {
        m_cityCombo.SetCurSel(match);
        m_cityCombo.SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(typed.size(), -1));
        m_cityIndex = static_cast<int>(m_cityCombo.GetItemData(match));
        SelectCity(m_stateRow, m_cityIndex);
        UpdateSizeRange();
        SetModified(TRUE);
        return;
    }
    ClearCity();
}

void CPropertyPageL0ByCity::OnCityKillFocus() {
    m_cityTyped = 0;
    if (m_cityIndex >= 0)
        return;
    std::u16string typed;
    const int match = FindTyped(m_cityCombo, &typed);
    if (match < 0 || ComboText(m_cityCombo).empty()) {
        if (m_cityCombo.IsWindowEnabled() && !typed.empty() && typed != kSelectCity &&
            typed != kNoCityList)
            m_cityCombo.SetWindowText(kInvalidCityName);
        return;
    }
    m_cityCombo.SetCurSel(match);
    OnCityChanged();
}

void CPropertyPageL0ByCity::OnHScroll(UINT, UINT, CScrollBar*) {
    const int step =
        static_cast<int>(SendDlgItemMessageW(m_hWnd, kRadiusTrackbar, TBM_GETPOS, 0, 0));
    if (step >= 1 && step <= kRadiusSteps) {
        SetDlgItemText(kRadiusText, RadiusText(step).c_str());
        UpdateSizeRange();
    }
}

void CPropertyPageL0ByCity::UpdateSizeRange() {
    m_upperMB = 0;
    if (m_stateRow < 0 || !m_citySet) {
        if (m_hWnd)
            SetDlgItemText(kCitySize, u"0 MB");
        return;
    }
    const DiscInformation disc = CurrentDiscInformation();
    const mc::GridHeader overview =
        mc::DecodeHeader(disc.mapHeaders[formats::source_disc::kLayerOverview].data());
    const mc::GridHeader detailed =
        mc::DecodeHeader(disc.mapHeaders[formats::source_disc::kLayerDetailed].data());
    m_rectangle = CityCellRectangle(overview, detailed, m_latitude, m_longitude,
                                    kMilesPerStep * RadiusStep());
    uint64_t bytes = 0;
    if (m_rectangle[0] >= 0) {
        std::array<DWORD, 8> choice;
        for (size_t i = 0; i < choice.size(); ++i)
            choice[i] = static_cast<DWORD>(m_rectangle[i]);
        if (CMapCut* cut = BuildSelection(choice.data(), m_stateRow, 1)) {
            const DWORD word = CityRegionChoiceWord(m_stateRow);
            bytes = SizeTables().SumSelection(*cut, 1, &word, 1);
        }
    }
    const SizeRange range = SizeRangeOf(bytes);
    m_upperMB = range.upperMB;
    SetDlgItemText(kCitySize, range.text.c_str());
    SetModified(TRUE);
}

void CPropertyPageL0ByCity::OnTargetDropDown() {
    m_target.OnDropDown();
}

void CPropertyPageL0ByCity::OnTargetCloseUp() {
    m_target.OnCloseUp();
}

void CPropertyPageL0ByCity::OnTargetChanged() {
    m_target.OnChanged();
    SetDlgItemText(kTargetText, m_target.TargetText().c_str());
}

BOOL CPropertyPageL0ByCity::OnApply() {
    OnOK();
    return FALSE;
}

void CPropertyPageL0ByCity::OnOK() {
    m_target.CloseDeviceProgram();
    CPropertySheet* sheet = GetSheet();
    if (sheet && sheet->GetActiveIndex() != 1)
        return;
    if (m_cityIndex < 0) {
        MessageBoxW(m_hWnd, MSG_SELECT_A_CITY.Get(), MSG_INVALID_CITY.Get(), MB_OK | MB_ICONSTOP);
        return;
    }
    if (m_stateRow < 0) {
        MessageBoxW(m_hWnd, MSG_SELECT_A_REGION.Get(), MSG_INVALID_REGION.Get(),
                    MB_OK | MB_ICONSTOP);
        return;
    }
    if (!m_target.Ready(m_upperMB, false))
        return;
    OnGenerateMap();
    m_target.UpdateAvailableSpace(1);
}

int CPropertyPageL0ByCity::OnGenerateMap() {
    if (!GetMapCut())
        UpdateSizeRange();
    if (m_rectangle[0] < 0)
        return 0;
    CMapGenerator generator;
    CityChoice choice;
    choice.region = Wide(InstallerStates()[m_stateRow].name);
    choice.city = Wide(m_cities[m_stateRow].cities[m_cityIndex].name);
    WCHAR radius[16] = {};
    GetDlgItemTextW(m_hWnd, kRadiusText, radius, 10);
    choice.radius = radius;
    generator.SetCityChoice(choice);
    std::vector<DWORD> rectangle(m_rectangle.begin(), m_rectangle.end());
    CGeneratingDialog dialog(this, &generator, std::move(rectangle), m_stateRow, 1, m_target.Kind(),
                             m_target.Index());
    dialog.m_pDeviceLink = m_target.Link();
    dialog.DoModal();
    FinishGeneration(&generator);
    SetModified(TRUE);
    return 0;
}
