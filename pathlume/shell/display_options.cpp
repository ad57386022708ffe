#include "pathlume/shell/display_options.h"

#include <algorithm>
#include <iterator>
#include <mutex>

#include "pathlume/display/poi_layer.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/dialog_parts.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/option_dialogs.h"
#include "platform/user/dialogs.h"

namespace {

enum : WORD {
    kNorthUp = 561,
    kHeadingUp = 562,
    kColorAuto = 563,
    kNight = 564,
    kGuidanceAuto = 565,
    kDay = 566,
    kGuidanceManual = 567,
    kPoiDefault = 568,
    kPoiOff = 569,
    kOrientationLabel = 570,
    kColorLabel = 571,
    kGuidanceLabel = 572,
    kPoiLabel = 573,
    kView1 = 615,
    kView2 = 616,
    kView3 = 617,
    kView2D = 618,
    kViewLabel = 619,
    kPoiCustom = kDisplayOptionsIcons,
    kThemeLabel = 838,
    kYellow = 839,
    kGray = 840,
    kWhite = 841,
    kPurple = 842,
};

enum : WORD {
    kAll = 632,
    kClear = 633,
};

// The icon filter's category buttons by category index.
constexpr WORD kCategoryButtons[kPoiFilterCategories] = {549, 545, 543, 548, 544,
                                                         542, 547, 541, 546};
constexpr const char16_t* kCategoryTexts[kPoiFilterCategories] = {
    u"Business/Shopping", u"Education/Govt", u"Emergency",      u"Attraction", u"Hotel",
    u"Recreation",        u"Restaurant",     u"Transportation", u"Bank/ATM"};
// Cities and banks: every list the map draws from ends with them.
constexpr int kAlwaysShownCategory = 8;
constexpr uint32_t kAllCategories = 0x1FF;
constexpr int kRestaurant = 6;
constexpr size_t kSelectionBytes = 36;

constexpr UINT kFirstCommand = 500;
constexpr UINT kLastCommand = 999;
constexpr UINT kStringPoiOptions = 6150;

// Positions are QVGA pixels. Each group is its label with its buttons in a row
// beneath; the themes take two rows.
constexpr auto kLabel = ScreenItem::kLabel;
constexpr ScreenItem kDisplayOptionsItems[] = {
    {kOrientationLabel, u"Map Orientation", 8, 23, 200, 14, kLabel},
    {kHeadingUp, u"Heading Up", 8, 38, 109, 22},
    {kNorthUp, u"North Up", 123, 38, 109, 22},
    {kColorLabel, u"Color Scheme", 8, 63, 200, 14, kLabel},
    {kColorAuto, u"Auto", 8, 78, 70, 22},
    {kDay, u"Day", 85, 78, 70, 22},
    {kNight, u"Night", 162, 78, 70, 22},
    {kGuidanceLabel, u"Guidance Screen", 8, 103, 200, 14, kLabel},
    {kGuidanceAuto, u"Auto", 8, 118, 109, 22},
    {kGuidanceManual, u"Manual", 123, 118, 109, 22},
    {kPoiLabel, u"POI Icons", 8, 143, 200, 14, kLabel},
    {kPoiDefault, u"Default", 8, 158, 70, 22},
    {kPoiOff, u"Off", 85, 158, 70, 22},
    {kPoiCustom, u"Custom", 162, 158, 70, 22},
    {kViewLabel, u"3D Map View", 8, 183, 200, 14, kLabel},
    {kView1, u"1", 8, 198, 51, 22},
    {kView2, u"2", 65, 198, 51, 22},
    {kView3, u"3", 123, 198, 51, 22},
    {kView2D, u"2D", 181, 198, 51, 22},
    {kThemeLabel, u"Color Themes", 8, 223, 200, 14, kLabel},
    {kYellow, u"      Yellow", 8, 238, 109, 22},
    {kGray, u"    Gray", 123, 238, 109, 22},
    {kWhite, u"    White", 8, 263, 109, 22},
    {kPurple, u"    Purple", 123, 263, 109, 22},
    {IDOK, u"OK", 16, 290, 64, 26},
    {IDCANCEL, u"Cancel", 160, 290, 64, 26}};

void RegisterDisplayOptionsTemplate() {
    RegisterScreenTemplate(kDisplayOptionsTemplateId, u"Display Options", kDisplayOptionsItems);
}

constexpr ScreenItem kPoiFilterItems[] = {{kCategoryButtons[0], kCategoryTexts[0], 8, 26, 160, 24},
                                          {kCategoryButtons[1], kCategoryTexts[1], 8, 52, 160, 24},
                                          {kCategoryButtons[2], kCategoryTexts[2], 8, 78, 160, 24},
                                          {kCategoryButtons[3], kCategoryTexts[3], 8, 104, 160, 24},
                                          {kCategoryButtons[4], kCategoryTexts[4], 8, 130, 160, 24},
                                          {kCategoryButtons[5], kCategoryTexts[5], 8, 156, 160, 24},
                                          {kCategoryButtons[6], kCategoryTexts[6], 8, 182, 160, 24},
                                          {kCategoryButtons[7], kCategoryTexts[7], 8, 208, 160, 24},
                                          {kCategoryButtons[8], kCategoryTexts[8], 8, 234, 160, 24},
                                          {kAll, u"All", 187, 60, 29, 29},
                                          {kClear, u"Clr", 182, 104, 40, 26},
                                          {IDOK, u"OK", 16, 290, 64, 26},
                                          {IDCANCEL, u"Cancel", 160, 290, 64, 26}};

void RegisterPoiFilterTemplate() {
    RegisterScreenTemplate(kPoiFilterTemplateId, u"Icons to Display", kPoiFilterItems);
}

std::once_flag g_displayTemplate;
std::once_flag g_filterTemplate;

// The main view the dialog's effects go to: its parent, else the program's.
CMainView* ViewOf(CWnd* parent) {
    if (auto* view = dynamic_cast<CMainView*>(parent))
        return view;
    return dynamic_cast<CMainView*>(g_mainView.load());
}

// The map draws everything again at its next frame, its icons collected anew.
void RedrawWholeMap(CWnd* parent) {
    if (CMainView* view = ViewOf(parent)) {
        view->MapView().Force();
        view->MapView().RefreshPois();
    }
}

void WriteSetting(LPCWSTR name, DWORD value) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, name, value);
}

}  // namespace

// ---- Display Options -------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDisplayOptionsDlg, CFullScreenDialog)
ON_COMMAND_RANGE(kFirstCommand, kLastCommand, OnChoice)
END_MESSAGE_MAP()

CDisplayOptionsDlg::CDisplayOptionsDlg(CWnd* parent)
    : CFullScreenDialog(kDisplayOptionsTemplateId, parent, TakenKeys::kNavigation, false),
      m_options(g_options.load()),
      m_colorMode(g_colorModeSetting.load()),
      m_poiMode(g_poiIconMode.load()),
      m_3DMode(g_map3DMode.load()),
      m_colorTheme(g_colorTheme.load()),
      m_poiModeAtOpen(g_poiIconMode.load()) {
    std::call_once(g_displayTemplate, RegisterDisplayOptionsTemplate);
}

void CDisplayOptionsDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kHeadingUp, &m_headingUp},
                      {kNorthUp, &m_northUp},
                      {kColorAuto, &m_colorAuto},
                      {kDay, &m_day},
                      {kNight, &m_night},
                      {kGuidanceAuto, &m_guidanceAuto},
                      {kGuidanceManual, &m_guidanceManual},
                      {kPoiDefault, &m_poiDefault},
                      {kPoiOff, &m_poiOff},
                      {kPoiCustom, &m_poiCustom},
                      {kView1, &m_view1},
                      {kView2, &m_view2},
                      {kView3, &m_view3},
                      {kView2D, &m_view2D},
                      {kYellow, &m_yellow},
                      {kGray, &m_gray},
                      {kWhite, &m_white},
                      {kPurple, &m_purple},
                      {IDOK, &m_ok},
                      {IDCANCEL, &m_cancel}});
}

BOOL CDisplayOptionsDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kDisplayOptionsItems);
    for (CMapButton* button :
         {&m_headingUp, &m_northUp, &m_colorAuto, &m_day, &m_night, &m_guidanceAuto,
          &m_guidanceManual, &m_poiDefault, &m_poiOff, &m_poiCustom, &m_view1, &m_view2, &m_view3,
          &m_view2D, &m_yellow, &m_gray, &m_white, &m_purple})
        button->font = &m_labelFont;
    SetFace(m_ok, kFaceOk);
    SetFace(m_cancel, kFaceCancel);
    ((m_options & kOptionNorthUp) ? m_northUp : m_headingUp).SetChecked(1);
    ((m_options & kOptionAutoGuidance) ? m_guidanceAuto : m_guidanceManual).SetChecked(1);
    CMapButton* const poi[] = {&m_poiDefault, &m_poiOff, &m_poiCustom};
    if (m_poiMode < 3)
        poi[m_poiMode]->SetChecked(1);
    CMapButton* const views[] = {&m_view2D, &m_view1, &m_view2, &m_view3};
    if (m_3DMode < 4)
        views[m_3DMode]->SetChecked(1);
    CMapButton* const themes[] = {&m_yellow, &m_gray, &m_white, &m_purple};
    if (m_colorTheme < 4)
        themes[m_colorTheme]->SetChecked(1);
    (m_colorMode == kColorModeNight       ? m_night
     : m_colorMode == kColorModeAutomatic ? m_colorAuto
                                          : m_day)
        .SetChecked(1);
    FinishScreen();
    return TRUE;
}

void CDisplayOptionsDlg::OnChoice(UINT id) {
    CheckRadioGroupById({&m_headingUp, &m_northUp}, id) ||
        CheckRadioGroupById({&m_colorAuto, &m_day, &m_night}, id) ||
        CheckRadioGroupById({&m_guidanceAuto, &m_guidanceManual}, id) ||
        CheckRadioGroupById({&m_view1, &m_view2, &m_view3, &m_view2D}, id) ||
        CheckRadioGroupById({&m_yellow, &m_gray, &m_white, &m_purple}, id);
    if (!CheckRadioGroupById({&m_poiDefault, &m_poiOff, &m_poiCustom}, id))
        return;
    // The icon buttons act at once; Custom goes straight on to the icon filter.
    m_poiMode = id == kPoiDefault ? 0 : id == kPoiOff ? 1 : 2;
    g_poiIconMode.store(m_poiMode);
    if (id == kPoiCustom)
        EndDialog(kDisplayOptionsIcons);
}

void CDisplayOptionsDlg::OnOK() {
    DWORD options = m_options & ~(kOptionNorthUp | kOptionAutoGuidance);
    options |= m_northUp.selected ? kOptionNorthUp : 0;
    options |= m_guidanceAuto.selected ? kOptionAutoGuidance : 0;
    m_options = options;
    if (CMapButton* theme = CheckedButton({&m_yellow, &m_gray, &m_white, &m_purple}))
        m_colorTheme = static_cast<DWORD>(theme->GetDlgCtrlID() - kYellow);
    m_colorMode = m_colorAuto.selected ? kColorModeAutomatic : m_day.selected ? 0 : 1;
    m_3DMode = m_view1.selected ? 1 : m_view2.selected ? 2 : m_view3.selected ? 3 : 0;

    CMainView* view = ViewOf(m_pParentWnd);
    SetMap3DMode(m_3DMode);
    if (view)
        view->ApplyViewMode(TRUE, FALSE);
    if (m_colorMode == kColorModeAutomatic)
        UpdateDayNightMode();
    else
        SetColorMode(static_cast<int>(m_colorMode));

    WriteSetting(u"3DMode", m_3DMode);
    if (view)
        view->Set3DModeMemory(m_3DMode);
    WriteSetting(u"ColorTheme", m_colorTheme);
    WriteSetting(u"ColorMode", m_colorMode);
    WriteSetting(u"POIIconMode", m_poiMode);
    if (view)
        view->SetPoiModeMemory(m_poiMode);
    WriteSetting(u"Options", m_options);

    g_options.store(m_options);
    g_colorModeSetting.store(m_colorMode);
    g_poiIconMode.store(m_poiMode);
    g_colorTheme.store(m_colorTheme);
    RedrawWholeMap(m_pParentWnd);
    g_homeKeyPressed.store(1);
    EndDialog(IDOK);
}

void CDisplayOptionsDlg::OnCancel() {
    // The icon buttons changed the mode at once: it goes back to what it was when the
    // dialog opened (the view's remembered mode may be the map button's since).
    g_poiIconMode.store(m_poiModeAtOpen);
    EndDialog(IDCANCEL);
}

void CDisplayOptionsDlg::DrawScreen(CDC& dc) {
    DrawLabels(
        dc, {kOrientationLabel, kColorLabel, kGuidanceLabel, kPoiLabel, kViewLabel, kThemeLabel});
}

int RunDisplayOptionsDialog(CWnd* parent) {
    CDisplayOptionsDlg dialog(parent);
    return static_cast<int>(dialog.DoModal());
}

// ---- Icons to Display ------------------------------------------------------------

uint32_t PoiFilterCode(int category) {
    return category == kRestaurant ? 0x0000FF06u : 0xFFFFFF00u + static_cast<uint32_t>(category);
}

void SavePoiSelection(const uint32_t* codes, int count) {
    uint8_t bytes[kSelectionBytes] = {};
    const int stored = std::clamp(count, 0, static_cast<int>(kSelectionBytes / 4));
    for (int i = 0; i < stored; ++i) {
        for (int b = 0; b < 4; ++b)
            bytes[4 * i + b] = static_cast<uint8_t>(codes[i] >> (8 * b));
    }
    RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", bytes,
                 static_cast<DWORD>(stored * 4));
}

BEGIN_MESSAGE_MAP(CPoiFilterDlg, CFullScreenDialog)
ON_COMMAND_RANGE(kFirstCommand, kLastCommand, OnCommandButton)
END_MESSAGE_MAP()

CPoiFilterDlg::CPoiFilterDlg(CWnd* parent)
    : CFullScreenDialog(kPoiFilterTemplateId, parent, TakenKeys::kNavigation, false) {
    std::call_once(g_filterTemplate, RegisterPoiFilterTemplate);
}

void CPoiFilterDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kAll, &m_all}, {kClear, &m_clear}, {IDOK, &m_ok}, {IDCANCEL, &m_cancel}});
    for (int i = 0; i < kPoiFilterCategories; ++i)
        DDX_Control(dx, kCategoryButtons[i], m_categories[i]);
}

BOOL CPoiFilterDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kPoiFilterItems);
    uint32_t codes[kPoiSelectionRoom] = {};
    const int count = LoadPoiSelection(codes, 0, 1, 0);
    for (int i = 0; i < count; ++i) {
        const uint32_t category = codes[i] & 0xFF;
        if (category < kPoiFilterCategories)
            m_loadedBits |= 1u << category;
        else
            m_otherCodes.push_back(codes[i]);
    }
    m_bits = m_loadedBits;
    for (CMapButton& button : m_categories) {
        button.font = &m_labelFont;
        button.toggle = 1;
    }
    SetFace(m_all, kFaceOkKey);
    SetFace(m_clear, kFaceShort);
    SetFace(m_ok, kFaceOk);
    SetFace(m_cancel, kFaceCancel);
    ShowBits();
    FinishScreen();
    title_ = LoadResStringOr(kStringPoiOptions, u"Points of Interest Options");
    return TRUE;
}

void CPoiFilterDlg::ShowBits() {
    // Decided: Bank/ATM shows checked and changes nothing, because every list the map
    // draws from keeps that category.
    m_bits |= 1u << kAlwaysShownCategory;
    for (int i = 0; i < kPoiFilterCategories; ++i)
        m_categories[i].SetChecked((m_bits >> i) & 1);
}

void CPoiFilterDlg::OnCommandButton(UINT id) {
    if (id == kAll) {
        m_bits = kAllCategories;
    } else if (id == kClear) {
        m_bits = 0;
    } else {
        for (int i = 0; i < kPoiFilterCategories; ++i) {
            if (kCategoryButtons[i] == id)
                m_bits ^= 1u << i;
        }
    }
    ShowBits();
}

void CPoiFilterDlg::OnOK() {
    uint32_t codes[kSelectionBytes / 4];
    int count = 0;
    for (int i = 0; i < kAlwaysShownCategory; ++i) {
        if (m_bits & (1u << i))
            codes[count++] = PoiFilterCode(i);
    }
    // Decided: stored codes of categories this dialog does not know are kept after
    // the chosen ones, because the map draws them and the driver never saw them here.
    for (uint32_t code : m_otherCodes) {
        if (count < static_cast<int>(std::size(codes)))
            codes[count++] = code;
    }
    // An empty choice would read back as the built-in one: no category but the
    // cities, which every list ends with, is stored as them alone.
    if (count == 0)
        codes[count++] = kPoiCitiesCode;
    SavePoiSelection(codes, count);
    RedrawWholeMap(m_pParentWnd);
    EndDialog(IDOK);
}

LPCWSTR CPoiFilterDlg::ScreenTitle() {
    WCHAR caption[81] = {};
    GetWindowText(caption, 81);
    return caption[0] ? nullptr : title_.c_str();
}

int RunPoiFilterDialog(CWnd* parent) {
    CPoiFilterDlg dialog(parent);
    return static_cast<int>(dialog.DoModal());
}
