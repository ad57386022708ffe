// Point-to-point message queues and the power manager's notifications.
//
// Message queues
// - CreateMsgQueue makes a queue with a reading or a writing end (bReadAccess). A
//   queue without a name has one end only, so its only use here is as the target of
//   RequestPowerNotifications; a named queue is shared in the process: a second
//   create of the name opens the other end (or another handle on the same end) of the
//   same queue, with ERROR_ALREADY_EXISTS.
// - A reading handle is waitable: it is signalled while a message waits. A writing
//   handle is signalled while there is room. Closing the last handle of an end
//   (CloseMsgQueue, or CloseHandle) makes every wait on that handle fail (WAIT_FAILED,
//   ERROR_INVALID_HANDLE), so a thread waiting without time-out on its queue ends
//   when another thread closes it.
// - ReadMsgQueue takes the oldest message whole. A buffer shorter than the message
//   fails with ERROR_INSUFFICIENT_BUFFER and drops the message. Waits (reads on an
//   empty queue, writes to a full one) follow the platform clock; ERROR_TIMEOUT
//   when they run out. Writing to a queue whose readers are all gone fails with
//   ERROR_PIPE_NOT_CONNECTED unless it was made with MSGQUEUE_ALLOW_BROKEN.
//
// Power notifications
// - RequestPowerNotifications writes a POWER_BROADCAST (12 bytes: Message, Flags,
//   Length 0) into the queue for each event of the kinds asked for. The only event
//   here is PBT_RESUME, reported when
//     - the host itself was suspended: the boot-time clock ran ahead of the monotonic
//       clock by more than 2 s between two looks, one a second;
//     - the SDL window's user pressed F12 twice (the device was asleep between);
//     - platform::SimulatePowerResume was called (tests, scripted runs).
// - A full queue drops the notification rather than wait.
#pragma once

#include <cstdint>

#include "platform/kernel/wintypes.h"

#define MSGQUEUE_NOPRECOMMIT 0x00000001
#define MSGQUEUE_ALLOW_BROKEN 0x00000002
#define MSGQUEUE_MSGALERT 0x00000001

#ifndef ERROR_PIPE_NOT_CONNECTED
#define ERROR_PIPE_NOT_CONNECTED 233L
#endif

struct MSGQUEUEOPTIONS {
    DWORD dwSize;         // sizeof(MSGQUEUEOPTIONS)
    DWORD dwFlags;        // MSGQUEUE_NOPRECOMMIT, MSGQUEUE_ALLOW_BROKEN
    DWORD dwMaxMessages;  // 0: no limit
    DWORD cbMaxMessage;   // the largest message, in bytes (at least 1)
    BOOL bReadAccess;     // TRUE: the reading end
};
typedef MSGQUEUEOPTIONS* LPMSGQUEUEOPTIONS;
typedef MSGQUEUEOPTIONS* PMSGQUEUEOPTIONS;

struct MSGQUEUEINFO {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwMaxMessages;
    DWORD cbMaxMessage;
    DWORD dwCurrentMessages;
    DWORD dwMaxQueueMessages;
    WORD wNumReaders;
    WORD wNumWriters;
};
typedef MSGQUEUEINFO* LPMSGQUEUEINFO;

// Null (with the error set) for bad options.
HANDLE CreateMsgQueue(LPCWSTR name, LPMSGQUEUEOPTIONS options);
// *flags (may be null) receives MSGQUEUE_MSGALERT for a message written with it.
BOOL ReadMsgQueue(HANDLE queue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead,
                  DWORD milliseconds, DWORD* flags);
BOOL WriteMsgQueue(HANDLE queue, LPVOID buffer, DWORD dataSize, DWORD milliseconds, DWORD flags);
BOOL GetMsgQueueInfo(HANDLE queue, LPMSGQUEUEINFO info);
BOOL CloseMsgQueue(HANDLE queue);

// Power notification kinds (POWER_BROADCAST.Message, and RequestPowerNotifications'
// flags).
#define PBT_TRANSITION 0x00000001
#define PBT_RESUME 0x00000002
#define PBT_POWERSTATUSCHANGE 0x00000004
#define PBT_POWERINFOCHANGE 0x00000008
#define POWER_NOTIFY_ALL 0xFFFFFFFF

struct POWER_BROADCAST {
    DWORD Message;
    DWORD Flags;
    DWORD Length;  // of SystemPowerState in bytes; 0 here
    WCHAR SystemPowerState[1];
};
typedef POWER_BROADCAST* PPOWER_BROADCAST;
// What one notification message holds: the three words, no state name.
#define POWER_BROADCAST_MESSAGE_SIZE 12

// The queue must be one this process made with a reading end. Returns the handle to
// give StopPowerNotifications; null (with the error set) otherwise.
HANDLE RequestPowerNotifications(HANDLE msgQueue, DWORD flags);
BOOL StopPowerNotifications(HANDLE notifications);

// Keeps the device from switching itself off for a while. On the SDL window the
// host's screensaver stays off until 60 s after the last call; headless, it is
// only counted.
void SystemIdleTimerReset();

namespace platform {

// Reports a resume to every power notification request, as a host suspend does.
void SimulatePowerResume();

// How many times SystemIdleTimerReset was called, and the platform clock of the last
// call (0 when never).
uint64_t IdleTimerResetCount();
uint64_t LastIdleTimerReset();

}  // namespace platform
