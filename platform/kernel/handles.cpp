#include "platform/kernel/handles.h"

#include <unordered_map>

#include "platform/kernel/process.h"
#include "platform/kernel/threads.h"

namespace platform {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    std::unordered_map<const KernelObject*, int> handleCounts;
    uintptr_t next = 0x1000;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // never destroyed: threads may outlive statics
    return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    ++table.handleCounts[object.get()];
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

std::mutex& WaitLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::condition_variable_any& WaitCondition() {
    static std::condition_variable_any* condition = new std::condition_variable_any;
    return *condition;
}

void NotifyWaitersLocked() {
    WaitCondition().notify_all();
}

}  // namespace platform

namespace {
bool IsPseudoHandle(HANDLE handle) {
    return handle == GetCurrentThread() || handle == GetCurrentProcess();
}
}  // namespace

BOOL CloseHandle(HANDLE handle) {
    using namespace platform;
    if (IsPseudoHandle(handle)) {
        return TRUE;
    }
    std::shared_ptr<KernelObject> object;
    bool last = false;
    {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        table.objects.erase(it);
        auto count = table.handleCounts.find(object.get());
        if (--count->second == 0) {
            table.handleCounts.erase(count);
            last = true;
        }
    }
    if (last) {
        object->OnLastHandleClosed();
    }
    {
        // A thread waiting on the closed handle finds out at once.
        std::lock_guard<std::mutex> guard(WaitLock());
        NotifyWaitersLocked();
    }
    return TRUE;
}

BOOL DuplicateHandle(HANDLE, HANDLE source, HANDLE, LPHANDLE target, DWORD, BOOL, DWORD) {
    std::shared_ptr<platform::KernelObject> object = source == GetCurrentThread()
                                                         ? platform::CurrentThreadObject()
                                                         : platform::LookupHandle(source);
    if (!object || !target) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *target = platform::InsertHandle(std::move(object));
    return TRUE;
}

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD error) {
    t_lastError = error;
}
