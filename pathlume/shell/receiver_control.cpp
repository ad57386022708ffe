#include "pathlume/shell/receiver_control.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "pathlume/position/nmea_receiver.h"
#include "platform/user/user.h"

namespace {

std::mutex g_portLock;
// The thread that holds the port, and what waits for it to let go: that thread alone
// adds to the list (from inside a box or a wait of its own open or close) and runs it.
std::atomic<std::thread::id> g_portHolder{};
std::vector<std::function<void()>> g_afterRelease;
constexpr DWORD kLockPollMs = 5;

bool HeldHere() {
    return g_portHolder.load() == std::this_thread::get_id();
}

// Closing waits for the reader thread, which may be inside a synchronous message to
// the user-interface thread: whoever waits here keeps serving sent messages.
class PortHold {
  public:
    PortHold() : lock_(g_portLock, std::try_to_lock) {
        while (!lock_.owns_lock()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kLockPollMs, QS_SENDMESSAGE);
            MSG ignored;
            PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE);
            lock_.try_lock();
        }
        g_portHolder.store(std::this_thread::get_id());
    }
    ~PortHold() {
        std::vector<std::function<void()>> after = std::move(g_afterRelease);
        g_afterRelease.clear();
        g_portHolder.store(std::thread::id());
        lock_.unlock();
        for (const std::function<void()>& action : after)
            action();
    }
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;

  private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace

bool DeferWhileReceiverPortHeld(std::function<void()> action) {
    if (!HeldHere())
        return false;
    g_afterRelease.push_back(std::move(action));
    return true;
}

int OpenReceiverPort(LPCWSTR portName, DWORD baudRate, BOOL reportFailures) {
    // Asked for from inside a box of an open: that open is still under way.
    if (HeldHere())
        return kOpenInProgress;
    const PortHold hold;
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    return receiver ? receiver->Open(portName, baudRate, reportFailures) : 1;
}

void CloseReceiverPort() {
    // Asked for from inside a box of an open: closed once that open has ended, rather
    // than pulled from under it.
    if (DeferWhileReceiverPortHeld(CloseReceiverPort))
        return;
    const PortHold hold;
    if (CNmeaReceiver* receiver = g_gpsReceiver.load())
        receiver->Close();
}

int WithReceiverPort(const std::function<int(CNmeaReceiver&)>& action) {
    if (HeldHere())
        return 1;
    const PortHold hold;
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    return receiver ? action(*receiver) : 1;
}
