#include "platform/kernel/modules.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/file_system.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/text.h"

namespace {

namespace stdfs = std::filesystem;

struct LoadedModules {
    std::mutex lock;
    std::map<void*, int> loads;  // dlopen handle -> loads not yet freed
};

LoadedModules& Loaded() {
    static LoadedModules* loaded = new LoadedModules;  // libraries may be freed late
    return *loaded;
}

// The entry of `folder` whose name equals `name` without regard to case.
bool FindInFolder(const stdfs::path& folder, const std::u16string& name, stdfs::path* found) {
    std::error_code ec;
    const stdfs::path exact = folder / platform::WideToUtf8(name);
    if (stdfs::is_regular_file(exact, ec)) {
        *found = exact;
        return true;
    }
    for (const stdfs::directory_entry& entry : stdfs::directory_iterator(folder, ec)) {
        if (platform::fs::EqualsFolded(platform::Utf8ToWide(entry.path().filename().string()),
                                       name) &&
            entry.is_regular_file(ec)) {
            *found = entry.path();
            return true;
        }
    }
    return false;
}

bool FindLibrary(std::u16string name, stdfs::path* found) {
    const size_t separator = name.find_last_of(u"\\/");
    const size_t leaf = separator == std::u16string::npos ? 0 : separator + 1;
    if (name.find(u'.', leaf) == std::u16string::npos)
        name += u".dll";
    if (name.find_first_of(u"\\/:") != std::u16string::npos) {
        std::error_code ec;
        return platform::HostPathFor(name.c_str(), found) && stdfs::is_regular_file(*found, ec);
    }
    std::error_code ec;
    const stdfs::path exe = stdfs::read_symlink("/proc/self/exe", ec);
    if (!ec && FindInFolder(exe.parent_path(), name, found))
        return true;
    const std::u16string system = platform::CurrentSide() == platform::Side::Device
                                      ? u"\\Windows\\" + name
                                      : u"C:\\Windows\\System32\\" + name;
    return platform::HostPathFor(system.c_str(), found) && stdfs::is_regular_file(*found, ec);
}

}  // namespace

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    stdfs::path host;
    if (!FindLibrary(fileName, &host)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        std::fprintf(stderr, "LoadLibrary: %s\n", reason ? reason : host.c_str());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    LoadedModules& loaded = Loaded();
    std::lock_guard<std::mutex> guard(loaded.lock);
    ++loaded.loads[handle];
    return reinterpret_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    void* handle = reinterpret_cast<void*>(module);
    {
        LoadedModules& loaded = Loaded();
        std::lock_guard<std::mutex> guard(loaded.lock);
        if (!loaded.loads.count(handle)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    void* symbol = procName && *procName ? dlsym(handle, procName) : nullptr;
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName) {
    if (!procName) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return GetProcAddress(module, platform::WideToUtf8(procName).c_str());
}

BOOL FreeLibrary(HMODULE module) {
    void* handle = reinterpret_cast<void*>(module);
    LoadedModules& loaded = Loaded();
    {
        std::lock_guard<std::mutex> guard(loaded.lock);
        auto it = loaded.loads.find(handle);
        if (it == loaded.loads.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--it->second == 0)
            loaded.loads.erase(it);
    }
    dlclose(handle);
    return TRUE;
}
