// A pseudo-terminal for serial-port tests: the test writes on the master, the port
// under test opens the slave by its path.
#pragma once

#include <pty.h>
#include <unistd.h>

#include <string>

namespace testing_support {

struct Pty {
    Pty() {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = name;
    }
    ~Pty() {
        CloseMaster();
        if (slave >= 0)
            ::close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Writes every byte (false when the master is gone).
    bool Write(const char* data, size_t size) const {
        while (size > 0) {
            const ssize_t n = ::write(master, data, size);
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Write(const std::string& bytes) const { return Write(bytes.data(), bytes.size()); }
    // The writer hangs up.
    void CloseMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

    int master = -1, slave = -1;
    std::string path;  // empty when no pseudo-terminal could be made
};

}  // namespace testing_support
