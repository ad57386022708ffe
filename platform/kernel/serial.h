// Serial ports: "COMn:" (and "\\.\COMn") opened with CreateFileW, read with
// ReadFile, and driven with the comm calls below.
//
// A port is one of the host's serial ttys (USB and ACM receivers, Bluetooth rfcomm
// ttys, pseudo-terminals in tests) or a GPS daemon's NMEA feed over TCP
// ("gpsd://HOST:PORT[/DEVICE]"). HKLM "Drivers\Active" lists the ports, one subkey
// each with "Name" ("COM3:"), "Key", "PnpId" and "HostDevice"; it is rebuilt by
// platform::RebuildActiveDrivers from the persistent table HKLM "Drivers\HostSerial"
// ("COMn:" = host device or daemon address) and the host's ports, and again when an
// unknown COM name is opened. Device names have one digit: ports from 10 up are
// reached only as "\\.\COMn".
//
// A port is opened once at a time across the programs of a device root (else
// ERROR_ACCESS_DENIED). A daemon port ignores line settings and refuses writes; its
// feed carries only the NMEA lines. WaitCommEvent fails when the handle is closed,
// the other end hangs up or the waiting thread is asked to stop (TerminateThread).
#pragma once

#include <filesystem>
#include <string>

#include "platform/kernel/files.h"
#include "platform/kernel/wintypes.h"

struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
typedef DCB* LPDCB;

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
typedef COMMTIMEOUTS* LPCOMMTIMEOUTS;

struct COMSTAT {
    DWORD fFlags;
    DWORD cbInQue;
    DWORD cbOutQue;
};
typedef COMSTAT* LPCOMSTAT;

#define MAXDWORD 0xFFFFFFFFu

#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define ONESTOPBIT 0
#define TWOSTOPBITS 2

#define DTR_CONTROL_DISABLE 0
#define DTR_CONTROL_ENABLE 1
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1

#define EV_RXCHAR 0x0001
#define EV_ERR 0x0080

#define PURGE_TXABORT 0x0001
#define PURGE_RXABORT 0x0002
#define PURGE_TXCLEAR 0x0004
#define PURGE_RXCLEAR 0x0008

#define SETRTS 3
#define CLRRTS 4
#define SETDTR 5
#define CLRDTR 6

#define CE_FRAME 0x0008

BOOL GetCommState(HANDLE file, LPDCB dcb);
// A rate the host has no setting for fails with ERROR_INVALID_PARAMETER.
BOOL SetCommState(HANDLE file, LPDCB dcb);
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
// Also ends a WaitCommEvent of another thread with an empty event mask.
BOOL SetCommMask(HANDLE file, DWORD mask);
BOOL GetCommMask(HANDLE file, LPDWORD mask);
// Waits for EV_RXCHAR (unread bytes wait) or EV_ERR, as the mask asks.
BOOL WaitCommEvent(HANDLE file, LPDWORD eventMask, LPOVERLAPPED overlapped);
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status);
BOOL ClearCommBreak(HANDLE file);
BOOL PurgeComm(HANDLE file, DWORD flags);
// Ports without modem lines (pseudo-terminals, daemon ports) succeed doing nothing.
BOOL EscapeCommFunction(HANDLE file, DWORD function);

namespace platform {

// Where the port scan looks for ttys ($PATHLUME_DEV_DIR, default /dev), where for
// the host's Bluetooth adapters ($PATHLUME_SYS_DIR, default /sys) and which daemon
// it probes ($PATHLUME_GPSD: "HOST:PORT", or "off"; default localhost:2947).
struct SerialScanSettings {
    std::filesystem::path devFolder;
    std::filesystem::path sysFolder;
    std::string gpsdProbe;  // "" for none
};
SerialScanSettings SerialScanSettingsFromEnvironment();

// Rebuilds HKLM "Drivers\Active" from "Drivers\HostSerial" and the host's ports,
// adding each new host port to the table under the first free number (the first
// rfcomm tty takes 8). With probeDaemon, and no daemon in the table, a daemon that
// greets at the probe address within 200 ms is added too; the user-interface
// thread's start-up never probes. Device-side programs call it at start, and the
// opener for an unknown COM name. Installs the opener.
void RebuildActiveDrivers(const SerialScanSettings& settings, bool probeDaemon);
// With the environment's settings and no probe.
void RebuildActiveDrivers();
// Names a host device or daemon address for "COMn:" in "Drivers\HostSerial".
bool SetHostSerialPort(int number, const std::u16string& hostTarget);
// Opens a tty path or "gpsd://..." directly.
HANDLE OpenHostSerialPort(const std::string& hostTarget);
// Lists a tty path or daemon address in "Drivers\Active" for one run of a tool,
// under the first number neither table uses: returns it (0 when none is free).
// RemoveRunPort takes it out again.
int AddRunPort(const std::u16string& hostTarget);
void RemoveRunPort(int number);

// The Bluetooth stack stand-in: its serial ports are the rfcomm ttys, which the scan
// lists under HKLM "Software\WidComm\BtConfig\Applications" as "Generic Serial"
// applications with their "ComPortNumber"; its "StackMode" (HKLM
// "\Software\Widcomm\BtConfig\General") is 1 while the host has an adapter that
// rfkill does not block, else 0. The radio itself is the desktop's to switch.
DWORD HostBluetoothStackMode(const SerialScanSettings& settings);
// Whether the host has a Bluetooth adapter at all (blocked or not): without one the
// stack, its tray program included, is not installed.
bool HostHasBluetoothAdapter(const SerialScanSettings& settings);
void WriteBluetoothStackMode(DWORD mode);

// Installs the device opener for COM names (RebuildActiveDrivers does it too).
void InstallSerialPorts();

}  // namespace platform
