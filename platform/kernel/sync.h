// Waits, events, mutexes, critical sections and interlocked operations.
//
// Waits work on every platform::Waitable (events, mutexes, threads, and the
// objects of other modules such as processes). Their time-outs follow the
// platform clock (clock.h), so a test that drives the clock drives them too.
//
// A wait ends with WAIT_FAILED when:
//  - a handle is not a waitable object (last error ERROR_INVALID_HANDLE);
//  - one of its handles is closed while it waits (ERROR_INVALID_HANDLE). This is
//    noticed when waiters next wake: the objects here wake them when their last
//    handle is closed, and every Waitable should do the same in
//    OnLastHandleClosed (a message queue's reader relies on it);
//  - the waiting thread has been asked to stop by TerminateThread (last error
//    ERROR_OPERATION_ABORTED, and platform::StopRequested() is true): such a
//    thread's every later wait fails at once, so it runs to its end (threads.h).
//
// Named objects: events and mutexes share one namespace per process; a second
// create of a name returns the same object with ERROR_ALREADY_EXISTS, as long as
// a handle or a wait still holds it. A named mutex is also seen across processes
// working on the same root of the current side (a lock file in its runtime
// folder), so a second process creating the name gets ERROR_ALREADY_EXISTS; each
// process then has its own object, and ownership is not shared between processes.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/kernel/handles.h"
#include "platform/kernel/wintypes.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Wait-any returns WAIT_OBJECT_0 + the lowest signalled index (WAIT_ABANDONED_0 +
// index for an abandoned mutex); wait-all takes every object at once or none.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Events.
#define EVENT_PULSE 1
#define EVENT_RESET 2
#define EVENT_SET 3

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);
inline HANDLE CreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                          LPCWSTR name) {
    return CreateEventW(attributes, manualReset, initialState, name);
}
BOOL EventModify(HANDLE event, DWORD function);
inline BOOL SetEvent(HANDLE event) {
    return EventModify(event, EVENT_SET);
}
inline BOOL ResetEvent(HANDLE event) {
    return EventModify(event, EVENT_RESET);
}
// Releases the threads waiting now (all of them for a manual-reset event, one for
// an auto-reset event) and leaves the event non-signalled.
inline BOOL PulseEvent(HANDLE event) {
    return EventModify(event, EVENT_PULSE);
}

// Mutexes: owned by a thread, recursively. A mutex whose owner thread ends is
// abandoned: the next thread to get it sees WAIT_ABANDONED and owns it.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);
inline HANDLE CreateMutex(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name) {
    return CreateMutexW(attributes, initialOwner, name);
}
BOOL ReleaseMutex(HANDLE mutex);

// Critical sections: recursive per thread. Leaving one the calling thread does
// not hold does nothing.
namespace platform {
struct CriticalSectionState;
}
struct CRITICAL_SECTION {
    platform::CriticalSectionState* state;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);

// Interlocked operations on 32-bit values shared between threads.
namespace platform {
inline std::atomic_ref<LONG> InterlockedTarget(LONG volatile* target) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target));
}
}  // namespace platform

// Returns the new value.
inline LONG InterlockedIncrement(LONG volatile* target) {
    return platform::InterlockedTarget(target).fetch_add(1) + 1;
}
// Returns the new value.
inline LONG InterlockedDecrement(LONG volatile* target) {
    return platform::InterlockedTarget(target).fetch_sub(1) - 1;
}
// Returns the old value.
inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return platform::InterlockedTarget(target).exchange(value);
}
// Returns the old value.
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
    return platform::InterlockedTarget(target).fetch_add(value);
}
// Stores exchange when the value equals comparand; returns the old value.
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
    platform::InterlockedTarget(target).compare_exchange_strong(comparand, exchange);
    return comparand;
}

namespace platform {

// The wait behind WaitForMultipleObjects, on objects rather than handles, for
// modules that wait on objects of their own (a thread's message queue).
DWORD WaitForObjects(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll,
                     DWORD milliseconds);

// For tests: the number of WaitFor... calls blocked right now (Sleep is not
// counted), so a test can act once a thread is known to be waiting.
size_t BlockedWaitCount();

// Called by the thread machinery, with WaitLock() held, when a thread ends: the
// mutexes it still owns become abandoned.
void AbandonMutexesLocked(DWORD threadId);

}  // namespace platform
