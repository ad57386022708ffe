#include "mapferry/ui/target_location.h"

#include <mutex>

#include "mapferry/ui/dialog_items.h"
#include "platform/user/dialogs.h"

namespace {

std::mutex g_versionLock;
CEOSVERSIONINFO g_deviceVersion{sizeof(CEOSVERSIONINFO), 0, 0, 0, 0, {}};

constexpr int kFailedPicture = 1012;
constexpr int kFailedIcon = 1013;
constexpr UINT_PTR kTickTimer = 1;
constexpr int kBarEnd = 120;
constexpr int kBarStep = 10;

platform::DialogItemTemplate Picture(int id, WORD resource, DWORD type, short x, short y,
                                     short cx = 0, short cy = 0) {
    platform::DialogItemTemplate item = DialogItem(u"STATIC", u"", id, type, x, y, cx, cy);
    item.resourceId = resource;
    return item;
}

void RegisterTemplates() {
    platform::DialogTemplate connecting;
    connecting.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    connecting.cx = 186;
    connecting.cy = 62;
    connecting.caption = u"Connecting";
    connecting.items = {
        Picture(kConnectingPicture, kLinkPictureBitmap, SS_BITMAP, 7, 7),
        DialogItem(u"STATIC", u"Connecting to Pocket PC...", -1, SS_LEFT, 60, 12, 118, 10),
        DialogItem(PROGRESS_CLASS, u"", kConnectingProgress, WS_BORDER, 60, 30, 118, 10),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kConnectingTemplateId), connecting);

    platform::DialogTemplate failed;
    failed.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    failed.cx = 186;
    failed.cy = 80;
    failed.items = {
        Picture(kFailedPicture, kLinkPictureBitmap, SS_BITMAP, 7, 7),
        Picture(kFailedIcon, static_cast<WORD>(kProgramIcon), SS_ICON, 158, 7, 21, 20),
        DialogItem(u"STATIC", u"Connection To Pocket PC Failed.\n", -1, SS_LEFT, 60, 14, 96, 18),
        DialogItem(u"BUTTON", u"&Abort", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 7, 58, 50, 14),
        DialogItem(u"BUTTON", u"&Retry", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 68, 58, 50, 14),
        DialogItem(u"BUTTON", u"&Exit", kConnectFailedExit, BS_PUSHBUTTON | WS_TABSTOP, 129, 58, 50,
                   14),
    };
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kConnectFailedTemplateId), failed);
}

void EnsureTemplates() {
    static std::once_flag registered;
    std::call_once(registered, RegisterTemplates);
}

// The PC drive of the program folder; C: when the program lies outside every drive.
int MeasurePcDrive(CDeviceLinkHolder& holder) {
    const std::u16string folder = GetProgramFolder();
    char16_t letter = u'C';
    if (folder.size() >= 2 && folder[1] == u':') {
        letter = folder[0] >= u'a' && folder[0] <= u'z' ? static_cast<char16_t>(folder[0] - 32)
                                                        : folder[0];
    }
    if (letter < u'A' || letter > u'Z')
        letter = u'C';
    const std::u16string root = std::u16string(1, letter) + u":\\";
    ULARGE_INTEGER free{};
    double megabytes = 0.0;
    if (GetDiskFreeSpaceExW(root.c_str(), &free, nullptr, nullptr))
        megabytes = static_cast<double>(free.QuadPart / 1048576);
    holder.m_chosenFree = megabytes;
    holder.m_chosenKind = kTargetPcDrive;
    holder.m_chosenDrive = letter - u'A';
    return 1;
}

}  // namespace

CDeviceLink* CDeviceLinkHolder::GetDeviceLink() {
    if (!m_pDeviceLink)
        m_pDeviceLink = std::make_unique<CDeviceLink>();
    return m_pDeviceLink.get();
}

UINT ConnectThreadProc(LPVOID parameter) {
    auto* holder = static_cast<CDeviceLinkHolder*>(parameter);
    holder->m_connectResult = holder->GetDeviceLink()->Connect();
    return 0;
}

CEOSVERSIONINFO DeviceVersion() {
    std::lock_guard<std::mutex> guard(g_versionLock);
    return g_deviceVersion;
}

BEGIN_MESSAGE_MAP(CLinkDialog, CDialog)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

HBRUSH CLinkDialog::OnCtlColor(CDC* dc, CWnd*, UINT) {
    dc->SetBkColor(GetSysColor(COLOR_BTNFACE));
    dc->SetTextColor(GetSysColor(COLOR_BTNTEXT));
    return GetSysColorBrush(COLOR_BTNFACE);
}

// ---- "Connecting" ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CConnectingDlg, CLinkDialog)
ON_WM_TIMER()
END_MESSAGE_MAP()

CConnectingDlg::CConnectingDlg(CWinThread* thread, CWnd* parent)
    : CLinkDialog(kConnectingTemplateId, parent), m_thread(thread) {
    EnsureTemplates();
}

BOOL CConnectingDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SendDlgItemMessageW(m_hWnd, kConnectingProgress, PBM_SETRANGE, 0, MAKELPARAM(0, kBarEnd));
    SetTimer(kTickTimer, 1000, nullptr);
    SetWindowText(u"Connecting");
    return TRUE;
}

void CConnectingDlg::OnTimer(UINT_PTR id) {
    if (id != kTickTimer)
        return;
    if (m_thread && WaitForSingleObject(m_thread->m_hThread, 0) == WAIT_OBJECT_0) {
        KillTimer(kTickTimer);
        delete m_thread;
        m_thread = nullptr;
        EndDialog(1);
        return;
    }
    m_position = m_position + kBarStep > kBarEnd ? 0 : m_position + kBarStep;
    SendDlgItemMessageW(m_hWnd, kConnectingProgress, PBM_SETPOS, static_cast<WPARAM>(m_position),
                        0);
}

// ---- "Connection To Pocket PC Failed" ----------------------------------------------

BEGIN_MESSAGE_MAP(CConnectFailedDlg, CLinkDialog)
ON_COMMAND(kConnectFailedExit, OnExit)
END_MESSAGE_MAP()

CConnectFailedDlg::CConnectFailedDlg(CWnd* parent) : CLinkDialog(kConnectFailedTemplateId, parent) {
    EnsureTemplates();
}

BOOL CConnectFailedDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    WCHAR title[128] = {};
    LoadStringW(AfxGetResourceHandle(), kProgramTitleString, title, 128);
    SetWindowText(title);
    return TRUE;
}

void CConnectFailedDlg::OnOK() {
    EndDialog(kFailedRetry);
}

void CConnectFailedDlg::OnCancel() {
    EndDialog(kFailedAbort);
}

void CConnectFailedDlg::OnExit() {
    EndDialog(kFailedExit);
}

// ---- Choosing the target -----------------------------------------------------------

int ChooseTargetLocation(int localOnly, CDeviceLinkHolder& holder, CWnd* parent) {
    holder.GetDeviceLink();
    if (localOnly)
        return MeasurePcDrive(holder);
    int answer = 0;
    for (;;) {
        holder.m_connectResult = 1;
        CWinThread* thread =
            AfxBeginThread(ConnectThreadProc, &holder, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        if (!thread)
            break;
        thread->m_bAutoDelete = FALSE;
        thread->ResumeThread();
        CConnectingDlg connecting(thread, parent);
        if (connecting.DoModal() != 1) {
            // The dialog could not run: the thread is still waited for, then freed.
            WaitForSingleObject(thread->m_hThread, INFINITE);
            delete thread;
        }
        if (holder.m_connectResult == kConnectDone)
            break;
        CConnectFailedDlg failed(parent);
        answer = static_cast<int>(failed.DoModal());
        if (answer != kFailedRetry)
            break;
    }
    CEOSVERSIONINFO version{};
    version.dwOSVersionInfoSize = sizeof version;
    const RapiEntryPoints rapi = CurrentRapi();
    if (rapi.CeGetVersionEx && !rapi.CeGetVersionEx(&version)) {
        version = CEOSVERSIONINFO{};
        version.dwOSVersionInfoSize = sizeof version;
    }
    {
        std::lock_guard<std::mutex> guard(g_versionLock);
        g_deviceVersion = version;
    }
    return answer == kFailedAbort || answer == kFailedExit ? 0 : 1;
}
