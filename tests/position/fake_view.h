// A main view for the receiver's tests: a real window on the test's thread that
// counts the WM_USER messages it gets, and the view state the GPS threads read.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "platform/user/user.h"

class PositionQueue;

namespace position_test {

// Empties the position queue and the new-fix message count, lifts the hold and puts
// the matched position at 0, 0: the state a receiver's test starts from.
void ResetFixDelivery();

class FakeView final : public IMainView {
  public:
    FakeView();
    ~FakeView();

    HWND GetViewWindow() override { return window_; }
    BOOL GetReplayFlag() override { return replay.load(); }
    void SetReplayFlag(BOOL flag) override { replay.store(flag); }
    DWORD GetScreenMode() override { return screenMode.load(); }
    DWORD GetLastDataTime() override { return lastDataTime.load(); }
    void SetLastDataTime(DWORD tick) override { lastDataTime.store(tick); }
    BOOL IsClosing() override { return FALSE; }
    BOOL IsSuspended() override { return FALSE; }
    BOOL IsPanMode() override { return panMode.load(); }
    void GetPanCentre(FLOAT* latitude, FLOAT* longitude) override { *latitude = *longitude = 0; }
    BOOL IsShuttingDown() override { return FALSE; }
    void SetLastPosition(FLOAT, FLOAT) override {}
    char* GetDescriptionBuffer() override { return description_; }
    BOOL IsFullScreen() override { return FALSE; }
    void SetPanMode(BOOL on) override {
        panMode.store(on);
        ++panModeCalls;
    }
    void Refresh() override {}
    void UpdateMenus() override { ++menuUpdates; }
    void BringToFront() override {}
    int AddToFavorites(const AddressHit&, int, const char*, const char*, const char*, BOOL,
                       BOOL) override {
        return 1;
    }

    // Serves the window's messages until none waits.
    void Pump();

    std::atomic<BOOL> replay{FALSE};
    std::atomic<DWORD> screenMode{0};
    std::atomic<DWORD> lastDataTime{0xFFFFFFFF};
    std::atomic<int> infoUpdates{0};
    std::atomic<int> newFixMessages{0};
    std::atomic<int> playbackEnds{0};  // WM_USER 3
    // When set, WM_USER 0 takes the queue as the view would (through the handler).
    bool consumeFixes = false;
    // When set, WM_USER 0 hands the queue to it through the handler instead.
    std::function<void(PositionQueue&)> consume;
    std::atomic<BOOL> panMode{FALSE};
    std::atomic<int> panModeCalls{0};
    std::atomic<int> menuUpdates{0};
    std::atomic<int> demoEndedMessages{0};  // WM_USER 6
    std::vector<float> consumedLatitudes;

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    char description_[kDescriptionBufferSize] = {};
};

}  // namespace position_test
