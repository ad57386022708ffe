#include "pathlume/position/nmea_receiver.h"

#include <algorithm>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_ports.h"
#include "platform/afx/afx_app.h"
#include "platform/afx/afx_wnd.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/threads.h"
#include "platform/user/user.h"

std::atomic<CNmeaReceiver*> g_gpsReceiver{nullptr};

namespace {

constexpr DWORD kWatchdogDisarmed = 0xFFFFFFFF;
constexpr DWORD kDeferredOpenDelayMs = 5000;
constexpr DWORD kOpenGraceMs = 15000;
constexpr DWORD kIdleReadSleepMs = 200;
constexpr DWORD kWorkerStopMs = 5000;
// 200 feet in radians of arc on the map's sphere: a stationary receiver's fixes
// within it of the matched position are not worth matching.
constexpr double kStationaryRadius = 9.56839674787936e-6;
constexpr const WCHAR* kSirfFixValue = u"SiRFFix";
constexpr const WCHAR* kPlaybackDelayValue = u"PlaybackDelay";
constexpr DWORD kDefaultPlaybackDelayMs = 500;
// Playback's waits look at the stop event at least this often.
constexpr DWORD kPlaybackSleepSliceMs = 250;
// With a delay of 0 the waits would spin: the view is asked again after this
// long, and a pan or pause after this.
constexpr DWORD kFixPendingPollMs = 50;
constexpr DWORD kHeldPollMs = 100;
// After a replay of a Bluetooth port's user the port is reopened soon.
constexpr DWORD kBluetoothReopenBackMs = 2000;

HWND MainWindowHandle() {
    CWnd* main = GetAppMainWindow();
    return main ? main->GetSafeHwnd() : nullptr;
}

}  // namespace

CNmeaReceiver::CNmeaReceiver() {
    SetPositionServices(&services_);
    SetPositioningServices(&positioning_);
    SetFixSource(this);
}

CNmeaReceiver::~CNmeaReceiver() {
    Close();
    if (&GetFixSource() == static_cast<IFixSource*>(this))
        SetFixSource(nullptr);
    if (&GetPositionServices() == &services_)
        SetPositionServices(nullptr);
    if (&GetPositioningServices() == &positioning_)
        SetPositioningServices(nullptr);
}

BOOL CNmeaReceiver::IsPortOpen() {
    return port_.IsOpen();
}

void CNmeaReceiver::ReadSettings() {
    settingsHeadingOnlyWhenMoving_.store(
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kSirfFixValue, 1) != 0);
}

std::string CNmeaReceiver::InfoSentence() const {
    std::lock_guard<std::mutex> guard(infoLock_);
    return infoSentence_;
}

NmeaCounters CNmeaReceiver::Counters() const {
    NmeaCounters counters;
    counters.sentences = sentences_.load();
    counters.checksumFailures = checksumFailures_.load();
    counters.refused = refused_.load();
    counters.fixes = fixes_.load();
    return counters;
}

int CNmeaReceiver::PopFix(QueuedFix* fix) {
    QueuedPosition position;
    if (g_positionQueue.Pop(&position) != 0)
        return 1;
    popped_ = position;
    hasPopped_ = true;
    fix->latitude = position.latitude;
    fix->longitude = position.longitude;
    return 0;
}

FLOAT CNmeaReceiver::FixHeading() {
    return hasPopped_ ? popped_.headingDegrees : GetFix().headingDegrees;
}

FLOAT CNmeaReceiver::FixSpeedMph() {
    return hasPopped_ ? popped_.speedMph : GetSpeed(FALSE);
}

bool CNmeaReceiver::FixValid() {
    return GetFix().valid;
}

QueuedFix CNmeaReceiver::FixPosition() {
    const GpsFix fix = GetFix();
    return {fix.latitude, fix.longitude};
}

bool CNmeaReceiver::IsReplaying() {
    return (GetFlags() & kGpsReplayActive) != 0;
}

bool CNmeaReceiver::PositionHold() {
    return g_positionHold.load() != 0;
}

bool CNmeaReceiver::LastPoppedFix(QueuedPosition* position) const {
    if (hasPopped_)
        *position = popped_;
    return hasPopped_;
}

int CNmeaReceiver::DispatchSentence(char* sentence, size_t length) {
    sentences_.fetch_add(1, std::memory_order_relaxed);
    if (length == 0 || sentence[0] != '$' || !VerifyNmeaChecksum(sentence)) {
        checksumFailures_.fetch_add(1, std::memory_order_relaxed);
        return kSentenceNone;
    }
    SetLastSentenceTick(GetTickCount());
    IMainView* view = g_mainView.load();
    const bool infoScreen = view && (view->GetScreenMode() & kScreenModeGpsInfo);
    if (infoScreen) {
        std::lock_guard<std::mutex> guard(infoLock_);
        const size_t n = std::min(length, kInfoSentenceSize - 1);
        std::memcpy(infoSentence_, sentence, n);
        infoSentence_[n] = 0;
    }
    // The parsers split the sentence in place: the log gets it as it came.
    std::string logLine;
    if (GetFlags() & kGpsLogging)
        logLine.assign(sentence, length);
    NmeaSettings settings;
    settings.headingOnlyWhenMoving = settingsHeadingOnlyWhenMoving_.load();
    int typeSeen = 0;
    const int result =
        UpdateFix([&](GpsFix& fix) { return ParseSentence(fix, sentence, settings, &typeSeen); });
    if (typeSeen != 0)
        sentenceTypeMask_.fetch_or(static_cast<DWORD>(typeSeen));
    if (typeSeen == kSentenceRmc && view)
        KeepDeviceAwake();
    if (result == kSentenceRmc) {
        fixes_.fetch_add(1, std::memory_order_relaxed);
        if (infoScreen)
            SendMessageW(view->GetViewWindow(), WM_USER, kGpsInfoUpdateMessage, 1);
    }
    // Every checked sentence is logged, also those no parser took.
    if (!logLine.empty())
        LogSentence(logLine.data(), logLine.size());
    if (result == kSentenceNone) {
        refused_.fetch_add(1, std::memory_order_relaxed);
        return result;
    }
    if (view && view->GetLastDataTime() != kWatchdogDisarmed)
        view->SetLastDataTime(GetTickCount());
    return result;
}

bool CNmeaReceiver::FrameBuffered() {
    bool fixArrived = false;
    framer_.Frame(
        [&](char* sentence, size_t length) {
            if (DispatchSentence(sentence, length) == kSentenceRmc) {
                NotifyFix(kNotifyQueue);
                fixArrived = true;
            }
        },
        [this] { return IsStopping(); });
    return fixArrived;
}

void CNmeaReceiver::FrameBytes(const char* data, size_t size, const std::function<void()>& onFix) {
    framer_.Feed(data, size, [&](char* sentence, size_t length) {
        if (DispatchSentence(sentence, length) == kSentenceRmc) {
            NotifyFix(kNotifyQueue);
            if (onFix)
                onFix();
        }
    });
}

int CNmeaReceiver::FilterAndQueueFix(PositionQueue& queue, const GpsFix& fix) {
    if (!fix.valid || fix.satellitesUsed < 3)
        return 1;
    const FLOAT speed = fix.speedMph > 1.0f ? fix.speedMph : 0;
    if (speed > 4.0f)
        SetFlags(kGpsMoved);
    IMainView* view = g_mainView.load();
    const bool replay = view && view->GetReplayFlag();
    if (speed < 1.0f && !replay && !(queue.LastSpeed() > 1.0f)) {
        const MapPoint matched = g_vehicleLocation.SharedPosition();
        const MapPoint here{fix.latitude, fix.longitude};
        if (PointDistance(matched, here, 0) <= kStationaryRadius) {
            queue.SetLastSpeed(speed);
            return 1;
        }
    }
    queue.Push({fix.latitude, fix.longitude, fix.headingDegrees, speed});
    queue.SetLastSpeed(speed);
    liveFixQueued_.store(source_.load() == Source::Serial);
    return 0;
}

void CNmeaReceiver::NotifyFix(int bits) {
    if (bits & kNotifyQueue)
        FilterAndQueueFix(g_positionQueue, GetFix());
    if (bits & kNotifyPost) {
        const HWND window = GetNotifyWindow();
        if (g_positionHold.load() == 0 && g_positionQueue.Count() > 0 && window &&
            IsWindow(window) && !(GetFlags() & kGpsPaused)) {
            PostNewFixMessage(window, 0);
            Sleep(1);
        }
    }
    PollAutoPanTimeout();
}

DWORD CNmeaReceiver::ReadChunk(DWORD eventMask, bool bluetooth, bool post) {
    const HANDLE port = port_.Handle();
    SetCommMask(port, EV_RXCHAR | EV_ERR);
    if (!(eventMask & EV_RXCHAR) && !bluetooth) {
        Sleep(kIdleReadSleepMs);
        return 0;
    }
    DWORD total = 0;
    bool fixArrived = false;
    while (!IsStopping()) {
        DWORD got = 0;
        if (!ReadFile(port, framer_.FreeSpace(), static_cast<DWORD>(framer_.FreeSize()), &got,
                      nullptr) ||
            got == 0) {
            if (!(eventMask & EV_RXCHAR))
                Sleep(kIdleReadSleepMs);
            break;
        }
        framer_.Commit(got);
        total += got;
        readCount_.fetch_add(1);
        fixArrived = FrameBuffered() || fixArrived;
    }
    if (post && fixArrived)
        NotifyFix(kNotifyPost);
    bytesRead_.fetch_add(total);  // counted once its fixes are handed on
    if (total == 0)
        Sleep(kIdleReadSleepMs);
    return total;
}

int CNmeaReceiver::OpenPort(LPCWSTR portName, DWORD baudRate, DWORD, BOOL reportFailures) {
    ClearFlags(kGpsBluetoothFailed);
    const bool bluetooth = portName && g_btPort.name.Get() == portName;
    bool browser = false;
    if (bluetooth) {
        if (GetBtStackMode(g_btPort) == 0) {
            SetBtBrowserEnabled(g_btPort, TRUE);
            if (StartBtTray(g_btPort, TRUE) < 1) {
                AfxMessageBox(u"Couldn't enable Bluetooth Radio", MB_OK | MB_ICONSTOP);
                return kOpenRadioOff;
            }
        }
        // The stack shows its own device browser, so failures are not reported here.
        browser = GetBtBrowserEnabled(g_btPort) != 0;
        if (browser)
            reportFailures = FALSE;
    }
    const int result = port_.Reopen(portName, baudRate, 8, NOPARITY, ONESTOPBIT, reportFailures);
    if (result == kPortOpened) {
        SetFlags(kGpsPortOpen);
        source_.store(Source::Serial);
        if (bluetooth && browser) {
            if (IMainView* view = g_mainView.load())
                view->BringToFront();
            SetBtBrowserEnabled(g_btPort, FALSE);
        }
    } else if (bluetooth) {
        SetFlags(kGpsBluetoothFailed);
    }
    return result;
}

int CNmeaReceiver::Open(LPCWSTR portName, DWORD baudRate, BOOL reportFailures) {
    if (TestAndClearIdle() != 0 && (workerThread_.load() || openNesting_.load() != 0))
        return kOpenInProgress;
    ++openNesting_;
    const bool deferred =
        port_.Handle() != INVALID_HANDLE_VALUE && g_gpsPortName.Get() == g_btPort.name.Get();
    if (deferred && readCount_.load() == 0)
        SetBtBrowserEnabled(g_btPort, TRUE);
    Close();
    ResetMapMatcher();
    IMainView* view = g_mainView.load();
    bool watchdogArmed = false;
    if (view && view->GetLastDataTime() != kWatchdogDisarmed) {
        view->SetLastDataTime(kWatchdogDisarmed);
        watchdogArmed = true;
    }
    ReadSettings();
    int result = 0;
    if (deferred) {
        // A Bluetooth link needs time to drop before it is opened again.
        Sleep(kDeferredOpenDelayMs);
        std::lock_guard<std::mutex> guard(deferredLock_);
        deferred_ = DeferredOpen{true, portName ? portName : u"", watchdogArmed, baudRate, FALSE};
    } else {
        {
            std::lock_guard<std::mutex> guard(deferredLock_);
            deferred_ = DeferredOpen{};
        }
        result = OpenPort(portName, baudRate, 0, reportFailures);
    }
    if (result == 0) {
        HANDLE thread =
            CreateThread(nullptr, 0, ReaderThreadStart, this, CREATE_SUSPENDED, nullptr);
        if (!thread) {
            MessageBoxW(MainWindowHandle(), u"Unable to create read thread", u"Error", MB_OK);
            result = kOpenNoThread;
        } else {
            SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
            workerThread_.store(thread);
            ResumeThread(thread);
        }
    }
    if (watchdogArmed && view) {
        DWORD due = GetTickCount() + kOpenGraceMs;
        if (due == 0)
            due = GetTickCount();
        view->SetLastDataTime(due);
    }
    if (!(result == 0 && deferred))
        SetIdle();
    --openNesting_;
    return result;
}

bool CNmeaReceiver::IsWorkerRunning() const {
    const HANDLE thread = workerThread_.load();
    return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

DWORD CNmeaReceiver::ReaderThreadStart(LPVOID self) {
    return static_cast<CNmeaReceiver*>(self)->ReaderThread();
}

DWORD CNmeaReceiver::ReaderThread() {
    workerRunning_.store(TRUE);
    DeferredOpen deferred;
    {
        std::lock_guard<std::mutex> guard(deferredLock_);
        deferred = deferred_;
    }
    if (deferred.pending) {
        const int result =
            OpenPort(deferred.portName.c_str(), deferred.baudRate, 0, deferred.reportFailures);
        SetIdle();
        if (result != 0) {
            workerRunning_.store(FALSE);
            return static_cast<DWORD>(result);
        }
    }
    if (!IsStopping()) {
        framer_.Clear();
        const bool bluetooth = IsBluetoothGpsPort();
        for (;;) {
            const HANDLE port = port_.Handle();
            if (port == INVALID_HANDLE_VALUE)
                break;
            SetCommMask(port, EV_RXCHAR | EV_ERR);
            ClearCommBreak(port);
            DWORD errors = 0;
            COMSTAT status{};
            ClearCommError(port, &errors, &status);
            DWORD eventMask = 0;
            if (!WaitCommEvent(port, &eventMask, nullptr))
                break;
            if (eventMask == 0 && !bluetooth)
                break;
            ReadChunk(eventMask, bluetooth, true);
        }
    }
    workerRunning_.store(FALSE);
    return 0;
}

void CNmeaReceiver::StopWorker() {
    const HANDLE thread = workerThread_.exchange(nullptr);
    if (!thread)
        return;
    {
        CWaitCursor waitCursor;
        // The reader may be blocked in its synchronous WM_USER 1 to this very thread:
        // serve sent messages while waiting, or both would wait out the time-out.
        const uint64_t deadline = platform::ClockMilliseconds() + kWorkerStopMs;
        for (;;) {
            const uint64_t now = platform::ClockMilliseconds();
            if (now >= deadline)
                break;
            const DWORD wait = MsgWaitForMultipleObjects(
                1, &thread, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
            if (wait == WAIT_OBJECT_0 || wait == WAIT_FAILED)
                break;
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        }
        if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0)
            TerminateThread(thread, 0);
    }
    CloseHandle(thread);
}

void CNmeaReceiver::OverridePlaybackDelay(std::optional<DWORD> delayMs) {
    playbackDelayOverride_.store(delayMs ? static_cast<int64_t>(*delayMs) : -1);
}

DWORD CNmeaReceiver::PlaybackDelay() const {
    const int64_t override = playbackDelayOverride_.load();
    if (override >= 0)
        return static_cast<DWORD>(override);
    return RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kPlaybackDelayValue,
                       kDefaultPlaybackDelayMs);
}

std::u16string CNmeaReceiver::PlaybackPath() const {
    std::lock_guard<std::mutex> guard(playbackLock_);
    return playbackPath_;
}

int CNmeaReceiver::OpenPlayback(LPCWSTR path) {
    Close();
    {
        std::lock_guard<std::mutex> guard(playbackLock_);
        if (!path || playback_.Open(path) != 0)
            return 1;
        playbackPath_ = path;
    }
    SetFlags(kGpsReplayActive);
    source_.store(Source::Replay);
    ResetMapMatcher();
    ReadSettings();
    HANDLE thread = CreateThread(nullptr, 0, PlaybackThreadStart, this, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        MessageBoxW(MainWindowHandle(), u"Unable to create read thread", u"Error",
                    MB_OK | MB_ICONSTOP);
        std::lock_guard<std::mutex> guard(playbackLock_);
        playback_.Close();
        ClearFlags(kGpsReplayActive);
        return 2;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    workerThread_.store(thread);
    ResumeThread(thread);
    return 0;
}

DWORD CNmeaReceiver::PlaybackThreadStart(LPVOID self) {
    return static_cast<CNmeaReceiver*>(self)->PlaybackThread();
}

bool CNmeaReceiver::PlaybackHeld() const {
    const bool paused = (GetFlags() & kGpsPaused) != 0;
    IMainView* view = g_mainView.load();
    return paused || (view && view->IsPanMode());
}

void CNmeaReceiver::SleepUnlessStopped(DWORD milliseconds) const {
    while (milliseconds > 0 && !IsStopping()) {
        const DWORD slice = std::min(milliseconds, kPlaybackSleepSliceMs);
        Sleep(slice);
        milliseconds -= slice;
    }
}

DWORD CNmeaReceiver::PlaybackThread() {
    workerRunning_.store(TRUE);
    const DWORD delay = PlaybackDelay();
    DWORD lastFix = GetTickCount();
    if (IMainView* view = g_mainView.load())
        view->SetLastDataTime(kWatchdogDisarmed);
    char line[kPlaybackLineMax + 1];
    bool fileGone = false;
    while (!IsStopping()) {
        int length;
        {
            std::lock_guard<std::mutex> guard(playbackLock_);
            if (!playback_.IsOpen()) {
                fileGone = true;
                break;
            }
            length = playback_.NextLine(line);
        }
        if (length < 0)
            break;
        if (DispatchSentence(line, static_cast<size_t>(length)) != kSentenceRmc)
            continue;
        IMainView* view = g_mainView.load();
        const bool infoScreen = view && (view->GetScreenMode() & kScreenModeGpsInfo);
        if (!GetFix().valid && !infoScreen)
            continue;
        NotifyFix(kNotifyQueue | kNotifyPost);
        // Paced from the last fix, so a log of one fix a second plays at one per delay.
        const DWORD elapsed = GetTickCount() - lastFix;
        if (elapsed < delay)
            SleepUnlessStopped(delay - elapsed);
        WaitWhileFixPending(stopEvent_, std::max(delay / 4, kFixPendingPollMs));
        while (!IsStopping() && PlaybackHeld())
            WaitForSingleObject(stopEvent_, std::max(delay, kHeldPollMs));
        lastFix = GetTickCount();
    }
    if (!fileGone) {
        std::lock_guard<std::mutex> guard(playbackLock_);
        playback_.Close();
    }
    ClearFlags(kGpsReplayActive);
    if (IMainView* view = g_mainView.load())
        view->SetLastDataTime(GetTickCount());
    const HWND window = GetNotifyWindow();
    if (window && IsWindow(window))
        PostMessageW(window, WM_USER, kViewPlaybackEnded, 0);
    workerRunning_.store(FALSE);
    return 0;
}

void CNmeaReceiver::Close() {
    g_positionQueue.Clear();
    NotifyBtTray(g_btPort);
    port_.Close();  // also ends a pending WaitCommEvent
    SetEvent(stopEvent_);
    StopWorker();
    workerRunning_.store(FALSE);
    // Only a position the live receiver gave is a last position: not a played log's
    // or a demonstration's, also when the port is closed again after one ended.
    if (source_.exchange(Source::None) != Source::Replay) {
        if (liveFixQueued_.load())
            SaveLastPosition(nullptr);
    } else {
        {
            // Closed under the lock: a playback thread that did not stop finds no
            // file and ends, rather than reading a closed one.
            std::lock_guard<std::mutex> guard(playbackLock_);
            playback_.Close();
        }
        IMainView* view = g_mainView.load();
        if (view && IsBluetoothGpsPort()) {
            DWORD due = GetTickCount() - kBluetoothReopenBackMs;
            if (due == 0)
                due = GetTickCount();
            view->SetLastDataTime(due);
        }
    }
    ClearFlags(kGpsReplayActive);
    readCount_.store(0);
    ResetEvent(stopEvent_);
    UpdateFix([](GpsFix& fix) {
        fix.speedMph = 0;
        fix.satellitesUsed = 0;
        fix.valid = false;
        fix.fixMode = kFixModeNone;
    });
    ClearFlags(kGpsPortOpen | kGpsBluetoothFailed);
    g_positionQueue.Clear();
    std::lock_guard<std::mutex> guard(deferredLock_);
    deferred_ = DeferredOpen{};
}
