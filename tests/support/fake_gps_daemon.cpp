#include "tests/support/fake_gps_daemon.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testing_support {
namespace {

int ListenOnLoopback(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FakeGpsDaemon::FakeGpsDaemon(Mode mode) : mode_(mode) {
    listenFd_ = ListenOnLoopback(&port_);
    thread_ = std::thread([this] { Serve(); });
}

FakeGpsDaemon::~FakeGpsDaemon() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    ::shutdown(listenFd_, SHUT_RDWR);
    thread_.join();
    ::close(listenFd_);
}

std::string FakeGpsDaemon::address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void FakeGpsDaemon::Send(const std::string& bytes) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        outgoing_.push_back(bytes);
    }
    changed_.notify_all();
}

void FakeGpsDaemon::HangUp() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        hangUp_ = true;
    }
    changed_.notify_all();
}

std::string FakeGpsDaemon::WatchRequest() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, std::chrono::seconds(5), [this] { return !watch_.empty(); });
    return watch_;
}

void FakeGpsDaemon::Serve() {
    // Each connection in turn, until the daemon is destroyed.
    for (;;) {
        pollfd p{listenFd_, POLLIN, 0};
        while (::poll(&p, 1, 50) == 0) {
            std::lock_guard<std::mutex> guard(lock_);
            if (stopping_)
                return;
        }
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        if (mode_ == Mode::Normal &&
            SendAll(client, "{\"class\":\"VERSION\",\"release\":\"3.25\",\"proto_major\":3}\r\n")) {
            std::string request;
            char chunk[256];
            pollfd c{client, POLLIN, 0};
            while (request.find('\n') == std::string::npos && ::poll(&c, 1, 5000) == 1) {
                const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                request.append(chunk, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> guard(lock_);
                watch_ = request;
            }
            changed_.notify_all();
            std::unique_lock<std::mutex> guard(lock_);
            for (;;) {
                changed_.wait(guard, [this] { return stopping_ || hangUp_ || !outgoing_.empty(); });
                if (!outgoing_.empty()) {
                    const std::string bytes = outgoing_.front();
                    outgoing_.pop_front();
                    guard.unlock();
                    const bool sent = SendAll(client, bytes);
                    guard.lock();
                    if (sent)
                        continue;
                }
                break;
            }
            hangUp_ = false;
        } else {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [this] { return stopping_ || hangUp_; });
            hangUp_ = false;
        }
        ::close(client);
    }
}

int UnusedLoopbackPort() {
    int port = 0;
    const int fd = ListenOnLoopback(&port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

}  // namespace testing_support
