// The kernel's handle table and the base of every waitable object. Objects are
// reference counted: a handle keeps its object alive, and so does a thread that is
// still waiting on it after another thread closed the handle.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/kernel/wintypes.h"

BOOL CloseHandle(HANDLE handle);
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                     DWORD access, BOOL inherit, DWORD options);
#define DUPLICATE_SAME_ACCESS 0x00000002

namespace platform {

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // Called when the last handle to the object is closed (the object may live on
    // while a waiter still holds it).
    virtual void OnLastHandleClosed() {}
};

// Adds the object to the table and returns its new handle (never null, never
// INVALID_HANDLE_VALUE).
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// One lock and one condition variable serve every wait in the process: waits are
// rare and short-lived on this system, and one lock makes WaitForMultipleObjects
// atomic over any mix of objects.
std::mutex& WaitLock();
// Wakes every waiter so it re-checks its objects. Call with WaitLock() held.
void NotifyWaitersLocked();
std::condition_variable_any& WaitCondition();

// An object a thread can wait on. Both calls are made with WaitLock() held.
class Waitable : public KernelObject {
  public:
    // Whether a wait by the calling thread would be satisfied now.
    virtual bool IsSignalledLocked() const = 0;
    // The wait was satisfied: an auto-reset event resets, a mutex becomes owned.
    virtual void OnWaitSatisfiedLocked() {}
};

}  // namespace platform
