#include "tests/support/temp_root.h"

#include <cstdlib>
#include <string>

#include "platform/kernel/roots.h"

namespace testing_support {

TempRoots::TempRoots() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pathlume-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    base_ = pattern;
    device_ = base_ / "device";
    desktop_ = base_ / "desktop";
    platform::SetDeviceRoot(device_);
    platform::SetDesktopRoot(desktop_);
}

TempRoots::~TempRoots() {
    platform::SetDeviceRoot({});
    platform::SetDesktopRoot({});
    std::error_code ignored;
    std::filesystem::remove_all(base_, ignored);
}

}  // namespace testing_support
