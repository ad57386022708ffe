#include <gtest/gtest.h>

#include "platform/kernel/process.h"
#include "tests/support/test_child.h"

int main(int argc, char** argv) {
    int exitCode = 0;
    if (testing_support::RunChildActionFromArgs(argc, argv, &exitCode)) {
        return exitCode;
    }
    // ExitProcess and TerminateProcess throw platform::ProcessExit in tests.
    platform::SetExitMode(platform::ExitMode::Throw);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
