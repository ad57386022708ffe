#include "mapferry/ui/map_sheet.h"

#include <mutex>

#include "mapferry/convert/installer_services.h"
#include "mapferry/ui/dialog_items.h"
#include "mapferry/ui/generating_dialog.h"
#include "mapferry/ui/messages.h"
#include "mapferry/ui/page_drawing.h"
#include "mapferry/ui/storage_card_dialog.h"
#include "mapferry/ui/sub_area_dialog.h"
#include "platform/user/dialogs.h"
#include "platform/user/menu_bar.h"

namespace {

platform::DialogTemplate Dialog(const char16_t* caption, short cx, short cy, DWORD style) {
    platform::DialogTemplate dialog;
    dialog.style = style;
    dialog.cx = cx;
    dialog.cy = cy;
    dialog.caption = caption;
    return dialog;
}

constexpr DWORD kModal = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
constexpr DWORD kPage = WS_CHILD | DS_SETFONT | DS_CONTROL;

void RegisterTemplates() {
    // The region page: the picture on the left (drawn, no control), the tree on the
    // right, the legend below the picture, the target controls beside it.
    platform::DialogTemplate region = Dialog(u"", 508, 296, kPage);
    region.items = {
        DialogItem(WC_TREEVIEW, u"", kRegionTree,
                   WS_BORDER | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                       TVS_SHOWSELALWAYS,
                   354, 21, 146, 172),
        DialogItem(u"BUTTON", u"Select All", kSelectAllButton, BS_PUSHBUTTON | WS_TABSTOP, 354, 198,
                   70, 14),
        DialogItem(u"BUTTON", u"Clear All", kClearAllButton, BS_PUSHBUTTON | WS_TABSTOP, 430, 198,
                   70, 14),
        DialogItem(WC_COMBOBOX, u"", kTargetCombo, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 176,
                   214, 150, 120),
        DialogItem(u"EDIT", u"", kTargetText, ES_READONLY | WS_BORDER, 336, 214, 164, 13),
        DialogItem(u"EDIT", u"", kAvailableSpace, ES_READONLY | WS_BORDER | ES_RIGHT, 270, 234, 56,
                   13),
        DialogItem(u"EDIT", u"", kSelectedSize, ES_READONLY | WS_BORDER | ES_RIGHT, 270, 252, 56,
                   13),
        DialogItem(u"BUTTON", u"&Change Target Location", kChangeTargetButton,
                   BS_PUSHBUTTON | WS_TABSTOP, 380, 274, 120, 14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kRegionPageTemplate), region);

    platform::DialogTemplate city = Dialog(u"", 508, 296, kPage);
    auto label = [](int id, short x, short y, short cx) {
        return DialogItem(u"STATIC", u"", id, SS_LEFT, x, y, cx, 10);
    };
    city.items = {
        DialogItem(u"STATIC", u"", 1020, SS_LEFT, 20, 14, 460, 20),
        label(1021, 20, 50, 80),
        DialogItem(WC_COMBOBOX, u"", kStateCombo, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 100, 48,
                   160, 160),
        label(1023, 20, 72, 80),
        DialogItem(WC_COMBOBOX, u"", kCityCombo, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 100, 70,
                   160, 160),
        label(1024, 20, 100, 80),
        DialogItem(TRACKBAR_CLASS, u"", kRadiusTrackbar, WS_TABSTOP, 100, 96, 160, 18),
        DialogItem(u"EDIT", u"", kRadiusText, ES_READONLY | WS_BORDER, 270, 98, 56, 13),
        label(1025, 330, 100, 50),
        label(1027, 176, 200, 150),
        DialogItem(WC_COMBOBOX, u"", kTargetCombo, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 176,
                   214, 150, 120),
        DialogItem(u"EDIT", u"", kTargetText, ES_READONLY | WS_BORDER, 336, 214, 164, 13),
        label(1026, 176, 236, 90),
        DialogItem(u"EDIT", u"", kAvailableSpace, ES_READONLY | WS_BORDER | ES_RIGHT, 270, 234, 56,
                   13),
        label(1028, 176, 254, 90),
        DialogItem(u"EDIT", u"", kCitySize, ES_READONLY | WS_BORDER | ES_RIGHT, 270, 252, 76, 13),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kCityPageTemplate), city);

    platform::DialogTemplate generating = Dialog(u"Generating Map", 260, 150, kModal);
    generating.items = {
        DialogItem(u"STATIC", u"", kGeneratingPicture, SS_LEFT, 7, 7, 0, 0),
        DialogItem(PROGRESS_CLASS, u"", kGenerationBar, WS_BORDER, 10, 30, 240, 10),
        DialogItem(PROGRESS_CLASS, u"", kFileBar, WS_BORDER, 10, 62, 240, 10),
        DialogItem(PROGRESS_CLASS, u"", kOverallBar, WS_BORDER, 10, 94, 240, 10),
        DialogItem(u"BUTTON", u"Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 200, 128, 50, 14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kGeneratingTemplate), generating);

    platform::DialogTemplate copying = Dialog(u"Copying Maps", 260, 110, kModal);
    copying.items = {
        DialogItem(PROGRESS_CLASS, u"", kFileBar, WS_BORDER, 10, 30, 240, 10),
        DialogItem(PROGRESS_CLASS, u"", kOverallBar, WS_BORDER, 10, 62, 240, 10),
        DialogItem(u"BUTTON", u"Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 200, 88, 50, 14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kCopyingTemplate), copying);

    // The sub-area dialog lays itself out from its region's picture.
    platform::DialogTemplate subAreas = Dialog(u"", 300, 200, kModal & ~DS_CENTER);
    subAreas.items = {
        DialogItem(WC_TREEVIEW, u"", kSubAreaList, WS_BORDER | WS_TABSTOP, 10, 10, 100, 40),
        DialogItem(u"BUTTON", u"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 10, 60, 40, 14),
        DialogItem(u"BUTTON", u"Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 60, 60, 40, 14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kSubAreaTemplate), subAreas);

    platform::DialogTemplate cards = Dialog(u"Storage Card Selection", 200, 84, kModal);
    cards.items = {
        DialogItem(u"STATIC", u"Please select a storage card device", -1, SS_LEFT, 10, 8, 180, 10),
        DialogItem(WC_COMBOBOX, u"", kCardList, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 10, 22,
                   120, 80),
        DialogItem(u"EDIT", u"", kCardFree, ES_READONLY | WS_BORDER | ES_RIGHT, 136, 22, 54, 13),
        DialogItem(u"BUTTON", u"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 10, 62, 50, 14),
        DialogItem(u"BUTTON", u"Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 75, 62, 50, 14),
        DialogItem(u"BUTTON", u"Refresh", kCardRefresh, BS_PUSHBUTTON | WS_TABSTOP, 140, 62, 50,
                   14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kStorageCardTemplate), cards);

    platform::DialogTemplate cleanup = Dialog(u"Cleaning up", 180, 50, kModal);
    cleanup.items = {
        DialogItem(u"STATIC", u"Cleaning up temporary data...", -1, SS_LEFT, 10, 8, 160, 10),
        DialogItem(PROGRESS_CLASS, u"", kOverallBar, WS_BORDER, 10, 26, 160, 10),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kCleanupTemplate), cleanup);

    platform::DialogTemplate notice =
        Dialog(u"", 200, 40, WS_POPUP | WS_BORDER | DS_SETFONT | DS_CENTER);
    notice.items = {
        DialogItem(
            u"STATIC",
            u"Map generation may take from a few minutes to more than half an hour depending "
            u"on the size of the selected map.",
            -1, SS_LEFT, 8, 8, 184, 26),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kNoticeTemplate), notice);

    platform::DialogTemplate welcome = Dialog(u"Zanter Wayscribe mapferry", 260, 160, kModal);
    welcome.items = {
        DialogItem(u"STATIC", u"Welcome to the Zanter Wayscribe mapferry", -1, SS_CENTER, 10, 8,
                   240, 10),
        DialogItem(u"STATIC", u"INFORMATION", -1, SS_LEFT, 10, 24, 240, 10),
        DialogItem(u"STATIC",
                   u"mapferry allows you to create interchangeable, personalized maps to fit your "
                   u"needs.",
                   -1, SS_LEFT, 10, 36, 240, 18),
        DialogItem(u"STATIC", u"\u00b7 You may select either by region or by city.", -1, SS_LEFT,
                   10, 56, 240, 10),
        DialogItem(
            u"STATIC",
            u"\u00b7 Selection by city allows you to choose any city as a starting point, and "
            u"create a map with a radius around that city (25-125 mi. or 25-150 km).",
            -1, SS_LEFT, 10, 68, 240, 26),
        DialogItem(
            u"STATIC",
            u"\u00b7 Selection by region allows you to choose region[s] up to 512MB in size.", -1,
            SS_LEFT, 10, 96, 240, 18),
        DialogItem(u"BUTTON", u"&Don't show this message again.", kWelcomeCheck,
                   BS_AUTOCHECKBOX | WS_TABSTOP, 10, 120, 170, 12),
        DialogItem(u"BUTTON", u"&OK", kWelcomeOk, BS_DEFPUSHBUTTON | WS_TABSTOP, 200, 138, 50, 14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kWelcomeTemplate), welcome);

    platform::DialogTemplate about = Dialog(u"About mapferry", 200, 60, kModal);
    about.items = {
        DialogItem(u"STATIC", u"Zanter Wayscribe mapferry\nVersion 1.0.5.5NA", -1, SS_LEFT, 40, 10,
                   150, 20),
        DialogItem(u"BUTTON", u"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 140, 40, 50, 14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kAboutTemplate), about);

    platform::MenuTemplate menu;
    menu.items = {
        {u"File", 0, MF_STRING, {{u"&About mapferry...", kAboutCommand}, {u"Exit", kExitCommand}}},
    };
    platform::RegisterMenuTemplate(nullptr, static_cast<WORD>(kSheetMenu), menu);
}

}  // namespace

void RegisterPageTemplates() {
    static std::once_flag registered;
    std::call_once(registered, RegisterTemplates);
}

std::u16string FindProgramFolder() {
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return u".";
    std::u16string folder(path, length);
    const size_t slash = folder.rfind(u'\\');
    if (slash == std::u16string::npos)
        return u".";
    folder.resize(slash);
    return folder.empty() ? u"." : folder;
}

// ---- Sheet -------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CMapPropertySheet, CPropertySheet)
ON_COMMAND(kAboutCommand, OnAbout)
ON_COMMAND(kExitCommand, OnExit)
ON_WM_CLOSE()
END_MESSAGE_MAP()

CMapPropertySheet::CMapPropertySheet(LPCWSTR caption, std::vector<DWORD>* regionIndex,
                                     CDeviceLinkHolder* holder, UINT selectPage, int targetKind,
                                     int driveIndex)
    : CPropertySheet(caption, nullptr, selectPage),
      m_pRegionIndex(regionIndex),
      m_pHolder(holder),
      m_targetKind(targetKind),
      m_driveIndex(driveIndex) {
    m_psh.dwFlags |= PSH_USEHICON;
    m_psh.dwFlags &= ~PSH_HASHELP;
    m_psh.hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kProgramIconId));
}

void CMapPropertySheet::Init() {
    const std::u16string folder = FindProgramFolder();
    LoadDiscInformation(folder.c_str());
    m_regionPage.Init(m_pRegionIndex, m_pHolder);
    AddPage(&m_regionPage);
    m_cityPage.Init(m_pHolder);
    AddPage(&m_cityPage);
}

BOOL CMapPropertySheet::OnInitDialog() {
    CPropertySheet::OnInitDialog();
    for (int id : {IDOK, IDCANCEL, IDHELP})
        if (CWnd* button = GetDlgItem(id))
            button->ShowWindow(SW_HIDE);
    if (CWnd* apply = GetDlgItem(ID_APPLY_NOW)) {
        apply->SetWindowText(MSG_GENERATE_MAP.Get());
        // Wide enough for its text.
        CRect rect;
        apply->GetWindowRect(&rect);
        ScreenToClient(&rect);
        rect.left -= rect.Width() / 2;
        apply->MoveWindow(&rect);
    }
    RegisterPageTemplates();
    // The window owns the menu once it took it, and destroys it with itself.
    if (HMENU menu = ::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kSheetMenu))) {
        if (!::SetMenu(m_hWnd, menu)) {
            ::DestroyMenu(menu);
        } else {
            // The window grows downwards by the bar, so the pages keep their size.
            CRect window;
            GetWindowRect(&window);
            SetWindowPos(nullptr, 0, 0, window.Width(),
                         window.Height() + ::GetSystemMetrics(SM_CYMENU),
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return TRUE;
}

BOOL CMapPropertySheet::PreTranslateMessage(MSG* msg) {
    // Escape never closes the sheet.
    if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_ESCAPE)
        return FALSE;
    return CPropertySheet::PreTranslateMessage(msg);
}

void CMapPropertySheet::OnAbout() {
    ShowAboutBox(this);
}

void CMapPropertySheet::OnExit() {
    OnClose();
}

void CMapPropertySheet::OnClose() {
    if (g_pWelcome)
        g_pWelcome->EndDialog(IDCANCEL);
    EndDialog(IDCANCEL);
}

// ---- Welcome, notice, About --------------------------------------------------------

BEGIN_MESSAGE_MAP(CWelcomeDlg, CDialog)
ON_WM_CTLCOLOR()
ON_BN_CLICKED(kWelcomeCheck, OnDontShow)
ON_BN_CLICKED(kWelcomeOk, OnOkButton)
END_MESSAGE_MAP()

CWelcomeDlg::CWelcomeDlg(CWnd* parent) : CDialog(kWelcomeTemplate, parent) {
    RegisterPageTemplates();
}

HBRUSH CWelcomeDlg::OnCtlColor(CDC* dc, CWnd*, UINT) {
    return FaceColoured(dc);
}

HBRUSH CNoticeDlg::OnCtlColor(CDC* dc, CWnd*, UINT) {
    return FaceColoured(dc);
}

void CWelcomeDlg::OnDontShow() {
    const UINT checked = ::IsDlgButtonChecked(m_hWnd, kWelcomeCheck) == BST_CHECKED ? 1 : 0;
    WriteRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, u"HelpOptions", checked);
}

void CWelcomeDlg::OnOkButton() {
    EndDialog(IDOK);
}

BEGIN_MESSAGE_MAP(CNoticeDlg, CDialog)
ON_WM_CTLCOLOR()
ON_WM_PAINT()
END_MESSAGE_MAP()

BOOL CNoticeDlg::PreTranslateMessage(MSG* msg) {
    switch (msg->message) {
        case WM_KEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_MOUSEMOVE:
            ShowWindow(SW_HIDE);
            return TRUE;
        default:
            return CDialog::PreTranslateMessage(msg);
    }
}

void CNoticeDlg::OnPaint() {
    ValidateRect(nullptr);
}

CWelcomeDlg* g_pWelcome = nullptr;

void ShowWelcome(CWnd* parent) {
    CWelcomeDlg welcome(parent);
    g_pWelcome = &welcome;
    welcome.DoModal();
    g_pWelcome = nullptr;
}

void ShowAboutBox(CWnd* parent) {
    RegisterPageTemplates();
    CDialog about(kAboutTemplate, parent);
    about.DoModal();
}
