// The auto-pan time-out on the platform's driven clock: when it expires, what it
// posts with and without a route, and when a pan starts it (the view's answer comes
// from a window on another thread, as the GPS threads meet it).
#include "pathlume/mapdb/timeout_record.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "pathlume/mapdb/position_services.h"
#include "pathlume/mapdb/router_services.h"
#include "platform/kernel/clock.h"
#include "platform/user/user.h"

namespace {

class FakeRouter final : public IRouterServices {
  public:
    void SetStateBits(uint32_t bits) override { state_ |= bits; }
    uint32_t GetState() override { return state_; }
    void ApplyAvoidMarks(MapChunk&) override {}
    void SetRoute(bool present) { state_ = present ? kRouterRoutePresent : 0; }

  private:
    std::atomic<uint32_t> state_{0};
};

class FakePosition final : public IPositionServices {
  public:
    void ResetMatcher() override {}
    void SaveLastPosition(const MapPoint*) override {}
    float GetSpeedMph() override { return speed_; }
    TravelDirection GetTravelDirection() override { return kTravelUnknown; }
    std::atomic<float> speed_{0};
};

// What the view answers to the pan query, and how often it was asked.
std::atomic<LRESULT> g_panAnswer{0};
std::atomic<int> g_panQueries{0};

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER && wParam == kViewPanQuery) {
        ++g_panQueries;
        return g_panAnswer.load();
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

constexpr LPCWSTR kViewClass = u"TimeoutTestView";

HWND MakeView() {
    static const ATOM registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ViewProc;
        windowClass.lpszClassName = kViewClass;
        return RegisterClassW(&windowClass);
    }();
    EXPECT_NE(registered, 0);
    return CreateWindowExW(0, kViewClass, u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
}

// The view on a user-interface thread of its own.
class ViewThread {
  public:
    ViewThread() {
        thread_ = std::thread([this] {
            window_ = MakeView();
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0))
                DispatchMessageW(&msg);
            DestroyWindow(window_);
        });
        while (!window_.load())
            std::this_thread::yield();
    }
    ~ViewThread() {
        PostMessageW(window_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND window() const { return window_; }

  private:
    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

class TimeoutRecordTest : public testing::Test {
  protected:
    void SetUp() override {
        platform::UseManualClock(true);
        SetRouterServices(&router_);
        SetPositionServices(&position_);
        g_panAnswer = 0;
        g_panQueries = 0;
        record_.Reset();
    }
    void TearDown() override {
        if (view_)
            DestroyWindow(view_);
        SetRouterServices(nullptr);
        SetPositionServices(nullptr);
        platform::UseManualClock(false);
    }
    // The WM_USER wParams posted to the view since the last call.
    std::vector<WPARAM> Posted() {
        std::vector<WPARAM> posted;
        MSG msg;
        while (PeekMessageW(&msg, view_, WM_USER, WM_USER, PM_REMOVE))
            posted.push_back(msg.wParam);
        return posted;
    }
    // A running record with the default period, started now.
    void Arm() {
        view_ = MakeView();
        record_.SetTarget(kDefaultAutoPanTimeoutMs, view_);
        record_.Start(0, TRUE);
    }

    FakeRouter router_;
    FakePosition position_;
    TimeoutRecord record_;
    HWND view_ = nullptr;
};

using Posts = std::vector<WPARAM>;

TEST_F(TimeoutRecordTest, ExpiresOnlyOnceThePeriodIsExceeded) {
    router_.SetRoute(true);
    Arm();
    platform::AdvanceClock(kDefaultAutoPanTimeoutMs);
    record_.Poll();
    EXPECT_EQ(Posted(), Posts{});
    platform::AdvanceClock(1);
    record_.Poll();
    EXPECT_EQ(Posted(), Posts{kViewLeavePanMode});
    // With a route it stays running and posts again at every fix.
    record_.Poll();
    record_.Poll();
    EXPECT_EQ(Posted(), (Posts{kViewLeavePanMode, kViewLeavePanMode}));
    EXPECT_FALSE(record_.IsIdle());
    // The view restarts it when the user pans again.
    record_.Start(0, FALSE);
    record_.Poll();
    EXPECT_EQ(Posted(), Posts{});
}

TEST_F(TimeoutRecordTest, WithoutARouteAnExpiredRecordGoesIdle) {
    Arm();
    platform::AdvanceClock(kDefaultAutoPanTimeoutMs + 1);
    record_.Poll();
    EXPECT_EQ(Posted(), Posts{});
    EXPECT_TRUE(record_.IsIdle());
}

TEST_F(TimeoutRecordTest, TheTickCountWrapIsHarmless) {
    router_.SetRoute(true);
    view_ = MakeView();
    record_.SetTarget(kDefaultAutoPanTimeoutMs, view_);
    // Early in a process the start lies "before" tick 0: the unsigned difference
    // still counts the time gone.
    const DWORD now = GetTickCount();
    record_.Start(now - kDefaultAutoPanTimeoutMs, TRUE);
    record_.Poll();
    EXPECT_EQ(Posted(), Posts{});
    record_.Start(now - kDefaultAutoPanTimeoutMs - 1, TRUE);
    record_.Poll();
    EXPECT_EQ(Posted(), Posts{kViewLeavePanMode});
}

TEST_F(TimeoutRecordTest, StartRestartsOnlyARunningRecordUnlessForced) {
    view_ = MakeView();
    record_.SetTarget(kDefaultAutoPanTimeoutMs, view_);
    record_.Start(0, FALSE);
    EXPECT_TRUE(record_.IsIdle());
    record_.Start(1234, TRUE);
    EXPECT_EQ(record_.StartTick(), 1234u);
    platform::AdvanceClock(500);
    record_.Start(0, FALSE);
    EXPECT_EQ(record_.StartTick(), GetTickCount());
    record_.Start(kTimeoutIdle, TRUE);
    EXPECT_TRUE(record_.IsIdle());
    // Disarmed: a long-expired running record does nothing.
    router_.SetRoute(true);
    record_.Start(1, TRUE);
    record_.SetTarget(0, nullptr);
    platform::AdvanceClock(10 * kDefaultAutoPanTimeoutMs);
    record_.Poll();
    EXPECT_EQ(Posted(), Posts{});
    EXPECT_EQ(record_.StartTick(), 1u);
    record_.Reset();
    EXPECT_TRUE(record_.IsIdle());
    EXPECT_EQ(record_.Period(), 0u);
}

TEST_F(TimeoutRecordTest, APanningViewOnAnotherThreadStartsTheRecordAtSpeedOnARoute) {
    ViewThread view;
    record_.SetTarget(kDefaultAutoPanTimeoutMs, view.window());
    g_panAnswer = kViewPanning;
    struct Case {
        float speedMph;
        bool route;
        LRESULT answer;
        bool asked;
        bool starts;
    };
    const Case cases[] = {
        {2.9f, true, kViewPanning, false, false},
        {3.0f, false, kViewPanning, false, false},
        {3.0f, true, 0, true, false},
        {3.0f, true, kViewPanning, true, true},
        {60.0f, true, kViewPanning, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speedMph << " mph, route " << c.route);
        record_.Start(kTimeoutIdle, TRUE);
        position_.speed_ = c.speedMph;
        router_.SetRoute(c.route);
        g_panAnswer = c.answer;
        g_panQueries = 0;
        platform::AdvanceClock(1000);
        record_.Poll();
        EXPECT_EQ(g_panQueries.load() > 0, c.asked);
        EXPECT_EQ(!record_.IsIdle(), c.starts);
        if (c.starts) {
            EXPECT_EQ(record_.StartTick(), GetTickCount());
        }
    }
}

}  // namespace
