// Timers on the platform clock.
#include <gtest/gtest.h>

#include <thread>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class TimersTest : public UserTest {
  protected:
    std::vector<UINT_PTR> Fired() {
        std::vector<UINT_PTR> ids;
        for (const Seen& seen : SeenOf(WM_TIMER)) {
            ids.push_back(seen.wParam);
        }
        return ids;
    }
};

TEST_F(TimersTest, DueTimersFireOnceEachInDeadlineOrderWhenTheClockJumps) {
    ManualClock clock;
    HWND window = MakeTopLevel({0, 0, 10, 10});
    SetTimer(window, 3, 1000, nullptr);
    SetTimer(window, 1, 100, nullptr);
    SetTimer(window, 2, 250, nullptr);
    platform::PumpUntilIdle();
    EXPECT_TRUE(Fired().empty());

    platform::AdvanceClock(3600 * 1000);
    platform::PumpUntilIdle();
    EXPECT_EQ(Fired(), (std::vector<UINT_PTR>{1, 2, 3}));

    // Re-armed a period after they fired: at +100 only timer 1 is due.
    ClearSeen();
    platform::AdvanceClock(100);
    platform::PumpUntilIdle();
    EXPECT_EQ(Fired(), (std::vector<UINT_PTR>{1}));
}

TEST_F(TimersTest, AdvancingWithPumpingFiresEveryPeriodOnTheWay) {
    ManualClock clock;
    HWND window = MakeTopLevel({0, 0, 10, 10});
    SetTimer(window, 1, 100, nullptr);
    SetTimer(window, 2, 250, nullptr);
    platform::AdvanceClockAndPump(1000);
    EXPECT_EQ(Fired(), (std::vector<UINT_PTR>{1, 1, 2, 1, 1, 1, 2, 1, 1, 2, 1, 1, 1, 2}));

    // Replacing a timer restarts it with the new period; killing stops it.
    ClearSeen();
    SetTimer(window, 1, 400, nullptr);
    EXPECT_TRUE(KillTimer(window, 2));
    EXPECT_FALSE(KillTimer(window, 2));
    platform::AdvanceClockAndPump(1000);
    EXPECT_EQ(Fired(), (std::vector<UINT_PTR>{1, 1}));
}

std::vector<std::pair<HWND, UINT_PTR>> g_procCalls;
void CALLBACK RecordTimer(HWND hwnd, UINT message, UINT_PTR id, DWORD) {
    ASSERT_EQ(message, static_cast<UINT>(WM_TIMER));
    g_procCalls.emplace_back(hwnd, id);
}

TEST_F(TimersTest, ATimerProcedureIsCalledInPlaceOfTheWindow) {
    ManualClock clock;
    g_procCalls.clear();
    HWND window = MakeTopLevel({0, 0, 10, 10});
    SetTimer(window, 5, 50, RecordTimer);
    UINT_PTR first = SetTimer(nullptr, 0, 50, RecordTimer);
    UINT_PTR second = SetTimer(nullptr, 0, 70, RecordTimer);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_NE(first, second);
    platform::AdvanceClockAndPump(100);
    EXPECT_TRUE(Fired().empty());  // the window procedure saw none
    EXPECT_EQ(
        g_procCalls,
        (std::vector<std::pair<HWND, UINT_PTR>>{
            {window, 5}, {nullptr, first}, {nullptr, second}, {window, 5}, {nullptr, first}}));
    EXPECT_TRUE(KillTimer(nullptr, first));
    EXPECT_TRUE(KillTimer(nullptr, second));

    // A forged WM_TIMER does not call whatever its lParam points at.
    g_procCalls.clear();
    MSG forged{window, WM_TIMER, 77, reinterpret_cast<LPARAM>(RecordTimer), 0, {}};
    DispatchMessageW(&forged);
    EXPECT_TRUE(g_procCalls.empty());
}

TEST_F(TimersTest, ATimerSetFromAnotherThreadFiresOnTheWindowsThread) {
    ManualClock clock;
    HWND window = MakeTopLevel({0, 0, 10, 10});
    std::thread([&] { SetTimer(window, 9, 30, nullptr); }).join();
    platform::AdvanceClockAndPump(30);
    auto fired = SeenOf(WM_TIMER);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].thread, GetCurrentThreadId());

    // A destroyed window's timers go with it.
    DestroyWindow(window);
    EXPECT_FALSE(KillTimer(window, 9));
}

TEST_F(TimersTest, GetMessageWakesForATimerOnTheRealClock) {
    HWND window = MakeTopLevel({0, 0, 10, 10});
    platform::PumpUntilIdle();
    SetTimer(window, 4, 20, nullptr);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, 4u);
}

}  // namespace
