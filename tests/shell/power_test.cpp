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

    // The power thread works on its own: wait (in real time, at most tries x 5 ms)
    // until it has.
    static bool WaitFor(const std::function<bool()>& done, int tries = 400) {
        for (int i = 0; i < tries && !done(); ++i)
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
    // A queue of the test's own sees the resume go out; the view takes nothing from
    // it, in the time its power thread takes one while the program runs.
    MSGQUEUEOPTIONS options{sizeof(MSGQUEUEOPTIONS), 0, 4, POWER_BROADCAST_MESSAGE_SIZE, TRUE};
    HANDLE witness = CreateMsgQueue(nullptr, &options);
    ASSERT_NE(witness, nullptr);
    HANDLE request = RequestPowerNotifications(witness, PBT_RESUME);
    ASSERT_NE(request, nullptr);
    platform::SimulatePowerResume();
    BYTE message[POWER_BROADCAST_MESSAGE_SIZE] = {};
    DWORD read = 0, flags = 0;
    EXPECT_TRUE(ReadMsgQueue(witness, message, sizeof message, &read, 1000, &flags));
    EXPECT_FALSE(WaitFor(
        [&] {
            Pump();
            return View().resumePending.load() || View().recheckStorage.load();
        },
        40));
    StopPowerNotifications(request);
    CloseMsgQueue(witness);
    // The frame's close reaches the shutdown again: it does nothing.
    Close();
}

}  // namespace
}  // namespace shell_test
