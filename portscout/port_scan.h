// The detector's work without its screens: which of COM1 to COM9 may carry a GPS
// receiver, at which rate each sends NMEA sentences, the probe's serial port and the
// registry write.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/kernel/wintypes.h"

inline constexpr int kPortCount = 9;  // COM1 to COM9, as indexes 0-8
inline constexpr DWORD kProbeRates[] = {4800, 9600, 19200, 38400, 57600};

struct CandidatePort {
    int candidate = 0;                          // 1: may carry a receiver
    std::optional<std::u16string> displayName;  // the driver's "PnpId" or "FriendlyName"
    int detectedBaud = 0;                       // 0: no NMEA data found
};
using PortTable = std::array<CandidatePort, kPortCount>;

// Fills the candidate flags and display names from HKLM "Drivers\Active", rebuilt
// first as the device manager would. A port whose driver key names an infrared, USB,
// card-modem or Bluetooth-service driver is no candidate, except COM1 on "Serial".
void EnumerateSerialPorts(PortTable& ports);
// Probes port n (1-9) at each rate in turn and keeps the first at which NMEA data
// arrives.
void ProbePortBaud(PortTable& ports, int portNumber);
// The lowest-numbered port with a detected rate, 0 for none.
int FirstDetectedPort(const PortTable& ports);

// What one read holds: NMEA data (a "$GP" or "$GN" talker), nothing of note, or so
// many bytes outside the sentences' characters that the rest is not looked at.
enum class ReadVerdict { Nmea, Nothing, Noise };
ReadVerdict ScanRead(const BYTE* bytes, size_t count);

// The detector's serial port.
class CProbeSerialPort {
  public:
    CProbeSerialPort() = default;
    ~CProbeSerialPort();
    CProbeSerialPort(const CProbeSerialPort&) = delete;
    CProbeSerialPort& operator=(const CProbeSerialPort&) = delete;

    // 0; 1 not opened; 2 not configured ("Unable to configure COM %s" shown); 3 its
    // time-outs not set; 4 no memory for the name.
    int Open(LPCWSTR name, DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits);
    // 0; 1 not open; 2 the rate refused; 3 the time-outs not set.
    int SetBaudRate(DWORD baudRate);
    // 0, or 1 when the handle would not close.
    int Close();
    HANDLE Handle() const { return m_handle; }

  private:
    int Configure();

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::u16string m_name;
    DWORD m_baudRate = 0;
    BYTE m_byteSize = 8;
    BYTE m_parity = 0;
    BYTE m_stopBits = 0;
};

// 0 on success, 1 when the key cannot be created or opened.
int RegWriteDword(HKEY root, LPCWSTR keyPath, LPCWSTR valueName, DWORD value);
