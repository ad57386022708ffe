// Sets the host time zone, which the platform's local time follows, for one test.
#pragma once

#include <time.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace testing_support {

class HostTimeZone {
  public:
    // A POSIX TZ text such as "CET-1CEST,M3.5.0,M10.5.0/3", which needs no tz data.
    explicit HostTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            saved_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~HostTimeZone() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    HostTimeZone(const HostTimeZone&) = delete;
    HostTimeZone& operator=(const HostTimeZone&) = delete;

  private:
    std::optional<std::string> saved_;
};

}  // namespace testing_support
