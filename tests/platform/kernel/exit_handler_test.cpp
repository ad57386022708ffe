#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"

namespace {

std::string g_markerPath;

void WriteMarker() {
    if (FILE* file = std::fopen(g_markerPath.c_str(), "w")) {
        std::fputs("ran", file);
        std::fclose(file);
    }
}

TEST_CHILD(exit_with_handler) {
    g_markerPath = args.at(0);
    platform::AddExitHandler(WriteMarker);
    ExitProcess(7);
}

TEST(ExitHandlers, RunWhenExitProcessEndsAProgram) {
    testing_support::TempRoots roots;
    std::string marker = (roots.base() / "marker").string();
    EXPECT_EQ(testing_support::RunChild("exit_with_handler", {marker}), 7);
    FILE* file = std::fopen(marker.c_str(), "r");
    ASSERT_NE(file, nullptr);
    char text[8] = {};
    ASSERT_NE(std::fgets(text, sizeof text, file), nullptr);
    std::fclose(file);
    EXPECT_STREQ(text, "ran");
}

}  // namespace
