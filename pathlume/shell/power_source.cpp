#include "pathlume/shell/power_source.h"

#include "platform/kernel/msgqueue.h"
#include "platform/kernel/sync.h"

namespace {
constexpr DWORD kQueueMessages = 10;
constexpr DWORD kLargestMessage = 128;
constexpr DWORD kReadBytes = 16;
}  // namespace

PowerQueue OpenPowerQueue() {
    MSGQUEUEOPTIONS options{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_NOPRECOMMIT, kQueueMessages,
                            kLargestMessage, TRUE};
    PowerQueue power;
    power.queue = CreateMsgQueue(nullptr, &options);
    if (power.queue)
        power.notifications = RequestPowerNotifications(power.queue, PBT_RESUME);
    return power;
}

bool WaitPowerNotification(HANDLE queue, DWORD* kind) {
    if (WaitForSingleObject(queue, INFINITE) != WAIT_OBJECT_0)
        return false;
    BYTE message[kReadBytes] = {};
    DWORD read = 0;
    DWORD flags = 0;
    *kind = 0;
    if (ReadMsgQueue(queue, message, sizeof message, &read, 0, &flags) && read >= sizeof(DWORD))
        *kind = reinterpret_cast<const POWER_BROADCAST*>(message)->Message;
    return true;
}

void ClosePowerQueue(const PowerQueue& power) {
    if (power.notifications)
        StopPowerNotifications(power.notifications);
    if (power.queue)
        CloseMsgQueue(power.queue);
}
