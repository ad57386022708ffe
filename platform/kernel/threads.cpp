#include "platform/kernel/threads.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/kernel/sync.h"

namespace platform {
namespace {

std::atomic<DWORD> g_nextThreadId{0x100};
std::atomic<DWORD> g_stopTimeoutMs{2000};

class ThreadObject : public Waitable {
  public:
    // startedByCreateThread: a thread of CreateThread, else a thread that met the
    // platform some other way (the main thread, a library's thread).
    explicit ThreadObject(bool startedByCreateThread)
        : id(g_nextThreadId++),
          startedByCreateThread(startedByCreateThread),
          started(!startedByCreateThread) {}

    bool IsSignalledLocked() const override { return ended; }
    void OnLastHandleClosed() override {
        std::lock_guard<std::mutex> guard(WaitLock());
        NotifyWaitersLocked();
    }

    const DWORD id;
    const bool startedByCreateThread;
    std::atomic<bool> stopRequested{false};
    std::atomic<int> cePriority{248 + THREAD_PRIORITY_NORMAL};
    // Under WaitLock.
    DWORD suspendCount = 0;
    bool started;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD stopCode = 0;
};

void EndThread(ThreadObject& thread, DWORD exitCode) {
    std::lock_guard<std::mutex> guard(WaitLock());
    AbandonMutexesLocked(thread.id);
    thread.exitCode = thread.stopRequested ? thread.stopCode : exitCode;
    thread.ended = true;
    NotifyWaitersLocked();
}

// The calling thread's object. A thread that CreateThread did not start ends, as
// far as its waiters and its mutexes are concerned, when its thread-local storage
// goes.
struct CurrentThreadSlot {
    std::shared_ptr<ThreadObject> object;
    ~CurrentThreadSlot() {
        if (object && !object->startedByCreateThread) {
            EndThread(*object, 0);
        }
    }
};
thread_local CurrentThreadSlot t_current;

const std::shared_ptr<ThreadObject>& Self() {
    if (!t_current.object) {
        t_current.object = std::make_shared<ThreadObject>(false);
    }
    return t_current.object;
}

std::shared_ptr<ThreadObject> ThreadFor(HANDLE handle) {
    if (handle == GetCurrentThread()) {
        return Self();
    }
    return LookupHandleAs<ThreadObject>(handle);
}

void RunThread(std::shared_ptr<ThreadObject> self, LPTHREAD_START_ROUTINE start, LPVOID parameter) {
    t_current.object = self;
    bool run = false;
    {
        std::unique_lock<std::mutex> lock(WaitLock());
        WaitCondition().wait(lock, [&] { return self->suspendCount == 0 || self->stopRequested; });
        run = !self->stopRequested;
        self->started = true;
    }
    DWORD exitCode = 0;
    if (run) {
        try {
            exitCode = start(parameter);
        } catch (const ThreadExit& exit) {
            exitCode = exit.exitCode;
        }
    }
    EndThread(*self, exitCode);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

bool StopRequested() {
    return Self()->stopRequested.load();
}

void SetThreadStopTimeout(DWORD milliseconds) {
    g_stopTimeoutMs.store(milliseconds);
}

DWORD ThreadStopTimeout() {
    return g_stopTimeoutMs.load();
}

std::shared_ptr<Waitable> CurrentThreadObject() {
    return Self();
}

}  // namespace platform

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE startAddress,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId) {
    using namespace platform;
    if (!startAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>(true);
    thread->suspendCount = (creationFlags & CREATE_SUSPENDED) ? 1 : 0;
    try {
        std::thread(RunThread, thread, startAddress, parameter).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId) {
        *threadId = thread->id;
    }
    return InsertHandle(std::move(thread));
}

DWORD ResumeThread(HANDLE handle) {
    using namespace platform;
    std::shared_ptr<ThreadObject> thread = ThreadFor(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFFu;
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    DWORD previous = thread->suspendCount;
    if (previous > 0 && --thread->suspendCount == 0) {
        NotifyWaitersLocked();
    }
    return previous;
}

DWORD SuspendThread(HANDLE handle) {
    using namespace platform;
    std::shared_ptr<ThreadObject> thread = ThreadFor(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFFu;
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    if (thread->started) {
        // A running thread cannot be stopped where it stands on this host.
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0xFFFFFFFFu;
    }
    return thread->suspendCount++;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    using namespace platform;
    std::shared_ptr<ThreadObject> thread = ThreadFor(handle);
    if (!thread) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!exitCode) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    *exitCode = thread->ended ? thread->exitCode : STILL_ACTIVE;
    return TRUE;
}

BOOL TerminateThread(HANDLE handle, DWORD exitCode) {
    using namespace platform;
    std::shared_ptr<ThreadObject> thread = ThreadFor(handle);
    if (!thread) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    {
        std::lock_guard<std::mutex> guard(WaitLock());
        if (thread->ended) {
            return TRUE;
        }
        if (!thread->stopRequested) {
            thread->stopCode = exitCode;
            thread->stopRequested = true;
        }
        NotifyWaitersLocked();
    }
    if (thread == Self()) {
        ExitThread(exitCode);
    }
    // Real time, not the platform clock: a test that holds the manual clock still
    // must not hang here.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ThreadStopTimeout());
    std::unique_lock<std::mutex> lock(WaitLock());
    if (!WaitCondition().wait_until(lock, until, [&] { return thread->ended; })) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    return TRUE;
}

void ExitThread(DWORD exitCode) {
    throw platform::ThreadExit{exitCode};
}

HANDLE GetCurrentThread() {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

DWORD GetCurrentThreadId() {
    return platform::Self()->id;
}

BOOL SetThreadPriority(HANDLE handle, int priority) {
    if (priority < THREAD_PRIORITY_TIME_CRITICAL || priority > THREAD_PRIORITY_IDLE) {
        return platform::Fail(ERROR_INVALID_PARAMETER);
    }
    return CeSetThreadPriority(handle, 248 + priority);
}

int GetThreadPriority(HANDLE handle) {
    int priority = CeGetThreadPriority(handle);
    if (priority == THREAD_PRIORITY_ERROR_RETURN) {
        return priority;
    }
    // Real-time levels below the application range read as time-critical.
    return priority >= 248 ? priority - 248 : THREAD_PRIORITY_TIME_CRITICAL;
}

BOOL CeSetThreadPriority(HANDLE handle, int priority) {
    using namespace platform;
    std::shared_ptr<ThreadObject> thread = ThreadFor(handle);
    if (!thread) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (priority < 0 || priority > 255) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    thread->cePriority.store(priority);
    return TRUE;
}

int CeGetThreadPriority(HANDLE handle) {
    using namespace platform;
    std::shared_ptr<ThreadObject> thread = ThreadFor(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return thread->cePriority.load();
}
