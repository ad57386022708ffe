// Opening and closing the GPS receiver's port from the user-interface thread and
// the power thread: one at a time, never both at once.
#pragma once

#include "platform/kernel/wintypes.h"

// The receiver's Open (0 on success); 1 when there is no receiver.
int OpenReceiverPort(LPCWSTR portName, DWORD baudRate, BOOL reportFailures);
// The receiver's Close; nothing when there is no receiver.
void CloseReceiverPort();
