// One serial port for the NMEA receiver: opened by name with its line settings,
// time-outs that make a read return at once with what is buffered, and the modem
// lines raised that some receivers take their power from.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/kernel/serial.h"
#include "platform/kernel/wintypes.h"

// Results of CSerialPort::Open and Reopen.
inline constexpr int kPortOpened = 0;
inline constexpr int kPortNotOpened = 1;
inline constexpr int kPortStateFailed = 2;
inline constexpr int kPortTimeoutsFailed = 3;
inline constexpr int kPortNoName = 4;

// The line state and time-outs a serial port is given.
struct PortSetup {
    DWORD baudRate = 0;
    BYTE byteSize = 8;
    BYTE parity = 0;
    BYTE stopBits = 0;
    bool parityCheck = false;
    DWORD inQueue = 1024;
    DWORD outQueue = 256;
    COMMTIMEOUTS timeouts{};
};
// Purges an open port, gives it the line state the receivers need (binary, DTR and
// RTS enabled, no flow control, no error character, no null stripping, no abort on
// error) with the setup's rate and framing, its queues and time-outs, and raises DTR
// and RTS. kPortOpened, kPortStateFailed or kPortTimeoutsFailed.
int ConfigurePort(HANDLE handle, const PortSetup& setup);

class CSerialPort {
  public:
    CSerialPort() = default;
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    int Reopen(LPCWSTR portName, DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits,
               BOOL reportFailures);
    int Open(BOOL reportFailures);
    // 0, or 1 when the Bluetooth port's handle could not be closed (it stays open).
    int Close();

    BOOL IsOpen() const { return open_.load(); }
    // The handle the reader thread works on; INVALID_HANDLE_VALUE when closed.
    HANDLE Handle() const { return handle_.load(); }
    std::u16string Name() const;

  private:
    std::atomic<BOOL> open_{FALSE};
    std::atomic<HANDLE> handle_{INVALID_HANDLE_VALUE};
    mutable std::mutex nameLock_;
    std::u16string name_;
    bool hasName_ = false;
    DWORD baudRate_ = 0;
    BYTE byteSize_ = 8, parity_ = 0, stopBits_ = 0;
};
