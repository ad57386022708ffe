// Where the power thread hears of a device resume: a queue of power notifications
// that its owner can close under a waiting reader.
#pragma once

#include "platform/kernel/wintypes.h"

// Bit of a notification's kind: the device resumed.
inline constexpr DWORD kPowerResume = 0x2;

// A queue with resume notifications requested into it; null when none could be made.
HANDLE OpenPowerQueue();
// Waits for the next notification: its kind, or false once the queue was closed.
bool WaitPowerNotification(HANDLE queue, DWORD* kind);
// Stops the notifications and closes the queue; a waiter returns false.
void ClosePowerQueue(HANDLE queue);
// Reports a resume to every open queue, as the device does when it wakes.
void ReportPowerResume();
