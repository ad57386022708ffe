#include "platform/kernel/roots.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

namespace platform {
namespace {

std::mutex g_rootsLock;
std::filesystem::path g_deviceRoot;
std::filesystem::path g_desktopRoot;
std::atomic<Side> g_side{Side::Device};

std::filesystem::path DataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "share";
}

std::filesystem::path Resolve(std::filesystem::path& slot, const char* variable,
                              const std::filesystem::path& fallback) {
    std::lock_guard<std::mutex> guard(g_rootsLock);
    if (slot.empty()) {
        const char* value = std::getenv(variable);
        slot = (value && *value) ? std::filesystem::path(value) : fallback;
        if (&slot == &g_deviceRoot)
            SettleReplacedRoot(slot);
        std::error_code ignored;
        std::filesystem::create_directories(slot, ignored);
        slot = std::filesystem::absolute(slot, ignored);
    }
    return slot;
}

}  // namespace

Side CurrentSide() {
    return g_side.load();
}
void SetCurrentSide(Side side) {
    g_side.store(side);
}

std::filesystem::path DeviceRoot() {
    return Resolve(g_deviceRoot, "PATHLUME_DEVICE", DataHome() / "pathlume" / "device");
}

std::filesystem::path DesktopRoot() {
    return Resolve(g_desktopRoot, "MAPFERRY_ROOT", DataHome() / "mapferry");
}

std::filesystem::path CurrentRoot() {
    return CurrentSide() == Side::Device ? DeviceRoot() : DesktopRoot();
}

void SetDeviceRoot(const std::filesystem::path& root) {
    {
        std::lock_guard<std::mutex> guard(g_rootsLock);
        g_deviceRoot.clear();
        if (!root.empty()) {
            SettleReplacedRoot(root);
            std::error_code ignored;
            std::filesystem::create_directories(root, ignored);
            g_deviceRoot = std::filesystem::absolute(root, ignored);
        }
    }
}

void SettleReplacedRoot(const std::filesystem::path& given) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path root = fs::absolute(given, error).lexically_normal();
    const std::string name = (root.has_filename() ? root : root.parent_path()).filename().string();
    const fs::path place = (root.has_filename() ? root : root.parent_path()).parent_path();
    std::vector<fs::path> runs;
    for (fs::directory_iterator it(place, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().string().rfind(".make-device.", 0) == 0)
            runs.push_back(it->path());
    }
    const fs::path target = place / name;
    for (const fs::path& run : runs) {
        std::ifstream in(run / "target");
        std::string named;
        if (!std::getline(in, named) || named != name)
            continue;
        const int lock = open((run / "lock").c_str(), O_RDWR | O_CLOEXEC);
        if (lock < 0)
            continue;
        // A run that still lives holds its lock: its folder is its own.
        if (flock(lock, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            if (!fs::exists(target, ignored)) {
                if (fs::exists(run / "new" / ".pl-make-device", ignored))
                    fs::rename(run / "new", target, ignored);
                else if (fs::is_directory(run / "old", ignored))
                    fs::rename(run / "old", target, ignored);
            }
            if (fs::exists(target, ignored) || !fs::exists(run / "old", ignored))
                fs::remove_all(run, ignored);
        }
        close(lock);
    }
}

void SetDesktopRoot(const std::filesystem::path& root) {
    std::lock_guard<std::mutex> guard(g_rootsLock);
    g_desktopRoot.clear();
    if (!root.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(root, ignored);
        g_desktopRoot = std::filesystem::absolute(root, ignored);
    }
}

std::filesystem::path RuntimeFolder(const std::filesystem::path& root) {
    // FNV-1a of the root's absolute path keeps the folder name short and stable.
    std::string text = std::filesystem::weakly_canonical(root).string();
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : text) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    char name[32];
    snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    const std::filesystem::path folder = UserRuntimeFolder() / name;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ignored);
    return folder;
}

std::filesystem::path UserRuntimeFolder() {
    // The session's runtime folder is the user's own; the shared temporary folder
    // gets a folder per user. Either way only the user may look inside: other users
    // must not reach the program's windows or locks.
    std::filesystem::path base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime && std::filesystem::is_directory(runtime)) {
        base = std::filesystem::path(runtime) / "pathlume";
    } else {
        base = std::filesystem::temp_directory_path() /
               ("pathlume-run-" + std::to_string(static_cast<unsigned>(getuid())));
    }
    std::error_code ignored;
    std::filesystem::create_directories(base, ignored);
    std::filesystem::permissions(base, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ignored);
    return base;
}

bool IsInternalName(const std::string& name) {
    return name.rfind(kInternalPrefix, 0) == 0;
}

}  // namespace platform
