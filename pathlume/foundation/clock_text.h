// The status box's clock text and the conversion of the receiver's UTC time to
// the device's local time.
#pragma once

#include <cstddef>

#include "platform/kernel/wintypes.h"

// Room for the longest clock text, "12:59PM", and its terminator.
inline constexpr size_t kClockTextSize = 8;

// "%2d:%02d" (hour 0-23), or with the twelve-hour clock of g_options "%2d:%02dAM"
// and "%2d:%02dPM" (hours 12, 1-11). Cut to fit; returns the buffer.
char* FormatClockTime(char* buffer, int hour, int minute, size_t size = kClockTextSize);

// The local time of a UTC time, with the daylight-saving offset of that instant.
// FALSE, with `local` unspecified, when the time cannot be converted.
BOOL UtcToLocalTime(const SYSTEMTIME* utc, SYSTEMTIME* local);
