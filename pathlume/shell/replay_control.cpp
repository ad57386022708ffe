#include "pathlume/shell/replay_control.h"

#include "pathlume/position/gps_log.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/track_sim.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/user/user.h"

namespace {

constexpr WCHAR kLogFilter[] = u"GPS Log Files (*.gps)\0*.gps\0";
// The save form's flags (hide read-only, keep the folder, and one the platform
// ignores), with the overwrite question added.
constexpr DWORD kSaveFlags = 0x10000C | OFN_OVERWRITEPROMPT;

OPENFILENAMEW LogFileRequest(HWND owner, LPWSTR path, LPCWSTR title, DWORD flags) {
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = kLogFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = path;
    request.nMaxFile = MAX_PATH;
    request.lpstrTitle = title;
    request.lpstrDefExt = u"gps";
    request.Flags = flags;
    return request;
}

}  // namespace

bool ChooseGpsLogFile(HWND owner, LPWSTR path) {
    path[0] = 0;
    OPENFILENAMEW request =
        LogFileRequest(owner, path, u"Open GPS Log File", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    return GetOpenFileNameW(&request) != FALSE && path[0] != 0;
}

bool ChooseGpsLogSaveFile(HWND owner, LPWSTR path) {
    MakeGpsLogName(path, MAX_PATH);
    OPENFILENAMEW request = LogFileRequest(owner, path, u"Save GPS Log File", kSaveFlags);
    return GetSaveFileNameW(&request) != FALSE && path[0] != 0;
}

int StartLogPlayback(LPCWSTR path) {
    return WithReceiverPort(
        [path](CNmeaReceiver& receiver) { return receiver.OpenPlayback(path); });
}

int StartRouteDemoFeed() {
    return WithReceiverPort([](CNmeaReceiver& receiver) {
        g_trackSim.Start();
        return receiver.StartSimulationFeed();
    });
}

void StopLogRecording() {
    if (CNmeaReceiver* receiver = g_gpsReceiver.load())
        receiver->StopLog();
}
