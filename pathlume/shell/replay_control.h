// The GPS replays the main view starts: a recorded log through the receiver's
// playback, and the route demonstration's simulated feed. Each answers 0 when the
// replay runs.
#pragma once

#include "platform/kernel/wintypes.h"

// Asks for a log file ("Open GPS Log File", "*.gps"): true with its path (MAX_PATH).
bool ChooseGpsLogFile(HWND owner, LPWSTR path);
// Asks where to record a log ("Save GPS Log File", "*.gps"), proposing the local date
// and time as its name; an existing file is replaced only when the driver says so.
// True with a non-empty path (MAX_PATH).
bool ChooseGpsLogSaveFile(HWND owner, LPWSTR path);
// Plays the log through the receiver: 0 when it plays.
int StartLogPlayback(LPCWSTR path);
// Puts the route simulator at the route's start and starts the simulation feed:
// 0 when the feed runs.
int StartRouteDemoFeed();
// Ends a recording of the receiver's input, if one runs.
void StopLogRecording();
