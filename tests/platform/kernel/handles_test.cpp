#include <gtest/gtest.h>

#include "platform/kernel/kernel.h"

namespace {

struct Probe : platform::KernelObject {
    explicit Probe(int* closed) : closed(closed) {}
    void OnLastHandleClosed() override { ++*closed; }
    int* closed;
};

TEST(Handles, LastCloseIsReportedOnceAndStaleHandlesFail) {
    int closed = 0;
    HANDLE first = platform::InsertHandle(std::make_shared<Probe>(&closed));
    HANDLE second = nullptr;
    ASSERT_TRUE(DuplicateHandle(nullptr, first, nullptr, &second, 0, FALSE, DUPLICATE_SAME_ACCESS));
    EXPECT_NE(first, second);
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(CloseHandle(second));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(platform::LookupHandle(first), nullptr);
}

}  // namespace
