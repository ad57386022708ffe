// Opening and closing the GPS receiver's port from the user-interface thread and
// the power thread: one at a time, never both at once.
#pragma once

#include <functional>

#include "platform/kernel/wintypes.h"

class CNmeaReceiver;

// The receiver's Open (0 on success); 1 when there is no receiver.
int OpenReceiverPort(LPCWSTR portName, DWORD baudRate, BOOL reportFailures);
// The receiver's Close; nothing when there is no receiver.
void CloseReceiverPort();
// Runs what closes or opens the receiver's source another way (a log playback, the
// route demonstration's feed) under the same lock: its result, 1 without a receiver.
int WithReceiverPort(const std::function<int(CNmeaReceiver&)>& action);
