// A fixture for the class library's window tests: a QVGA screen, and no window,
// input, quit or temporary wrapper left behind by a test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/afx/afx.h"

namespace afx_testing {

inline void CleanUpThread() {
    std::vector<HWND> mine;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId())
            mine.push_back(w);
    }
    for (HWND w : mine)
        DestroyWindow(w);
    platform::DiscardPendingInput();
    platform::PumpUntilIdle();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    AfxDeleteTempObjects();
}

class AfxTest : public testing::Test {
  protected:
    void SetUp() override {
        platform::SetScreenMode(240, 320, 96);
        CleanUpThread();
    }
    void TearDown() override { CleanUpThread(); }
};

}  // namespace afx_testing
