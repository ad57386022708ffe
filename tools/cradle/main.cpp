// cradle ROOT [--dock FILE] [--port N] [--processor N] [--os M.N] [--restricted]
//             [--drop-after-writes N]
// The handheld in its cradle: serves the device root ROOT to one desktop at a time
// over the remote API (docs/formats/remote-api.md) until SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/rapi/device_service.h"
#include "platform/rapi/protocol.h"
#include "tools/command_line.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::rapi;

const char kUsage[] =
    "usage: cradle ROOT [--dock FILE] [--port N] [--processor N] [--os M.N] [--restricted]\n"
    "              [--drop-after-writes N]\n"
    "  ROOT                 the device root served, one desktop at a time\n"
    "  --dock FILE          where the desktop finds the cradle (\"127.0.0.1 PORT TOKEN\",\n"
    "                       owner-only); default the user's runtime folder's cradle.dock,\n"
    "                       which the desktop reads unless MAPFERRY_CRADLE names another\n"
    "  --port N             the TCP port on 127.0.0.1; 0 (default) takes a free one\n"
    "  --processor N        the processor type the handheld reports (default 2577, ARM)\n"
    "  --os M.N             the operating-system version it reports (default 5.1)\n"
    "  --restricted         invoke only libraries the device's metabase opens to the\n"
    "                       remote API (\"rw-access\" 3)\n"
    "  --drop-after-writes N  close the connection at the Nth file write, once\n"
    "Runs until SIGTERM or SIGINT, which remove the dock file (exit 0). Exit 1 when ROOT\n"
    "is not a folder or a live cradle already serves the dock, 2 for bad arguments.\n";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = write(g_signalPipe[1], &byte, 1);
}

std::string NewToken() {
    unsigned char bytes[kTokenChars / 2] = {};
    std::ifstream random("/dev/urandom", std::ios::binary);
    random.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (!random)
        return {};
    std::string token;
    char hex[3];
    for (unsigned char byte : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    return token;
}

// Written beside its place and renamed into it, readable by the user alone.
bool WriteDock(const fs::path& file, const std::string& text) {
    std::error_code ec;
    if (!file.parent_path().empty() && !fs::exists(file.parent_path(), ec)) {
        fs::create_directories(file.parent_path(), ec);
        fs::permissions(file.parent_path(), fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    const fs::path making = file.string() + ".new";
    fs::remove(making, ec);
    const int fd = open(making.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written || rename(making.c_str(), file.c_str()) != 0) {
        fs::remove(making, ec);
        return false;
    }
    return true;
}

int Listen(uint16_t port, uint16_t* bound) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        close(fd);
        return -1;
    }
    *bound = ntohs(address.sin_port);
    return fd;
}

struct Connection {
    int fd = -1;
    std::unique_ptr<DeviceSession> session;
    void Close() {
        session.reset();  // closes what the desktop left open
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
};

struct Figures {
    long desktops = 0;
    long requests = 0;
};

// One request's frame, or nothing when the connection must end (said on stderr
// unless the desktop hung up).
std::optional<std::vector<uint8_t>> ReadRequest(int fd, int timeoutMs) {
    std::vector<uint8_t> body;
    switch (ReceiveFrame(fd, timeoutMs, kRequestHead, &body)) {
        case Received::Frame:
            return body;
        case Received::Closed:
            return std::nullopt;
        case Received::TimedOut:
            std::fprintf(stderr, "cradle: a request that did not arrive whole\n");
            return std::nullopt;
        case Received::TooLong:
            std::fprintf(stderr, "cradle: a frame longer than %u bytes\n", kMaxFrame);
            return std::nullopt;
        case Received::TooShort:
            std::fprintf(stderr, "cradle: a frame too short for a request\n");
            return std::nullopt;
    }
    return std::nullopt;
}

// Serves one request of the connection; false when the connection must end.
bool Serve(Connection& connection, Figures& figures, int timeoutMs) {
    const std::optional<std::vector<uint8_t>> body = ReadRequest(connection.fd, timeoutMs);
    if (!body)
        return false;
    ++figures.requests;
    std::vector<uint8_t> reply;
    const DeviceSession::Next next = connection.session->Handle(*body, &reply);
    if (next == DeviceSession::Next::Close)
        return false;
    if (!SendAll(connection.fd, reply, kReplyWaitMs))
        return false;
    return next == DeviceSession::Next::Reply;
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("cradle", kUsage);
    std::string root, dockText, osText = "5.1";
    int port = 0;
    long processor = 2577, dropAfterWrites = 0;
    bool restricted = false;
    command.app.add_option("ROOT", root);
    command.app.add_option("--dock", dockText);
    command.app.add_option("--port", port)->check(CLI::Range(0, 65535));
    command.app.add_option("--processor", processor)->check(CLI::Range(0L, 0xFFFFFFFFL));
    command.app.add_option("--os", osText);
    command.app.add_flag("--restricted", restricted);
    command.app.add_option("--drop-after-writes", dropAfterWrites)->check(CLI::PositiveNumber);
    if (const std::optional<int> status = command.Parse(argc, argv))
        return *status;
    if (root.empty())
        return command.Fail("give ROOT");
    unsigned osMajor = 0, osMinor = 0;
    char rest = 0;
    if (std::sscanf(osText.c_str(), "%u.%u%c", &osMajor, &osMinor, &rest) != 2)
        return command.Fail("--os is M.N, not " + osText);

    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        std::fprintf(stderr, "cradle: %s is not a folder\n", root.c_str());
        return 1;
    }
    const fs::path rootPath = fs::canonical(root, ec);
    const fs::path dock = dockText.empty() ? DefaultDockFile() : fs::absolute(dockText, ec);
    if (std::optional<DockAddress> live = ReadDockFile(dock)) {
        const int probe = ConnectLoopback(live->port, 500);
        if (probe >= 0) {
            close(probe);
            std::fprintf(stderr, "cradle: a cradle already serves %s\n", dock.c_str());
            return 1;
        }
    }

    setenv("PATHLUME_DEVICE", rootPath.c_str(), 1);
    platform::SetDeviceRoot(rootPath);
    platform::SetCurrentSide(platform::Side::Device);

    uint16_t bound = 0;
    const int listener = Listen(static_cast<uint16_t>(port), &bound);
    const std::string token = NewToken();
    if (listener < 0 || token.empty()) {
        std::fprintf(stderr, "cradle: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    if (pipe2(g_signalPipe, O_CLOEXEC) != 0)
        return 1;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const std::string dockLine = FormatDock({bound, token});
    if (!WriteDock(dock, dockLine)) {
        std::fprintf(stderr, "cradle: cannot write %s\n", dock.c_str());
        return 1;
    }
    std::printf("cradle: serving %s on 127.0.0.1:%u (dock %s)\n", rootPath.c_str(), bound,
                dock.c_str());
    std::fflush(stdout);

    long writes = 0;
    ServiceOptions options;
    options.token = token;
    options.processorType = static_cast<DWORD>(processor);
    options.osMajor = osMajor;
    options.osMinor = osMinor;
    options.restricted = restricted;
    options.beforeWrite = [&writes, dropAfterWrites] {
        if (++writes != dropAfterWrites)
            return true;
        std::fprintf(stderr, "cradle: dropped the link at write %ld\n", writes);
        return false;
    };

    Figures figures;
    Connection current;
    for (;;) {
        pollfd watched[3] = {
            {g_signalPipe[0], POLLIN, 0}, {listener, POLLIN, 0}, {current.fd, POLLIN, 0}};
        if (poll(watched, current.fd >= 0 ? 3 : 2, -1) < 0)
            continue;
        if (watched[0].revents)
            break;
        if (current.fd >= 0 && watched[2].revents && !Serve(current, figures, kReplyWaitMs))
            current.Close();
        if (watched[1].revents & POLLIN) {
            // A new desktop: it must greet within the reconnect time; once it has, it
            // takes the place of any desktop before it.
            Connection next;
            next.fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (next.fd < 0)
                continue;
            next.session = std::make_unique<DeviceSession>(options);
            if (Serve(next, figures, kReconnectMs) && next.session->Greeted()) {
                current.Close();
                current.fd = next.fd;
                current.session = std::move(next.session);
                ++figures.desktops;
            } else {
                next.Close();
            }
        }
    }
    current.Close();
    close(listener);
    // Only our own dock goes: a cradle started after us may have taken the file.
    std::ifstream in(dock);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text == dockLine)
        fs::remove(dock, ec);
    std::printf("cradle: desktops=%ld requests=%ld\n", figures.desktops, figures.requests);
    return 0;
}
