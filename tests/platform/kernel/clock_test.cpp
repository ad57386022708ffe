#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/kernel/kernel.h"
#include "tests/support/host_time_zone.h"
#include "tests/support/wait_helpers.h"

namespace {

using testing_support::HostTimeZone;
using testing_support::WaitUntilBlocked;

using namespace std::chrono_literals;

constexpr ULONGLONG kTicksPerDay = 864000000000ull;
constexpr ULONGLONG kTicksPerHour = 36000000000ull;

struct ManualClock {
    ManualClock() { platform::UseManualClock(true); }
    ~ManualClock() { platform::UseManualClock(false); }
};

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

ULONGLONG TicksOf(const SYSTEMTIME& time) {
    FILETIME fileTime{};
    EXPECT_TRUE(SystemTimeToFileTime(&time, &fileTime));
    return Ticks(fileTime);
}

TEST(FileTime, KnownDatesConvertBothWays) {
    struct Case {
        SYSTEMTIME time;  // year, month, day of week, day, hour, minute, second, ms
        ULONGLONG ticks;
    };
    const Case cases[] = {
        {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},                               // the epoch, a Monday
        {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ull},           // the Unix epoch
        {{2000, 1, 6, 1, 0, 0, 0, 0}, 125911584000000000ull},           // a Saturday
        {{2000, 2, 2, 29, 12, 34, 56, 789},                             // leap day of a 400-year
         125911584000000000ull + 59 * kTicksPerDay + 452967890000ull},  // ... leap year
        {{2000, 3, 3, 1, 0, 0, 0, 0}, 125911584000000000ull + 60 * kTicksPerDay},
        {{2024, 2, 4, 29, 23, 59, 59, 999}, 133536384000000000ull + kTicksPerDay - 10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay);
        EXPECT_EQ(TicksOf(c.time), c.ticks);
        FILETIME fileTime = FileTimeOf(c.ticks);
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &back));
        EXPECT_EQ(back.wYear, c.time.wYear);
        EXPECT_EQ(back.wMonth, c.time.wMonth);
        EXPECT_EQ(back.wDay, c.time.wDay);
        EXPECT_EQ(back.wDayOfWeek, c.time.wDayOfWeek);
        EXPECT_EQ(back.wHour, c.time.wHour);
        EXPECT_EQ(back.wMinute, c.time.wMinute);
        EXPECT_EQ(back.wSecond, c.time.wSecond);
        EXPECT_EQ(back.wMilliseconds, c.time.wMilliseconds);
    }
}

TEST(FileTime, InvalidTimesAreRefused) {
    const SYSTEMTIME bad[] = {
        {1900, 2, 0, 29, 0, 0, 0, 0},    // 1900 is no leap year
        {2100, 2, 0, 29, 0, 0, 0, 0},    // nor is 2100
        {1600, 12, 0, 31, 0, 0, 0, 0},   // before the epoch
        {2000, 0, 0, 1, 0, 0, 0, 0},     // month 0
        {2000, 13, 0, 1, 0, 0, 0, 0},    // month 13
        {2000, 4, 0, 31, 0, 0, 0, 0},    // 31 April
        {2000, 1, 0, 0, 0, 0, 0, 0},     // day 0
        {2000, 1, 0, 1, 24, 0, 0, 0},    // hour 24
        {2000, 1, 0, 1, 0, 60, 0, 0},    // minute 60
        {2000, 1, 0, 1, 0, 0, 60, 0},    // second 60
        {2000, 1, 0, 1, 0, 0, 0, 1000},  // 1000 ms
    };
    for (const SYSTEMTIME& time : bad) {
        FILETIME fileTime{1, 1};
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&time, &fileTime))
            << time.wYear << "-" << time.wMonth << "-" << time.wDay << " " << time.wHour << ":"
            << time.wMinute << ":" << time.wSecond << "." << time.wMilliseconds;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    FILETIME beyond{0, 0x80000000u};
    SYSTEMTIME out{};
    EXPECT_FALSE(FileTimeToSystemTime(&beyond, &out));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FileTime, LocalTimeUsesTheHostZoneOffsetAtThatInstant) {
    HostTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");  // central Europe, no tz data needed
    struct Case {
        SYSTEMTIME utc;
        ULONGLONG offsetTicks;
    };
    const Case cases[] = {
        {{2000, 1, 0, 1, 0, 0, 0, 0}, kTicksPerHour},       // winter
        {{2000, 7, 0, 1, 0, 0, 0, 0}, 2 * kTicksPerHour},   // summer
        {{2024, 3, 0, 31, 0, 59, 59, 0}, kTicksPerHour},    // a second before the change
        {{2024, 3, 0, 31, 1, 0, 0, 0}, 2 * kTicksPerHour},  // the change (01:00 UTC)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.utc.wYear << "-" << c.utc.wMonth << "-" << c.utc.wDay
                                        << " " << c.utc.wHour << ":" << c.utc.wMinute);
        FILETIME utc = FileTimeOf(TicksOf(c.utc));
        FILETIME local{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(Ticks(local) - Ticks(utc), c.offsetTicks);
        FILETIME back{};
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(Ticks(back), Ticks(utc));
    }
    // The conversion chain the receiver uses for its local-time line.
    SYSTEMTIME utcTime{2000, 2, 2, 29, 23, 30, 0, 0};
    FILETIME utc{};
    FILETIME local{};
    SYSTEMTIME localTime{};
    ASSERT_TRUE(SystemTimeToFileTime(&utcTime, &utc));
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &localTime));
    EXPECT_EQ(localTime.wMonth, 3);
    EXPECT_EQ(localTime.wDay, 1);
    EXPECT_EQ(localTime.wHour, 0);
    EXPECT_EQ(localTime.wMinute, 30);
}

TEST(Clock, TheManualClockDrivesTicksSleepAndWallTime) {
    ManualClock clock;
    const DWORD start = GetTickCount();
    SYSTEMTIME before{};
    GetSystemTime(&before);
    std::this_thread::sleep_for(15ms);
    EXPECT_EQ(GetTickCount(), start);

    platform::AdvanceClock(1500);
    EXPECT_EQ(GetTickCount() - start, 1500u);
    Sleep(3600000);  // returns at once, an hour later
    EXPECT_EQ(GetTickCount() - start, 3601500u);
    SYSTEMTIME after{};
    GetSystemTime(&after);
    EXPECT_EQ(TicksOf(after) - TicksOf(before), 3601500ull * 10000);

    // Local time moves with it.
    SYSTEMTIME localBefore{};
    SYSTEMTIME localAfter{};
    GetLocalTime(&localBefore);
    Sleep(60000);
    GetLocalTime(&localAfter);
    EXPECT_EQ(TicksOf(localAfter) - TicksOf(localBefore), 60000ull * 10000);

    // The tick count wraps after 2^32 ms and differences stay right.
    platform::AdvanceClock(0x100000000ull - GetTickCount() - 10);
    const DWORD nearWrap = GetTickCount();
    EXPECT_EQ(nearWrap, 0xFFFFFFF6u);
    platform::AdvanceClock(25);
    EXPECT_EQ(GetTickCount(), 15u);
    EXPECT_EQ(GetTickCount() - nearWrap, 25u);
}

TEST(Clock, AManualClockCanStartFromAFixedDate) {
    SYSTEMTIME fixed{};
    fixed.wYear = 2004;
    fixed.wMonth = 7;
    fixed.wDay = 4;
    fixed.wHour = 9;
    fixed.wMinute = 5;
    fixed.wSecond = 7;
    FILETIME ticks{};
    ASSERT_TRUE(SystemTimeToFileTime(&fixed, &ticks));
    EXPECT_FALSE(platform::SetManualWallClock(ticks));  // the real clock keeps its time
    ManualClock clock;
    ASSERT_TRUE(platform::SetManualWallClock(ticks));
    platform::AdvanceClock(61000);
    SYSTEMTIME now{};
    GetSystemTime(&now);
    EXPECT_EQ(TicksOf(now) - TicksOf(fixed), 61000ull * 10000);
}

TEST(Clock, SleepOnTheManualClockEndsTheTimedWaitsItPasses) {
    ManualClock clock;
    static HANDLE event;
    event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiter = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return WaitForSingleObject(event, 5000); }, nullptr, 0,
        nullptr);
    ASSERT_TRUE(WaitUntilBlocked(1));
    Sleep(4999);
    std::this_thread::sleep_for(20ms);
    DWORD code = 0;
    GetExitCodeThread(waiter, &code);
    EXPECT_EQ(code, STILL_ACTIVE);
    Sleep(1);
    EXPECT_EQ(WaitForSingleObject(waiter, INFINITE), WAIT_OBJECT_0);
    GetExitCodeThread(waiter, &code);
    EXPECT_EQ(code, WAIT_TIMEOUT);
    CloseHandle(waiter);
    CloseHandle(event);
}

TEST(Clock, RealTimeIsFollowedAndTheManualClockHandsBackWithoutGoingBack) {
    DWORD start = GetTickCount();
    Sleep(30);
    EXPECT_GE(GetTickCount() - start, 30u);

    DWORD driven = 0;
    {
        ManualClock clock;
        platform::AdvanceClock(100000);
        driven = GetTickCount();
    }
    EXPECT_FALSE(platform::IsManualClock());
    EXPECT_GE(GetTickCount() - start, 100000u);
    EXPECT_LT(GetTickCount() - driven, 0x80000000u);  // not before the driven time
}

}  // namespace
