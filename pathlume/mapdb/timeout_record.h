// The tick-count time-out behind the map's automatic return from panning to
// following the vehicle. The main view arms and restarts it on the user-interface
// thread; the GPS threads poll it once per delivered fix, so its words are atomics.
#pragma once

#include <atomic>

#include "pathlume/foundation/app_services.h"
#include "platform/kernel/wintypes.h"

// The start tick of an idle record.
inline constexpr DWORD kTimeoutIdle = 0xFFFFFFFF;
// The default of the registry value "AutoPanTimeout", in milliseconds.
inline constexpr DWORD kDefaultAutoPanTimeoutMs = 45000;

// Below this speed an idle record never starts.
inline constexpr float kAutoPanMinimumSpeedMph = 3.0f;

class TimeoutRecord {
  public:
    // Idle, disarmed (period 0), the target kept.
    void Reset();
    // Period 0 disarms the record.
    void SetTarget(DWORD periodMs, HWND window);
    // When the record is running or `force` is set: starts the period at `tick`
    // (0: now). An idle record without force stays idle; (kTimeoutIdle, 1) makes
    // the record idle.
    void Start(DWORD tick, BOOL force);
    // Once per delivered fix, on a GPS thread. Running and past its period: with
    // a route it posts kViewLeavePanMode to the target (again at every later fix),
    // without one it goes idle. Idle: it starts when the vehicle moves at
    // kAutoPanMinimumSpeedMph or more, the router holds a route and the target
    // answers kViewPanQuery with kViewPanning.
    void Poll();

    DWORD StartTick() const { return startTick_.load(); }
    DWORD Period() const { return periodMs_.load(); }
    HWND Target() const { return target_.load(); }
    bool IsIdle() const { return startTick_.load() == kTimeoutIdle; }

  private:
    std::atomic<DWORD> startTick_{kTimeoutIdle};
    std::atomic<DWORD> periodMs_{0};
    std::atomic<HWND> target_{nullptr};
};

// Armed by the main view at creation, disarmed (SetTarget(0, null)) at shutdown.
extern TimeoutRecord g_autoPanTimeout;
