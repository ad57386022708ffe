#include "pathlume/shell/receiver_control.h"

#include <mutex>

#include "pathlume/position/nmea_receiver.h"
#include "platform/user/user.h"

namespace {

std::mutex g_portLock;
constexpr DWORD kLockPollMs = 5;

// Closing waits for the reader thread, which may be inside a synchronous message to
// the user-interface thread: whoever waits here keeps serving sent messages.
std::unique_lock<std::mutex> LockPort() {
    std::unique_lock<std::mutex> lock(g_portLock, std::try_to_lock);
    while (!lock.owns_lock()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kLockPollMs, QS_SENDMESSAGE);
        MSG ignored;
        PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE);
        lock.try_lock();
    }
    return lock;
}

}  // namespace

int OpenReceiverPort(LPCWSTR portName, DWORD baudRate, BOOL reportFailures) {
    const std::unique_lock<std::mutex> lock = LockPort();
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    return receiver ? receiver->Open(portName, baudRate, reportFailures) : 1;
}

void CloseReceiverPort() {
    const std::unique_lock<std::mutex> lock = LockPort();
    if (CNmeaReceiver* receiver = g_gpsReceiver.load())
        receiver->Close();
}

int WithReceiverPort(const std::function<int(CNmeaReceiver&)>& action) {
    const std::unique_lock<std::mutex> lock = LockPort();
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    return receiver ? action(*receiver) : 1;
}
