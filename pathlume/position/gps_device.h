// The GPS device: the current fix, the events that keep opens and the worker
// thread apart, and the flags word. CNmeaReceiver is the one concrete device.
//
// The worker thread writes the fix and the user-interface thread reads it, so the
// fix lives under a lock and is handed out as a copy; the flags are atomic.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "pathlume/position/gps_fix.h"
#include "pathlume/position/gps_log.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/wintypes.h"

// Bits of CGpsDevice::GetFlags.
inline constexpr DWORD kGpsFixValid = 0x1;
inline constexpr DWORD kGpsPortOpen = 0x2;
inline constexpr DWORD kGpsReplayActive = 0x4;
inline constexpr DWORD kGpsLogging = 0x8;
inline constexpr DWORD kGpsPaused = 0x10;
inline constexpr DWORD kGpsBluetoothFailed = 0x20;
inline constexpr DWORD kGpsMoved = 0x40;  // a fix above 4 mph was seen

// GetFixQuality.
inline constexpr int kFixQualityNone = 0;
inline constexpr int kFixQualityPoor = 1;
inline constexpr int kFixQualityGood = 2;

class CGpsDevice {
  public:
    CGpsDevice();
    virtual ~CGpsDevice();
    CGpsDevice(const CGpsDevice&) = delete;
    CGpsDevice& operator=(const CGpsDevice&) = delete;

    virtual int Open(LPCWSTR portName, DWORD baudRate, BOOL reportFailures) = 0;
    // Plays a GPS log in place of a live receiver: 0, 1 the file cannot be opened,
    // 2 the thread cannot be created.
    virtual int OpenPlayback(LPCWSTR path) = 0;
    virtual void Close() = 0;
    // Records every sentence whose checksum passes into the log at `path` (created or
    // emptied): 0, or 1 with logging off. Logging goes on across sources until
    // StopLog.
    virtual int StartLog(LPCWSTR path);
    virtual void StopLog();
    virtual BOOL IsPortOpen() = 0;

    // Counts a logged sentence and flushes the log on every 61st; a failed flush ends
    // logging: 1 then, else 0.
    int FlushLog();
    std::u16string LogPath() const { return log_.Path(); }

    // One consistent copy of the fix.
    GpsFix GetFix() const;
    // Runs `change` on the fix under its lock (the parsers, the simulation feed).
    template <class Change>
    auto UpdateFix(Change&& change) {
        std::lock_guard<std::mutex> guard(fixLock_);
        return change(fix_);
    }

    DWORD GetFlags() const;
    void SetFlags(DWORD bits) { flags_.fetch_or(bits); }
    void ClearFlags(DWORD bits) { flags_.fetch_and(~bits); }

    int GetFixQuality() const;
    // 0 at or below 1 mph; else mph, or km/h when kmh is non-zero.
    FLOAT GetSpeed(BOOL kmh) const;
    // Clears the valid flag, the satellites used and the speed.
    void ClearFix();
    // 1 while no date has been received, else 0 with the UTC time filled in.
    int GetUtcTime(SYSTEMTIME* time) const;
    LPWSTR FormatLocalTime(LPWSTR buffer, size_t sizeChars) const;
    LPWSTR FormatUtcTime(LPWSTR buffer, size_t sizeChars) const;
    // 0 pauses the replay threads, non-zero lets them run.
    void SetPaused(int run);

    // The idle event: signalled while no open is in progress. True while one is (the
    // event is reset): the watchdog leaves such a port alone.
    BOOL IsOpenInProgress() const;
    void SetIdle();
    // 1 while an open is in progress; else marks one as started and returns 0.
    int TestAndClearIdle();

    // The last position and heading saved in the registry become the fix's.
    void LoadLastPosition();
    // Saves the position (null: the matched vehicle position) with the fix's
    // heading, unless a coordinate is 0.
    void SaveLastPosition(const FLOAT* position);

    HANDLE StopEvent() const { return stopEvent_; }
    HANDLE DataEvent() const { return dataEvent_; }
    bool IsStopping() const;

    void SetNotifyWindow(HWND window) { notifyWindow_.store(window); }
    HWND GetNotifyWindow() const { return notifyWindow_.load(); }

    // GetTickCount of the last sentence whose checksum passed.
    DWORD LastSentenceTick() const { return lastSentenceTick_.load(); }
    void SetLastSentenceTick(DWORD tick) { lastSentenceTick_.store(tick); }

  protected:
    // Writes a checked sentence to the log while logging (and the main view is not
    // suspended); a failed write reopens the log where its whole lines end.
    void LogSentence(const char* sentence, size_t length);

    HANDLE idleEvent_ = nullptr;  // manual reset, created signalled
    HANDLE dataEvent_ = nullptr;  // auto reset
    HANDLE stopEvent_ = nullptr;  // manual reset
    std::atomic<LONG> openNesting_{0};
    std::atomic<BOOL> workerRunning_{FALSE};
    std::atomic<HANDLE> workerThread_{nullptr};

  private:
    mutable std::mutex fixLock_;
    GpsFix fix_;
    // Every bit but kGpsFixValid, which is fix_.valid, and kGpsLogging, which is the
    // log's own: a failed write or flush ends logging on the worker thread.
    std::atomic<DWORD> flags_{0};
    CGpsLog log_;
    std::atomic<HWND> notifyWindow_{nullptr};
    std::atomic<DWORD> lastSentenceTick_{0};
};

// Registry values of the last position (DWORDs holding a float's bits).
inline constexpr const WCHAR* kLastLatValue = u"LastLat";
inline constexpr const WCHAR* kLastLonValue = u"LastLon";
inline constexpr const WCHAR* kLastHeadValue = u"LastHead";
