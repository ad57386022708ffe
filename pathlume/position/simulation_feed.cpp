// The route demonstration's side of the receiver: the feed thread that turns each
// position the track simulator publishes into a fix, and the positioning
// interface's call into the simulator.
#include <algorithm>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/track_sim.h"
#include "platform/afx/afx_wnd.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/threads.h"
#include "platform/user/user.h"

namespace {

constexpr const WCHAR* kPlaybackDelayValue = u"PlaybackDelay";
constexpr DWORD kPlaybackDelayDefault = 500;
constexpr DWORD kPausePollMs = 250;
constexpr DWORD kWatchdogDisarmed = 0xFFFFFFFF;

}  // namespace

void ReceiverPositioningServices::StepTrackSim() {
    g_trackSim.Step();
}

int CNmeaReceiver::StartSimulationFeed() {
    Close();
    SetFlags(kGpsReplayActive);
    source_.store(Source::Replay);
    ResetMapMatcher();
    const HANDLE thread =
        CreateThread(nullptr, 0, SimulationFeedThreadStart, this, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        CWnd* main = GetAppMainWindow();
        MessageBoxW(main ? main->GetSafeHwnd() : nullptr, u"Unable to create GPS thread", u"Error",
                    MB_OK | MB_ICONSTOP);
        // Left closed: no replay runs.
        ClearFlags(kGpsReplayActive);
        source_.store(Source::None);
        return kSimulationNoThread;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    workerThread_.store(thread);
    ResumeThread(thread);
    return 0;
}

DWORD CNmeaReceiver::SimulationFeedThreadStart(LPVOID self) {
    return static_cast<CNmeaReceiver*>(self)->SimulationFeedThread();
}

DWORD CNmeaReceiver::SimulationFeedThread() {
    workerRunning_.store(TRUE);
    const DWORD delay =
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kPlaybackDelayValue, kPlaybackDelayDefault);
    // A delay of 0 still waits for the view rather than spinning.
    const DWORD poll = std::max<DWORD>(delay / 4, 1);
    DWORD lastPass = GetTickCount();
    if (IMainView* view = g_mainView.load())
        view->SetLastDataTime(kWatchdogDisarmed);
    const HANDLE events[2] = {stopEvent_, dataEvent_};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        IMainView* view = g_mainView.load();
        if (view && (view->GetScreenMode() & kScreenModeGpsInfo))
            SendMessageW(view->GetViewWindow(), WM_USER, kGpsInfoUpdateMessage, 1);
        const MapPoint position = g_trackSim.PublishedPosition();
        const FLOAT heading = g_trackSim.PublishedHeading();
        UpdateFix([&](GpsFix& fix) {
            fix.latitude = position.latitude;
            fix.longitude = position.longitude;
            fix.headingDegrees = heading;
            fix.valid = true;
            fix.satellitesUsed = 4;
        });
        while ((GetFlags() & kGpsPaused) && !IsStopping())
            Sleep(kPausePollMs);
        if (!IsStopping()) {
            const bool queued = FilterAndQueueFix(g_positionQueue, GetFix()) == 0;
            const HWND window = GetNotifyWindow();
            // Posted for the fix queued even when a map drawing matched it meanwhile:
            // only the view's message steps the demonstration on.
            if (g_positionHold.load() == 0 && (queued || g_positionQueue.Count() > 0) && window &&
                IsWindow(window)) {
                PostNewFixMessage(window, kSimulatedFix);
                Sleep(1);
            }
        }
        // One fix per delay, and none before the view has taken the last.
        for (;;) {
            WaitWhileFixPending(stopEvent_, poll);
            const DWORD waited = GetTickCount() - lastPass;
            if (IsStopping() || waited >= delay)
                break;
            // In slices that see the stop: a long delay must not outlive the close.
            SleepUnlessStopped(std::min(poll, delay - waited));
        }
        lastPass = GetTickCount();
    }
    ClearFlags(kGpsReplayActive);
    if (IMainView* view = g_mainView.load()) {
        view->SetReplayFlag(FALSE);
        framer_.Clear();
        view->SetLastDataTime(GetTickCount());
    }
    const HWND window = GetNotifyWindow();
    if (window && IsWindow(window))
        PostMessageW(window, WM_USER, kViewSimulationEnded, 0);
    workerRunning_.store(FALSE);
    return 0;
}
