#include "pathlume/shell/route_dialogs.h"

#include <cstring>
#include <mutex>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_background.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/shell/dialog_parts.h"
#include "platform/user/dialogs.h"

namespace {

// Faces of the buttons.
constexpr UINT kBackFace = 126;
constexpr UINT kNewFace = 135;
constexpr UINT kAvoidFace = 136;
constexpr UINT kStopoverFace = 137;
constexpr UINT kClearDestFace = 138;

// Route Options' controls.
enum : WORD {
    kMethodLabel = 559,
    kShortest = 524,
    kQuickest = 525,
    kMajorRoads = 526,
    kLocalRoads = 527,
    kTollsIn = 528,
    kTollsOut = 529,
    kCarpoolIn = 530,
    kCarpoolOut = 531,
    kTurnsLabel = 522,
    kTollsLabel = 558,
    kCarpoolLabel = 560,
    kTurnsOn = 622,
    kTurnsOff = 623,
    kFerriesLabel = 624,
    kFerriesIn = 625,
    kFerriesOut = 626,
    kGroupFrame = 65535,
};

// Detour Options' and Route Management's controls.
enum : WORD {
    kFirstDistance = 609,
    kSecondDistance = 600,
    kThirdDistance = 610,
    kDemo = 518,
    kDetour = 602,
    kStopover = 606,
    kClearDest = 607,
    kAvoidRoad = 629,
};

// Select Roads to Avoid's buttons.
enum : WORD {
    kNav = 540,
    kAvd = 629,
    kClr = 607,
    kReset = 630,
};

constexpr UINT kFirstCommand = 500;
constexpr UINT kLastCommand = 999;

constexpr UINT kStringDetourOptions = 6081;
constexpr UINT kStringDistanceToAvoid = 6082;
constexpr UINT kStringRouteManagement = 6084;
constexpr UINT kStringCurrentDestination = 6085;
constexpr UINT kStringStopover = 6086;
constexpr UINT kStringStopDemo = 6225;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = 0xFF0000;

// Positions are QVGA pixels.
constexpr auto kLabel = ScreenItem::kLabel;
constexpr ScreenItem kRouteOptionsItems[] = {
    {kMethodLabel, u"Method", 8, 30, 100, 14, kLabel},
    {kQuickest, u"Quickest", 8, 46, 108, 24},
    {kShortest, u"Shortest", 124, 46, 108, 24},
    {kMajorRoads, u"Major Roads", 8, 74, 108, 24},
    {kLocalRoads, u"Local Roads", 124, 74, 108, 24},
    {kFerriesLabel, u"Ferries", 8, 113, 88, 14, kLabel},
    {kFerriesIn, u"Include", 98, 108, 66, 24},
    {kFerriesOut, u"Exclude", 168, 108, 66, 24},
    {kTollsLabel, u"Toll Roads", 8, 143, 88, 14, kLabel},
    {kTollsIn, u"Include", 98, 138, 66, 24},
    {kTollsOut, u"Exclude", 168, 138, 66, 24},
    {kCarpoolLabel, u"Carpool", 8, 173, 88, 14, kLabel},
    {kCarpoolIn, u"Include", 98, 168, 66, 24},
    {kCarpoolOut, u"Exclude", 168, 168, 66, 24},
    {kTurnsLabel, u"Reduce Turns", 8, 203, 88, 14, kLabel},
    {kTurnsOn, u"Enable", 98, 198, 66, 24},
    {kTurnsOff, u"Disable", 168, 198, 66, 24},
    {kGroupFrame, u"", 4, 20, 232, 214, ScreenItem::kGroupFrame},
    {IDOK, u"OK", 16, 284, 64, 26},
    {IDCANCEL, u"", 196, 282, 29, 29}};

void RegisterRouteOptionsTemplate() {
    RegisterScreenTemplate(kRouteOptionsTemplateId, u"Route Options", kRouteOptionsItems);
}

constexpr ScreenItem kDetourOptionsItems[] = {{kThirdDistance, u"3 mi", 88, 136, 64, 26},
                                              {kSecondDistance, u"2 mi", 88, 172, 64, 26},
                                              {kFirstDistance, u"1 mi", 88, 208, 64, 26},
                                              {IDOK, u"Reset", 16, 284, 64, 26},
                                              {IDCANCEL, u"Back", 160, 284, 64, 26}};

void RegisterDetourOptionsTemplate() {
    RegisterScreenTemplate(kDetourOptionsTemplateId, u"Detour Options", kDetourOptionsItems);
}

constexpr ScreenItem kRouteManagementItems[] = {{IDOK, u"New", 14, 196, 100, 30},
                                                {kStopover, u"Stopover", 126, 196, 100, 30},
                                                {kClearDest, u"Clear Dest", 14, 234, 100, 30},
                                                {kAvoidRoad, u"Avoid Road", 126, 234, 100, 30},
                                                {kDetour, u"Detour", 14, 278, 100, 30},
                                                {kDemo, u"Demo", 14, 278, 100, 30},
                                                {IDCANCEL, u"", 160, 280, 64, 26}};

void RegisterRouteManagementTemplate() {
    RegisterScreenTemplate(kRouteManagementTemplateId, u"Route Management", kRouteManagementItems);
}

// Sized to their faces, the five buttons need two rows on a 240-pixel screen.
constexpr ScreenItem kAvoidRoadsItems[] = {{kNav, u"Nav", 8, 262, 64, 26},
                                           {kAvd, u"Avd", 88, 262, 64, 26},
                                           {kClr, u"Clr", 168, 262, 64, 26},
                                           {kReset, u"Reset", 8, 292, 64, 26},
                                           {IDCANCEL, u"X", 200, 290, 29, 29}};

void RegisterAvoidRoadsTemplate() {
    RegisterScreenTemplate(kAvoidRoadsTemplateId, u"Select Roads to Avoid", kAvoidRoadsItems);
}

std::once_flag g_routeOptionsTemplate;
std::once_flag g_detourTemplate;
std::once_flag g_managementTemplate;
std::once_flag g_avoidTemplate;

std::u16string LoadText(UINT id, LPCWSTR fallback) {
    return LoadResStringOr(id, fallback);
}

void BringMainWindowForward() {
    if (CWnd* main = GetAppMainWindow())
        ::SetForegroundWindow(main->GetSafeHwnd());
}

}  // namespace

// ---- Route Options ---------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRouteOptionsDlg, CFullScreenDialog)
ON_COMMAND_RANGE(kFirstCommand, kLastCommand, OnChoice)
END_MESSAGE_MAP()

CRouteOptionsDlg::CRouteOptionsDlg(CWnd* parent)
    : CFullScreenDialog(kRouteOptionsTemplateId, parent, TakenKeys::kNavigation, false),
      m_algorithm(g_router ? g_router->routeAlgo : kRouteQuickest),
      m_optionWord(g_router ? g_router->state : kRouteFlagsDefault) {
    std::call_once(g_routeOptionsTemplate, RegisterRouteOptionsTemplate);
}

void CRouteOptionsDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kShortest, &m_shortest},
                      {kQuickest, &m_quickest},
                      {kMajorRoads, &m_majorRoads},
                      {kLocalRoads, &m_localRoads},
                      {kTollsIn, &m_tollsIn},
                      {kTollsOut, &m_tollsOut},
                      {kCarpoolIn, &m_carpoolIn},
                      {kCarpoolOut, &m_carpoolOut},
                      {kTurnsOn, &m_turnsOn},
                      {kTurnsOff, &m_turnsOff},
                      {kFerriesIn, &m_ferriesIn},
                      {kFerriesOut, &m_ferriesOut},
                      {IDOK, &m_ok},
                      {IDCANCEL, &m_cancel}});
}

BOOL CRouteOptionsDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kRouteOptionsItems);
    for (CMapButton* button :
         {&m_quickest, &m_shortest, &m_majorRoads, &m_localRoads, &m_ferriesIn, &m_ferriesOut,
          &m_tollsIn, &m_tollsOut, &m_carpoolIn, &m_carpoolOut, &m_turnsOn, &m_turnsOff})
        button->font = &m_labelFont;
    SetFace(m_ok, kFaceOk);
    SetFace(m_cancel, kFaceCloseKey);
    for (UINT label : {kMethodLabel, kTurnsLabel, kFerriesLabel, kTollsLabel, kCarpoolLabel})
        SendDlgItemMessage(static_cast<int>(label), WM_SETFONT,
                           reinterpret_cast<WPARAM>(static_cast<HFONT>(m_labelFont)),
                           label == kMethodLabel);
    const uint32_t word = m_optionWord;
    ((word & kRouterReduceTurnsOff) ? m_turnsOff : m_turnsOn).SetChecked(1);
    ((word & kRouterFerriesExcluded) ? m_ferriesOut : m_ferriesIn).SetChecked(1);
    ((word & kRouterTollExcluded) ? m_tollsOut : m_tollsIn).SetChecked(1);
    ((word & kRouterCarpoolExcluded) ? m_carpoolOut : m_carpoolIn).SetChecked(1);
    CMapButton* const methods[] = {&m_shortest, &m_quickest, &m_majorRoads, &m_localRoads};
    if (m_algorithm >= kRouteShortest && m_algorithm <= kRouteLocalRoads)
        methods[m_algorithm]->SetChecked(1);
    FinishScreen();
    return TRUE;
}

void CRouteOptionsDlg::OnChoice(UINT id) {
    CheckRadioGroupById({&m_quickest, &m_shortest, &m_majorRoads, &m_localRoads}, id) ||
        CheckRadioGroupById({&m_turnsOn, &m_turnsOff}, id) ||
        CheckRadioGroupById({&m_ferriesIn, &m_ferriesOut}, id) ||
        CheckRadioGroupById({&m_tollsIn, &m_tollsOut}, id) ||
        CheckRadioGroupById({&m_carpoolIn, &m_carpoolOut}, id);
}

void CRouteOptionsDlg::OnOK() {
    int method = -1;
    if (m_majorRoads.selected)
        method = kRouteMajorRoads;
    else if (m_localRoads.selected)
        method = kRouteLocalRoads;
    else if (m_shortest.selected)
        method = kRouteShortest;
    else if (m_quickest.selected)
        method = kRouteQuickest;
    uint32_t bits = 0;
    bits |= m_turnsOff.selected ? kRouterReduceTurnsOff : 0;
    bits |= m_ferriesOut.selected ? kRouterFerriesExcluded : 0;
    bits |= m_tollsOut.selected ? kRouterTollExcluded : 0;
    bits |= m_carpoolOut.selected ? kRouterCarpoolExcluded : 0;
    if (g_router) {
        ApplyRouteOptions(*g_router, method, bits);
        m_algorithm = g_router->routeAlgo;
        m_optionWord = g_router->state;
    }
    g_homeKeyPressed.store(1);
    EndDialog(IDOK);
}

void CRouteOptionsDlg::DrawScreen(CDC& dc) {
    DrawLabels(dc, {kMethodLabel, kTurnsLabel, kFerriesLabel, kTollsLabel, kCarpoolLabel});
}

int RunRouteOptionsDialog(CWnd* parent) {
    CRouteOptionsDlg dialog(parent);
    return static_cast<int>(dialog.DoModal());
}

// ---- Detour Options --------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDetourOptionsDlg, CFullScreenDialog)
ON_COMMAND_RANGE(kFirstCommand, kLastCommand, OnDistance)
END_MESSAGE_MAP()

CDetourOptionsDlg::CDetourOptionsDlg(CWnd* parent, FLOAT routeDistance)
    : CFullScreenDialog(kDetourOptionsTemplateId, parent, TakenKeys::kEscapeAndHome, false),
      m_routeDistance(routeDistance) {
    std::call_once(g_detourTemplate, RegisterDetourOptionsTemplate);
}

void CDetourOptionsDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kFirstDistance, &m_shortest},
                      {kSecondDistance, &m_middle},
                      {kThirdDistance, &m_longest},
                      {IDOK, &m_reset},
                      {IDCANCEL, &m_back}});
}

BOOL CDetourOptionsDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kDetourOptionsItems);
    CreateScaledFont(&m_smallFont, 12, FW_BOLD, nullptr);
    for (CImageButton* button : {&m_shortest, &m_middle, &m_longest})
        SetFace(*button, kFaceWide);
    SetFace(m_reset, kFaceOk);
    SetFace(m_back, kBackFace);
    title_ = LoadText(kStringDetourOptions, u"Detour Options");
    ShowChoices();
    FinishScreen();
    return TRUE;
}

void CDetourOptionsDlg::ShowChoices() {
    // Decided: the distances are worked out at set-up and not first at the paint,
    // because a press that comes before the first paint must avoid its own distance
    // and not none.
    m_choices = ComputeDetourChoices(m_routeDistance, g_options.load());
    CImageButton* const buttons[] = {&m_shortest, &m_middle, &m_longest};
    for (int i = 0; i < 3; ++i) {
        const std::u16string caption(m_choices.captions[i].begin(), m_choices.captions[i].end());
        buttons[i]->SetWindowText(caption.c_str());
    }
}

LPCWSTR CDetourOptionsDlg::ScreenTitle() {
    return title_.c_str();
}

void CDetourOptionsDlg::DrawScreen(CDC& dc) {
    const std::u16string text = LoadText(kStringDistanceToAvoid, u"Distance to Avoid");
    const int length = static_cast<int>(text.size());
    dc.SetTextColor(kBlue);
    dc.SetBkColor(kWhite);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), length, &size);
    CFont font;
    CreateScaledFont(&font, ScaleX(180) < size.cx ? 14 : 18, FW_BOLD, nullptr);
    CFont* oldFont = dc.SelectObject(&font);
    ::GetTextExtentPoint32W(dc, text.c_str(), length, &size);
    RECT client{};
    GetClientRect(&client);
    dc.ExtTextOut((client.right - size.cx) / 2, (client.bottom - size.cy) / 3, 0, nullptr,
                  text.c_str(), static_cast<UINT>(length), nullptr);
    dc.SelectObject(oldFont);
}

void CDetourOptionsDlg::OnDistance(UINT id) {
    const int choice = id == kFirstDistance ? 0 : id == kSecondDistance ? 1 : 2;
    {
        CWaitCursor wait;
        if (g_router) {
            MarkDetourAhead(*g_router, m_choices.distances[choice]);
            RecalculateAvoiding(*g_router, true);
        }
    }
    EndDialog(IDCANCEL);
}

void CDetourOptionsDlg::OnOK() {
    if (g_router)
        RecalculateAvoiding(*g_router, false);
    EndDialog(IDCANCEL);
}

int RunDetourOptionsDialog(CWnd* parent, FLOAT remainingLength) {
    CDetourOptionsDlg dialog(parent, remainingLength);
    return static_cast<int>(dialog.DoModal());
}

// ---- Route Management ------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRouteManagementDlg, CFullScreenDialog)
ON_COMMAND_RANGE(kFirstCommand, kLastCommand, OnButton)
END_MESSAGE_MAP()

CRouteManagementDlg::CRouteManagementDlg(CWnd* parent)
    : CFullScreenDialog(kRouteManagementTemplateId, parent, TakenKeys::kEscapeAndHome, true) {
    std::call_once(g_managementTemplate, RegisterRouteManagementTemplate);
}

void CRouteManagementDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kDemo, &m_demo},
                      {kAvoidRoad, &m_avoidRoad},
                      {kDetour, &m_detour},
                      {kStopover, &m_stopover},
                      {kClearDest, &m_clearDest},
                      {IDOK, &m_new},
                      {IDCANCEL, &m_cancel}});
}

BOOL CRouteManagementDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kRouteManagementItems);
    CreateScaledFont(&m_smallFont, 12, FW_BOLD, nullptr);
    SetFace(m_new, kNewFace);
    SetFace(m_avoidRoad, kAvoidFace);
    SetFace(m_stopover, kStopoverFace);
    SetFace(m_clearDest, kClearDestFace);
    SetFace(m_detour, kAvoidFace);
    SetFace(m_cancel, kFaceCancel);
    IMainView* view = g_mainView.load();
    if (view && view->GetReplayFlag())
        m_demo.SetWindowText(LoadText(kStringStopDemo, u"Stop Demo").c_str());
    // Demo has no face and shares Detour's place: it stays hidden.
    m_demo.ShowWindow(SW_HIDE);
    title_ = LoadText(kStringRouteManagement, u"Route Management");
    FinishScreen();
    return TRUE;
}

std::u16string CRouteManagementDlg::DestinationText() {
    if (!g_destinationText[0])
        return u"";
    char name[kDestinationTextSize];
    std::memcpy(name, g_destinationText, sizeof name);
    name[kDestinationTextSize - 1] = '\0';
    WCHAR wide[kDestinationTextSize] = {};
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide, static_cast<int>(kDestinationTextSize));
    const bool stopover = g_router && (g_router->state & kRouterDetourActive);
    std::u16string text = stopover ? LoadText(kStringStopover, u"STOPOVER\r\n\r\n") : u"\r\n\r\n";
    return text + wide;
}

LPCWSTR CRouteManagementDlg::ScreenTitle() {
    return title_.c_str();
}

void CRouteManagementDlg::DrawScreen(CDC& dc) {
    RECT client{};
    GetClientRect(&client);
    dc.SetTextColor(kBlack);
    dc.SetBkColor(kWhite);
    dc.SetBkMode(TRANSPARENT);
    CFont heading;
    CreateScaledFont(&heading, 18, FW_BOLD, nullptr);
    CFont* oldFont = dc.SelectObject(&heading);
    const std::u16string title = LoadText(kStringCurrentDestination, u"Current Destination");
    SIZE size{};
    ::GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
    dc.ExtTextOut((client.right - size.cx) / 2, ScaleY(30), 0, nullptr, title.c_str(),
                  static_cast<UINT>(title.size()), nullptr);
    const std::u16string destination = DestinationText();
    if (!destination.empty()) {
        dc.SelectObject(&m_labelFont);
        RECT area{ScaleX(10), ScaleY(30) + ScaleY(20), client.right - ScaleX(10), ScaleY(180)};
        dc.DrawText(destination.c_str(), -1, &area, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    }
    dc.SelectObject(oldFont);
}

void CRouteManagementDlg::OnButton(UINT id) {
    EndDialog(static_cast<int>(id));
}

int RunRouteManagementDialog(CWnd* parent) {
    CRouteManagementDlg dialog(parent);
    return static_cast<int>(dialog.DoModal());
}

// ---- Select Roads to Avoid -------------------------------------------------------

BEGIN_MESSAGE_MAP(CAvoidRoadsDlg, CFullScreenDialog)
ON_COMMAND(kNav, OnNav)
ON_COMMAND(kAvd, OnAvoid)
ON_COMMAND(kClr, OnClear)
ON_COMMAND(kReset, OnReset)
ON_WM_KEYUP()
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CAvoidRoadsDlg::CAvoidRoadsDlg(CWnd* parent)
    : CFullScreenDialog(kAvoidRoadsTemplateId, parent, TakenKeys::kEnterAndNavigation, false),
      m_listBrush(CreateSolidBrush(GetBackgroundColor())) {
    std::call_once(g_avoidTemplate, RegisterAvoidRoadsTemplate);
}

CAvoidRoadsDlg::~CAvoidRoadsDlg() {
    delete m_list;
    if (m_listBrush)
        DeleteObject(m_listBrush);
}

void CAvoidRoadsDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kNav, &m_nav},
                      {kAvd, &m_avoid},
                      {kClr, &m_clear},
                      {kReset, &m_reset},
                      {IDCANCEL, &m_close}});
}

BOOL CAvoidRoadsDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kAvoidRoadsItems);
    SetFace(m_nav, kFaceOk);
    for (CImageButton* button : {&m_avoid, &m_clear, &m_reset})
        SetFace(*button, kFaceWide);
    SetFace(m_close, kFaceCloseKey);
    m_list = new CAvoidRoadListWnd;
    const int top = ScaleY(20);
    m_list->Create(WS_VSCROLL, RECT{4, top, 4 + ScaleX(236), top + ScaleY(238)}, this, kListId);
    BringMainWindowForward();
    {
        CWaitCursor wait;
        FillList();
        m_list->ShowWindow(SW_SHOW);
        m_list->SetSelection(0, FALSE, FALSE);
        FinishScreen();
    }
    return TRUE;
}

void CAvoidRoadsDlg::FillList() {
    if (!g_router)
        return;
    const int32_t start = FindRouteEntryOfLink(*g_router, g_vehicleLocation.GetLink(true));
    m_roads = ListRoutedRoads(*g_router, start);
    for (const RoutedRoad& road : m_roads)
        m_list->AddItem(road.name.c_str(), 0);
}

void CAvoidRoadsDlg::SetSelectedMark(bool avoided) {
    const int row = m_list->selection;
    const DWORD flags = m_list->GetItemFlags(row);
    m_list->SetItemFlags(row, avoided ? flags | CAvoidRoadListWnd::kAvoidMark
                                      : flags & ~CAvoidRoadListWnd::kAvoidMark);
    m_list->Invalidate(FALSE);
    m_list->UpdateWindow();
}

void CAvoidRoadsDlg::OnAvoid() {
    SetSelectedMark(true);
}

void CAvoidRoadsDlg::OnClear() {
    SetSelectedMark(false);
}

void CAvoidRoadsDlg::OnNav() {
    {
        CWaitCursor wait;
        BringMainWindowForward();
        if (g_router) {
            for (size_t i = 0; i < m_roads.size(); ++i) {
                if (!(m_list->GetItemFlags(static_cast<int>(i)) & CAvoidRoadListWnd::kAvoidMark))
                    continue;
                const int32_t end =
                    i + 1 < m_roads.size() ? m_roads[i + 1].routeIndex : g_router->routeCount;
                MarkRouteRange(*g_router, m_roads[i].routeIndex, end);
            }
            RecalculateAvoiding(*g_router, true);
        }
    }
    EndDialog(IDCANCEL);
}

void CAvoidRoadsDlg::OnReset() {
    if (g_router)
        RecalculateAvoiding(*g_router, false);
    EndDialog(IDCANCEL);
}

bool CAvoidRoadsDlg::OnScreenKey(UINT key, UINT repeat, UINT flags) {
    switch (key) {
        case VK_UP:
            m_list->SelectPrev();
            return true;
        case VK_DOWN:
            m_list->SelectNext();
            return true;
        case VK_RETURN:
            OnNav();
            return true;
        default:
            return CFullScreenDialog::OnScreenKey(key, repeat, flags);
    }
}

void CAvoidRoadsDlg::OnKeyUp(UINT key, UINT, UINT) {
    if (key == VK_UP || key == VK_DOWN || key == VK_RETURN)
        return;
    Default();
}

HBRUSH CAvoidRoadsDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
    if (m_list && wnd && wnd->GetSafeHwnd() == m_list->GetSafeHwnd())
        return m_listBrush;
    return CFullScreenDialog::OnCtlColor(dc, wnd, kind);
}

int RunAvoidRoadsDialog(CWnd* parent) {
    CAvoidRoadsDlg dialog(parent);
    return static_cast<int>(dialog.DoModal());
}
