#include <gtest/gtest.h>

#include <atomic>

#include "platform/afx/afx.h"

namespace {

std::atomic<int> g_deleted{0};

UINT ReturnParam(LPVOID param) {
    return static_cast<UINT>(reinterpret_cast<UINT_PTR>(param));
}

UINT EndEarly(LPVOID param) {
    AfxEndThread(static_cast<UINT>(reinterpret_cast<UINT_PTR>(param)), FALSE);
}

DWORD WaitAndGetCode(HANDLE thread) {
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    return code;
}

TEST(CWinThreadTest, WorkerThreadsEndWithTheirResultOrAfxEndThreadsCode) {
    CWinThread* worker = AfxBeginThread(ReturnParam, reinterpret_cast<LPVOID>(41),
                                        THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(worker, nullptr);
    worker->m_bAutoDelete = FALSE;
    EXPECT_NE(worker->m_nThreadID, 0u);
    EXPECT_EQ(worker->GetThreadPriority(), THREAD_PRIORITY_ABOVE_NORMAL);
    worker->ResumeThread();
    EXPECT_EQ(WaitAndGetCode(worker->m_hThread), 41u);
    delete worker;

    CWinThread* ended = AfxBeginThread(EndEarly, reinterpret_cast<LPVOID>(7),
                                       THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ended->m_bAutoDelete = FALSE;
    ended->ResumeThread();
    EXPECT_EQ(WaitAndGetCode(ended->m_hThread), 7u);
    delete ended;
}

// A user-interface thread with a window of its own; a key it pre-translates.
class UiThread : public CWinThread {
  public:
    ~UiThread() override { ++g_deleted; }
    BOOL InitInstance() override {
        if (failInit)
            return FALSE;
        window = new CWnd;
        window->CreateEx(0, nullptr, u"ui", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0);
        m_pMainWnd = window;
        ready.store(true);
        return TRUE;
    }
    int ExitInstance() override {
        exited.store(true);
        if (window != nullptr) {
            window->DestroyWindow();
            delete window;
        }
        return CWinThread::ExitInstance() + 100;
    }
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_APP)
            ++preTranslated;
        return CWinThread::PreTranslateMessage(msg);
    }

    bool failInit = false;
    CWnd* window = nullptr;
    std::atomic<bool> ready{false};
    std::atomic<bool> exited{false};
    std::atomic<int> preTranslated{0};
};

TEST(CWinThreadTest, AUserInterfaceThreadPumpsUntilQuitAndReturnsExitInstancesCode) {
    auto* thread = AfxBeginThread<UiThread>(THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    for (int i = 0; i < 1000 && !thread->ready.load(); ++i)
        Sleep(5);
    ASSERT_TRUE(thread->ready.load());
    // Messages for the thread's window go through its PreTranslateMessage first.
    ASSERT_TRUE(PostMessageW(thread->window->m_hWnd, WM_APP, 0, 0));
    ASSERT_TRUE(PostThreadMessageW(thread->m_nThreadID, WM_QUIT, 5, 0));
    EXPECT_EQ(WaitAndGetCode(thread->m_hThread), 105u);
    EXPECT_TRUE(thread->exited.load());
    EXPECT_EQ(thread->preTranslated.load(), 1);
    delete thread;
}

TEST(CWinThreadTest, AFailedStartEndsAtOnceAndAutoDeleteFreesTheObject) {
    g_deleted = 0;
    auto* thread = AfxBeginThread<UiThread>(THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    thread->failInit = true;
    // Keeps its own handle: the object, and the handle it holds, go with the thread.
    HANDLE handle = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->m_hThread, GetCurrentProcess(),
                                &handle, 0, FALSE, DUPLICATE_SAME_ACCESS));
    thread->ResumeThread();
    EXPECT_EQ(WaitAndGetCode(handle), 100u);  // ExitInstance's code with no quit
    CloseHandle(handle);
    for (int i = 0; i < 1000 && g_deleted.load() == 0; ++i)
        Sleep(5);
    EXPECT_EQ(g_deleted.load(), 1);
}

}  // namespace
