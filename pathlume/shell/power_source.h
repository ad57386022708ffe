// Where the power thread hears of a device resume: a message queue with the power
// manager's notifications, which its owner closes under a waiting reader.
#pragma once

#include "platform/kernel/wintypes.h"

// Bit of a notification's kind: the device resumed.
inline constexpr DWORD kPowerResume = 0x2;

struct PowerQueue {
    HANDLE queue = nullptr;
    HANDLE notifications = nullptr;
};

// A queue with resume notifications requested into it; a null queue when none
// could be made.
PowerQueue OpenPowerQueue();
// Waits for the next notification: its kind, or false once the queue was closed.
// A message of the wrong size is dropped and reported as kind 0.
bool WaitPowerNotification(HANDLE queue, DWORD* kind);
// Stops the notifications and closes the queue; a waiter returns false.
void ClosePowerQueue(const PowerQueue& queue);
