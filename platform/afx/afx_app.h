// The class library's threads and application.
#pragma once

#include <atomic>

#include "platform/afx/afx_wnd.h"

typedef UINT (*AFX_THREADPROC)(LPVOID parameter);

class CWinThread : public CCmdTarget {
  public:
    // A user-interface thread: its InitInstance runs on the new thread, then its
    // message pump (Run) when InitInstance returns TRUE.
    CWinThread();
    // A worker thread running proc(param).
    CWinThread(AFX_THREADPROC proc, LPVOID param);
    ~CWinThread() override;

    // Starts the thread; with CREATE_SUSPENDED it waits for ResumeThread.
    BOOL CreateThread(DWORD createFlags = 0, UINT stackSize = 0,
                      LPSECURITY_ATTRIBUTES security = nullptr);
    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }
    DWORD SuspendThread() { return ::SuspendThread(m_hThread); }
    BOOL SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread, priority); }
    int GetThreadPriority() { return ::GetThreadPriority(m_hThread); }
    operator HANDLE() const { return m_hThread; }  // NOLINT

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The message pump: OnIdle while the queue is empty, PumpMessage for each message,
    // until WM_QUIT; returns ExitInstance's result.
    virtual int Run();
    virtual BOOL PreTranslateMessage(MSG* msg);
    // count counts the calls since the last message; TRUE asks for more idle calls.
    virtual BOOL OnIdle(LONG count);
    // Reads and dispatches one message; FALSE on WM_QUIT.
    virtual BOOL PumpMessage();
    virtual CWnd* GetMainWnd();

    CWnd* m_pMainWnd = nullptr;
    CWnd* m_pActiveWnd = nullptr;
    // Deletes the object when the thread ends (default TRUE).
    BOOL m_bAutoDelete = TRUE;
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    MSG m_msgCur{};

  protected:
    static DWORD ThreadStart(LPVOID self);

    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;
};

// Worker thread.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0,
                           LPSECURITY_ATTRIBUTES security = nullptr);
// User-interface thread of a class derived from CWinThread; the library constructs it
// with its default constructor.
template <class ThreadClass>
ThreadClass* AfxBeginThread(int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                            DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
// Ends the calling thread (started by AfxBeginThread) with the exit code; its
// CWinThread is deleted when auto-delete is on.
[[noreturn]] void AfxEndThread(UINT exitCode, BOOL deleteThread = TRUE);
CWinThread* AfxGetThread();

// The command-line parser's result.
class CCommandLineInfo : public CObject {
  public:
    // Called for each argument; a flag starts with '-' or '/' (given without it).
    virtual void ParseParam(LPCWSTR param, BOOL flag, BOOL last);

    // The first plain argument.
    CString m_strFileName;
    BOOL m_bShowSplash = TRUE;
    BOOL m_bRunEmbedded = FALSE;
    BOOL m_bRunAutomated = FALSE;
};

class CWinApp : public CWinThread {
  public:
    // The one application object; its construction makes it the one AfxGetApp returns.
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;

    // Ends the message pump when there is no main window left (the default when the
    // main window is destroyed).
    int Run() override;
    int ExitInstance() override;
    BOOL OnIdle(LONG count) override;
    void ParseCommandLine(CCommandLineInfo& info);
    // 1 begins the wait cursor, -1 ends one, 0 shows it again while one is begun.
    virtual void DoWaitCursor(int code);
    HICON LoadIcon(UINT id) const;
    HICON LoadIcon(LPCWSTR name) const;
    // Standard command handlers for the application's map.
    void OnAppExit();
    void OnHelp();

    LPCWSTR m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;

  protected:
    friend int AfxWinMain(HINSTANCE, HINSTANCE, LPWSTR, int);
    CString m_appName;

    DECLARE_MESSAGE_MAP()
};

// Shows the wait cursor for its lifetime.
class CWaitCursor {
  public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore();
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE instance);
// A message box owned by the main window, with the application's name as caption.
int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = -1);
// Runs the application object: InitInstance, then Run when it returned TRUE (else
// ExitInstance); returns the exit code. A program's main() calls it.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);
// Deletes the calling thread's temporary wrappers (see afx_gdi.h).
void AfxDeleteTempObjects();

template <class ThreadClass>
ThreadClass* AfxBeginThread(int priority, UINT stackSize, DWORD createFlags,
                            LPSECURITY_ATTRIBUTES security) {
    auto* thread = new ThreadClass();
    if (!thread->CreateThread(createFlags | CREATE_SUSPENDED, stackSize, security)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if (!(createFlags & CREATE_SUSPENDED)) {
        thread->ResumeThread();
    }
    return thread;
}
