#include "platform/kernel/clock.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/kernel/handles.h"
#include "platform/kernel/threads.h"

namespace platform {
namespace {

using Steady = std::chrono::steady_clock;

constexpr int64_t kTicksPerMillisecond = 10000;  // FILETIME ticks are 100 ns
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr int64_t kDaysFrom1601To1970 = 134774;
constexpr int64_t kTicksFrom1601To1970 = kDaysFrom1601To1970 * kTicksPerDay;

// The clock's state lives under its own small lock, taken after WaitLock() where
// both are needed, so that reading the clock never waits for a waiter.
struct ClockState {
    std::mutex lock;
    Steady::time_point start = Steady::now();
    bool manual = false;
    uint64_t manualMs = 0;
    // While real: clock = real milliseconds since start + realOffsetMs, so the
    // clock goes on from the manual value when it is switched back.
    int64_t realOffsetMs = 0;
    // The wall-clock time and clock value when the manual clock was switched on.
    int64_t wallTicksAtManual = 0;
    uint64_t msAtManual = 0;
};

ClockState& State() {
    static ClockState* state = new ClockState;  // never destroyed: threads may outlive statics
    return *state;
}

// Starts the tick count with the process rather than with its first reading.
[[maybe_unused]] const bool g_clockStarted = (State(), true);

int64_t RealElapsedMs(const ClockState& state) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - state.start)
        .count();
}

uint64_t NowMsLocked(const ClockState& state) {
    if (state.manual) {
        return state.manualMs;
    }
    return static_cast<uint64_t>(RealElapsedMs(state) + state.realOffsetMs);
}

int64_t RealWallTicks() {
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
               .count() +
           kTicksFrom1601To1970;
}

// Wall-clock time as FILETIME ticks (UTC).
int64_t NowWallTicks() {
    ClockState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.manual) {
        return state.wallTicksAtManual +
               static_cast<int64_t>(state.manualMs - state.msAtManual) * kTicksPerMillisecond;
    }
    return RealWallTicks();
}

void WakeWaiters() {
    std::lock_guard<std::mutex> guard(WaitLock());
    NotifyWaitersLocked();
}

// Civil calendar arithmetic on the proleptic Gregorian calendar; days count from
// 1970-01-01.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2);
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

int64_t TicksOf(const FILETIME& fileTime) {
    return static_cast<int64_t>((static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) |
                                fileTime.dwLowDateTime);
}

void StoreTicks(int64_t ticks, FILETIME* fileTime) {
    fileTime->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
    fileTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
}

bool TicksToSystemTime(int64_t ticks, SYSTEMTIME* out) {
    if (ticks < 0) {
        return false;
    }
    const int64_t days = ticks / kTicksPerDay;
    int64_t rest = ticks % kTicksPerDay;
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days - kDaysFrom1601To1970, &year, &month, &day);
    out->wYear = static_cast<WORD>(year);
    out->wMonth = static_cast<WORD>(month);
    out->wDay = static_cast<WORD>(day);
    out->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    out->wHour = static_cast<WORD>(rest / (3600 * kTicksPerSecond));
    rest %= 3600 * kTicksPerSecond;
    out->wMinute = static_cast<WORD>(rest / (60 * kTicksPerSecond));
    rest %= 60 * kTicksPerSecond;
    out->wSecond = static_cast<WORD>(rest / kTicksPerSecond);
    rest %= kTicksPerSecond;
    out->wMilliseconds = static_cast<WORD>(rest / kTicksPerMillisecond);
    return true;
}

// The host zone's offset from UTC, in seconds, at the given UTC instant.
bool UtcOffsetAt(int64_t utcTicks, int64_t* offsetSeconds) {
    int64_t unixTicks = utcTicks - kTicksFrom1601To1970;
    int64_t unixSeconds = unixTicks / kTicksPerSecond - (unixTicks % kTicksPerSecond < 0 ? 1 : 0);
    time_t when = static_cast<time_t>(unixSeconds);
    struct tm parts {};
    if (!localtime_r(&when, &parts)) {
        return false;
    }
    *offsetSeconds = parts.tm_gmtoff;
    return true;
}

bool AddSeconds(int64_t ticks, int64_t seconds, int64_t* result) {
    int64_t sum = 0;
    if (__builtin_add_overflow(ticks, seconds * kTicksPerSecond, &sum) || sum < 0) {
        return false;
    }
    *result = sum;
    return true;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

void UseManualClock(bool manual) {
    ClockState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.manual == manual) {
            return;
        }
        if (manual) {
            state.manualMs = NowMsLocked(state);
            state.msAtManual = state.manualMs;
            state.wallTicksAtManual = RealWallTicks();
            state.manual = true;
        } else {
            state.realOffsetMs = static_cast<int64_t>(state.manualMs) - RealElapsedMs(state);
            state.manual = false;
        }
    }
    WakeWaiters();
}

bool IsManualClock() {
    ClockState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.manual;
}

void AdvanceClock(uint64_t milliseconds) {
    ClockState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.manual) {
            return;
        }
        state.manualMs += milliseconds;
    }
    WakeWaiters();
}

BOOL SetManualWallClock(const FILETIME& utc) {
    ClockState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.manual) {
        return FALSE;
    }
    state.wallTicksAtManual =
        static_cast<int64_t>((static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
    state.msAtManual = state.manualMs;
    return TRUE;
}

uint64_t ClockMilliseconds() {
    ClockState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return NowMsLocked(state);
}

void WaitForClockLocked(std::unique_lock<std::mutex>& waitLock, uint64_t deadlineMs) {
    ClockState& state = State();
    bool timed = false;
    Steady::time_point until;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.manual && deadlineMs != UINT64_MAX) {
            // The manual clock has no real deadline: AdvanceClock wakes the waiter.
            int64_t realMs = static_cast<int64_t>(deadlineMs) - state.realOffsetMs;
            if (realMs <= RealElapsedMs(state)) {
                return;
            }
            timed = true;
            until = state.start + std::chrono::milliseconds(realMs);
        }
    }
    if (timed) {
        WaitCondition().wait_until(waitLock, until);
    } else {
        WaitCondition().wait(waitLock);
    }
}

}  // namespace platform

DWORD GetTickCount() {
    return static_cast<DWORD>(platform::ClockMilliseconds());
}

void Sleep(DWORD milliseconds) {
    using namespace platform;
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (StopRequested()) {
        return;
    }
    ClockState& state = State();
    uint64_t deadline = UINT64_MAX;
    bool advanced = false;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (milliseconds != INFINITE) {
            deadline = NowMsLocked(state) + milliseconds;
            if (state.manual) {
                state.manualMs = std::max(state.manualMs, deadline);
                advanced = true;
            }
        }
    }
    if (advanced) {
        WakeWaiters();
        std::this_thread::yield();
        return;
    }
    std::unique_lock<std::mutex> lock(WaitLock());
    while (!StopRequested() && ClockMilliseconds() < deadline) {
        WaitForClockLocked(lock, deadline);
    }
}

void GetSystemTime(LPSYSTEMTIME systemTime) {
    if (systemTime) {
        platform::TicksToSystemTime(platform::NowWallTicks(), systemTime);
    }
}

void GetLocalTime(LPSYSTEMTIME localTime) {
    using namespace platform;
    if (!localTime) {
        return;
    }
    int64_t utc = NowWallTicks();
    int64_t offset = 0;
    int64_t local = utc;
    if (UtcOffsetAt(utc, &offset)) {
        AddSeconds(utc, offset, &local);
    }
    TicksToSystemTime(local, localTime);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    using namespace platform;
    if (!systemTime || !fileTime) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDaysFrom1601To1970;
    int64_t seconds = (static_cast<int64_t>(t.wHour) * 60 + t.wMinute) * 60 + t.wSecond;
    StoreTicks(days * kTicksPerDay + seconds * kTicksPerSecond +
                   static_cast<int64_t>(t.wMilliseconds) * kTicksPerMillisecond,
               fileTime);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    using namespace platform;
    if (!fileTime || !systemTime || !TicksToSystemTime(TicksOf(*fileTime), systemTime)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
    using namespace platform;
    if (!fileTime || !localFileTime) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    int64_t utc = TicksOf(*fileTime);
    int64_t offset = 0;
    int64_t local = 0;
    if (utc < 0 || !UtcOffsetAt(utc, &offset) || !AddSeconds(utc, offset, &local)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    StoreTicks(local, localFileTime);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, LPFILETIME fileTime) {
    using namespace platform;
    if (!localFileTime || !fileTime) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    int64_t local = TicksOf(*localFileTime);
    int64_t guess = 0;
    int64_t offset = 0;
    int64_t utc = 0;
    // The offset depends on the UTC instant being sought: take the one at the
    // local time read as UTC, then correct it once at the instant it gives.
    if (local < 0 || !UtcOffsetAt(local, &offset) || !AddSeconds(local, -offset, &guess)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    int64_t corrected = 0;
    if (!UtcOffsetAt(guess, &corrected) || !AddSeconds(local, -corrected, &utc)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    StoreTicks(utc, fileTime);
    return TRUE;
}
