#include "pathlume/shell/main_frame.h"

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_info_shm.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/hotkey_table.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/user/dialogs.h"

namespace {

constexpr UINT kFirstPortItem = 3036;
constexpr UINT kLastPortItem = 3051;
constexpr UINT kListedPortItems = 9;  // "COM 1" to "COM 9" are in the menu
constexpr UINT kFirstBaudItem = 3052;
constexpr DWORD kBauds[] = {4800, 9600, 19200, 38400, 57600, 115200};
constexpr DWORD kDefaultCommPort = 8;
constexpr DWORD kCommandBarStyleBits = 0x32;
constexpr UINT kToolTipIds[kToolTipCount] = {6207, 6208, 6209, 6211, 6212, 6213, 6214};
constexpr int kToolTipChars = 255;

// The command bar's buttons and the index of each one's tip in kToolTipIds.
struct BarButton {
    UINT command;
    int tip;
};
constexpr BarButton kBarButtons[] = {{3015, 5}, {3032, 4}, {3061, 6}, {3063, 2}};
constexpr int kBarButtonCount = static_cast<int>(std::size(kBarButtons));

std::once_flag g_menuRegistered;

using Item = platform::MenuTemplateItem;

Item Command(UINT id, const char16_t* text) {
    return Item{text, id};
}

Item Popup(const char16_t* text, std::vector<Item> items) {
    Item popup{text, 0, MF_POPUP};
    popup.popup = std::move(items);
    return popup;
}

Item Separator() {
    return Item{u"", 0, MF_SEPARATOR};
}

void CheckItem(HMENU menu, UINT id, bool check) {
    CheckMenuItem(menu, id, MF_BYCOMMAND | (check ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace

void RegisterMainMenu() {
    std::vector<Item> ports;
    for (UINT i = 0; i < kListedPortItems; ++i) {
        const std::u16string text = u"COM " + std::u16string(1, static_cast<char16_t>(u'1' + i));
        ports.push_back(Item{text, kFirstPortItem + i});
    }
    std::vector<Item> bauds;
    for (size_t i = 0; i < std::size(kBauds); ++i) {
        const std::string text = std::to_string(kBauds[i]);
        bauds.push_back(
            Item{std::u16string(text.begin(), text.end()), kFirstBaudItem + static_cast<UINT>(i)});
    }
    platform::MenuTemplate menu;
    menu.items = {
        Popup(u"File",
              {Command(3017, u"Enter Destination"), Command(3001, u"Save Current Location"),
               Command(3026, u"Cancel Route"), Separator(), Command(3031, u"Record GPS Track"),
               Command(3021, u"Play GPS Track"), Command(3068, u"Demo Current Route"), Separator(),
               Command(ID_APP_ABOUT, u"About Wayscribe..."), Command(3063, u"Help"),
               Command(ID_APP_EXIT, u"Exit")}),
        Popup(u"Tools",
              {Popup(u"Safety Features",
                     {Command(3025, u"Speed Alert"), Command(3058, u"Fog Driving")}),
               Popup(u"Distance Units", {Command(3064, u"KM/m"), Command(3065, u"Mile/Feet"),
                                         Command(3066, u"Mile/Yards")}),
               Command(3034, u"Route Options"), Command(3033, u"Display Options"),
               Command(3067, u"Hotkey Options"),
               Popup(u"Input Options",
                     {Command(3059, u"Pocket PC Keyboard"), Command(3060, u"Wayscribe Keyboard")}),
               Popup(u"GPS Options", {Command(3062, u"Auto Detect"), Popup(u"COM Port", ports),
                                      Popup(u"Baud Rate", bauds)}),
               Command(3032, u"Guidance Volume")}),
        Popup(u"View",
              {Command(3018, u"Map View"), Command(3014, u"Guidance View"),
               Command(3012, u"Route List"), Command(3015, u"GPS Info"), Command(3030, u"Almanac"),
               Separator(), Command(3022, u"Zoom +"), Command(3023, u"Zoom -")}),
    };
    platform::RegisterMenuTemplate(nullptr, static_cast<WORD>(kMainMenuId), menu);
}

UINT PortMenuItem(int portNumber) {
    if (portNumber < 1 || kFirstPortItem + portNumber - 1 > kLastPortItem)
        return 0;
    return kFirstPortItem + static_cast<UINT>(portNumber) - 1;
}

UINT BaudMenuItem(DWORD baud) {
    for (size_t i = 0; i < std::size(kBauds); ++i)
        if (kBauds[i] == baud)
            return kFirstBaudItem + static_cast<UINT>(i);
    return 0;
}

int CurrentPortNumber() {
    const std::u16string name = g_gpsPortName.Get();
    if (name.size() > 3) {
        int number = 0;
        size_t i = 3;
        for (; i < name.size() && name[i] >= u'0' && name[i] <= u'9'; ++i)
            number = number * 10 + (name[i] - u'0');
        if (i > 3)
            return number;
    }
    return static_cast<int>(
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, kDefaultCommPort));
}

WCHAR* LoadToolTipString(UINT id) {
    WCHAR buffer[kToolTipChars + 1] = {};
    LoadResString(id, buffer, kToolTipChars + 1, FALSE);
    const size_t length = std::char_traits<WCHAR>::length(buffer);
    auto* copy = new WCHAR[length + 1];
    std::copy_n(buffer, length + 1, copy);
    return copy;
}

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
ON_WM_CREATE()
ON_WM_SETFOCUS()
ON_WM_ACTIVATE()
ON_WM_KEYUP()
ON_WM_KEYDOWN()
ON_WM_DESTROY()
ON_MESSAGE(WM_USER, OnUserMessage)
ON_WM_CLOSE()
END_MESSAGE_MAP()

CMainFrame::CMainFrame() {
    std::call_once(g_menuRegistered, RegisterMainMenu);
}

CMainFrame::~CMainFrame() {
    for (WCHAR*& tip : toolTips_) {
        delete[] tip;
        tip = nullptr;
    }
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
    if (!CFrameWnd::PreCreateWindow(cs))
        return FALSE;
    cs.lpszClass = kMainWindowClass;
    cs.dwExStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
    return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCT cs) {
    if (CFrameWnd::OnCreate(cs) == -1)
        return -1;
    if (!view_.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(0, 0, 0, 0), this,
                      AFX_IDW_PANE_FIRST))
        return -1;
    SetActiveView(&view_, FALSE);
    for (int i = 0; i < kToolTipCount; ++i)
        toolTips_[i] = LoadToolTipString(kToolTipIds[i]);
    if (!commandBar_.Create(this, AFX_IDW_COMMAND_BAR) || !commandBar_.InsertMenuBar(kMainMenuId) ||
        !commandBar_.AddAdornments(0))
        return -1;
    // The buttons: GPS Info, Guidance Volume, North Up and Help, 16 x 16 each.
    const int firstImage = commandBar_.AddBitmap(kMainMenuId, kBarButtonCount, 16, 16);
    TBBUTTON buttons[kBarButtonCount] = {};
    for (int i = 0; i < kBarButtonCount; ++i)
        buttons[i] = {firstImage + i,
                      static_cast<int>(kBarButtons[i].command),
                      TBSTATE_ENABLED,
                      TBSTYLE_BUTTON,
                      {0, 0},
                      0,
                      0};
    commandBar_.AddButtons(kBarButtonCount, buttons);
    // The bar gives the tips to its buttons in order: each button gets its own.
    LPWSTR tips[kBarButtonCount] = {};
    for (int i = 0; i < kBarButtonCount; ++i)
        tips[i] = toolTips_[kBarButtons[i].tip];
    commandBar_.SetToolTips(kBarButtonCount, tips);
    commandBar_.ModifyStyle(0, kCommandBarStyleBits);
    BuildPortMenu();
    RecalcLayout();
    return 0;
}

HMENU CMainFrame::Menu() const {
    return commandBar_.GetSafeHwnd() ? commandBar_.GetMenu() : nullptr;
}

void MarkMainMenu(HMENU menu, BOOL fogDriving) {
    if (!menu)
        return;
    const UINT port = PortMenuItem(CurrentPortNumber());
    for (UINT id = kFirstPortItem; id <= kLastPortItem; ++id)
        CheckItem(menu, id, id == port);
    const UINT baud = BaudMenuItem(
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kNmeaBaudValue, kDefaultNmeaBaud));
    for (size_t i = 0; i < std::size(kBauds); ++i)
        CheckItem(menu, kFirstBaudItem + static_cast<UINT>(i),
                  kFirstBaudItem + i == static_cast<size_t>(baud));
    const DWORD options = g_options.load();
    CheckItem(menu, 3059, options & kOptionOwnKeyboardOff);
    CheckItem(menu, 3060, !(options & kOptionOwnKeyboardOff));
    CheckItem(menu, 3064, options & kOptionMetric);
    CheckItem(menu, 3065, !(options & kOptionMetric) && !(options & kOptionYards));
    CheckItem(menu, 3066, !(options & kOptionMetric) && (options & kOptionYards));
    CheckItem(menu, 3025,
              g_autoSpeedLimit.load() || g_speedLimitMi.load() > 0 || g_speedLimitKm.load() > 0);
    CheckItem(menu, 3058, fogDriving);
}

void CMainFrame::BuildPortMenu() {
    MarkMainMenu(Menu(), view_.fogDriving);
}

bool CMainFrame::ViewRegistered() const {
    return view_.GetSafeHwnd() != nullptr && g_mainView.load() == &view_;
}

BOOL CMainFrame::OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) {
    if (ViewRegistered() && view_.OnCmdMsg(id, code, extra, handlerInfo))
        return TRUE;
    return CFrameWnd::OnCmdMsg(id, code, extra, handlerInfo);
}

void CMainFrame::OnSetFocus(CWnd* oldWnd) {
    if (ViewRegistered())
        view_.SetFocus();
    else
        CWnd::OnSetFocus(oldWnd);
}

void CMainFrame::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    if (ViewRegistered())
        view_.SendMessage(WM_KEYDOWN, key, MAKELPARAM(repeat, flags));
}

void CMainFrame::OnKeyUp(UINT key, UINT repeat, UINT flags) {
    if (ViewRegistered())
        view_.SendMessage(WM_KEYUP, key, MAKELPARAM(repeat, flags));
}

void CMainFrame::OnActivate(UINT state, CWnd* other, BOOL minimized) {
    CFrameWnd::OnActivate(state, other, minimized);
    g_windowActive.store(state != WA_INACTIVE ? 1 : 0);
    if (!g_hotkeyTable.enabled || !view_.GetSafeHwnd())
        return;
    // A dialog of ours closing hands activation back: the keys are still ours.
    if (other && other->GetSafeHwnd() &&
        (other->GetSafeHwnd() == m_hWnd || ::IsChild(m_hWnd, other->GetSafeHwnd()) ||
         ::GetWindow(other->GetSafeHwnd(), GW_OWNER) == m_hWnd))
        return;
    for (int i = 0; i < CHotkeyTable::kEntries; ++i)
        if (g_hotkeyTable.GetCommand(i) != CHotkeyTable::kHotkeyUnassigned)
            CHotkeyTable::RegisterKey(view_.m_hWnd, g_hotkeyTable.GetKey(i), state != WA_INACTIVE);
}

LRESULT CMainFrame::OnUserMessage(WPARAM code, LPARAM value) {
    (void)value;
    switch (code) {
        case kFramePublishFix:
            g_gpsInfoShm.Publish();
            return 0;
        case kFrameReopenPort: {
            const DWORD port =
                RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, kDefaultCommPort);
            WCHAR name[16] = {};
            const std::string text = "COM" + std::to_string(port) + ":";
            std::copy(text.begin(), text.end(), name);
            g_gpsPortName.Set(name);
            g_gpsBaud.store(
                RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kNmeaBaudValue, kDefaultNmeaBaud));
            if (OpenReceiverPort(name, g_gpsBaud.load(), FALSE) == 0)
                BuildPortMenu();
            return 1;
        }
        case kFrameClosePort:
            CloseReceiverPort();
            return 1;
        default:
            return 1;
    }
}

void CMainFrame::OnDestroy() {
    if (ViewRegistered())
        view_.Shutdown();
    CFrameWnd::OnDestroy();
}

void CMainFrame::OnClose() {
    // A close that comes while a box of the receiver's open is up would close the port
    // under that open and take the windows from under its caller: it comes again once
    // the open has let the port go.
    const HWND frame = m_hWnd;
    if (DeferWhileReceiverPortHeld([frame] { ::PostMessageW(frame, WM_CLOSE, 0, 0); }))
        return;
    // A modal screen's loop runs beneath this message, and the code that ran the
    // screen goes on in the view once it returns: the frame and its view must
    // outlive it. The screen in front is cancelled and the close comes again; one
    // that does not go is destroyed.
    constexpr int kCancelsBeforeDestroy = 20;
    HWND front = ::GetActiveWindow();
    if (view_.modalCount.load() > 0 && front && front != m_hWnd && ::IsWindow(front)) {
        if (++closesDeferred_ <= kCancelsBeforeDestroy)
            ::PostMessageW(front, WM_COMMAND, IDCANCEL, 0);
        else
            ::DestroyWindow(front);
        PostMessage(WM_CLOSE);
        return;
    }
    view_.BeginModalScreen();
    view_.Shutdown();
    CFrameWnd::OnClose();
}
