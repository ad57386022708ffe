#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"
#include "tests/support/wait_helpers.h"

namespace {

using testing_support::WaitUntilBlocked;

using namespace std::chrono_literals;

DWORD ExitCodeOf(HANDLE thread) {
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

struct ManualClock {
    ManualClock() { platform::UseManualClock(true); }
    ~ManualClock() { platform::UseManualClock(false); }
};

HANDLE NewEvent(bool manualReset, bool signalled) {
    return CreateEventW(nullptr, manualReset, signalled, nullptr);
}

DWORD WaitInfinite(LPVOID handle) {
    return WaitForSingleObject(static_cast<HANDLE>(handle), INFINITE);
}

// --- Waits ------------------------------------------------------------------

TEST(Wait, AnyTakesTheLowestSignalledIndexAndAllTakesEverythingOrNothing) {
    HANDLE events[3] = {NewEvent(false, false), NewEvent(false, false), NewEvent(false, false)};

    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);

    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), WAIT_TIMEOUT);
    // The failed wait-all took nothing.
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0);
    SetEvent(events[0]);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);

    for (HANDLE event : events) {
        CloseHandle(event);
    }
}

TEST(Wait, BadHandlesAndArgumentsFail) {
    HANDLE event = NewEvent(true, true);
    HANDLE notWaitable = platform::InsertHandle(std::make_shared<platform::KernelObject>());
    struct Case {
        const char* what;
        std::vector<HANDLE> handles;
        BOOL waitAll;
        DWORD error;
    };
    const Case cases[] = {
        {"unknown handle", {event, reinterpret_cast<HANDLE>(0x7777)}, FALSE, ERROR_INVALID_HANDLE},
        {"null handle", {nullptr}, FALSE, ERROR_INVALID_HANDLE},
        {"not waitable", {notWaitable}, FALSE, ERROR_INVALID_HANDLE},
        {"no handles", {}, FALSE, ERROR_INVALID_PARAMETER},
        {"too many", std::vector<HANDLE>(MAXIMUM_WAIT_OBJECTS + 1, event), FALSE,
         ERROR_INVALID_PARAMETER},
        {"one object twice in wait-all", {event, event}, TRUE, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(static_cast<DWORD>(c.handles.size()), c.handles.data(),
                                         c.waitAll, 0),
                  WAIT_FAILED)
            << c.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error)) << c.what;
    }
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // The same handle twice is fine for wait-any.
    HANDLE twice[2] = {event, event};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);
    CloseHandle(notWaitable);
    CloseHandle(event);
}

TEST(Wait, WakesWhenAnotherThreadSignalsAndTimesOutInRealTime) {
    HANDLE events[2] = {NewEvent(false, false), NewEvent(false, false)};
    HANDLE waiter = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            return WaitForMultipleObjects(2, static_cast<HANDLE*>(p), FALSE, INFINITE);
        },
        events, 0, nullptr);
    ASSERT_TRUE(WaitUntilBlocked(1));
    SetEvent(events[1]);
    EXPECT_EQ(ExitCodeOf(waiter), WAIT_OBJECT_0 + 1);

    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 40), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount() - start, 40u);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST(Wait, ClosingTheHandleEndsTheWait) {
    HANDLE event = NewEvent(true, false);
    HANDLE waiter = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            DWORD result = WaitForSingleObject(static_cast<HANDLE>(p), INFINITE);
            return result == WAIT_FAILED ? GetLastError() : 0xBAD;
        },
        event, 0, nullptr);
    ASSERT_TRUE(WaitUntilBlocked(1));
    CloseHandle(event);
    EXPECT_EQ(ExitCodeOf(waiter), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Wait, HourLongTimeOutOnTheManualClockEndsExactlyAtItsDeadline) {
    ManualClock clock;
    static HANDLE events[2];
    events[0] = NewEvent(true, false);
    events[1] = NewEvent(false, false);
    static DWORD waitedMs;
    const DWORD start = GetTickCount();
    HANDLE waiter = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            DWORD begin = GetTickCount();
            DWORD result = WaitForMultipleObjects(2, events, FALSE, 3600000);
            waitedMs = GetTickCount() - begin;
            return result;
        },
        nullptr, 0, nullptr);
    ASSERT_TRUE(WaitUntilBlocked(1));
    EXPECT_EQ(GetTickCount(), start);  // the manual clock stands still

    platform::AdvanceClock(3599999);
    std::this_thread::sleep_for(20ms);
    DWORD code = 0;
    GetExitCodeThread(waiter, &code);
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(platform::BlockedWaitCount(), 1u);

    platform::AdvanceClock(1);
    EXPECT_EQ(ExitCodeOf(waiter), WAIT_TIMEOUT);
    EXPECT_EQ(waitedMs, 3600000u);

    // Signalled before the deadline, the wait ends with the object.
    waiter = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD { return WaitForMultipleObjects(2, events, FALSE, 3600000); }, nullptr,
        0, nullptr);
    ASSERT_TRUE(WaitUntilBlocked(1));
    platform::AdvanceClock(1800000);
    SetEvent(events[1]);
    EXPECT_EQ(ExitCodeOf(waiter), WAIT_OBJECT_0 + 1);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

// --- Events -----------------------------------------------------------------

TEST(Events, ResetModesAndInitialState) {
    for (bool manual : {false, true}) {
        for (bool initial : {false, true}) {
            SCOPED_TRACE(testing::Message() << "manual " << manual << " initial " << initial);
            HANDLE event = NewEvent(manual, initial);
            ASSERT_NE(event, nullptr);
            EXPECT_EQ(WaitForSingleObject(event, 0), initial ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
            EXPECT_TRUE(SetEvent(event));
            EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
            EXPECT_EQ(WaitForSingleObject(event, 0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
            EXPECT_TRUE(EventModify(event, EVENT_SET));
            EXPECT_TRUE(ResetEvent(event));
            EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
            // A pulse with nobody waiting leaves nothing behind.
            EXPECT_TRUE(PulseEvent(event));
            EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
            EXPECT_FALSE(EventModify(event, 0));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            CloseHandle(event);
        }
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(mutex);
}

TEST(Events, PulseReleasesTheThreadsWaitingAtThatMoment) {
    // Manual reset: every waiter goes.
    HANDLE event = NewEvent(true, false);
    HANDLE first = CreateThread(nullptr, 0, WaitInfinite, event, 0, nullptr);
    HANDLE second = CreateThread(nullptr, 0, WaitInfinite, event, 0, nullptr);
    ASSERT_TRUE(WaitUntilBlocked(2));
    EXPECT_TRUE(PulseEvent(event));
    EXPECT_EQ(ExitCodeOf(first), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(second), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);

    // Auto reset: exactly one goes, the other keeps waiting.
    event = NewEvent(false, false);
    HANDLE threads[2] = {CreateThread(nullptr, 0, WaitInfinite, event, 0, nullptr),
                         CreateThread(nullptr, 0, WaitInfinite, event, 0, nullptr)};
    ASSERT_TRUE(WaitUntilBlocked(2));
    EXPECT_TRUE(PulseEvent(event));
    DWORD ended = WaitForMultipleObjects(2, threads, FALSE, INFINITE);
    ASSERT_LT(ended, WAIT_OBJECT_0 + 2);
    HANDLE other = threads[1 - (ended - WAIT_OBJECT_0)];
    EXPECT_EQ(ExitCodeOf(threads[ended - WAIT_OBJECT_0]), WAIT_OBJECT_0);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(platform::BlockedWaitCount(), 1u);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    EXPECT_EQ(ExitCodeOf(other), WAIT_OBJECT_0);
    CloseHandle(event);
}

TEST(Events, ANameSharesOneObjectWithinTheProcess) {
    SetLastError(ERROR_ALREADY_EXISTS);
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, u"PlTestEvent");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE b = CreateEventW(nullptr, FALSE, TRUE, u"PlTestEvent");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    // The second create's modes and state are ignored: it is the same manual event.
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);

    // Events and mutexes share the namespace.
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"PlTestEvent"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    CloseHandle(a);
    CloseHandle(b);
    HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, u"PlTestEvent");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
    CloseHandle(fresh);
}

// --- Mutexes ----------------------------------------------------------------

TEST(Mutex, OwnershipIsRecursiveAndOnlyTheOwnerReleases) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    // Another thread can neither take nor release it.
    HANDLE other = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            HANDLE m = static_cast<HANDLE>(p);
            if (WaitForSingleObject(m, 0) != WAIT_TIMEOUT) {
                return 1;
            }
            if (ReleaseMutex(m) || GetLastError() != ERROR_NOT_OWNER) {
                return 2;
            }
            return 0;
        },
        mutex, 0, nullptr);
    EXPECT_EQ(ExitCodeOf(other), 0u);

    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));

    // Free now: a waiting thread gets it.
    other = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            HANDLE m = static_cast<HANDLE>(p);
            DWORD result = WaitForSingleObject(m, INFINITE);
            ReleaseMutex(m);
            return result;
        },
        mutex, 0, nullptr);
    EXPECT_EQ(ExitCodeOf(other), WAIT_OBJECT_0);
    CloseHandle(mutex);
}

TEST(Mutex, IsAbandonedWhenItsOwnerThreadEnds) {
    static HANDLE mutex;
    static HANDLE owned;
    static HANDLE go;
    mutex = CreateMutexW(nullptr, FALSE, nullptr);
    owned = NewEvent(true, false);
    go = NewEvent(true, false);
    HANDLE owner = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            WaitForSingleObject(mutex, INFINITE);
            SetEvent(owned);
            WaitForSingleObject(go, INFINITE);
            return 0;  // ends still owning it
        },
        nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(owned, INFINITE), WAIT_OBJECT_0);
    SetEvent(go);
    // Whether this wait starts before or after the owner ends, it sees the abandonment.
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED);
    CloseHandle(owner);
    // The abandoned mutex is now ours, in the ordinary way.
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));

    // A thread the platform did not start (a host thread) abandons it the same way,
    // and a wait-any reports the index of the abandoned mutex.
    std::thread([] { WaitForSingleObject(mutex, INFINITE); }).join();
    HANDLE handles[2] = {go, mutex};
    ResetEvent(go);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_ABANDONED_0 + 1);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(owned);
    CloseHandle(go);
    CloseHandle(mutex);
}

TEST(Mutex, ANameSharesOneObjectWithinTheProcess) {
    testing_support::TempRoots roots;
    HANDLE a = CreateMutexW(nullptr, TRUE, u"PlTestLocalMtx");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE b = CreateMutexW(nullptr, TRUE, u"PlTestLocalMtx");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // One object: owned once (the second initial-owner request is ignored), and
    // released through either handle.
    EXPECT_TRUE(ReleaseMutex(b));
    EXPECT_FALSE(ReleaseMutex(a));
    CloseHandle(a);
    CloseHandle(b);
}

constexpr const WCHAR* kSharedMutexName = u"OxloTestInstanceMtx";

TEST_CHILD(create_named_mutex) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kSharedMutexName);
    if (!mutex) {
        return 2;
    }
    // Left open on purpose: the process's end must release the name.
    return GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0;
}

using NamedMutex = testing_support::RootsTest;

TEST_F(NamedMutex, IsSeenByASecondProcessUntilEveryHandleIsClosed) {
    EXPECT_EQ(testing_support::RunChild("create_named_mutex"), 0);  // a child's end frees it

    HANDLE first = CreateMutexW(nullptr, TRUE, kSharedMutexName);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateMutexW(nullptr, FALSE, kSharedMutexName);
    EXPECT_EQ(testing_support::RunChild("create_named_mutex"), 1);

    CloseHandle(first);
    EXPECT_EQ(testing_support::RunChild("create_named_mutex"), 1);  // still open here
    CloseHandle(second);
    EXPECT_EQ(testing_support::RunChild("create_named_mutex"), 0);
}

// --- Critical sections and interlocked operations ---------------------------

TEST(CriticalSection, ExcludesOtherThreadsAndNests) {
    static CRITICAL_SECTION section;
    static long counter;
    InitializeCriticalSection(&section);
    counter = 0;
    std::vector<HANDLE> threads;
    for (int i = 0; i < 4; ++i) {
        threads.push_back(CreateThread(
            nullptr, 0,
            [](LPVOID) -> DWORD {
                for (int n = 0; n < 20000; ++n) {
                    EnterCriticalSection(&section);
                    EnterCriticalSection(&section);
                    long seen = counter;
                    counter = seen + 1;
                    LeaveCriticalSection(&section);
                    LeaveCriticalSection(&section);
                }
                return 0;
            },
            nullptr, 0, nullptr));
    }
    for (HANDLE thread : threads) {
        ExitCodeOf(thread);
    }
    EXPECT_EQ(counter, 80000);

    auto tryFromAnotherThread = [] {
        BOOL entered = FALSE;
        std::thread([&] {
            entered = TryEnterCriticalSection(&section);
            if (entered) {
                LeaveCriticalSection(&section);
            }
        }).join();
        return entered;
    };
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));  // nested
    EXPECT_FALSE(tryFromAnotherThread());
    // Leaving a section another thread holds changes nothing.
    std::thread([] { LeaveCriticalSection(&section); }).join();
    LeaveCriticalSection(&section);
    EXPECT_FALSE(tryFromAnotherThread());
    LeaveCriticalSection(&section);
    EXPECT_TRUE(tryFromAnotherThread());
    DeleteCriticalSection(&section);
}

TEST(Interlocked, ReturnValuesAndAtomicity) {
    LONG value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&value, 10), 5);
    EXPECT_EQ(InterlockedExchange(&value, 3), 15);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 4), 3);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 3), 3);
    EXPECT_EQ(value, 9);

    static volatile LONG shared;
    shared = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([] {
            for (int n = 0; n < 50000; ++n) {
                InterlockedIncrement(&shared);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(shared, 200000);
}

}  // namespace
