#include "platform/kernel/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/kernel/registry_tree.h"

namespace platform {
namespace {

using registry::FormatRegistryText;
using registry::kRootCount;
using registry::RegKey;
using registry::RegTree;
using registry::RegValue;

constexpr const char* kRegistryFileName = ".pl-registry";
constexpr const char* kTempSuffix = ".tmp";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kCorruptSuffix = ".corrupt";
// A larger file is refused rather than read, and never written.
constexpr size_t kMaxFileSize = 64u << 20;

// What identifies one version of the file: every save renames a new inode into place.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const struct stat& info) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
    stamp.changedNs = info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec;
    return stamp;
}

// The loaded copy of one registry file.
struct Store {
    std::string file;
    RegTree tree;
    FileStamp stamp;
    bool loaded = false;
    bool hadBadLines = false;  // keep the unreadable original when replacing it
};

// An opened key: a path from a root, so that it survives re-reading the file.
struct OpenKey {
    std::string file;
    Side side = Side::Device;
    int root = 0;
    std::vector<std::u16string> path;
};

struct RegistryState {
    std::mutex lock;
    std::map<std::string, std::unique_ptr<Store>> stores;
    std::unordered_map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = 0x2000;
};

std::atomic<bool> g_durableSaves{true};
std::atomic<bool> g_keptInMemory{false};

RegistryState& State() {
    static RegistryState* state =
        new RegistryState;  // never destroyed: threads may outlive statics
    return *state;
}

class FileLock {
  public:
    explicit FileLock(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            return;
        }
        int result;
        while ((result = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (result != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() {
        if (fd_ >= 0) {
            close(fd_);  // releases the lock
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

bool ReadAll(int fd, std::string* text) {
    char buffer[65536];
    while (true) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 || text->size() + static_cast<size_t>(count) > kMaxFileSize) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        text->append(buffer, static_cast<size_t>(count));
    }
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t count = write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

// Loads the file again when it is not the version loaded last.
LONG Refresh(Store& store) {
    // Kept in memory: what was loaded once is the registry, whatever the file holds.
    if (store.loaded && g_keptInMemory.load()) {
        return ERROR_SUCCESS;
    }
    struct stat info;
    FileStamp current;
    if (stat(store.file.c_str(), &info) == 0) {
        current = StampOf(info);
    } else if (errno != ENOENT) {
        store.loaded = false;
        return ERROR_CANTREAD;
    }
    if (store.loaded && current == store.stamp) {
        return ERROR_SUCCESS;
    }
    store.loaded = false;
    int fd = open(store.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            return ERROR_CANTREAD;
        }
        store.tree = RegTree();
        store.stamp = FileStamp();
        store.hadBadLines = false;
        store.loaded = true;
        return ERROR_SUCCESS;
    }
    // The stamp of the opened file, not of the path: it may have been replaced since.
    std::string text;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<uint64_t>(info.st_size) <= kMaxFileSize && ReadAll(fd, &text);
    close(fd);
    if (!ok) {
        return ERROR_CANTREAD;
    }
    registry::ParsedRegistry parsed = registry::ParseRegistryText(text);
    store.tree = std::move(parsed.tree);
    store.hadBadLines = parsed.badLines > 0;
    store.stamp = StampOf(info);
    store.loaded = true;
    return ERROR_SUCCESS;
}

void SyncFolder(const std::string& file) {
    std::string folder = std::filesystem::path(file).parent_path().string();
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Writes the tree to a temporary file and renames it over the registry file, so
// that a crash at any point leaves either the old file or the new one. On failure
// the loaded copy is dropped, so the next call sees what the file really holds.
LONG Save(Store& store) {
    std::string text = FormatRegistryText(store.tree);
    std::string temp = store.file + kTempSuffix;
    int fd = -1;
    bool ok = text.size() <= kMaxFileSize;
    if (ok) {
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ok = fd >= 0 && WriteAll(fd, text) && (!g_durableSaves.load() || fsync(fd) == 0);
    }
    if (ok && store.hadBadLines) {
        // Lines this parser could not read are not dropped without a trace.
        std::error_code ignored;
        std::filesystem::copy_file(store.file, store.file + kCorruptSuffix,
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
    ok = ok && rename(temp.c_str(), store.file.c_str()) == 0;
    struct stat info;
    ok = ok && fstat(fd, &info) == 0;
    if (fd >= 0) {
        close(fd);
    }
    if (!ok) {
        unlink(temp.c_str());
        store.loaded = false;
        return ERROR_CANTWRITE;
    }
    if (g_durableSaves.load()) {
        SyncFolder(store.file);
    }
    store.stamp = StampOf(info);
    store.hadBadLines = false;
    return ERROR_SUCCESS;
}

// Runs one change under the file lock on the newest version of the file, and saves
// it when it changed something. change(RegTree&, bool* changed) -> LONG.
template <class Change>
LONG Modify(Store& store, Change change) {
    const bool inMemory = g_keptInMemory.load();
    std::optional<FileLock> lock;
    if (!inMemory) {
        lock.emplace(store.file + kLockSuffix);
        if (!lock->held()) {
            return ERROR_CANTWRITE;
        }
    }
    LONG result = Refresh(store);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    bool changed = false;
    result = change(store.tree, &changed);
    if (result == ERROR_SUCCESS && changed && !inMemory) {
        result = Save(store);
    }
    return result;
}

Store& StoreFor(RegistryState& state, const std::string& file) {
    std::unique_ptr<Store>& slot = state.stores[file];
    if (!slot) {
        slot = std::make_unique<Store>();
        slot->file = file;
    }
    return *slot;
}

int PredefinedRoot(HKEY key) {
    uintptr_t value = reinterpret_cast<uintptr_t>(key);
    if (value >= 0x80000000u && value < 0x80000000u + kRootCount) {
        return static_cast<int>(value - 0x80000000u);
    }
    return -1;
}

LONG ResolveHandle(RegistryState& state, HKEY key, OpenKey* open) {
    int root = PredefinedRoot(key);
    if (root >= 0) {
        open->side = CurrentSide();
        open->file = RegistryFile(open->side).string();
        open->root = root;
        open->path.clear();
        return ERROR_SUCCESS;
    }
    auto it = state.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == state.handles.end()) {
        return ERROR_INVALID_HANDLE;
    }
    *open = it->second;
    return ERROR_SUCCESS;
}

HKEY AddHandle(RegistryState& state, OpenKey open) {
    uintptr_t value = state.nextHandle;
    state.nextHandle += 4;
    state.handles.emplace(value, std::move(open));
    return reinterpret_cast<HKEY>(value);
}

// The key an opened key names in the tree; null when it was deleted.
RegKey* FindKey(RegTree& tree, const OpenKey& open) {
    RegKey* key = &tree.roots[open.root];
    for (const std::u16string& name : open.path) {
        key = key->FindChild(name);
        if (!key) {
            return nullptr;
        }
    }
    return key;
}

// "A\B\C" into names; empty parts (a leading backslash) are skipped.
LONG SplitSubKey(LPCWSTR subKey, std::vector<std::u16string>* names) {
    names->clear();
    if (!subKey) {
        return ERROR_SUCCESS;
    }
    std::u16string_view rest(subKey);
    while (!rest.empty()) {
        size_t separator = rest.find(u'\\');
        std::u16string_view name = rest.substr(0, separator);
        if (!name.empty()) {
            if (!registry::IsValidKeyName(name)) {
                return ERROR_INVALID_PARAMETER;
            }
            names->emplace_back(name);
        }
        if (separator == std::u16string_view::npos) {
            break;
        }
        rest = rest.substr(separator + 1);
    }
    return ERROR_SUCCESS;
}

LONG CheckValueName(LPCWSTR valueName, std::u16string_view* name) {
    *name = valueName ? std::u16string_view(valueName) : std::u16string_view();
    return name->size() > registry::kMaxValueNameLength ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// The common start of every call on an existing key: the handle resolved, the file
// read, the key found.
struct KeyAccess {
    RegistryState& state = State();
    std::lock_guard<std::mutex> guard{state.lock};
    OpenKey open;
    Store* store = nullptr;

    LONG Begin(HKEY key) {
        LONG result = ResolveHandle(state, key, &open);
        if (result == ERROR_SUCCESS) {
            store = &StoreFor(state, open.file);
        }
        return result;
    }
    // For reads: the key in the newest version of the file.
    LONG Find(RegKey** key) {
        LONG result = Refresh(*store);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        *key = FindKey(store->tree, open);
        return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    }
};

}  // namespace

void SetRegistrySavesDurable(bool durable) {
    g_durableSaves = durable;
}

void SetRegistryKeptInMemory(bool kept) {
    RegistryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    g_keptInMemory = kept;
    // What was changed in memory only is not what the files hold: they are read again.
    if (!kept) {
        for (auto& [file, store] : state.stores)
            store->loaded = false;
    }
}

std::filesystem::path RegistryFile(Side side) {
    return (side == Side::Device ? DeviceRoot() : DesktopRoot()) / kRegistryFileName;
}

LONG OpenRegistryRoot(Side side, HKEY predefinedKey, PHKEY result) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    int root = PredefinedRoot(predefinedKey);
    if (root < 0) {
        return ERROR_INVALID_HANDLE;
    }
    OpenKey open;
    open.side = side;
    open.file = RegistryFile(side).string();
    open.root = root;
    RegistryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    *result = AddHandle(state, std::move(open));
    return ERROR_SUCCESS;
}

}  // namespace platform

using namespace platform;

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::vector<std::u16string> names;
    if (LONG error = SplitSubKey(subKey, &names)) {
        return error;
    }
    KeyAccess call;
    RegKey* found = nullptr;
    if (LONG error = call.Begin(key); error || (error = call.Find(&found))) {
        return error;
    }
    for (const std::u16string& name : names) {
        found = found->FindChild(name);
        if (!found) {
            return ERROR_FILE_NOT_FOUND;
        }
        call.open.path.push_back(found->name);
    }
    *result = AddHandle(call.state, std::move(call.open));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPCWSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition) {
    if (!result || !subKey) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::vector<std::u16string> names;
    if (LONG error = SplitSubKey(subKey, &names)) {
        return error;
    }
    KeyAccess call;
    if (LONG error = call.Begin(key)) {
        return error;
    }
    OpenKey& open = call.open;
    if (open.path.size() + names.size() > registry::kMaxKeyDepth) {
        return ERROR_INVALID_PARAMETER;
    }
    bool createdAny = false;
    LONG error = Modify(*call.store, [&](RegTree& tree, bool* changed) -> LONG {
        RegKey* found = FindKey(tree, open);
        if (!found) {
            return ERROR_KEY_DELETED;
        }
        for (const std::u16string& name : names) {
            bool created = false;
            found = found->AddChild(name, &created);
            createdAny = createdAny || created;
            open.path.push_back(found->name);
        }
        *changed = createdAny;
        return ERROR_SUCCESS;
    });
    if (error) {
        return error;
    }
    if (disposition) {
        *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *result = AddHandle(call.state, std::move(open));
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (PredefinedRoot(key) >= 0) {
        return ERROR_SUCCESS;
    }
    RegistryState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.handles.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS
                                                                 : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    std::u16string_view name;
    if (LONG error = CheckValueName(valueName, &name)) {
        return error;
    }
    if (data && !dataSize) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyAccess call;
    RegKey* found = nullptr;
    if (LONG error = call.Begin(key); error || (error = call.Find(&found))) {
        return error;
    }
    const RegValue* value = found->FindValue(name);
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type) {
        *type = value->type;
    }
    DWORD size = static_cast<DWORD>(value->data.size());
    if (data) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size) {
            std::memcpy(data, value->data.data(), size);
        }
    }
    if (dataSize) {
        *dataSize = size;
    }
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    std::u16string_view name;
    if (LONG error = CheckValueName(valueName, &name)) {
        return error;
    }
    if (!data && dataSize) {
        return ERROR_INVALID_PARAMETER;
    }
    return platform::RegSetValuesW(
        key, {platform::RegValueWrite{std::u16string(name), type,
                                      std::vector<BYTE>(data, data + dataSize)}});
}

namespace platform {

LONG RegSetValuesW(HKEY key, const std::vector<RegValueWrite>& values) {
    for (const RegValueWrite& write : values) {
        std::u16string_view name;
        if (LONG error = CheckValueName(write.name.c_str(), &name)) {
            return error;
        }
    }
    KeyAccess call;
    if (LONG error = call.Begin(key)) {
        return error;
    }
    return Modify(*call.store, [&](RegTree& tree, bool* changed) -> LONG {
        RegKey* found = FindKey(tree, call.open);
        if (!found) {
            return ERROR_KEY_DELETED;
        }
        for (const RegValueWrite& write : values) {
            RegValue* value = found->FindValue(write.name);
            if (value && value->type == write.type && value->data == write.data) {
                continue;
            }
            if (!value) {
                value = &found->values.emplace_back();
                value->name = write.name;
                value->folded = registry::FoldName(write.name);
            }
            value->type = write.type;
            value->data = write.data;
            *changed = true;
        }
        return ERROR_SUCCESS;
    });
}

}  // namespace platform

LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    std::u16string_view name;
    if (LONG error = CheckValueName(valueName, &name)) {
        return error;
    }
    KeyAccess call;
    if (LONG error = call.Begin(key)) {
        return error;
    }
    return Modify(*call.store, [&](RegTree& tree, bool* changed) -> LONG {
        RegKey* found = FindKey(tree, call.open);
        if (!found) {
            return ERROR_KEY_DELETED;
        }
        const RegValue* value = found->FindValue(name);
        if (!value) {
            return ERROR_FILE_NOT_FOUND;
        }
        found->values.erase(found->values.begin() + (value - found->values.data()));
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    std::vector<std::u16string> names;
    if (LONG error = SplitSubKey(subKey, &names)) {
        return error;
    }
    if (names.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyAccess call;
    if (LONG error = call.Begin(key)) {
        return error;
    }
    return Modify(*call.store, [&](RegTree& tree, bool* changed) -> LONG {
        RegKey* parent = FindKey(tree, call.open);
        if (!parent) {
            return ERROR_KEY_DELETED;
        }
        for (size_t i = 0; parent && i + 1 < names.size(); ++i) {
            parent = parent->FindChild(names[i]);
        }
        RegKey* target = parent ? parent->FindChild(names.back()) : nullptr;
        if (!target) {
            return ERROR_FILE_NOT_FOUND;
        }
        // The handheld removes the whole subtree; the desktop refuses a key with subkeys.
        if (call.open.side == Side::Desktop && !target->children.empty()) {
            return ERROR_ACCESS_DENIED;
        }
        parent->children.erase(registry::FoldName(names.back()));
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPWSTR keyClass, LPDWORD classLength, LPFILETIME lastWriteTime) {
    if (!name || !nameLength) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyAccess call;
    RegKey* found = nullptr;
    if (LONG error = call.Begin(key); error || (error = call.Find(&found))) {
        return error;
    }
    if (index >= found->children.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    auto it = found->children.begin();
    std::advance(it, index);
    const std::u16string& childName = it->second->name;
    if (childName.size() + 1 > *nameLength) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, childName.data(), childName.size() * sizeof(WCHAR));
    name[childName.size()] = 0;
    *nameLength = static_cast<DWORD>(childName.size());
    if (keyClass && classLength && *classLength > 0) {
        keyClass[0] = 0;
    }
    if (classLength) {
        *classLength = 0;
    }
    if (lastWriteTime) {
        *lastWriteTime = FILETIME{0, 0};
    }
    return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (!name || !nameLength || (data && !dataSize)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyAccess call;
    RegKey* found = nullptr;
    if (LONG error = call.Begin(key); error || (error = call.Find(&found))) {
        return error;
    }
    if (index >= found->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const RegValue& value = found->values[index];
    if (value.name.size() + 1 > *nameLength) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, value.name.data(), value.name.size() * sizeof(WCHAR));
    name[value.name.size()] = 0;
    *nameLength = static_cast<DWORD>(value.name.size());
    if (type) {
        *type = value.type;
    }
    DWORD size = static_cast<DWORD>(value.data.size());
    if (data) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size) {
            std::memcpy(data, value.data.data(), size);
        }
    }
    if (dataSize) {
        *dataSize = size;
    }
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY key) {
    KeyAccess call;
    return call.Begin(key);
}
