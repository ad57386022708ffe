// The view and file commands of menu 2000: the screens, north up, the GPS port
// detector, the help viewer and the recording of a GPS track.
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/replay_control.h"
#include "platform/kernel/process.h"

namespace {

constexpr UINT kCommandRecordTrack = 3031;
constexpr UINT kStringStopRecording = 6013;
constexpr UINT kStringRecordTrack = 6014;

}  // namespace

void CMainView::OnMapView() {
    SwitchScreen(kScreenMap);
}

void CMainView::OnGuidanceView() {
    SwitchScreen(kScreenGuidance);
}

void CMainView::OnRouteList() {
    SwitchScreen(static_cast<int>(kScreenKeepPan | kScreenRouteList));
}

void CMainView::ToggleRouteList() {
    if (screenMode.load() == kScreenRouteList)
        SwitchScreen(kScreenMap);
    else
        OnRouteList();
}

void CMainView::OnGpsInfo() {
    if (fullScreen)
        LayoutWindow(0);
    if (screenMode.load() == kScreenGpsInfo)
        SwitchScreen(kScreenMap);
    else
        SwitchScreen(static_cast<int>(kScreenKeepPan | kScreenGpsInfo));
}

void CMainView::ToggleGpsInfo() {
    OnGpsInfo();
}

void CMainView::OnAlmanac() {
    SwitchScreen(static_cast<int>(kScreenKeepPan | kScreenAlmanac));
}

void CMainView::OnNorthUp() {
    ToggleOptionFlag(kOptionNorthUp);
    forceRedraw = TRUE;
    Refresh();
}

void CMainView::OnAutoDetect() {
    WCHAR path[MAX_PATH] = {};
    if (FindDataFileOnCards(u"portscout.exe", path, FALSE) != 0)
        lstrcpyW(path, u"portscout.exe");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = m_hWnd;
    info.lpVerb = u"open";
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    // A detector that is not installed fails without a word, as the shell's call does.
    ShellExecuteExW(&info);
}

void CMainView::OnHelp() {
    WCHAR commandLine[] = u"pathlume.htm#Main_Contents";
    PROCESS_INFORMATION process{};
    if (CreateProcessW(u"PegHelp.exe", commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       nullptr, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

void CMainView::OnRecordTrack() {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (!receiver)
        return;
    if ((receiver->GetFlags() & kGpsReplayActive) && receiver->IsWorkerRunning()) {
        // A replay feeds the receiver: the live port comes back before recording.
        if (demoRunning.load())
            OnDemoRoute();
        else
            OnPlayTrack();
    }
    if (!(receiver->GetFlags() & kGpsLogging)) {
        WCHAR path[MAX_PATH] = {};
        BeginModalScreen();
        const bool chosen = ChooseGpsLogSaveFile(m_hWnd, path);
        EndModalScreen(FALSE);
        if (chosen && receiver->StartLog(path) == 0)
            SetMenuText(kCommandRecordTrack, kStringStopRecording);
    } else {
        receiver->StopLog();
        SetMenuText(kCommandRecordTrack, kStringRecordTrack);
    }
    if (modalCount.load() <= 0)
        Refresh();
}
