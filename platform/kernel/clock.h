// Time: the tick count, Sleep, wall-clock time and its conversions.
//
// One platform clock drives GetTickCount, Sleep, every wait's time-out and the
// wall-clock time. It runs in real time, or, for tests, as a manual clock that
// stands still until it is driven:
//  - UseManualClock(true) freezes the clock where it is; AdvanceClock(ms) moves it
//    on and wakes every wait whose time-out has now passed.
//  - Sleep(ms) on the manual clock does not block: it moves the clock forward to
//    the sleeper's deadline (the time of the call plus ms) when the clock is not
//    there yet, and returns. So a single-threaded test calling Sleep(3600000)
//    finishes at once with an hour gone, and threads sleeping side by side do not
//    add up their sleeps. Sleep(INFINITE) blocks until the thread is asked to
//    stop. Waits with a time-out never move the clock themselves: they end when
//    another thread drives it past their deadline (or Sleeps it there).
//  - The wall-clock time moves with the manual clock from the time it was
//    switched on. UseManualClock(false) returns to real time; the tick count
//    goes on from where the manual clock stood.
//
// FILETIME counts 100 ns since 1601-01-01 00:00 UTC. Local time is the host's
// time zone, with the offset that applies at the converted instant (a summer
// date gets summer time even when converted in winter).
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/kernel/wintypes.h"

// Milliseconds since the process started, wrapping after 49.7 days.
DWORD GetTickCount();
// Returns early, without sleeping on, when the thread is asked to stop.
void Sleep(DWORD milliseconds);

void GetSystemTime(LPSYSTEMTIME systemTime);
void GetLocalTime(LPSYSTEMTIME localTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, LPFILETIME fileTime);

namespace platform {

void UseManualClock(bool manual);
bool IsManualClock();
// Moves the manual clock on (does nothing on the real clock).
void AdvanceClock(uint64_t milliseconds);
// On the manual clock: the wall-clock time becomes this UTC time and moves on with
// the clock from there (a test's fixed date). FALSE on the real clock.
BOOL SetManualWallClock(const FILETIME& utc);

// The platform clock in milliseconds, not wrapping (GetTickCount is its low 32
// bits).
uint64_t ClockMilliseconds();
// Blocks on WaitCondition() (waitLock holds WaitLock()) until it is notified or
// the platform clock reaches deadlineMs (UINT64_MAX: no deadline). May return
// early; the caller checks its condition and the clock again.
void WaitForClockLocked(std::unique_lock<std::mutex>& waitLock, uint64_t deadlineMs);

}  // namespace platform
