// Opening and closing the GPS receiver's port from the user-interface thread and
// the power thread: one at a time, never both at once. An open may show a box, whose
// loop runs the thread's other messages while the port is held: what they ask of the
// port never waits for the thread itself (an open or a replay is refused as under
// way, a close comes once the port is let go).
#pragma once

#include <functional>

#include "platform/kernel/wintypes.h"

class CNmeaReceiver;

// The receiver's Open (0 on success); 1 when there is no receiver; kOpenInProgress
// when this thread holds the port already.
int OpenReceiverPort(LPCWSTR portName, DWORD baudRate, BOOL reportFailures);
// The receiver's Close; nothing when there is no receiver.
void CloseReceiverPort();
// Runs what closes or opens the receiver's source another way (a log playback, the
// route demonstration's feed) under the same lock: its result, 1 without a receiver
// or when this thread holds the port already.
int WithReceiverPort(const std::function<int(CNmeaReceiver&)>& action);
// When this thread holds the port (it is inside a box or a wait of an open or close),
// keeps the action until the port is let go and returns true; else false, and the
// action is not kept.
bool DeferWhileReceiverPortHeld(std::function<void()> action);
