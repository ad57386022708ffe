#include "platform/kernel/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "platform/kernel/file_system.h"
#include "platform/kernel/files.h"
#include "platform/kernel/handles.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/text.h"

extern char** environ;

namespace platform {
namespace {

// The handheld's pseudo handle for the calling process.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(uintptr_t{0x42});

int PidfdOpen(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int PidfdKill(int pidfd) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0));
}

// A process this process started (a child, reaped here) or opened by id. Its state
// lives under WaitLock().
class ProcessObject : public Waitable {
  public:
    ProcessObject(pid_t pid, int pidfd, bool child) : pid_(pid), pidfd_(pidfd), child_(child) {}
    ~ProcessObject() override {
        if (pidfd_ >= 0) {
            close(pidfd_);
        }
    }

    bool IsSignalledLocked() const override { return ended_; }
    void OnLastHandleClosed() override;

    pid_t pid() const { return pid_; }
    int pidfd() const { return pidfd_; }
    bool child() const { return child_; }
    bool self() const { return pid_ == getpid(); }

    bool endedLocked() const { return ended_; }
    DWORD exitCodeLocked() const { return ended_ ? exitCode_ : STILL_ACTIVE; }
    void killLocked(DWORD exitCode) {
        killed_ = true;
        killCode_ = exitCode;
    }
    void endLocked(bool killedBySignal9, std::optional<DWORD> hostCode) {
        ended_ = true;
        if (killed_ && (killedBySignal9 || !hostCode)) {
            exitCode_ = killCode_;
        } else {
            exitCode_ = hostCode.value_or(0);
        }
    }

    uint64_t watchId = 0;  // under the watcher's lock

  private:
    pid_t pid_;
    int pidfd_;
    bool child_;
    bool ended_ = false;
    bool killed_ = false;
    DWORD killCode_ = 0;
    DWORD exitCode_ = 0;
};

// One thread watches every process through its pidfd and marks it ended (reaping
// children) when it exits.
struct Watcher {
    std::mutex lock;
    int epoll = -1;
    uint64_t next = 1;
    std::unordered_map<uint64_t, std::shared_ptr<ProcessObject>> watched;
    // Children not yet reaped, for OpenProcess by id.
    std::map<pid_t, std::weak_ptr<ProcessObject>> children;
};

Watcher& TheWatcher() {
    static Watcher* watcher = new Watcher;  // the thread outlives static destructors
    return *watcher;
}

void Finish(const std::shared_ptr<ProcessObject>& process) {
    Watcher& watcher = TheWatcher();
    {
        std::lock_guard<std::mutex> guard(WaitLock());
        bool signal9 = false;
        std::optional<DWORD> code;
        if (process->child()) {
            int status = 0;
            pid_t reaped;
            do {
                reaped = waitpid(process->pid(), &status, 0);
            } while (reaped < 0 && errno == EINTR);
            if (reaped == process->pid()) {
                if (WIFEXITED(status)) {
                    code = static_cast<DWORD>(WEXITSTATUS(status));
                } else if (WIFSIGNALED(status)) {
                    signal9 = WTERMSIG(status) == SIGKILL;
                    code = static_cast<DWORD>(128 + WTERMSIG(status));
                }
            }
        }
        process->endLocked(signal9, code);
        NotifyWaitersLocked();
    }
    std::lock_guard<std::mutex> guard(watcher.lock);
    auto it = watcher.children.find(process->pid());
    if (it != watcher.children.end() && it->second.lock() == process) {
        watcher.children.erase(it);
    }
}

void WatchLoop(int epoll) {
    Watcher& watcher = TheWatcher();
    epoll_event events[16];
    for (;;) {
        int count = epoll_wait(epoll, events, 16, -1);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (int i = 0; i < count; ++i) {
            std::shared_ptr<ProcessObject> process;
            {
                std::lock_guard<std::mutex> guard(watcher.lock);
                auto it = watcher.watched.find(events[i].data.u64);
                if (it == watcher.watched.end()) {
                    continue;
                }
                process = std::move(it->second);
                watcher.watched.erase(it);
                epoll_ctl(epoll, EPOLL_CTL_DEL, process->pidfd(), nullptr);
            }
            Finish(process);
        }
    }
}

bool Watch(const std::shared_ptr<ProcessObject>& process) {
    Watcher& watcher = TheWatcher();
    std::lock_guard<std::mutex> guard(watcher.lock);
    if (watcher.epoll < 0) {
        watcher.epoll = epoll_create1(EPOLL_CLOEXEC);
        if (watcher.epoll < 0) {
            return false;
        }
        std::thread(WatchLoop, watcher.epoll).detach();
    }
    uint64_t id = watcher.next++;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = id;
    if (epoll_ctl(watcher.epoll, EPOLL_CTL_ADD, process->pidfd(), &event) != 0) {
        return false;
    }
    process->watchId = id;
    watcher.watched.emplace(id, process);
    if (process->child()) {
        watcher.children[process->pid()] = process;
    }
    return true;
}

void ProcessObject::OnLastHandleClosed() {
    // A child is watched to its end so that it is reaped; a process merely opened
    // is watched only while someone holds it.
    if (child_) {
        return;
    }
    Watcher& watcher = TheWatcher();
    std::lock_guard<std::mutex> guard(watcher.lock);
    auto it = watcher.watched.find(watchId);
    if (it != watcher.watched.end()) {
        epoll_ctl(watcher.epoll, EPOLL_CTL_DEL, pidfd_, nullptr);
        watcher.watched.erase(it);
    }
}

std::shared_ptr<ProcessObject> ProcessFor(HANDLE handle) {
    return LookupHandleAs<ProcessObject>(handle);
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// The program's name at the front of a command line: quotes group, no escapes.
// Returns it and leaves *rest at the text after it and its following blanks.
std::u16string TakeProgramName(std::u16string_view text, std::u16string_view* rest) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    std::u16string name;
    if (i < text.size() && text[i] == u'"') {
        size_t close = text.find(u'"', i + 1);
        size_t end = close == std::u16string_view::npos ? text.size() : close;
        name.assign(text.substr(i + 1, end - i - 1));
        i = close == std::u16string_view::npos ? text.size() : close + 1;
    } else {
        size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) {
            ++i;
        }
        name.assign(text.substr(start, i - start));
    }
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    *rest = text.substr(i);
    return name;
}

// Quotes one argument so that CommandLineArguments gives it back unchanged.
std::u16string QuoteArgument(const std::u16string& arg) {
    if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos) {
        return arg;
    }
    std::u16string out = u"\"";
    size_t backslashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            out.append(backslashes * 2 + 1, u'\\');
        } else {
            out.append(backslashes, u'\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, u'\\');
    out += u'"';
    return out;
}

std::vector<std::string> OwnArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos) {
            end = all.size();
        }
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

// The host file of an installed program, or false with the last error set.
bool ResolveProgram(std::u16string path, std::filesystem::path* host) {
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
        path = path.substr(1, path.size() - 2);
    }
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    size_t lastSeparator = path.find_last_of(u"\\/");
    size_t nameStart = lastSeparator == std::u16string::npos ? 0 : lastSeparator + 1;
    // The platform adds ".exe" to a program name without an extension.
    if (path.find(u'.', nameStart) == std::u16string::npos) {
        path += u".exe";
    }
    std::vector<std::u16string> candidates;
    bool bare = path.find_first_of(u"\\/:") == std::u16string::npos;
    if (bare && CurrentSide() == Side::Device) {
        // A bare name is looked for in \Windows, then in the root.
        candidates = {u"\\Windows\\" + path, u"\\" + path};
    } else {
        candidates = {path};
    }
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (const std::u16string& candidate : candidates) {
        std::filesystem::path found;
        if (!HostPathFor(candidate.c_str(), &found)) {
            error = GetLastError();
            continue;
        }
        std::error_code ec;
        if (std::filesystem::is_regular_file(found, ec)) {
            *host = found;
            return true;
        }
        error = ERROR_FILE_NOT_FOUND;
    }
    SetLastError(error);
    return false;
}

DWORD ErrorForSpawn(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOEXEC:
            return ERROR_BAD_EXE_FORMAT;
        case ENOMEM:
        case EAGAIN:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

// Starts the program with the argument text; returns the new process object or
// null with the last error set.
std::shared_ptr<ProcessObject> Start(const std::u16string& program, std::u16string_view args) {
    std::filesystem::path host;
    if (!ResolveProgram(program, &host)) {
        return nullptr;
    }
    std::vector<std::string> argv{host.string()};
    for (const std::u16string& arg : CommandLineArguments(args)) {
        argv.push_back(WideToUtf8(arg));
    }
    std::vector<std::string> env;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        // A test's script drives the program it was given to, not the programs that
        // one starts: they read PATHLUME_SCRIPT_<NAME> (host.h).
        if (text.starts_with("PATHLUME_DEVICE=") || text.starts_with("MAPFERRY_ROOT=") ||
            text.starts_with("PATHLUME_CMDLINE=") || text.starts_with("PATHLUME_SCRIPT=")) {
            continue;
        }
        env.emplace_back(text);
    }
    env.push_back("PATHLUME_DEVICE=" + DeviceRoot().string());
    env.push_back("MAPFERRY_ROOT=" + DesktopRoot().string());
    env.push_back("PATHLUME_CMDLINE=" + WideToUtf8(args));

    std::vector<char*> rawArgv;
    for (std::string& arg : argv) {
        rawArgv.push_back(arg.data());
    }
    rawArgv.push_back(nullptr);
    std::vector<char*> rawEnv;
    for (std::string& entry : env) {
        rawEnv.push_back(entry.data());
    }
    rawEnv.push_back(nullptr);

    // The child gets no descriptor but the standard three: an inherited lock file
    // would keep another program's instance lock alive.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int error = posix_spawn(&pid, rawArgv[0], &actions, &attributes, rawArgv.data(), rawEnv.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        SetLastError(ErrorForSpawn(error));
        return nullptr;
    }
    int pidfd = PidfdOpen(pid);
    auto process = std::make_shared<ProcessObject>(pid, pidfd, true);
    if (pidfd < 0 || !Watch(process)) {
        // A child we cannot follow is not left running untracked.
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return process;
}

std::u16string ProgramPath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    if (CurrentSide() == Side::Desktop) {
        // A program inside a desktop drive has that drive's path.
        for (const DriveEntry& drive : Drives()) {
            std::error_code driveError;
            const std::filesystem::path folder =
                std::filesystem::weakly_canonical(drive.folder, driveError);
            const std::filesystem::path inside = exe.lexically_relative(folder);
            if (driveError || inside.empty() || *inside.begin() == "..")
                continue;
            std::u16string path{static_cast<char16_t>(drive.letter), u':'};
            for (const std::filesystem::path& part : inside)
                if (part != ".")
                    path += u"\\" + Utf8ToWide(part.string());
            return path;
        }
    }
    std::filesystem::path root = std::filesystem::weakly_canonical(DeviceRoot(), ec);
    std::filesystem::path relative = exe.lexically_relative(root);
    if (!ec && !relative.empty() && *relative.begin() != "..") {
        std::u16string device;
        for (const std::filesystem::path& part : relative) {
            device += u"\\" + Utf8ToWide(part.string());
        }
        return device;
    }
    return Utf8ToWide(exe.string());
}

}  // namespace

std::vector<std::u16string> CommandLineArguments(std::u16string_view text) {
    std::vector<std::u16string> args;
    size_t i = 0;
    for (;;) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        if (i >= text.size()) {
            return args;
        }
        std::u16string arg;
        bool quoted = false;
        while (i < text.size() && (quoted || !IsBlank(text[i]))) {
            size_t backslashes = 0;
            while (i < text.size() && text[i] == u'\\') {
                ++backslashes;
                ++i;
            }
            if (i < text.size() && text[i] == u'"') {
                arg.append(backslashes / 2, u'\\');
                if (backslashes % 2 == 1) {
                    arg += u'"';
                } else if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
                    arg += u'"';  // "" inside quotes is one quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(backslashes, u'\\');
                if (i < text.size() && (quoted || !IsBlank(text[i]))) {
                    arg += text[i];
                    ++i;
                }
            }
        }
        args.push_back(std::move(arg));
    }
}

std::u16string ProgramCommandLine() {
    std::vector<std::string> own = OwnArguments();
    std::vector<std::u16string> args;
    for (size_t i = 1; i < own.size(); ++i) {
        args.push_back(Utf8ToWide(own[i]));
    }
    // The raw text is taken only when it is what this process was started with: an
    // inherited variable may belong to an ancestor.
    if (const char* raw = std::getenv("PATHLUME_CMDLINE")) {
        std::u16string text = Utf8ToWide(raw);
        if (CommandLineArguments(text) == args) {
            return text;
        }
    }
    std::u16string text;
    for (const std::u16string& arg : args) {
        if (!text.empty()) {
            text += u' ';
        }
        text += QuoteArgument(arg);
    }
    return text;
}

HINSTANCE ProgramInstance() {
    return reinterpret_cast<HINSTANCE>(uintptr_t{0x10000});
}

}  // namespace platform

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                    LPPROCESS_INFORMATION processInformation) {
    using namespace platform;
    std::u16string_view line = commandLine ? std::u16string_view(commandLine) : u"";
    std::u16string program;
    std::u16string_view args;
    if (applicationName) {
        program = applicationName;
        args = line;
        if (CurrentSide() == Side::Desktop) {
            TakeProgramName(line, &args);
        }
    } else {
        program = TakeProgramName(line, &args);
    }
    if (program.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<ProcessObject> process = Start(program, args);
    if (!process) {
        return FALSE;
    }
    if (processInformation) {
        processInformation->hProcess = InsertHandle(process);
        processInformation->hThread = InsertHandle(process);
        processInformation->dwProcessId = static_cast<DWORD>(process->pid());
        // The main thread's id is the process id on the host.
        processInformation->dwThreadId = static_cast<DWORD>(process->pid());
    }
    return TRUE;
}

namespace platform {
namespace {

std::u16string FoldedPath(std::u16string path) {
    for (char16_t& c : path)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return path;
}

std::mutex g_standInLock;
std::map<std::u16string, ProgramStandIn> g_standIns;

ProgramStandIn StandInFor(LPCWSTR path) {
    std::lock_guard<std::mutex> guard(g_standInLock);
    auto found = g_standIns.find(FoldedPath(path));
    return found != g_standIns.end() ? found->second : ProgramStandIn{};
}

}  // namespace

void SetProgramStandIn(const std::u16string& programPath, ProgramStandIn standIn) {
    std::lock_guard<std::mutex> guard(g_standInLock);
    if (standIn)
        g_standIns[FoldedPath(programPath)] = std::move(standIn);
    else
        g_standIns.erase(FoldedPath(programPath));
}

}  // namespace platform

namespace platform {

bool ReadShortcutTarget(LPCWSTR shortcut, std::u16string* target) {
    target->clear();
    HANDLE file = CreateFileW(shortcut, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // One byte past the longest shortcut read: a longer file would otherwise hand back
    // a cut target as if it were whole.
    char buffer[2 * MAX_PATH + 1];
    DWORD read = 0;
    BOOL ok = ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
    CloseHandle(file);
    if (ok && read == sizeof(buffer)) {
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    std::string text(buffer, ok ? read : 0);
    size_t hash = text.find('#');
    if (hash == std::string::npos || hash == 0 || hash > 4) {
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    for (size_t i = 0; i < hash; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            SetLastError(ERROR_BAD_FORMAT);
            return false;
        }
    }
    std::string body = text.substr(hash + 1);
    size_t end = body.find_first_of("\r\n");
    if (end != std::string::npos) {
        body.resize(end);
    }
    *target = AnsiToWide(body);
    if (target->empty()) {
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    return true;
}

}  // namespace platform

BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW info) {
    using namespace platform;
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    auto fail = [info](DWORD error) {
        int code = SE_ERR_NOASSOC;
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
                code = SE_ERR_FNF;
                break;
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_DRIVE:
                code = SE_ERR_PNF;
                break;
            case ERROR_ACCESS_DENIED:
                code = SE_ERR_ACCESSDENIED;
                break;
            case ERROR_NOT_ENOUGH_MEMORY:
                code = SE_ERR_OOM;
                break;
        }
        info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(code));
        SetLastError(error);
        return FALSE;
    };
    std::u16string verb = info->lpVerb ? info->lpVerb : u"";
    for (char16_t& c : verb) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    if (!verb.empty() && verb != u"open") {
        return fail(ERROR_NO_ASSOCIATION);
    }
    if (!info->lpFile) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    if (ProgramStandIn standIn = StandInFor(info->lpFile)) {
        if (!standIn(*info))
            return fail(ERROR_FILE_NOT_FOUND);
        info->hInstApp = reinterpret_cast<HINSTANCE>(intptr_t{42});
        return TRUE;
    }
    std::u16string program = info->lpFile;
    std::u16string parameters = info->lpParameters ? info->lpParameters : u"";
    if (program.size() > 4 && fs::EqualsFolded(program.substr(program.size() - 4), u".lnk")) {
        // A shortcut starts its target: a quoted path and its own arguments, or a path.
        std::u16string target;
        if (!ReadShortcutTarget(program.c_str(), &target)) {
            return fail(ERROR_FILE_NOT_FOUND);
        }
        std::u16string_view rest;
        program = TakeProgramName(target, &rest);
        if (!rest.empty()) {
            parameters = std::u16string(rest) + (parameters.empty() ? u"" : u" ") + parameters;
        }
    }
    std::shared_ptr<ProcessObject> process = Start(program, parameters);
    if (!process) {
        DWORD error = GetLastError();
        // A file that is there but cannot be run has no program to open it here.
        return fail(error == ERROR_BAD_EXE_FORMAT || error == ERROR_ACCESS_DENIED
                        ? ERROR_NO_ASSOCIATION
                        : error);
    }
    info->hInstApp = reinterpret_cast<HINSTANCE>(intptr_t{42});
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
        info->hProcess = InsertHandle(process);
    }
    return TRUE;
}

HANDLE GetCurrentProcess() {
    return platform::kCurrentProcess;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    using namespace platform;
    pid_t pid = static_cast<pid_t>(processId);
    if (pid <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Watcher& watcher = TheWatcher();
    {
        std::lock_guard<std::mutex> guard(watcher.lock);
        auto it = watcher.children.find(pid);
        if (it != watcher.children.end()) {
            if (std::shared_ptr<ProcessObject> child = it->second.lock()) {
                return InsertHandle(std::move(child));
            }
        }
    }
    if (pid == getpid()) {
        // Never signalled while anyone can wait on it.
        return InsertHandle(std::make_shared<ProcessObject>(pid, -1, false));
    }
    int pidfd = PidfdOpen(pid);
    if (pidfd < 0) {
        SetLastError(errno == ESRCH ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto process = std::make_shared<ProcessObject>(pid, pidfd, false);
    if (!Watch(process)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return InsertHandle(std::move(process));
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    using namespace platform;
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (process == kCurrentProcess) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    std::shared_ptr<ProcessObject> object = ProcessFor(process);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    *exitCode = object->exitCodeLocked();
    return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    using namespace platform;
    std::shared_ptr<ProcessObject> object;
    if (process != kCurrentProcess) {
        object = ProcessFor(process);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    if (!object || object->self()) {
        ExitProcess(exitCode);
    }
    std::lock_guard<std::mutex> guard(WaitLock());
    if (object->endedLocked()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // The pidfd names this very process even when its id is reused later.
    if (PidfdKill(object->pidfd()) != 0 && errno != ESRCH) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    object->killLocked(exitCode);
    return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    using namespace platform;
    if (module && module != ProgramInstance()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::u16string path = ProgramPath();
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        fileName[0] = 0;
        return 0;
    }
    if (path.size() >= size) {
        // Cut to fit and terminated, as the platform does.
        path.copy(fileName, size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    path.copy(fileName, path.size());
    fileName[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}
