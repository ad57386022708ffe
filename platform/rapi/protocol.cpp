#include "platform/rapi/protocol.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/kernel/roots.h"

namespace platform::rapi {
namespace {

using Clock = std::chrono::steady_clock;

void Put(std::vector<uint8_t>& bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t Get(const uint8_t* bytes, int size) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return value;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the socket is ready for `events`; false at the deadline or on an error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd one{fd, events, 0};
        const int ready = poll(&one, 1, MillisecondsLeft(deadline));
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

// Reads exactly `size` bytes: Frame when read, Closed or TimedOut otherwise.
Received ReadExactly(int fd, uint8_t* into, size_t size, Clock::time_point deadline) {
    size_t done = 0;
    while (done < size) {
        if (!WaitFor(fd, POLLIN, deadline))
            return Received::TimedOut;
        const ssize_t got = recv(fd, into + done, size - done, 0);
        if (got > 0) {
            done += static_cast<size_t>(got);
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return Received::Closed;
        }
    }
    return Received::Frame;
}

bool IsHex(const std::string& text) {
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

}  // namespace

// ---- Values ----------------------------------------------------------------------

Writer& Writer::U16(uint16_t value) {
    Put(bytes_, value, 2);
    return *this;
}

Writer& Writer::U32(uint32_t value) {
    Put(bytes_, value, 4);
    return *this;
}

Writer& Writer::U64(uint64_t value) {
    Put(bytes_, value, 8);
    return *this;
}

Writer& Writer::Text(std::u16string_view text) {
    U32(static_cast<uint32_t>(text.size()));
    for (char16_t c : text)
        Put(bytes_, c, 2);
    return *this;
}

Writer& Writer::Bytes(const void* data, size_t size) {
    U32(static_cast<uint32_t>(size));
    const auto* start = static_cast<const uint8_t*>(data);
    if (size)
        bytes_.insert(bytes_.end(), start, start + size);
    return *this;
}

bool Reader::Take(size_t size, const uint8_t** start) {
    if (!ok_ || size > size_ - at_) {
        ok_ = false;
        return false;
    }
    *start = data_ + at_;
    at_ += size;
    return true;
}

bool Reader::U16(uint16_t* value) {
    const uint8_t* at;
    if (!Take(2, &at))
        return false;
    *value = static_cast<uint16_t>(Get(at, 2));
    return true;
}

bool Reader::U32(uint32_t* value) {
    const uint8_t* at;
    if (!Take(4, &at))
        return false;
    *value = static_cast<uint32_t>(Get(at, 4));
    return true;
}

bool Reader::U64(uint64_t* value) {
    const uint8_t* at;
    if (!Take(8, &at))
        return false;
    *value = Get(at, 8);
    return true;
}

bool Reader::Text(std::u16string* text, uint32_t maxChars) {
    uint32_t count = 0;
    const uint8_t* at;
    if (!U32(&count) || count > maxChars || !Take(size_t{count} * 2, &at)) {
        ok_ = false;
        return false;
    }
    text->resize(count);
    for (uint32_t i = 0; i < count; ++i)
        (*text)[i] = static_cast<char16_t>(Get(at + 2 * i, 2));
    return true;
}

bool Reader::Bytes(std::vector<uint8_t>* bytes, uint32_t maxBytes) {
    uint32_t count = 0;
    const uint8_t* at;
    if (!U32(&count) || count > maxBytes || !Take(count, &at)) {
        ok_ = false;
        return false;
    }
    bytes->assign(at, at + count);
    return true;
}

std::vector<uint8_t> EncodeRequest(Op op, const Writer& values) {
    std::vector<uint8_t> frame;
    Put(frame, kRequestHead + values.bytes().size(), 4);
    Put(frame, static_cast<uint16_t>(op), 2);
    Put(frame, 0, 2);
    frame.insert(frame.end(), values.bytes().begin(), values.bytes().end());
    return frame;
}

std::vector<uint8_t> EncodeReply(uint16_t op, uint32_t result, uint32_t error,
                                 const Writer& values) {
    std::vector<uint8_t> frame;
    Put(frame, kReplyHead + values.bytes().size(), 4);
    Put(frame, op | kReplyBit, 2);
    Put(frame, 0, 2);
    Put(frame, result, 4);
    Put(frame, error, 4);
    frame.insert(frame.end(), values.bytes().begin(), values.bytes().end());
    return frame;
}

void PutFindData(Writer& writer, const WIN32_FIND_DATAW& data) {
    auto time = [](const FILETIME& t) {
        return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
    };
    writer.U32(data.dwFileAttributes)
        .U64(time(data.ftCreationTime))
        .U64(time(data.ftLastAccessTime))
        .U64(time(data.ftLastWriteTime))
        .U32(data.nFileSizeHigh)
        .U32(data.nFileSizeLow)
        .U32(data.dwOID);
    std::u16string_view name(data.cFileName);
    writer.Text(name.substr(0, MAX_PATH - 1));
}

bool GetFindData(Reader& reader, WIN32_FIND_DATAW* data) {
    uint64_t created = 0, accessed = 0, written = 0;
    std::u16string name;
    WIN32_FIND_DATAW out{};
    if (!reader.U32(&out.dwFileAttributes) || !reader.U64(&created) || !reader.U64(&accessed) ||
        !reader.U64(&written) || !reader.U32(&out.nFileSizeHigh) ||
        !reader.U32(&out.nFileSizeLow) || !reader.U32(&out.dwOID) ||
        !reader.Text(&name, MAX_PATH - 1))
        return false;
    auto time = [](uint64_t t) {
        return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    };
    out.ftCreationTime = time(created);
    out.ftLastAccessTime = time(accessed);
    out.ftLastWriteTime = time(written);
    std::copy(name.begin(), name.end(), out.cFileName);
    out.cFileName[name.size()] = 0;
    *data = out;
    return true;
}

// ---- Sockets ---------------------------------------------------------------------

bool SendAll(int fd, const std::vector<uint8_t>& bytes, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < bytes.size()) {
        if (!WaitFor(fd, POLLOUT, deadline))
            return false;
        const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
        } else if (sent < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
    }
    return true;
}

Received ReceiveFrame(int fd, int timeoutMs, size_t minimum, std::vector<uint8_t>* body) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t lengthBytes[4];
    Received got = ReadExactly(fd, lengthBytes, sizeof lengthBytes, deadline);
    if (got != Received::Frame)
        return got;
    const uint32_t length = static_cast<uint32_t>(Get(lengthBytes, 4));
    if (length > kMaxFrame)
        return Received::TooLong;
    if (length < minimum)
        return Received::TooShort;
    body->resize(length);
    return ReadExactly(fd, body->data(), length, deadline);
}

bool PeerGone(int fd) {
    pollfd one{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&one, 1, 0) <= 0)
        return false;
    return (one.revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// ---- The dock file ---------------------------------------------------------------

std::optional<DockAddress> ParseDock(const std::string& text) {
    std::istringstream in(text);
    std::string address, port, token, rest;
    if (!(in >> address >> port >> token) || (in >> rest) || address != "127.0.0.1")
        return std::nullopt;
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long number = std::strtoul(port.c_str(), nullptr, 10);
    if (number == 0 || number > 65535 || token.size() != kTokenChars || !IsHex(token))
        return std::nullopt;
    return DockAddress{static_cast<uint16_t>(number), token};
}

std::optional<DockAddress> ReadDockFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(256, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    // A dock file is one short line; anything longer is not one.
    if (in.gcount() >= static_cast<std::streamsize>(text.size()))
        return std::nullopt;
    text.resize(static_cast<size_t>(in.gcount()));
    return ParseDock(text);
}

std::string FormatDock(const DockAddress& address) {
    return "127.0.0.1 " + std::to_string(address.port) + " " + address.token + "\n";
}

std::filesystem::path DefaultDockFile() {
    return UserRuntimeFolder() / "cradle.dock";
}

std::filesystem::path DockFileForDesktop() {
    if (const char* named = std::getenv("MAPFERRY_CRADLE"); named && *named)
        return named;
    return DefaultDockFile();
}

int ConnectLoopback(uint16_t port, int timeoutMs) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS ||
            !WaitFor(fd, POLLOUT, Clock::now() + std::chrono::milliseconds(timeoutMs))) {
            close(fd);
            return -1;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            close(fd);
            return -1;
        }
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace platform::rapi
