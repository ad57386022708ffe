#include "platform/kernel/sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <list>
#include <map>
#include <string>
#include <unordered_map>

#include "platform/kernel/clock.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/threads.h"

namespace platform {
namespace {

// --- Names -------------------------------------------------------------------

// Holds a shared lock on a per-name file in the root's runtime folder for as long
// as this process has the named mutex, so other processes see that it exists. A
// guard lock makes each process's check-and-create atomic.
class NameLockFile {
  public:
    NameLockFile() = default;
    ~NameLockFile() { Release(); }
    NameLockFile(const NameLockFile&) = delete;
    NameLockFile& operator=(const NameLockFile&) = delete;

    bool Acquire(const std::u16string& name, bool* existsElsewhere) {
        std::filesystem::path folder = RuntimeFolder(CurrentRoot());
        guardPath_ = folder / "mutex-names.lock";
        path_ = folder / FileNameFor(name);
        int guard = LockGuard();
        if (guard < 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        bool ok = fd_ >= 0;
        if (ok) {
            // Nobody holds an exclusive lock outside the guard, so the shared lock
            // is granted at once; an exclusive one only when no process has the name.
            *existsElsewhere = flock(fd_, LOCK_EX | LOCK_NB) != 0;
            ok = (!*existsElsewhere || errno == EWOULDBLOCK) && flock(fd_, LOCK_SH) == 0;
        }
        close(guard);
        if (!ok) {
            Release();
            SetLastError(ERROR_ACCESS_DENIED);
        }
        return ok;
    }

    void Release() {
        if (fd_ < 0) {
            return;
        }
        int guard = LockGuard();
        // The last process to let go removes the file, so the folder stays clean.
        if (guard >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            unlink(path_.c_str());
        }
        close(fd_);
        fd_ = -1;
        if (guard >= 0) {
            close(guard);
        }
    }

  private:
    int LockGuard() const {
        int guard = open(guardPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (guard < 0) {
            return -1;
        }
        while (flock(guard, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(guard);
                return -1;
            }
        }
        return guard;
    }

    // Names are case-sensitive and may hold any character: keep a readable part and
    // tell names apart by a hash of the whole.
    static std::string FileNameFor(const std::u16string& name) {
        std::string readable;
        uint64_t hash = 1469598103934665603ull;
        for (char16_t c : name) {
            hash = (hash ^ c) * 1099511628211ull;
            bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                         (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
            if (plain && readable.size() < 48) {
                readable.push_back(static_cast<char>(c));
            }
        }
        char suffix[24];
        snprintf(suffix, sizeof suffix, "-%016llx.lock", static_cast<unsigned long long>(hash));
        return "mutex-" + readable + suffix;
    }

    int fd_ = -1;
    std::filesystem::path path_;
    std::filesystem::path guardPath_;
};

enum class NameKind { Event, Mutex };

struct NamedObject {
    bool failed = false;
    std::shared_ptr<KernelObject> existing;  // the live object already holding the name
    bool existsElsewhere = false;            // a named mutex another process has
    uint64_t serial = 0;                     // the registration, for ForgetObjectName
};

struct NameEntry {
    std::weak_ptr<KernelObject> object;
    std::unique_ptr<NameLockFile> file;
    uint64_t serial = 0;
};

// Lock order: WaitLock, then the names lock (an object's destructor may run under
// WaitLock); the names lock is never held while taking WaitLock.
struct NameTable {
    std::mutex lock;
    std::map<std::u16string, NameEntry> entries;
    uint64_t nextSerial = 1;
};

NameTable& Names() {
    static auto* names = new NameTable;
    return *names;
}

NamedObject RegisterObjectName(LPCWSTR name, const std::shared_ptr<KernelObject>& object,
                               NameKind kind) {
    NamedObject result;
    if (!name || !*name) {
        return result;
    }
    std::u16string key(name);
    if (key.size() > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        result.failed = true;
        return result;
    }
    NameTable& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    auto it = names.entries.find(key);
    if (it != names.entries.end()) {
        if ((result.existing = it->second.object.lock())) {
            return result;
        }
        // The object is gone but its destructor has not forgotten the name yet.
        names.entries.erase(it);
    }
    NameEntry entry;
    entry.object = object;
    entry.serial = names.nextSerial++;
    if (kind == NameKind::Mutex) {
        entry.file = std::make_unique<NameLockFile>();
        if (!entry.file->Acquire(key, &result.existsElsewhere)) {
            result.failed = true;
            return result;
        }
    }
    result.serial = entry.serial;
    names.entries.emplace(std::move(key), std::move(entry));
    return result;
}

void ForgetObjectName(uint64_t serial) {
    if (serial == 0) {
        return;
    }
    NameTable& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    for (auto it = names.entries.begin(); it != names.entries.end(); ++it) {
        if (it->second.serial == serial) {
            names.entries.erase(it);
            return;
        }
    }
}

// --- Waits -------------------------------------------------------------------

// A thread blocked in a wait. Registered (under WaitLock) so that PulseEvent can
// hand the event to the threads waiting at that moment.
struct Waiter {
    const std::vector<std::shared_ptr<Waitable>>* objects;
    bool waitAll;
    DWORD threadId;
    bool done = false;
    DWORD result = WAIT_FAILED;
};

std::list<Waiter*>& Waiters() {
    static auto* waiters = new std::list<Waiter*>;
    return *waiters;
}

// Which thread a wait is being satisfied for: PulseEvent satisfies the waits of
// other threads, and a mutex must become theirs, not the pulser's.
thread_local DWORD t_satisfyingFor = 0;

DWORD SatisfyingThreadId() {
    return t_satisfyingFor != 0 ? t_satisfyingFor : GetCurrentThreadId();
}

class SatisfyingFor {
  public:
    explicit SatisfyingFor(DWORD threadId) : previous_(t_satisfyingFor) {
        t_satisfyingFor = threadId;
    }
    ~SatisfyingFor() { t_satisfyingFor = previous_; }
    SatisfyingFor(const SatisfyingFor&) = delete;
    SatisfyingFor& operator=(const SatisfyingFor&) = delete;

  private:
    DWORD previous_;
};

class MutexObject;

// The mutexes each thread owns, so they can be abandoned when it ends.
std::unordered_map<DWORD, std::vector<std::weak_ptr<MutexObject>>>& OwnedMutexes() {
    static auto* owned = new std::unordered_map<DWORD, std::vector<std::weak_ptr<MutexObject>>>;
    return *owned;
}

class EventObject : public Waitable {
  public:
    EventObject(bool manualReset, bool signalled)
        : manualReset(manualReset), signalled(signalled) {}
    ~EventObject() override { ForgetObjectName(nameSerial); }

    bool IsSignalledLocked() const override { return signalled; }
    void OnWaitSatisfiedLocked() override {
        if (!manualReset) {
            signalled = false;
        }
    }
    void OnLastHandleClosed() override {
        std::lock_guard<std::mutex> guard(WaitLock());
        NotifyWaitersLocked();
    }

    const bool manualReset;
    bool signalled;  // under WaitLock
    uint64_t nameSerial = 0;
};

class MutexObject : public Waitable, public std::enable_shared_from_this<MutexObject> {
  public:
    ~MutexObject() override { ForgetObjectName(nameSerial); }

    bool IsSignalledLocked() const override { return owner == 0 || owner == SatisfyingThreadId(); }
    void OnWaitSatisfiedLocked() override {
        DWORD thread = SatisfyingThreadId();
        if (owner == thread) {
            ++count;
            return;
        }
        owner = thread;
        count = 1;
        abandoned = false;
        OwnedMutexes()[thread].push_back(weak_from_this());
    }
    void OnLastHandleClosed() override {
        std::lock_guard<std::mutex> guard(WaitLock());
        NotifyWaitersLocked();
    }

    // Under WaitLock.
    DWORD owner = 0;
    DWORD count = 0;
    bool abandoned = false;
    uint64_t nameSerial = 0;
};

bool IsAbandonedLocked(const Waitable& object) {
    auto* mutex = dynamic_cast<const MutexObject*>(&object);
    return mutex && mutex->owner == 0 && mutex->abandoned;
}

bool TrySatisfyLocked(Waiter& waiter) {
    SatisfyingFor acting(waiter.threadId);
    const auto& objects = *waiter.objects;
    if (!waiter.waitAll) {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (objects[i]->IsSignalledLocked()) {
                bool abandoned = IsAbandonedLocked(*objects[i]);
                objects[i]->OnWaitSatisfiedLocked();
                waiter.result = (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
                waiter.done = true;
                return true;
            }
        }
        return false;
    }
    for (const auto& object : objects) {
        if (!object->IsSignalledLocked()) {
            return false;
        }
    }
    waiter.result = WAIT_OBJECT_0;
    for (size_t i = objects.size(); i-- > 0;) {
        if (IsAbandonedLocked(*objects[i])) {
            waiter.result = WAIT_ABANDONED_0 + i;
        }
        objects[i]->OnWaitSatisfiedLocked();
    }
    waiter.done = true;
    return true;
}

bool AnyHandleClosed(const std::vector<std::shared_ptr<Waitable>>& objects, const HANDLE* handles) {
    for (size_t i = 0; i < objects.size(); ++i) {
        if (handles[i] != GetCurrentThread() && LookupHandle(handles[i]) != objects[i]) {
            return true;
        }
    }
    return false;
}

DWORD WaitCore(const std::vector<std::shared_ptr<Waitable>>& objects, const HANDLE* handles,
               bool waitAll, DWORD milliseconds) {
    Waiter waiter{&objects, waitAll, GetCurrentThreadId()};
    const uint64_t deadline =
        milliseconds == INFINITE ? UINT64_MAX : ClockMilliseconds() + milliseconds;
    DWORD error = ERROR_SUCCESS;
    bool registered = false;
    std::list<Waiter*>::iterator entry;
    {
        std::unique_lock<std::mutex> lock(WaitLock());
        for (;;) {
            if (waiter.done) {
                break;  // satisfied by PulseEvent while blocked
            }
            if (StopRequested()) {
                error = ERROR_OPERATION_ABORTED;
                break;
            }
            if (handles && AnyHandleClosed(objects, handles)) {
                error = ERROR_INVALID_HANDLE;
                break;
            }
            if (TrySatisfyLocked(waiter)) {
                break;
            }
            if (deadline != UINT64_MAX && ClockMilliseconds() >= deadline) {
                waiter.result = WAIT_TIMEOUT;
                break;
            }
            if (!registered) {
                entry = Waiters().insert(Waiters().end(), &waiter);
                registered = true;
            }
            WaitForClockLocked(lock, deadline);
        }
        if (registered) {
            Waiters().erase(entry);
        }
    }
    if (!waiter.done && waiter.result != WAIT_TIMEOUT) {
        SetLastError(error);
        return WAIT_FAILED;
    }
    return waiter.result;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<EventObject> EventFor(HANDLE handle) {
    return LookupHandleAs<EventObject>(handle);
}

}  // namespace

DWORD WaitForObjects(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll,
                     DWORD milliseconds) {
    if (objects.empty() || objects.size() > MAXIMUM_WAIT_OBJECTS ||
        std::find(objects.begin(), objects.end(), nullptr) != objects.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return WaitCore(objects, nullptr, waitAll, milliseconds);
}

size_t BlockedWaitCount() {
    std::lock_guard<std::mutex> guard(WaitLock());
    return Waiters().size();
}

void AbandonMutexesLocked(DWORD threadId) {
    auto owned = OwnedMutexes().find(threadId);
    if (owned == OwnedMutexes().end()) {
        return;
    }
    for (const auto& weak : owned->second) {
        if (auto mutex = weak.lock(); mutex && mutex->owner == threadId) {
            mutex->owner = 0;
            mutex->count = 0;
            mutex->abandoned = true;
        }
    }
    OwnedMutexes().erase(owned);
    NotifyWaitersLocked();
}

}  // namespace platform

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    using namespace platform;
    if (!handles || count == 0 || count > MAXIMUM_WAIT_OBJECTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Waitable>> objects;
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        std::shared_ptr<Waitable> object = handles[i] == GetCurrentThread()
                                               ? CurrentThreadObject()
                                               : LookupHandleAs<Waitable>(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        // Waiting for all of one object twice has no meaning (an auto-reset event
        // cannot be taken twice at once).
        if (waitAll && std::find(objects.begin(), objects.end(), object) != objects.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    return WaitCore(objects, handles, waitAll != FALSE, milliseconds);
}

namespace platform {
namespace {

// A create that found the name taken in this process: a handle to the object
// there, when it is of the kind asked for.
template <class T>
HANDLE OpenExistingNamed(const NamedObject& named) {
    auto existing = std::dynamic_pointer_cast<T>(named.existing);
    if (!existing) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HANDLE handle = InsertHandle(std::move(existing));
    SetLastError(ERROR_ALREADY_EXISTS);
    return handle;
}

}  // namespace
}  // namespace platform

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    using namespace platform;
    auto event = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
    NamedObject named = RegisterObjectName(name, event, NameKind::Event);
    if (named.failed) {
        return nullptr;
    }
    if (named.existing) {
        return OpenExistingNamed<EventObject>(named);
    }
    event->nameSerial = named.serial;
    HANDLE handle = InsertHandle(std::move(event));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL EventModify(HANDLE handle, DWORD function) {
    using namespace platform;
    std::shared_ptr<EventObject> event = EventFor(handle);
    if (!event) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    switch (function) {
        case EVENT_SET:
            event->signalled = true;
            break;
        case EVENT_RESET:
            event->signalled = false;
            return TRUE;
        case EVENT_PULSE:
            // Hand the event to the threads blocked on it now, in the order they
            // began waiting; an auto-reset event stops at the first that takes it.
            event->signalled = true;
            for (Waiter* waiter : Waiters()) {
                if (!event->signalled) {
                    break;
                }
                if (!waiter->done && std::find(waiter->objects->begin(), waiter->objects->end(),
                                               event) != waiter->objects->end()) {
                    TrySatisfyLocked(*waiter);
                }
            }
            event->signalled = false;
            break;
        default:
            return Fail(ERROR_INVALID_PARAMETER);
    }
    NotifyWaitersLocked();
    return TRUE;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    using namespace platform;
    auto mutex = std::make_shared<MutexObject>();
    const DWORD self = GetCurrentThreadId();
    if (initialOwner) {
        // Set before the object can be seen by another thread; a mutex that
        // already existed is returned as it is.
        mutex->owner = self;
        mutex->count = 1;
    }
    NamedObject named = RegisterObjectName(name, mutex, NameKind::Mutex);
    if (named.failed) {
        return nullptr;
    }
    if (named.existing) {
        return OpenExistingNamed<MutexObject>(named);
    }
    mutex->nameSerial = named.serial;
    if (named.existsElsewhere && initialOwner) {
        std::lock_guard<std::mutex> guard(WaitLock());
        mutex->owner = 0;
        mutex->count = 0;
    } else if (initialOwner) {
        std::lock_guard<std::mutex> guard(WaitLock());
        OwnedMutexes()[self].push_back(mutex);
    }
    HANDLE handle = InsertHandle(std::move(mutex));
    SetLastError(named.existsElsewhere ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE handle) {
    using namespace platform;
    std::shared_ptr<MutexObject> mutex = LookupHandleAs<MutexObject>(handle);
    if (!mutex) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const DWORD self = GetCurrentThreadId();
    std::lock_guard<std::mutex> guard(WaitLock());
    if (mutex->owner != self) {
        return Fail(ERROR_NOT_OWNER);
    }
    if (--mutex->count == 0) {
        mutex->owner = 0;
        auto owned = OwnedMutexes().find(self);
        if (owned != OwnedMutexes().end()) {
            auto& list = owned->second;
            std::erase_if(list, [&](const std::weak_ptr<MutexObject>& weak) {
                return !weak.owner_before(mutex) && !mutex.owner_before(weak);
            });
            if (list.empty()) {
                OwnedMutexes().erase(owned);
            }
        }
        NotifyWaitersLocked();
    }
    return TRUE;
}

// Critical sections keep their own lock: they are entered far more often than
// kernel objects are waited on, and never take part in a multiple wait.
namespace platform {
struct CriticalSectionState {
    std::mutex lock;
    std::condition_variable released;
    DWORD owner = 0;
    DWORD count = 0;
};
}  // namespace platform

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    if (section) {
        section->state = new platform::CriticalSectionState;
    }
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    if (section) {
        delete section->state;
        section->state = nullptr;
    }
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    platform::CriticalSectionState& state = *section->state;
    const DWORD self = GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(state.lock);
    state.released.wait(lock, [&] { return state.owner == 0 || state.owner == self; });
    state.owner = self;
    ++state.count;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    platform::CriticalSectionState& state = *section->state;
    const DWORD self = GetCurrentThreadId();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.owner != 0 && state.owner != self) {
        return FALSE;
    }
    state.owner = self;
    ++state.count;
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    platform::CriticalSectionState& state = *section->state;
    const DWORD self = GetCurrentThreadId();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.owner != self) {
        return;
    }
    if (--state.count == 0) {
        state.owner = 0;
        state.released.notify_one();
    }
}
