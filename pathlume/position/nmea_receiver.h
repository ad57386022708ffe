// The NMEA receiver: a serial port, the reader thread that frames and parses what
// it brings, and the hand-over of each completed fix to the position queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "pathlume/position/gps_device.h"
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

class CNmeaReceiver final : public CGpsDevice {
  public:
    // The kind of source Close ends: only a real receiver's end is a last position.
    enum class Source { None, Serial, Replay };

    CNmeaReceiver();
    ~CNmeaReceiver() override;

    int Open(LPCWSTR portName, DWORD baudRate, BOOL reportFailures) override;
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
    std::atomic<bool> settingsHeadingOnlyWhenMoving_{true};
    mutable std::mutex infoLock_;
    char infoSentence_[kInfoSentenceSize] = {};
    std::atomic<uint64_t> sentences_{0};
    std::atomic<uint64_t> checksumFailures_{0};
    std::atomic<uint64_t> refused_{0};
    std::atomic<uint64_t> fixes_{0};
    std::mutex deferredLock_;
    DeferredOpen deferred_;
    CSerialPort port_;
    ReceiverPositionServices services_{*this};
    ReceiverPositioningServices positioning_{*this};
};

// The one receiver, set by the main view.
extern std::atomic<CNmeaReceiver*> g_gpsReceiver;
