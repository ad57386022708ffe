#include "pathlume/shell/replay_control.h"

#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/track_sim.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/user/user.h"

bool ChooseGpsLogFile(HWND owner, LPWSTR path) {
    static constexpr WCHAR kFilter[] = u"GPS Log Files (*.gps)\0*.gps\0";
    path[0] = 0;
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = kFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = path;
    request.nMaxFile = MAX_PATH;
    request.lpstrTitle = u"Open GPS Log File";
    request.lpstrDefExt = u"gps";
    request.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameW(&request) != FALSE && path[0] != 0;
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
