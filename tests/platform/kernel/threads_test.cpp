#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/kernel/kernel.h"
#include "tests/support/wait_helpers.h"

namespace {

using testing_support::WaitUntilBlocked;

using namespace std::chrono_literals;

DWORD ExitCode(HANDLE thread) {
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    return code;
}

DWORD EndAndClose(HANDLE thread) {
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = ExitCode(thread);
    CloseHandle(thread);
    return code;
}

TEST(Threads, ACreatedSuspendedThreadRunsOnlyOnceResumed) {
    static std::atomic<int> runs;
    static std::atomic<DWORD> idSeenInside;
    runs = 0;
    DWORD id = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            ++runs;
            idSeenInside = GetCurrentThreadId();
            return 42;
        },
        nullptr, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());

    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(ExitCode(thread), STILL_ACTIVE);
    EXPECT_EQ(SuspendThread(thread), 1u);
    EXPECT_EQ(ResumeThread(thread), 2u);
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(ResumeThread(thread), 1u);

    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(idSeenInside, id);
    EXPECT_EQ(ExitCode(thread), 42u);
    EXPECT_EQ(ResumeThread(thread), 0u);
    // A thread that has started cannot be suspended here.
    EXPECT_EQ(SuspendThread(thread), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    CloseHandle(thread);
}

TEST(Threads, ExitThreadUnwindsAndSetsTheExitCode) {
    static std::atomic<bool> unwound;
    unwound = false;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            struct Guard {
                ~Guard() { unwound = true; }
            } guard;
            [] { ExitThread(9); }();
            return 1;
        },
        nullptr, 0, nullptr);
    EXPECT_EQ(EndAndClose(thread), 9u);
    EXPECT_TRUE(unwound);

    // A thread never waits its own end away.
    EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), WAIT_TIMEOUT);
    EXPECT_EQ(ExitCode(GetCurrentThread()), STILL_ACTIVE);

    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(reinterpret_cast<HANDLE>(0x7777), &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// What a stopped thread saw.
struct StopReport {
    DWORD waitResult = 0;
    DWORD waitError = 0;
    DWORD pollResult = 0;
    bool stopRequested = false;
};

TEST(Threads, TerminateStopsTheThreadsWaitsAndTakesItsCode) {
    static HANDLE never;
    static HANDLE signalled;
    static StopReport report;
    never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    signalled = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            report.waitResult = WaitForSingleObject(never, INFINITE);
            report.waitError = GetLastError();
            report.stopRequested = platform::StopRequested();
            // Later waits fail at once too, and take nothing.
            report.pollResult = WaitForSingleObject(signalled, 0);
            return 1;
        },
        nullptr, 0, nullptr);
    ASSERT_TRUE(WaitUntilBlocked(1));
    EXPECT_TRUE(TerminateThread(thread, 7));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(thread), 7u);
    EXPECT_EQ(report.waitResult, WAIT_FAILED);
    EXPECT_EQ(report.waitError, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_TRUE(report.stopRequested);
    EXPECT_EQ(report.pollResult, WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(signalled, 0), WAIT_OBJECT_0);

    // Terminating an ended thread changes nothing.
    EXPECT_TRUE(TerminateThread(thread, 8));
    EXPECT_EQ(ExitCode(thread), 7u);
    CloseHandle(thread);
    CloseHandle(never);
    CloseHandle(signalled);
    EXPECT_FALSE(platform::StopRequested());
}

TEST(Threads, TerminateEndsSleepsAndSuspendedThreads) {
    HANDLE sleeper = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            while (!platform::StopRequested()) {
                Sleep(60000);
            }
            return 0;
        },
        nullptr, 0, nullptr);
    std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(TerminateThread(sleeper, 4));
    EXPECT_EQ(EndAndClose(sleeper), 4u);

    static std::atomic<bool> ran;
    ran = false;
    HANDLE suspended = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            ran = true;
            return 0;
        },
        nullptr, CREATE_SUSPENDED, nullptr);
    EXPECT_TRUE(TerminateThread(suspended, 3));
    EXPECT_EQ(EndAndClose(suspended), 3u);
    EXPECT_FALSE(ran);
}

TEST(Threads, ATerminateThatTimesOutReportsFailureAndTheThreadEndsLater) {
    static std::atomic<bool> running;
    static std::atomic<bool> release;
    running = false;
    release = false;
    HANDLE stubborn = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            running = true;
            while (!release) {
                std::this_thread::sleep_for(1ms);  // never looks at its stop request
            }
            return 0;
        },
        nullptr, 0, nullptr);
    while (!running) {
        std::this_thread::sleep_for(1ms);
    }
    DWORD saved = platform::ThreadStopTimeout();
    platform::SetThreadStopTimeout(50);
    EXPECT_FALSE(TerminateThread(stubborn, 5));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    platform::SetThreadStopTimeout(saved);
    EXPECT_EQ(ExitCode(stubborn), STILL_ACTIVE);
    release = true;
    EXPECT_EQ(EndAndClose(stubborn), 5u);
}

TEST(Threads, PrioritiesAreRememberedPerThread) {
    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, CREATE_SUSPENDED, nullptr);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(CeGetThreadPriority(thread), 251);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
    EXPECT_EQ(GetThreadPriority(thread), 2);
    EXPECT_EQ(CeGetThreadPriority(thread), 250);
    EXPECT_TRUE(CeSetThreadPriority(thread, 100));
    EXPECT_EQ(CeGetThreadPriority(thread), 100);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_FALSE(SetThreadPriority(thread, 8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(CeSetThreadPriority(thread, 256));
    EXPECT_EQ(CeGetThreadPriority(thread), 100);

    // The pseudo handle stands for the calling thread, whichever it is.
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_BELOW_NORMAL);
    int seenByOther = -1;
    std::thread([&] { seenByOther = GetThreadPriority(GetCurrentThread()); }).join();
    EXPECT_EQ(seenByOther, THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));

    EXPECT_EQ(GetThreadPriority(reinterpret_cast<HANDLE>(0x7777)), THREAD_PRIORITY_ERROR_RETURN);
    ResumeThread(thread);
    EndAndClose(thread);
}

}  // namespace
