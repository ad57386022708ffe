#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/kernel/process.h"
#include "tests/support/test_child.h"

namespace {

// Every test process gets roots of its own, so parallel suites never see each
// other's windows, locks or files, and no test touches the user's own roots.
class ProcessRoots {
  public:
    ProcessRoots() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pathlume-suite-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            return;
        }
        base_ = pattern;
        setenv("PATHLUME_DEVICE", (base_ / "device").c_str(), 1);
        setenv("MAPFERRY_ROOT", (base_ / "desktop").c_str(), 1);
    }
    ~ProcessRoots() {
        if (!base_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(base_, ignored);
        }
    }

  private:
    std::filesystem::path base_;
};

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    if (testing_support::RunChildActionFromArgs(argc, argv, &exitCode)) {
        return exitCode;
    }
    ProcessRoots roots;
    // ExitProcess and TerminateProcess throw platform::ProcessExit in tests.
    platform::SetExitMode(platform::ExitMode::Throw);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
