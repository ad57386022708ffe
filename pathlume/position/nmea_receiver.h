// The NMEA receiver: a serial port, the reader thread that frames and parses what
// it brings, and the hand-over of each completed fix to the position queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "pathlume/position/fix_source.h"
#include "pathlume/position/gps_device.h"
#include "pathlume/position/gps_log.h"
#include "pathlume/position/nmea_parser.h"
#include "pathlume/position/position_queue.h"
#include "pathlume/position/receiver_positioning.h"
#include "pathlume/position/receiver_services.h"
#include "pathlume/position/serial_port.h"

// Bits of CNmeaReceiver::NotifyFix.
inline constexpr int kNotifyQueue = 1;
inline constexpr int kNotifyPost = 2;

// Results of Open beyond the serial port's codes.
inline constexpr int kOpenInProgress = -1;
inline constexpr int kOpenRadioOff = -5;
inline constexpr int kOpenNoThread = 5;
// StartSimulationFeed: the feed thread cannot be made.
inline constexpr int kSimulationNoThread = 2;

// What DispatchSentence has seen since the receiver was made.
struct NmeaCounters {
    uint64_t sentences = 0;         // framed sentences
    uint64_t checksumFailures = 0;  // refused for their checksum or leading '$'
    uint64_t refused = 0;           // passed the checksum, taken by no parser
    uint64_t fixes = 0;             // RMC sentences that completed a fix
};

// The receiver is also what the map matcher reads (IFixSource): it installs itself
// as the fix source while it lives.
class CNmeaReceiver final : public CGpsDevice, public IFixSource {
  public:
    // The kind of source Close ends: only a real receiver's end is a last position.
    enum class Source { None, Serial, Replay };

    CNmeaReceiver();
    ~CNmeaReceiver() override;

    int Open(LPCWSTR portName, DWORD baudRate, BOOL reportFailures) override;
    // Plays the log through the sentence dispatch, paced by "PlaybackDelay".
    int OpenPlayback(LPCWSTR path) override;
    void Close() override;
    BOOL IsPortOpen() override;
    // Opens the serial port 8N1 (Bluetooth radio first when it is the Bluetooth
    // port): 0, -5 the radio stays off, else the serial port's code.
    int OpenPort(LPCWSTR portName, DWORD baudRate, DWORD unused, BOOL reportFailures);

    // Handles the NUL-terminated sentence; returns its sentence-type result.
    int DispatchSentence(char* sentence, size_t length);
    // Frames the bytes as the reader does after a read, queueing each fix;
    // onFix runs after each queued notification (a stand-in for the view).
    void FrameBytes(const char* data, size_t size, const std::function<void()>& onFix = {});
    // One read from the port and the framing of what it brought: bytes read.
    DWORD ReadChunk(DWORD eventMask, bool bluetooth, bool post);

    // 0 queued, 1 dropped.
    int FilterAndQueueFix(PositionQueue& queue, const GpsFix& fix);
    void NotifyFix(int bits);

    // The sentence-type bits every parser run has ORed in.
    DWORD SentenceTypeMask() const { return sentenceTypeMask_.load(); }
    // The last sentence, for the GPS information screen.
    std::string InfoSentence() const;
    NmeaCounters Counters() const;
    uint64_t FramingDrops() const { return framer_.Dropped(); }
    // The source that Close will end.
    Source CurrentSource() const { return source_.load(); }
    // Read "SiRFFix" again (done whenever a source opens).
    void ReadSettings();
    // A tool's own pace for playback in place of "PlaybackDelay" (nullopt: the
    // registry's again); 0 plays as fast as the view takes the fixes.
    void OverridePlaybackDelay(std::optional<DWORD> delayMs);
    std::u16string PlaybackPath() const;

    // IFixSource, on the user-interface thread. The heading and speed are those queued
    // with the fix last taken out, so that a fix is matched with its own heading
    // however far the reader has gone on; before any, the receiver's.
    int PopFix(QueuedFix* fix) override;
    FLOAT FixHeading() override;
    FLOAT FixSpeedMph() override;
    bool FixValid() override;
    QueuedFix FixPosition() override;
    bool IsReplaying() override;
    bool PositionHold() override;
    // The fix PopFix last took out, with its heading and speed; false before any.
    bool LastPoppedFix(QueuedPosition* position) const;

    // The route demonstration's source: the feed thread turns each position the
    // track simulator publishes into a fix (simulation_feed.cpp). 0, or
    // kSimulationNoThread.
    int StartSimulationFeed();

    CSerialPort& Port() { return port_; }
    // Whether the reader thread still runs (it ends when the port hangs up).
    bool IsWorkerRunning() const;
    // Bytes read from ports since the receiver was made.
    uint64_t BytesRead() const { return bytesRead_.load(); }

  private:
    static DWORD ReaderThreadStart(LPVOID self);
    DWORD ReaderThread();
    static DWORD PlaybackThreadStart(LPVOID self);
    DWORD PlaybackThread();
    DWORD PlaybackDelay() const;
    // Whether playback waits: while the view pans or the receiver is paused.
    bool PlaybackHeld() const;
    // Sleeps on the platform clock, a little at a time, until stopped.
    void SleepUnlessStopped(DWORD milliseconds) const;
    static DWORD SimulationFeedThreadStart(LPVOID self);
    DWORD SimulationFeedThread();
    // Ends the worker thread: waits up to 5 s, serving messages sent to this
    // thread meanwhile, then asks it to stop.
    void StopWorker();
    // Frames what the buffer holds; true when an RMC completed a fix.
    bool FrameBuffered();

    struct DeferredOpen {
        bool pending = false;
        std::u16string portName;
        bool watchdogArmed = false;
        DWORD baudRate = 0;
        BOOL reportFailures = FALSE;
    };

    NmeaFramer framer_;  // the reader thread's alone
    std::atomic<DWORD> readCount_{0};
    std::atomic<uint64_t> bytesRead_{0};
    std::atomic<DWORD> sentenceTypeMask_{0};
    std::atomic<Source> source_{Source::None};
    // The last fix queued came from a live port: only then is the vehicle's
    // position the receiver's own, worth keeping as the last position.
    std::atomic<bool> liveFixQueued_{false};
    std::atomic<bool> settingsHeadingOnlyWhenMoving_{true};
    mutable std::mutex infoLock_;
    char infoSentence_[kInfoSentenceSize] = {};
    std::atomic<uint64_t> sentences_{0};
    std::atomic<uint64_t> checksumFailures_{0};
    std::atomic<uint64_t> refused_{0};
    std::atomic<uint64_t> fixes_{0};
    std::mutex deferredLock_;
    DeferredOpen deferred_;
    // The playback thread reads its log under this lock and Close closes the log under
    // it, so a thread that outlives its stop finds the file gone and ends.
    mutable std::mutex playbackLock_;
    CPlaybackReader playback_;
    std::u16string playbackPath_;
    std::atomic<int64_t> playbackDelayOverride_{-1};  // -1: the registry's
    CSerialPort port_;
    // The user-interface thread's alone.
    QueuedPosition popped_;
    bool hasPopped_ = false;
    ReceiverPositionServices services_{*this};
    ReceiverPositioningServices positioning_{*this};
};

// The one receiver, set by the main view.
extern std::atomic<CNmeaReceiver*> g_gpsReceiver;
