#include "pathlume/shell/nav_app.h"

#include <atomic>
#include <mutex>
#include <string>

#include "pathlume/search/contacts_dlg.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/app_startup.h"
#include "pathlume/shell/dialog_parts.h"
#include "pathlume/shell/disclaimer.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/test_destination.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/registry.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

// What the main view noted when it refused its creation.
enum RefusedStart { kNoRefusal, kRefusedByUser, kRefusedByFailure };
std::atomic<int> g_refusedStart{kNoRefusal};

constexpr UINT kMainFrameResource = 2000;
constexpr DWORD kMainFrameStyle = 0x8000;
constexpr UINT kAppIcon = 2000;
constexpr UINT kAboutPicture = 611;
constexpr UINT kAboutPictureBitmap = 252;
constexpr COLORREF kGrey = 0x666666;

// The main window answers only on its own thread: a worker that read the error of a
// map chunk must not reach into the window.
CWnd* MainWindowOfThisThread() {
    CWinApp* app = AfxGetApp();
    CWnd* window = app ? app->m_pMainWnd : nullptr;
    if (!window || !window->GetSafeHwnd())
        return nullptr;
    return GetWindowThreadProcessId(window->GetSafeHwnd(), nullptr) == GetCurrentThreadId()
               ? window
               : nullptr;
}

// Shows one of the start-up refusals: the warning box with its heading.
void ShowStartupWarning(CWnd* parent, UINT messageId, UINT headingId) {
    const std::u16string caption = LoadResStringOr(6007, u"Warning");
    const std::u16string message = LoadResStringOr(messageId, u"");
    const std::u16string heading = LoadResStringOr(headingId, u"");
    const std::u16string confirm = LoadResStringOr(6009, u"Confirm");
    const std::u16string cancel = LoadResStringOr(6010, u"Cancel");
    CMessageDlg box(parent, caption.c_str(), message.c_str(), heading.c_str(), confirm.c_str(),
                    cancel.c_str(), 1);
    box.DoModal();
}

// Read from the registry: the loader stops before it reads "Options2" when the map
// data is missing.
bool StartupChecksOff() {
    return (RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options2", 0) &
            kOptions2StartupChecksOff) != 0;
}

std::once_flag g_aboutTemplateRegistered;

void RegisterAboutTemplate() {
    platform::DialogTemplate box = FullScreenDialogTemplate(160, 200);
    box.items.push_back(PictureItem(kAboutPicture, 50, 30, 60, 45));
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(CAboutDlg::kTemplateId), box);
}

}  // namespace

BEGIN_MESSAGE_MAP(CNavApp, CWinApp)
ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
END_MESSAGE_MAP()

CNavApp::CNavApp() : CWinApp(u"pathlume") {}

CNavApp::~CNavApp() {
    if (instanceMutex_)
        CloseHandle(instanceMutex_);
}

BOOL CNavApp::InitInstance() {
    SetAppMainWindowSource(MainWindowOfThisThread);
    SHInitExtraControls();
    // One instance per device: the mutex only tells whether another one exists.
    instanceMutex_ = CreateMutexW(nullptr, TRUE, kInstanceMutexName);
    const bool another = GetLastError() == ERROR_ALREADY_EXISTS;
    if (instanceMutex_)
        ReleaseMutex(instanceMutex_);
    CCommandLineInfo commandLine;
    ParseCommandLine(commandLine);
    const CString startWord = commandLine.m_strFileName;
    if (another)
        return HandOverToRunningInstance(startWord);

    SetDisclaimerSkippedThisStart(startWord.CompareNoCase(u"nowarning") == 0);
    ResetTestDestination();

    g_shutDown.store(0);
    g_refusedStart.store(kNoRefusal);
    InstallProgramObjects();
    mapDataMissing_ = AppLoadSettings() != 0;
    // The first connection to the contacts store: a store that cannot be read says so
    // now, and the start goes on.
    {
        CContactsDlg contacts(nullptr, nullptr, nullptr);
        contacts.ConnectOutlook();
    }

    if (!RegisterMainWindowClass()) {
        MessageBoxW(nullptr, u"Class Registration Failed\n", m_pszAppName, MB_OK);
        startFailed_ = true;
        return FALSE;
    }

    auto* frame = new CMainFrame;
    m_pMainWnd = frame;
    if (!frame->LoadFrame(kMainFrameResource, kMainFrameStyle)) {
        // A refused creation has already destroyed (and deleted) the frame. A refused
        // disclaimer is a choice; anything else is a failure.
        m_pMainWnd = nullptr;
        startFailed_ = g_refusedStart.load() != kRefusedByUser;
        return FALSE;
    }
    if (mapDataMissing_)
        return RefuseStart(6011, 6039);
    if (!StartupChecksOff() && VoiceFilesMissing())
        return RefuseStart(6006, 6008);
    if (!m_pMainWnd || !m_pMainWnd->GetSafeHwnd())
        return FALSE;
    m_pMainWnd->ShowWindow(m_nCmdShow);
    m_pMainWnd->UpdateWindow();
    return TRUE;
}

BOOL CNavApp::HandOverToRunningInstance(const CString& startWord) {
    HWND running = FindWindowW(kMainWindowClassFound, nullptr);
    if (!running)
        return FALSE;
    SetForegroundWindow(running);
    if (startWord.CompareNoCase(u"search") == 0)
        PostMessageW(running, WM_COMMAND, kCommandEnterDestination, 0);
    return FALSE;
}

bool CNavApp::RegisterMainWindowClass() {
    WNDCLASSW windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = m_hInstance;
    windowClass.hIcon = LoadAppIcon(kAppIcon);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(0x40000006));
    windowClass.lpszClassName = kMainWindowClass;
    if (!AfxRegisterClass(&windowClass))
        return false;
    // The library remembers a class it registered once; after an earlier start's
    // ExitInstance unregistered it, the window system needs it again.
    WNDCLASSW existing{};
    if (GetClassInfoW(m_hInstance, kMainWindowClassFound, &existing))
        return true;
    windowClass.lpszClassName = kMainWindowClassFound;
    windowClass.lpfnWndProc = AfxWndProc;
    return RegisterClassW(&windowClass) != 0;
}

BOOL CNavApp::RefuseStart(UINT messageId, UINT headingId) {
    startFailed_ = true;
    if (!StartupChecksOff())
        ShowStartupWarning(m_pMainWnd, messageId, headingId);
    DestroyMainWindow();
    return FALSE;
}

bool CNavApp::VoiceFilesMissing() const {
    CVoicePrompt prompt;
    WCHAR path[MAX_PATH] = {};
    prompt.BuildFileName(u"wait4gps", path);
    return !path[0] || !FileExists(path);
}

void CNavApp::DestroyMainWindow() {
    if (m_pMainWnd && m_pMainWnd->GetSafeHwnd())
        m_pMainWnd->DestroyWindow();
    m_pMainWnd = nullptr;
}

int CNavApp::ExitInstance() {
    DestroyMainWindow();
    // A stored "ShowWarning" of 0 accepted nothing when the disclaimer never ran: the
    // next start must still show it; nor does "nowarning" reach another start.
    if (RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 1) == 0)
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 1);
    SetDisclaimerSkippedThisStart(false);
    ReleaseProgramObjects();
    UnregisterClassW(kMainWindowClassFound, m_hInstance);
    SetAppMainWindowSource(nullptr);
    if (instanceMutex_) {
        CloseHandle(instanceMutex_);
        instanceMutex_ = nullptr;
    }
    const int status = CWinApp::ExitInstance();
    return startFailed_ ? 1 : status;
}

void CNavApp::NoteRefusedStart(bool failed) {
    g_refusedStart.store(failed ? kRefusedByFailure : kRefusedByUser);
}

void CNavApp::OnAppAbout() {
    CAboutDlg about(m_pMainWnd);
    about.DoModal();
}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
ON_WM_PAINT()
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(kTemplateId, parent) {
    std::call_once(g_aboutTemplateRegistered, RegisterAboutTemplate);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    greyPen_.CreatePen(PS_SOLID, 1, kGrey);
    CreateScaledFont(&boldFont_, 14, FW_BOLD, nullptr);
    CreateScaledFont(&normalFont_, 14, FW_NORMAL, nullptr);
    ShowPicture(*this, kAboutPicture, kAboutPictureBitmap);
    SetWindowText(u"Travona");
    return TRUE;
}

BOOL CAboutDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) {
        if (msg->wParam == VK_ESCAPE) {
            EndDialog(IDCANCEL);
            return TRUE;
        }
        if (msg->wParam == VK_HOME) {
            g_homeKeyPressed.store(1);
            EndDialog(IDCANCEL);
            return TRUE;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

void CAboutDlg::OnPaint() {
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    dc.FillSolidRect(&client, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    CPen* oldPen = dc.SelectObject(&greyPen_);
    dc.MoveTo(ScaleX(8), ScaleY(24));
    dc.LineTo(client.right - ScaleX(8), ScaleY(24));
    CFont* oldFont = dc.SelectObject(&boldFont_);
    CRect title(0, ScaleY(4), client.right, ScaleY(22));
    dc.DrawText(u"About Wayscribe", -1, &title, DT_CENTER | DT_SINGLELINE);
    dc.SelectObject(&normalFont_);
    CRect text(ScaleX(8), ScaleY(150), client.right - ScaleX(8), client.bottom);
    dc.DrawText(u"pathlume 1.0\nMap data \u00A9 OpenStreetMap contributors", -1, &text,
                DT_CENTER | DT_WORDBREAK);
    dc.SelectObject(oldFont);
    dc.SelectObject(oldPen);
}
