// Windows of other processes on the same root: the handheld's programs on a device
// root, the desktop's on a desktop root.
//
// A process that has a top-level window listens on a Unix socket,
// "windows-<pid>.sock" in its root's runtime folder (owner-only). FindWindowW
// asks each such process in turn when no window of its own matches, and a window
// found there is represented here by a proxy handle; PostMessageW, SendMessageW,
// SetForegroundWindow and IsWindow on a proxy travel to the owner as one request on
// a connection of its own. Only the integer values of wParam and lParam travel.
//
// A request is 48 bytes, little-endian: magic "PLWN", version u16, operation u16,
// window u64, message u32, zero u32, wParam u64, lParam u64, then the class and the
// window name as u32 lengths in UTF-16 code units (0xFFFFFFFF: none) and their
// UTF-16LE text. The reply is 24 bytes: magic, result u32 (0/1), error u32, zero
// u32, value u64.
//
// A request is checked whole before anything is done with it: its zero field, its
// operation, texts only where a find takes them, a top-level window of this process
// as its target, and only messages whose parameters are numbers (a pointer or a
// handle of another process means nothing here, and written through would crash
// this one). Only the user's own processes reach the socket: its folder must be the
// user's alone, and a peer of another user is turned away.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

constexpr uint32_t kMagic = 0x4E574C50;  // "PLWN"
constexpr uint16_t kVersion = 1;
constexpr size_t kRequestHead = 48;
constexpr size_t kReplySize = 24;
constexpr uint32_t kNoText = 0xFFFFFFFF;
constexpr uint32_t kMaxText = 256;
// How long a peer may take to answer anything but a send.
constexpr int kAnswerMs = 5000;

enum class Op : uint16_t { Find = 1, Post = 2, Send = 3, Foreground = 4, IsWindow = 5 };

struct Request {
    Op op = Op::Find;
    uint64_t hwnd = 0;
    uint32_t message = 0;
    uint64_t wParam = 0;
    uint64_t lParam = 0;
    std::optional<std::u16string> className;
    std::optional<std::u16string> windowName;
};

struct Reply {
    bool ok = false;
    uint32_t error = 0;
    uint64_t value = 0;
};

// --- Encoding ---------------------------------------------------------------

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

uint64_t Get(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = bytes; i-- > 0;) {
        value = (value << 8) | in[i];
    }
    return value;
}

void PutText(std::vector<uint8_t>& out, const std::optional<std::u16string>& text) {
    Put(out, text ? text->size() : kNoText, 4);
}

std::vector<uint8_t> EncodeRequest(const Request& request) {
    std::vector<uint8_t> out;
    Put(out, kMagic, 4);
    Put(out, kVersion, 2);
    Put(out, static_cast<uint16_t>(request.op), 2);
    Put(out, request.hwnd, 8);
    Put(out, request.message, 4);
    Put(out, 0, 4);
    Put(out, request.wParam, 8);
    Put(out, request.lParam, 8);
    PutText(out, request.className);
    PutText(out, request.windowName);
    for (const auto* text : {&request.className, &request.windowName}) {
        if (*text) {
            for (char16_t c : **text) {
                Put(out, c, 2);
            }
        }
    }
    return out;
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
    std::vector<uint8_t> out;
    Put(out, kMagic, 4);
    Put(out, reply.ok ? 1 : 0, 4);
    Put(out, reply.error, 4);
    Put(out, 0, 4);
    Put(out, reply.value, 8);
    return out;
}

// --- Socket I/O ----------------------------------------------------------------

bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly `size` bytes; timeoutMs < 0 waits as long as it takes.
bool ReceiveAll(int fd, uint8_t* out, size_t size, int timeoutMs) {
    size_t got = 0;
    while (got < size) {
        pollfd ready{fd, POLLIN, 0};
        int polled = poll(&ready, 1, timeoutMs);
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return false;
        }
        ssize_t n = recv(fd, out + got, size - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;  // the peer went away
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

bool ReceiveText(int fd, uint32_t length, std::optional<std::u16string>* text) {
    if (length == kNoText) {
        text->reset();
        return true;
    }
    if (length > kMaxText) {
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(length) * 2);
    if (!ReceiveAll(fd, bytes.data(), bytes.size(), kAnswerMs)) {
        return false;
    }
    std::u16string value;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        value.push_back(static_cast<char16_t>(Get(&bytes[i], 2)));
    }
    *text = std::move(value);
    return true;
}

std::optional<Request> ReceiveRequest(int fd) {
    uint8_t head[kRequestHead];
    if (!ReceiveAll(fd, head, sizeof head, kAnswerMs) || Get(head, 4) != kMagic ||
        Get(head + 4, 2) != kVersion || Get(head + 20, 4) != 0) {
        return std::nullopt;
    }
    const uint64_t op = Get(head + 6, 2);
    if (op < static_cast<uint16_t>(Op::Find) || op > static_cast<uint16_t>(Op::IsWindow)) {
        return std::nullopt;
    }
    Request request;
    request.op = static_cast<Op>(op);
    request.hwnd = Get(head + 8, 8);
    request.message = static_cast<uint32_t>(Get(head + 16, 4));
    request.wParam = Get(head + 24, 8);
    request.lParam = Get(head + 32, 8);
    if (!ReceiveText(fd, static_cast<uint32_t>(Get(head + 40, 4)), &request.className) ||
        !ReceiveText(fd, static_cast<uint32_t>(Get(head + 44, 4)), &request.windowName)) {
        return std::nullopt;
    }
    if (request.op != Op::Find && (request.className || request.windowName)) {
        return std::nullopt;
    }
    return request;
}

// Messages whose parameters are numbers alone: the programs' own messages (WM_USER
// and up, and registered ones), a menu command, a close.
bool CarriesNumbersOnly(uint32_t message, uint64_t wParam, uint64_t lParam) {
    if ((message >= WM_USER && message < 0x8000) || (message >= 0xC000 && message <= 0xFFFF)) {
        return true;
    }
    switch (message) {
        case WM_NULL:
        case WM_CLOSE:
            return wParam == 0 && lParam == 0;
        case WM_COMMAND:
            return lParam == 0 && wParam <= 0xFFFFFFFFu;  // a command, not a control's
        default:
            return false;
    }
}

bool IsTopLevelWindow(HWND hwnd) {
    return hwnd && IsWindow(hwnd) && !(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD);
}

// The runtime folder and the one it lies in belong to this user, and nobody else may
// enter them: otherwise another user could put a socket of theirs in our place.
bool IsPrivateFolder(const std::filesystem::path& folder) {
    for (const std::filesystem::path& path : {folder, folder.parent_path()}) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            status.st_uid != geteuid() || (status.st_mode & 077) != 0) {
            return false;
        }
    }
    return true;
}

sockaddr_un AddressOf(const std::filesystem::path& path, bool* fits) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    *fits = text.size() < sizeof address.sun_path;
    if (*fits) {
        std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    }
    return address;
}

// Per root: the handheld's programs see each other, as do the desktop's.
std::filesystem::path SocketFolder() {
    return RuntimeFolder(CurrentRoot());
}

std::string SocketName(pid_t pid) {
    return "windows-" + std::to_string(pid) + ".sock";
}

// --- The proxies ------------------------------------------------------------------

struct Remote {
    std::filesystem::path socket;
    uint64_t hwnd;
};

struct Proxies {
    std::mutex lock;
    std::map<HWND, Remote> remotes;
    std::atomic<bool> any{false};
};

Proxies& TheProxies() {
    static auto* proxies = new Proxies;
    return *proxies;
}

std::optional<Remote> RemoteOf(HWND hwnd) {
    Proxies& proxies = TheProxies();
    if (!hwnd || !proxies.any.load()) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> guard(proxies.lock);
    auto it = proxies.remotes.find(hwnd);
    if (it == proxies.remotes.end()) {
        return std::nullopt;
    }
    return it->second;
}

HWND ProxyFor(const std::filesystem::path& socket, uint64_t remoteHandle) {
    Proxies& proxies = TheProxies();
    {
        std::lock_guard<std::mutex> guard(proxies.lock);
        for (const auto& [proxy, remote] : proxies.remotes) {
            if (remote.hwnd == remoteHandle && remote.socket == socket) {
                return proxy;
            }
        }
    }
    HWND proxy = nullptr;
    {
        Lock lock = TakeLock();
        proxy = NewHandleLocked();
    }
    std::lock_guard<std::mutex> guard(proxies.lock);
    proxies.remotes.emplace(proxy, Remote{socket, remoteHandle});
    proxies.any = true;
    return proxy;
}

// --- The client ------------------------------------------------------------------

int Connect(const std::filesystem::path& socket) {
    bool fits = false;
    sockaddr_un address = AddressOf(socket, &fits);
    if (!fits) {
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == ECONNREFUSED) {
            unlink(socket.c_str());  // left by a process that ended without cleaning up
        }
        close(fd);
        return -1;
    }
    return fd;
}

std::optional<Reply> ReadReply(int fd, int timeoutMs) {
    uint8_t bytes[kReplySize];
    if (!ReceiveAll(fd, bytes, sizeof bytes, timeoutMs) || Get(bytes, 4) != kMagic) {
        return std::nullopt;
    }
    return Reply{Get(bytes + 4, 4) != 0, static_cast<uint32_t>(Get(bytes + 8, 4)),
                 Get(bytes + 16, 8)};
}

// One request and its reply; nothing when the peer is gone or does not answer.
std::optional<Reply> Ask(const std::filesystem::path& socket, const Request& request) {
    int fd = Connect(socket);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<Reply> reply;
    if (SendAll(fd, EncodeRequest(request))) {
        reply = ReadReply(fd, kAnswerMs);
    }
    close(fd);
    return reply;
}

Request ForWindow(Op op, const Remote& remote) {
    Request request;
    request.op = op;
    request.hwnd = remote.hwnd;
    return request;
}

// --- The server ------------------------------------------------------------------

struct Server {
    std::mutex lock;
    std::filesystem::path root;    // the device root published for
    std::filesystem::path socket;  // its socket file
    int listener = -1;
    int wakeWrite = -1;  // closing it ends the listening thread
    pid_t pid = 0;       // the process serving; a forked child serves anew
};

Server& TheServer() {
    static auto* server = new Server;  // the listening thread may outlive statics
    return *server;
}

HWND LocalWindow(uint64_t value) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

Reply Serve(const Request& request) {
    HWND hwnd = LocalWindow(request.hwnd);
    auto result = [](BOOL ok) { return Reply{ok != FALSE, ok ? 0 : GetLastError(), 0}; };
    switch (request.op) {
        case Op::Find: {
            HWND found =
                FindLocalWindow(request.className ? request.className->c_str() : nullptr,
                                request.windowName ? request.windowName->c_str() : nullptr);
            return Reply{found != nullptr, 0, reinterpret_cast<uintptr_t>(found)};
        }
        case Op::Post:
            if (!IsTopLevelWindow(hwnd)) {
                return Reply{false, ERROR_INVALID_WINDOW_HANDLE, 0};
            }
            if (!CarriesNumbersOnly(request.message, request.wParam, request.lParam)) {
                return Reply{false, ERROR_ACCESS_DENIED, 0};
            }
            return result(PostMessageW(hwnd, request.message, static_cast<WPARAM>(request.wParam),
                                       static_cast<LPARAM>(request.lParam)));
        case Op::Send: {
            if (!IsTopLevelWindow(hwnd)) {
                return Reply{false, ERROR_INVALID_WINDOW_HANDLE, 0};
            }
            if (!CarriesNumbersOnly(request.message, request.wParam, request.lParam)) {
                return Reply{false, ERROR_ACCESS_DENIED, 0};
            }
            LRESULT value = SendMessageW(hwnd, request.message, static_cast<WPARAM>(request.wParam),
                                         static_cast<LPARAM>(request.lParam));
            return Reply{true, 0, static_cast<uint64_t>(value)};
        }
        case Op::Foreground:
            if (!IsTopLevelWindow(hwnd)) {
                return Reply{false, ERROR_INVALID_WINDOW_HANDLE, 0};
            }
            return result(SetForegroundWindow(hwnd));
        case Op::IsWindow:
            return Reply{IsWindow(hwnd) != FALSE, 0, 0};
    }
    return Reply{false, ERROR_INVALID_PARAMETER, 0};
}

bool PeerIsUs(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
}

void Answer(int fd) {
    if (std::optional<Request> request = ReceiveRequest(fd)) {
        SendAll(fd, EncodeReply(Serve(*request)));
    }
    close(fd);
}

void Listen(int listener, int wakeRead) {
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[1].revents) {
            break;  // asked to stop
        }
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (!PeerIsUs(fd)) {
            close(fd);
            continue;
        }
        // A send waits for the window's thread: never keep other callers waiting on it.
        std::thread(Answer, fd).detach();
    }
    close(wakeRead);
    close(listener);
}

// Call with the server's lock held.
void StopServingLocked(Server& server) {
    if (server.listener < 0) {
        return;
    }
    unlink(server.socket.c_str());
    close(server.wakeWrite);  // the thread closes the listener and its end
    server.listener = -1;
    server.wakeWrite = -1;
    server.socket.clear();
    server.root.clear();
}

void StopServingAtExit() {
    Server& server = TheServer();
    std::lock_guard<std::mutex> guard(server.lock);
    if (server.listener >= 0 && server.pid == getpid()) {
        unlink(server.socket.c_str());
    }
}

}  // namespace

void PublishProcessWindows() {
    std::filesystem::path root = CurrentRoot();
    Server& server = TheServer();
    std::lock_guard<std::mutex> guard(server.lock);
    if (server.listener >= 0 && server.pid != getpid()) {
        // Forked: the listening thread and the socket are the parent's.
        close(server.listener);
        close(server.wakeWrite);
        server.listener = -1;
        server.wakeWrite = -1;
        server.socket.clear();
        server.root.clear();
    }
    if (server.listener >= 0 && server.root == root) {
        return;
    }
    StopServingLocked(server);
    // Listening under a name nobody looks for, then renamed into place: a peer never
    // finds the socket before it answers, and so never takes it for one left behind.
    const std::filesystem::path folder = SocketFolder();
    if (!IsPrivateFolder(folder)) {
        return;  // other processes will not find this one's windows
    }
    const std::filesystem::path socket = folder / SocketName(getpid());
    const std::filesystem::path making = folder / ("windows-" + std::to_string(getpid()) + ".new");
    bool fits = false;
    sockaddr_un address = AddressOf(making, &fits);
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int wake[2] = {-1, -1};
    unlink(making.c_str());  // left by a process of the same id that ended
    bool ok = fits && listener >= 0 &&
              bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
              chmod(making.c_str(), 0600) == 0 && ::listen(listener, 16) == 0 &&
              pipe2(wake, O_CLOEXEC) == 0 && rename(making.c_str(), socket.c_str()) == 0;
    if (!ok) {
        if (listener >= 0) {
            close(listener);
        }
        if (wake[0] >= 0) {
            close(wake[0]);
            close(wake[1]);
        }
        unlink(making.c_str());
        return;  // other processes will not find this one's windows; nothing else changes
    }
    server.root = root;
    server.pid = getpid();
    server.socket = socket;
    server.listener = listener;
    server.wakeWrite = wake[1];
    std::thread(Listen, listener, wake[0]).detach();
    static const bool cleanup =
        (std::atexit(StopServingAtExit), AddExitHandler(StopServingAtExit), true);
    (void)cleanup;
}

HWND FindRemoteWindow(LPCWSTR className, LPCWSTR windowName) {
    Request request;
    request.op = Op::Find;
    if (className) {
        request.className = std::u16string(className).substr(0, kMaxText);
    }
    if (windowName) {
        request.windowName = std::u16string(windowName).substr(0, kMaxText);
    }
    const std::string own = SocketName(getpid());
    const std::filesystem::path folder = SocketFolder();
    if (!IsPrivateFolder(folder)) {
        return nullptr;
    }
    std::error_code error;
    std::vector<std::filesystem::path> peers;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("windows-", 0) == 0 && name.size() > 5 &&
            name.compare(name.size() - 5, 5, ".sock") == 0 && name != own) {
            peers.push_back(entry.path());
        }
    }
    std::sort(peers.begin(), peers.end());
    for (const auto& peer : peers) {
        std::optional<Reply> reply = Ask(peer, request);
        if (reply && reply->ok && reply->value != 0) {
            return ProxyFor(peer, reply->value);
        }
    }
    return nullptr;
}

bool IsRemoteWindow(HWND hwnd) {
    return RemoteOf(hwnd).has_value();
}

DWORD RemoteProcessId(HWND hwnd) {
    std::optional<Remote> remote = RemoteOf(hwnd);
    if (!remote) {
        return 0;
    }
    // The owner's socket is named after its process: "windows-<pid>.sock".
    const std::string name = remote->socket.filename().string();
    return static_cast<DWORD>(std::strtoul(name.c_str() + std::strlen("windows-"), nullptr, 10));
}

BOOL RemotePost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::optional<Remote> remote = RemoteOf(hwnd);
    if (!remote) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!CarriesNumbersOnly(message, wParam, static_cast<uint64_t>(lParam))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    Request request = ForWindow(Op::Post, *remote);
    request.message = message;
    request.wParam = static_cast<uint64_t>(wParam);
    request.lParam = static_cast<uint64_t>(lParam);
    std::optional<Reply> reply = Ask(remote->socket, request);
    if (!reply || !reply->ok) {
        SetLastError(reply ? reply->error : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

LRESULT RemoteSend(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::optional<Remote> remote = RemoteOf(hwnd);
    if (!remote) {
        return 0;
    }
    if (!CarriesNumbersOnly(message, wParam, static_cast<uint64_t>(lParam))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    Request request = ForWindow(Op::Send, *remote);
    request.message = message;
    request.wParam = static_cast<uint64_t>(wParam);
    request.lParam = static_cast<uint64_t>(lParam);
    int fd = Connect(remote->socket);
    if (fd < 0 || !SendAll(fd, EncodeRequest(request))) {
        if (fd >= 0) {
            close(fd);
        }
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // The reply is awaited on a thread of its own, so that this thread serves what
    // is sent to it meanwhile: the other program may be sending to us.
    bool done = false;  // under the window system's lock
    std::optional<Reply> reply;
    std::thread reader([&] {
        std::optional<Reply> got = ReadReply(fd, -1);
        Lock lock = TakeLock();
        reply = got;
        done = true;
        NotifyWaitersLocked();
    });
    if (!WaitServingSent([&] { return done; })) {
        shutdown(fd, SHUT_RDWR);  // this thread is asked to stop: let the reader go
    }
    reader.join();
    close(fd);
    if (!reply || !reply->ok) {
        SetLastError(reply ? reply->error : ERROR_INVALID_WINDOW_HANDLE);
        return 0;  // also when the other program ended before it answered
    }
    return static_cast<LRESULT>(reply->value);
}

BOOL RemoteSetForeground(HWND hwnd) {
    std::optional<Remote> remote = RemoteOf(hwnd);
    std::optional<Reply> reply;
    if (remote) {
        reply = Ask(remote->socket, ForWindow(Op::Foreground, *remote));
    }
    if (!reply || !reply->ok) {
        SetLastError(reply ? reply->error : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoteIsWindow(HWND hwnd) {
    std::optional<Remote> remote = RemoteOf(hwnd);
    if (!remote) {
        return FALSE;
    }
    std::optional<Reply> reply = Ask(remote->socket, ForWindow(Op::IsWindow, *remote));
    return reply && reply->ok ? TRUE : FALSE;
}

}  // namespace platform::user
