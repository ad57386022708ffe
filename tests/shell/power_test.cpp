#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "pathlume/foundation/app_services.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/power_source.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgqueue.h"
#include "platform/user/user.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {
namespace {

class PowerTest : public AppTest {
  protected:
    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
    }
    void TearDown() override { platform::UseManualClock(false); }
    CMainView& View() { return static_cast<CMainFrame*>(app_->m_pMainWnd)->View(); }

    // The power thread works on its own: wait (in real time) until it has.
    static bool WaitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 400 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    }
};

TEST_F(PowerTest, ResumeClosesTheGpsAndTimerHundredRestartsThreeSecondsLater) {
    ASSERT_TRUE(Start());
    Pump();
    ASSERT_TRUE(WaitFor([&] { return View().powerQueue.load() != nullptr; }));
    platform::UseManualClock(true);
    platform::SimulatePowerResume();
    ASSERT_TRUE(WaitFor([&] { return View().resumePending.load() != FALSE; }));
    // Set once timer 100 runs.
    ASSERT_TRUE(WaitFor([&] { return View().recheckStorage.load() != FALSE; }));
    EXPECT_EQ(View().GetLastDataTime(), kNoDataTick);
    // A second resume before the first is handled is dropped: let the power thread
    // take it before the clock moves, or it would come in after timer 100.
    platform::SimulatePowerResume();
    ASSERT_TRUE(WaitFor([&] {
        MSGQUEUEINFO info{};
        info.dwSize = sizeof info;
        HANDLE queue = View().powerQueue.load();
        return queue && GetMsgQueueInfo(queue, &info) && info.dwCurrentMessages == 0;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    platform::AdvanceClockAndPump(2900);
    EXPECT_TRUE(View().resumePending.load());
    platform::AdvanceClockAndPump(200);
    EXPECT_FALSE(View().resumePending.load());
    EXPECT_FALSE(View().recheckStorage.load());
    EXPECT_NE(View().GetLastDataTime(), kNoDataTick);
    platform::UseManualClock(false);
    Close();
}

TEST_F(PowerTest, ShutdownEndsThePowerThreadAndAResumeAfterItDoesNothing) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitFor([&] { return View().powerQueue.load() != nullptr; }));
    View().Shutdown();
    EXPECT_EQ(View().powerQueue.load(), nullptr);
    EXPECT_EQ(View().powerThread, nullptr);
    EXPECT_EQ(g_mainView.load(), nullptr);
    platform::SimulatePowerResume();
    EXPECT_FALSE(View().resumePending.load());
    // The frame's close reaches the shutdown again: it does nothing.
    Close();
}

}  // namespace
}  // namespace shell_test
