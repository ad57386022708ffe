#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/afx/afx_internal.h"

namespace {

std::atomic<CWinApp*> g_app{nullptr};
std::atomic<HINSTANCE> g_resourceInstance{nullptr};
thread_local CWinThread* t_thread = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------
// Threads

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID param)
    : m_pfnThreadProc(proc), m_pThreadParams(param) {}

CWinThread::~CWinThread() {
    if (m_hThread != nullptr && m_hThread != GetCurrentThread())
        CloseHandle(m_hThread);
    if (t_thread == this)
        t_thread = nullptr;
}

BOOL CWinThread::CreateThread(DWORD createFlags, UINT stackSize, LPSECURITY_ATTRIBUTES security) {
    // Started suspended, so that the handle and id are stored before the thread can
    // run (and, with auto-delete, delete this object).
    DWORD id = 0;
    HANDLE thread =
        ::CreateThread(security, stackSize, &CWinThread::ThreadStart, this, CREATE_SUSPENDED, &id);
    if (thread == nullptr)
        return FALSE;
    m_hThread = thread;
    m_nThreadID = id;
    if (!(createFlags & CREATE_SUSPENDED))
        ::ResumeThread(thread);
    return TRUE;
}

DWORD CWinThread::ThreadStart(LPVOID self) {
    auto* thread = static_cast<CWinThread*>(self);
    t_thread = thread;
    DWORD code;
    if (thread->m_pfnThreadProc != nullptr) {
        code = thread->m_pfnThreadProc(thread->m_pThreadParams);
    } else if (thread->InitInstance()) {
        code = static_cast<DWORD>(thread->Run());
    } else {
        code = static_cast<DWORD>(thread->ExitInstance());
    }
    AfxDeleteTempObjects();
    t_thread = nullptr;
    if (thread->m_bAutoDelete)
        delete thread;
    return code;
}

BOOL CWinThread::InitInstance() {
    return FALSE;
}

int CWinThread::ExitInstance() {
    return static_cast<int>(m_msgCur.wParam);
}

int CWinThread::Run() {
    BOOL idle = TRUE;
    LONG idleCount = 0;
    for (;;) {
        while (idle && !PeekMessageW(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++))
                idle = FALSE;
        }
        do {
            if (!PumpMessage())
                return ExitInstance();
            idle = TRUE;
            idleCount = 0;
        } while (PeekMessageW(&m_msgCur, nullptr, 0, 0, PM_NOREMOVE));
    }
}

BOOL CWinThread::PumpMessage() {
    if (!GetMessageW(&m_msgCur, nullptr, 0, 0))
        return FALSE;
    if (!PreTranslateMessage(&m_msgCur)) {
        TranslateMessage(&m_msgCur);
        DispatchMessageW(&m_msgCur);
    }
    return TRUE;
}

BOOL CWinThread::PreTranslateMessage(MSG* msg) {
    if (msg->hwnd == nullptr)
        return FALSE;
    CWnd* mainWnd = GetMainWnd();
    HWND stop = mainWnd != nullptr ? mainWnd->m_hWnd : nullptr;
    if (CWnd::WalkPreTranslateTree(stop, msg))
        return TRUE;
    // A message for a window outside the main window's tree still reaches the main
    // window's PreTranslateMessage.
    if (mainWnd != nullptr && mainWnd->m_hWnd != nullptr) {
        CWnd* top = CWnd::FromHandle(msg->hwnd)->GetTopLevelParent();
        if (top != mainWnd && top->m_hWnd != mainWnd->m_hWnd) {
            return mainWnd->PreTranslateMessage(msg);
        }
    }
    return FALSE;
}

BOOL CWinThread::OnIdle(LONG count) {
    if (count == 0)
        AfxDeleteTempObjects();
    return FALSE;
}

CWnd* CWinThread::GetMainWnd() {
    return m_pMainWnd;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize,
                           DWORD createFlags, LPSECURITY_ATTRIBUTES security) {
    auto* thread = new CWinThread(proc, param);
    if (!thread->CreateThread(createFlags | CREATE_SUSPENDED, stackSize, security)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if (!(createFlags & CREATE_SUSPENDED))
        thread->ResumeThread();
    return thread;
}

void AfxEndThread(UINT exitCode, BOOL deleteThread) {
    CWinThread* thread = t_thread;
    AfxDeleteTempObjects();
    t_thread = nullptr;
    if (thread != nullptr && deleteThread && thread->m_bAutoDelete)
        delete thread;
    ExitThread(exitCode);
}

CWinThread* AfxGetThread() {
    if (t_thread != nullptr)
        return t_thread;
    CWinApp* app = g_app.load();
    return app != nullptr && app->m_nThreadID == GetCurrentThreadId() ? app : nullptr;
}

// ---------------------------------------------------------------------------------
// The application

void CCommandLineInfo::ParseParam(LPCWSTR param, BOOL flag, BOOL /*last*/) {
    if (!flag && m_strFileName.IsEmpty())
        m_strFileName = param;
}

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
ON_COMMAND(ID_APP_EXIT, OnAppExit)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCWSTR appName) : m_appName(appName) {
    m_pszAppName = appName != nullptr ? m_appName.GetString() : nullptr;
    m_bAutoDelete = FALSE;
    m_nThreadID = GetCurrentThreadId();
    g_app.store(this);
}

CWinApp::~CWinApp() {
    CWinApp* self = this;
    g_app.compare_exchange_strong(self, nullptr);
}

int CWinApp::Run() {
    // Without a main window nothing would ever end the pump.
    if (m_pMainWnd == nullptr)
        PostQuitMessage(0);
    return CWinThread::Run();
}

int CWinApp::ExitInstance() {
    return static_cast<int>(m_msgCur.wParam);
}

BOOL CWinApp::OnIdle(LONG count) {
    return CWinThread::OnIdle(count);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
    auto arguments = platform::CommandLineArguments(m_lpCmdLine != nullptr ? m_lpCmdLine : u"");
    for (size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        bool flag = !argument.empty() && (argument[0] == u'-' || argument[0] == u'/');
        info.ParseParam(flag ? argument.c_str() + 1 : argument.c_str(), flag,
                        i + 1 == arguments.size());
    }
}

HICON CWinApp::LoadIcon(UINT id) const {
    return LoadIcon(MAKEINTRESOURCEW(id));
}

HICON CWinApp::LoadIcon(LPCWSTR name) const {
    return LoadIconW(AfxGetResourceHandle(), name);
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd != nullptr)
        m_pMainWnd->SendMessage(WM_CLOSE);
}

// There is no help file to open.
void CWinApp::OnHelp() {}

// The wait cursor's count and the cursor it replaced, process-wide as the cursor is.
void AfxDoWaitCursor(int code) {
    static std::mutex lock;
    static int count = 0;
    static HCURSOR replaced = nullptr;
    HCURSOR show = nullptr;
    bool change = false;
    {
        std::lock_guard guard(lock);
        if (code > 0) {
            change = count++ == 0;
            show = LoadCursorW(nullptr, IDC_WAIT);
        } else if (code < 0) {
            if (count == 0)
                return;  // an End without a Begin changes nothing
            change = --count == 0;
            show = replaced;
        } else {
            change = count > 0;
            show = LoadCursorW(nullptr, IDC_WAIT);
        }
    }
    if (!change)
        return;
    HCURSOR previous = SetCursor(show);
    if (code > 0) {
        std::lock_guard guard(lock);
        replaced = previous;
    }
}

void CWinApp::DoWaitCursor(int code) {
    AfxDoWaitCursor(code);
}

namespace {

void WaitCursor(int code) {
    if (CWinApp* app = AfxGetApp()) {
        app->DoWaitCursor(code);
    } else {
        AfxDoWaitCursor(code);
    }
}

}  // namespace

void CCmdTarget::BeginWaitCursor() {
    WaitCursor(1);
}
void CCmdTarget::EndWaitCursor() {
    WaitCursor(-1);
}
void CCmdTarget::RestoreWaitCursor() {
    WaitCursor(0);
}

CWaitCursor::CWaitCursor() {
    WaitCursor(1);
}
CWaitCursor::~CWaitCursor() {
    WaitCursor(-1);
}
void CWaitCursor::Restore() {
    WaitCursor(0);
}

CWinApp* AfxGetApp() {
    return g_app.load();
}

CWnd* AfxGetMainWnd() {
    CWinThread* thread = AfxGetThread();
    if (thread != nullptr && thread->m_pMainWnd != nullptr)
        return thread->m_pMainWnd;
    CWinApp* app = g_app.load();
    return app != nullptr ? app->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle() {
    CWinApp* app = g_app.load();
    if (app != nullptr && app->m_hInstance != nullptr)
        return app->m_hInstance;
    return platform::ProgramInstance();
}

HINSTANCE AfxGetResourceHandle() {
    HINSTANCE instance = g_resourceInstance.load();
    return instance != nullptr ? instance : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE instance) {
    g_resourceInstance.store(instance);
}

int AfxMessageBox(LPCWSTR text, UINT type, UINT /*helpId*/) {
    CWnd* mainWnd = AfxGetMainWnd();
    CWinApp* app = AfxGetApp();
    return MessageBoxW(mainWnd != nullptr ? mainWnd->m_hWnd : nullptr, text,
                       app != nullptr && app->m_pszAppName != nullptr ? app->m_pszAppName : u"",
                       type);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId) {
    CString text;
    text.LoadString(textId);
    return AfxMessageBox(text, type, helpId);
}

int AfxWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR commandLine, int showCommand) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    app->m_hInstance = instance != nullptr ? instance : platform::ProgramInstance();
    app->m_lpCmdLine = commandLine;
    app->m_nCmdShow = showCommand;
    app->m_nThreadID = GetCurrentThreadId();
    if (app->m_pszAppName == nullptr) {
        // Without a name of its own the application is called after its program file.
        WCHAR path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        CString name(path);
        name = name.Mid(std::max(name.ReverseFind(u'\\'), name.ReverseFind(u'/')) + 1);
        if (int dot = name.ReverseFind(u'.'); dot > 0)
            name = name.Left(dot);
        app->m_appName = name;
        app->m_pszAppName = app->m_appName;
    }
    int code;
    if (app->InitInstance()) {
        code = app->Run();
    } else {
        if (app->m_pMainWnd != nullptr && app->m_pMainWnd->m_hWnd != nullptr) {
            app->m_pMainWnd->DestroyWindow();
        }
        code = app->ExitInstance();
    }
    AfxDeleteTempObjects();
    return code;
}
