// Serial ports on host ttys and on a GPS daemon's feed.
#include "platform/kernel/serial.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/kernel/clock.h"
#include "platform/kernel/files.h"
#include "platform/kernel/handles.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/text.h"
#include "platform/kernel/threads.h"

namespace platform {
namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

constexpr int kPollSliceMs = 50;  // how soon a wait notices a stop request
constexpr size_t kDaemonBacklog = 64 * 1024;

// The daemon sends JSON reports and, when asked, the receiver's NMEA lines as they
// are: only the lines that begin with '$' are passed on.
class DaemonLineFilter {
  public:
    void Take(const char* data, size_t size, std::string& out) {
        for (size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (atLineStart_)
                passing_ = c == '$';
            if (passing_)
                out.push_back(c);
            atLineStart_ = c == '\n';
        }
    }

  private:
    bool atLineStart_ = true;
    bool passing_ = false;
};

// The single-open rule across the programs of the device root: a lock file per
// host device.
int LockPort(const std::string& hostTarget) {
    std::string key;
    for (char c : hostTarget)
        key.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    const std::filesystem::path folder = RuntimeFolder(DeviceRoot());
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string path = (folder / ("serial-" + key + ".lock")).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class SerialPortObject final : public StreamObject {
  public:
    SerialPortObject(int fd, int lockFd, bool daemon) : fd_(fd), lockFd_(lockFd), daemon_(daemon) {
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        std::memset(&dcb_, 0, sizeof dcb_);
        dcb_.DCBlength = sizeof(DCB);
        dcb_.BaudRate = 4800;
        dcb_.fBinary = 1;
        dcb_.ByteSize = 8;
        dcb_.Parity = NOPARITY;
        dcb_.StopBits = ONESTOPBIT;
    }
    ~SerialPortObject() override {
        if (fd_ >= 0)
            ::close(fd_);
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
        ReleaseLock();
    }

    void OnLastHandleClosed() override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            closed_ = true;
        }
        if (daemon_)
            ::shutdown(fd_, SHUT_RDWR);
        Wake();
        // Another program may open the port while a waiter still unwinds.
        std::lock_guard<std::mutex> guard(lock_);
        ReleaseLock();
    }

    BOOL Read(LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) override {
        *bytesRead = 0;
        if (bytesToRead == 0)
            return TRUE;
        const COMMTIMEOUTS timeouts = GetTimeouts();
        const bool immediate = timeouts.ReadIntervalTimeout == MAXDWORD &&
                               timeouts.ReadTotalTimeoutMultiplier == 0 &&
                               timeouts.ReadTotalTimeoutConstant == 0;
        if (!immediate) {
            const DWORD total = timeouts.ReadTotalTimeoutMultiplier * bytesToRead +
                                timeouts.ReadTotalTimeoutConstant;
            if (!WaitReadable(total == 0 ? INFINITE : total))
                return FALSE;
        }
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_)
            return Fail(ERROR_INVALID_HANDLE);
        if (daemon_) {
            PumpLocked();
            const size_t n = std::min<size_t>(bytesToRead, ready_.size());
            std::memcpy(buffer, ready_.data(), n);
            ready_.erase(0, n);
            *bytesRead = static_cast<DWORD>(n);
            return TRUE;
        }
        const ssize_t n = ::read(fd_, buffer, bytesToRead);
        if (n >= 0) {
            *bytesRead = static_cast<DWORD>(n);
            return TRUE;
        }
        if (errno == EAGAIN || errno == EINTR)
            return TRUE;
        return Fail(ERROR_BROKEN_PIPE);  // EIO: the other end hung up
    }

    BOOL Write(LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) override {
        *bytesWritten = 0;
        if (daemon_)
            return Fail(ERROR_ACCESS_DENIED);
        size_t done = 0;
        while (done < bytesToWrite) {
            const ssize_t n =
                ::write(fd_, static_cast<const char*>(buffer) + done, bytesToWrite - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, static_cast<int>(GetTimeouts().WriteTotalTimeoutConstant)) > 0)
                    continue;
            }
            *bytesWritten = static_cast<DWORD>(done);
            return Fail(ERROR_GEN_FAILURE);
        }
        *bytesWritten = static_cast<DWORD>(done);
        return TRUE;
    }

    BOOL GetState(LPDCB dcb) {
        std::lock_guard<std::mutex> guard(lock_);
        *dcb = dcb_;
        return TRUE;
    }

    BOOL SetState(const DCB& dcb) {
        std::lock_guard<std::mutex> guard(lock_);
        if (daemon_) {
            dcb_ = dcb;
            return TRUE;
        }
        const speed_t speed = SpeedOf(dcb.BaudRate);
        if (speed == B0)
            return Fail(ERROR_INVALID_PARAMETER);
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0)
            return Fail(ERROR_GEN_FAILURE);
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        switch (dcb.ByteSize) {
            case 5:
                tio.c_cflag |= CS5;
                break;
            case 6:
                tio.c_cflag |= CS6;
                break;
            case 7:
                tio.c_cflag |= CS7;
                break;
            case 8:
                tio.c_cflag |= CS8;
                break;
            default:
                return Fail(ERROR_INVALID_PARAMETER);
        }
        if (dcb.Parity == ODDPARITY)
            tio.c_cflag |= PARENB | PARODD;
        else if (dcb.Parity == EVENPARITY)
            tio.c_cflag |= PARENB;
        if (dcb.StopBits == TWOSTOPBITS)
            tio.c_cflag |= CSTOPB;
        if (dcb.fOutxCtsFlow)
            tio.c_cflag |= CRTSCTS;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
            return Fail(ERROR_INVALID_PARAMETER);
        dcb_ = dcb;
        return TRUE;
    }

    COMMTIMEOUTS GetTimeouts() {
        std::lock_guard<std::mutex> guard(lock_);
        return timeouts_;
    }
    void SetTimeouts(const COMMTIMEOUTS& timeouts) {
        std::lock_guard<std::mutex> guard(lock_);
        timeouts_ = timeouts;
    }

    void SetMask(DWORD mask) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            mask_ = mask;
            ++maskGeneration_;
        }
        Wake();
    }
    DWORD GetMask() {
        std::lock_guard<std::mutex> guard(lock_);
        return mask_;
    }

    BOOL WaitEvent(LPDWORD eventMask) {
        uint64_t generation;
        {
            std::lock_guard<std::mutex> guard(lock_);
            generation = maskGeneration_;
        }
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (closed_)
                    return Fail(ERROR_INVALID_HANDLE);
                if (generation != maskGeneration_) {
                    *eventMask = 0;
                    return TRUE;
                }
                if (daemon_)
                    PumpLocked();
                if ((mask_ & EV_RXCHAR) && AvailableLocked() > 0) {
                    *eventMask = EV_RXCHAR;
                    return TRUE;
                }
                if (hungUp_)
                    return Fail(ERROR_BROKEN_PIPE);
            }
            if (StopRequested())
                return Fail(ERROR_OPERATION_ABORTED);
            pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            if (daemon_ && ReadyBacklogFull())
                fds[0].events = 0;
            const int n = ::poll(fds, 2, kPollSliceMs);
            if (n <= 0)
                continue;
            if (fds[1].revents & POLLIN) {
                uint64_t drained;
                [[maybe_unused]] ssize_t ignored = ::read(wakeFd_, &drained, sizeof drained);
            }
            std::lock_guard<std::mutex> guard(lock_);
            if (daemon_ || AvailableLocked() > 0)
                continue;
            // A hang-up also reads as an error on a pty: it is the hang-up that counts.
            if (fds[0].revents & POLLHUP) {
                hungUp_ = true;
            } else if ((fds[0].revents & POLLERR) && (mask_ & EV_ERR)) {
                *eventMask = EV_ERR;
                return TRUE;
            }
        }
    }

    // Waits until bytes wait or the time passes; false when the port closed, the other
    // end hung up or the thread was asked to stop.
    bool WaitReadable(DWORD milliseconds) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (closed_)
                    return Fail(ERROR_INVALID_HANDLE);
                if (daemon_)
                    PumpLocked();
                if (AvailableLocked() > 0)
                    return true;
                if (hungUp_)
                    return Fail(ERROR_BROKEN_PIPE);
            }
            if (StopRequested())
                return Fail(ERROR_OPERATION_ABORTED);
            if (milliseconds != INFINITE &&
                std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(milliseconds))
                return true;
            pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            if (::poll(fds, 2, kPollSliceMs) > 0 && (fds[0].revents & POLLHUP) && !daemon_) {
                std::lock_guard<std::mutex> guard(lock_);
                if (AvailableLocked() == 0)
                    hungUp_ = true;
            }
        }
    }

    DWORD Available() {
        std::lock_guard<std::mutex> guard(lock_);
        if (daemon_)
            PumpLocked();
        return AvailableLocked();
    }

    void Purge(DWORD flags) {
        std::lock_guard<std::mutex> guard(lock_);
        if (daemon_) {
            if (flags & (PURGE_RXABORT | PURGE_RXCLEAR))
                ready_.clear();
            return;
        }
        const bool rx = flags & (PURGE_RXABORT | PURGE_RXCLEAR);
        const bool tx = flags & (PURGE_TXABORT | PURGE_TXCLEAR);
        if (rx || tx)
            ::tcflush(fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH);
    }

    BOOL Escape(DWORD function) {
        if (daemon_)
            return TRUE;
        int bits = 0;
        unsigned long request = TIOCMBIS;
        switch (function) {
            case SETDTR:
                bits = TIOCM_DTR;
                break;
            case CLRDTR:
                bits = TIOCM_DTR;
                request = TIOCMBIC;
                break;
            case SETRTS:
                bits = TIOCM_RTS;
                break;
            case CLRRTS:
                bits = TIOCM_RTS;
                request = TIOCMBIC;
                break;
            default:
                return TRUE;
        }
        // Pseudo-terminals have no modem lines: nothing to raise, no failure.
        ::ioctl(fd_, request, &bits);
        return TRUE;
    }

    BOOL ClearBreak() {
        if (!daemon_)
            ::ioctl(fd_, TIOCCBRK);
        return TRUE;
    }

  private:
    static speed_t SpeedOf(DWORD baud) {
        static const std::pair<DWORD, speed_t> kSpeeds[] = {
            {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
            {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
            {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
            {921600, B921600},
        };
        for (const auto& [rate, speed] : kSpeeds)
            if (rate == baud)
                return speed;
        return B0;
    }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    }

    void ReleaseLock() {
        if (lockFd_ >= 0) {
            ::close(lockFd_);
            lockFd_ = -1;
        }
    }

    bool ReadyBacklogFull() {
        std::lock_guard<std::mutex> guard(lock_);
        return ready_.size() >= kDaemonBacklog;
    }

    DWORD AvailableLocked() {
        if (daemon_)
            return static_cast<DWORD>(ready_.size());
        int n = 0;
        if (::ioctl(fd_, FIONREAD, &n) != 0 || n < 0)
            return 0;
        return static_cast<DWORD>(n);
    }

    // Moves what the daemon sent into the NMEA backlog.
    void PumpLocked() {
        char chunk[4096];
        while (!hungUp_ && ready_.size() < kDaemonBacklog) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                filter_.Take(chunk, static_cast<size_t>(n), ready_);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                hungUp_ = true;
            break;
        }
    }

    std::mutex lock_;
    int fd_;
    int lockFd_;
    int wakeFd_ = -1;
    const bool daemon_;
    bool closed_ = false;
    bool hungUp_ = false;
    DWORD mask_ = 0;
    uint64_t maskGeneration_ = 0;
    DCB dcb_;
    COMMTIMEOUTS timeouts_{};
    DaemonLineFilter filter_;
    std::string ready_;
};

std::shared_ptr<SerialPortObject> PortOf(HANDLE file) {
    auto port = LookupHandleAs<SerialPortObject>(file);
    if (!port)
        SetLastError(ERROR_INVALID_HANDLE);
    return port;
}

// "gpsd://HOST:PORT[/DEVICE]".
struct DaemonAddress {
    std::string host;
    std::string port;
    std::string device;
};

bool ParseDaemonAddress(const std::string& target, DaemonAddress* address) {
    static const std::string kScheme = "gpsd://";
    if (target.compare(0, kScheme.size(), kScheme) != 0)
        return false;
    std::string rest = target.substr(kScheme.size());
    const size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        address->device = rest.substr(slash);  // "/dev/ttyUSB0"
        rest.resize(slash);
    }
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size())
        return false;
    address->host = rest.substr(0, colon);
    address->port = rest.substr(colon + 1);
    return true;
}

// A TCP connection within the time limit, non-blocking; -1 on failure.
int ConnectWithin(const std::string& host, const std::string& port, int milliseconds) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0)
        return -1;
    int result = -1;
    for (addrinfo* a = list; a && result < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            pollfd p{fd, POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            if (errno != EINPROGRESS || ::poll(&p, 1, milliseconds) != 1 ||
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
                ::close(fd);
                continue;
            }
        }
        result = fd;
    }
    ::freeaddrinfo(list);
    return result;
}

bool SendAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 1000) != 1)
            return false;
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

constexpr int kDaemonConnectMs = 2000;

HANDLE OpenDaemonPort(const DaemonAddress& address, const std::string& target) {
    const int lockFd = LockPort(target);
    if (lockFd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // The device path goes in as a JSON string: a quote or a brace in it must not
    // change the request, and a path that is not UTF-8 cannot be asked for.
    nlohmann::ordered_json request = {{"enable", true}, {"nmea", true}};
    if (!address.device.empty())
        request["device"] = address.device;
    std::string watch;
    try {
        watch = "?WATCH=" + request.dump() + "\n";
    } catch (const nlohmann::json::exception&) {
        ::close(lockFd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ConnectWithin(address.host, address.port, kDaemonConnectMs);
    if (fd < 0 || !SendAll(fd, watch)) {
        if (fd >= 0)
            ::close(fd);
        ::close(lockFd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return InsertHandle(std::make_shared<SerialPortObject>(fd, lockFd, true));
}

HANDLE OpenTtyPort(const std::string& path) {
    const int lockFd = LockPort(path);
    if (lockFd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !::isatty(fd)) {
        if (fd >= 0)
            ::close(fd);
        ::close(lockFd);
        SetLastError(errno == EACCES || errno == EBUSY ? ERROR_ACCESS_DENIED
                                                       : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Raw bytes from the start, at the line's current speed: no line editing may hold
    // back a sentence until its line end.
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        const speed_t speed = ::cfgetispeed(&tio);
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return InsertHandle(std::make_shared<SerialPortObject>(fd, lockFd, false));
}

}  // namespace

HANDLE OpenHostSerialPort(const std::string& hostTarget) {
    DaemonAddress address;
    if (ParseDaemonAddress(hostTarget, &address))
        return OpenDaemonPort(address, hostTarget);
    if (hostTarget.compare(0, 7, "gpsd://") == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return OpenTtyPort(hostTarget);
}

}  // namespace platform

using namespace platform;

BOOL GetCommState(HANDLE file, LPDCB dcb) {
    auto port = PortOf(file);
    if (!port || !dcb)
        return FALSE;
    return port->GetState(dcb);
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    auto port = PortOf(file);
    if (!port || !dcb)
        return FALSE;
    return port->SetState(*dcb);
}

BOOL SetupComm(HANDLE file, DWORD, DWORD) {
    return PortOf(file) ? TRUE : FALSE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto port = PortOf(file);
    if (!port || !timeouts)
        return FALSE;
    *timeouts = port->GetTimeouts();
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto port = PortOf(file);
    if (!port || !timeouts)
        return FALSE;
    port->SetTimeouts(*timeouts);
    return TRUE;
}

BOOL SetCommMask(HANDLE file, DWORD mask) {
    auto port = PortOf(file);
    if (!port)
        return FALSE;
    port->SetMask(mask);
    return TRUE;
}

BOOL GetCommMask(HANDLE file, LPDWORD mask) {
    auto port = PortOf(file);
    if (!port || !mask)
        return FALSE;
    *mask = port->GetMask();
    return TRUE;
}

BOOL WaitCommEvent(HANDLE file, LPDWORD eventMask, LPOVERLAPPED) {
    auto port = PortOf(file);
    if (!port || !eventMask)
        return FALSE;
    return port->WaitEvent(eventMask);
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) {
    auto port = PortOf(file);
    if (!port)
        return FALSE;
    if (errors)
        *errors = 0;
    if (status) {
        *status = COMSTAT{};
        status->cbInQue = port->Available();
    }
    return TRUE;
}

BOOL ClearCommBreak(HANDLE file) {
    auto port = PortOf(file);
    return port ? port->ClearBreak() : FALSE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    auto port = PortOf(file);
    if (!port)
        return FALSE;
    port->Purge(flags);
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
    auto port = PortOf(file);
    return port ? port->Escape(function) : FALSE;
}
