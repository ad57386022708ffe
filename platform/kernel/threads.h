// Threads. A thread handle is waitable and becomes signalled when the thread ends.
//
// Stopping a thread: a thread cannot be killed safely here, so TerminateThread is
// a cooperative stop. TerminateThread(h, code):
//  1. marks the thread as asked to stop and wakes its waits: from then on every
//     wait of that thread (WaitForSingleObject, WaitForMultipleObjects, Sleep)
//     returns at once, waits with WAIT_FAILED and last error
//     ERROR_OPERATION_ABORTED; the thread's own code can test
//     platform::StopRequested() at any point;
//  2. waits up to platform::ThreadStopTimeout() milliseconds of real time for the
//     thread to end. Ended in time: TRUE. Not ended: FALSE with ERROR_TIMEOUT;
//     the thread runs on, is still asked to stop, and its handle is signalled
//     whenever it does end.
// The exit code of a thread asked to stop is the code given to TerminateThread,
// whatever its start routine returns. A thread created suspended and stopped
// before it was resumed never runs. Terminating a thread that has ended already
// succeeds and leaves its exit code; terminating the calling thread ends it as
// ExitThread does.
//
// ExitThread ends a thread started by CreateThread by throwing
// platform::ThreadExit, which unwinds the thread's stack (destructors run) up to
// the start of the thread; code must not swallow it with catch (...).
//
// Suspension: SuspendThread and ResumeThread count for a thread that has not
// started yet (CREATE_SUSPENDED); a running thread cannot be suspended
// (SuspendThread fails with ERROR_NOT_SUPPORTED) and ResumeThread on it returns 0.
//
// Priorities are the handheld's: 0 (time-critical) to 7 (idle) for
// SetThreadPriority, 0 to 255 for CeSetThreadPriority (248 + n is level n). They
// are remembered and answered, with no effect on scheduling. The stack size
// asked for is not used: threads get the host's default stack.
#pragma once

#include <memory>

#include "platform/kernel/handles.h"
#include "platform/kernel/wintypes.h"

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

#define CREATE_SUSPENDED 0x00000004
#define STILL_ACTIVE 259u

#define THREAD_PRIORITY_TIME_CRITICAL 0
#define THREAD_PRIORITY_HIGHEST 1
#define THREAD_PRIORITY_ABOVE_NORMAL 2
#define THREAD_PRIORITY_NORMAL 3
#define THREAD_PRIORITY_BELOW_NORMAL 4
#define THREAD_PRIORITY_LOWEST 5
#define THREAD_PRIORITY_ABOVE_IDLE 6
#define THREAD_PRIORITY_IDLE 7
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId);
DWORD ResumeThread(HANDLE thread);
DWORD SuspendThread(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
BOOL TerminateThread(HANDLE thread, DWORD exitCode);
[[noreturn]] void ExitThread(DWORD exitCode);

// A pseudo handle meaning "the calling thread" wherever a thread handle is taken;
// it needs no CloseHandle.
HANDLE GetCurrentThread();
DWORD GetCurrentThreadId();

BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);
BOOL CeSetThreadPriority(HANDLE thread, int priority);
int CeGetThreadPriority(HANDLE thread);

namespace platform {

// Thrown by ExitThread; caught where the thread started.
struct ThreadExit {
    DWORD exitCode;
};

// Whether TerminateThread has asked the calling thread to stop.
bool StopRequested();

// How long TerminateThread waits for the thread to end (real time, default 2000).
void SetThreadStopTimeout(DWORD milliseconds);
DWORD ThreadStopTimeout();

// The calling thread's own object (what GetCurrentThread stands for); threads not
// started by CreateThread get one on first use, signalled when they end.
std::shared_ptr<Waitable> CurrentThreadObject();

}  // namespace platform
