#include "platform/kernel/handles.h"

#include <unordered_map>

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

BOOL CloseHandle(HANDLE handle) {
    using namespace platform;
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
    return TRUE;
}

BOOL DuplicateHandle(HANDLE, HANDLE source, HANDLE, LPHANDLE target, DWORD, BOOL, DWORD) {
    std::shared_ptr<platform::KernelObject> object = platform::LookupHandle(source);
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
