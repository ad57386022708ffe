#include "pathlume/foundation/clock_text.h"

#include <cstdio>

#include "pathlume/foundation/app_services.h"
#include "platform/kernel/clock.h"

char* FormatClockTime(char* buffer, int hour, int minute, size_t size) {
    if (size == 0)
        return buffer;
    if (!(g_options.load() & kOptionTwelveHourClock)) {
        std::snprintf(buffer, size, "%2d:%02d", hour, minute);
        return buffer;
    }
    const bool afternoon = hour >= 12;
    int shown = hour > 12 ? hour - 12 : hour;
    if (shown == 0)
        shown = 12;
    std::snprintf(buffer, size, "%2d:%02d%s", shown, minute, afternoon ? "PM" : "AM");
    return buffer;
}

BOOL UtcToLocalTime(const SYSTEMTIME* utc, SYSTEMTIME* local) {
    FILETIME utcFileTime{};
    FILETIME localFileTime{};
    if (!SystemTimeToFileTime(utc, &utcFileTime) ||
        !FileTimeToLocalFileTime(&utcFileTime, &localFileTime))
        return FALSE;
    return FileTimeToSystemTime(&localFileTime, local);
}
