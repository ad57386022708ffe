#include "tests/support/wait_helpers.h"

#include <chrono>
#include <thread>

#include "platform/kernel/kernel.h"

namespace testing_support {

bool WaitUntilBlocked(size_t count) {
    using namespace std::chrono_literals;
    auto until = std::chrono::steady_clock::now() + 20s;
    while (platform::BlockedWaitCount() < count) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace testing_support
