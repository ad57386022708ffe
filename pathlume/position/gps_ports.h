// Which port and speed the GPS receiver is on: the registry's choice, the
// Bluetooth stack's serial port, active CF-card drivers, and the Bluetooth radio
// switched through the stack's tray program.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/kernel/wintypes.h"

// A port name that the user-interface thread writes and the GPS threads read.
class SharedPortName {
  public:
    explicit SharedPortName(size_t capacityChars, const char16_t* initial = u"")
        : capacity_(capacityChars), name_(initial) {}
    std::u16string Get() const;
    // Cut to the capacity the name was given (its terminator included).
    void Set(std::u16string_view name);

  private:
    const size_t capacity_;
    mutable std::mutex lock_;
    std::u16string name_;
};

// The Bluetooth port record.
struct BtPortRecord {
    std::atomic<LONG> number{0};
    SharedPortName name{20, u"COM8:"};
};

extern SharedPortName g_gpsPortName;       // the configured GPS port ("COM%d:")
extern std::atomic<DWORD> g_gpsBaud;       // 0 until chosen
extern SharedPortName g_btSerialPortName;  // the Bluetooth serial port, "COM8:" by default
extern std::atomic<LONG> g_btPortNumber;   // 0: none found
extern BtPortRecord g_btPort;

// Registry names.
inline constexpr const WCHAR* kCommPortValue = u"CommPort";
inline constexpr const WCHAR* kNmeaBaudValue = u"NMEABaud";
inline constexpr DWORD kDefaultNmeaBaud = 4800;
inline constexpr const WCHAR* kBtApplicationsKey = u"Software\\WidComm\\BtConfig\\Applications";
inline constexpr const WCHAR* kBtGeneralKey = u"\\Software\\Widcomm\\BtConfig\\General";
inline constexpr const WCHAR* kBtAutoConnectKey = u"Software\\Widcomm\\BtConfig\\AutoConnect\\%04x";
inline constexpr const WCHAR* kActiveDriversKey = u"Drivers\\Active";
inline constexpr const WCHAR* kBtTrayClass = u"WCE_BTTRAY";
inline constexpr const WCHAR* kBtTrayProgram = u"\\Windows\\BTTrayCE.exe";
inline constexpr UINT kBtTrayRadioOn = 4098;
inline constexpr UINT kBtTrayRadioOff = 4097;
inline constexpr UINT kBtTrayPortClosing = 0xC003;

// At start-up: the port and speed from "CommPort", "NMEABaud" and the Bluetooth
// stack. Returns the baud rate chosen.
DWORD InitGpsPort();
// 1 with "COM%d:" of the stack's first "Generic Serial" application with a port
// number, else 0 with "COM8:"; the text is cut to sizeChars.
int FindBluetoothSerialPort(LPWSTR buffer, size_t sizeChars);
// 1 with the "Name" of the first active driver whose "PnpId" holds the fragment,
// else 0 with "COM1:"; sizeBytes as given by the caller.
int FindActiveDriverPort(LPWSTR buffer, size_t sizeBytes, LPCWSTR pnpFragment);

// One entry of HKLM "Drivers\Active". Each text is read whole: a value that is not
// REG_SZ, or longer than kActiveDriverTextChars characters, reads as missing.
inline constexpr size_t kActiveDriverTextChars = 256;
struct ActiveDriverEntry {
    std::optional<std::u16string> name;   // "Name", as "COM3:"
    std::optional<std::u16string> key;    // "Key": the driver's own registry key
    std::optional<std::u16string> pnpId;  // "PnpId"
};
// Calls visit for each entry, in enumeration order, until it answers false; false
// when "Drivers\Active" cannot be opened.
bool ForEachActiveDriver(const std::function<bool(const ActiveDriverEntry&)>& visit);
// A text value of a key under a root, read whole as above.
std::optional<std::u16string> ReadRegistryText(HKEY root, const std::u16string& keyPath,
                                               LPCWSTR valueName);
void SetPortNumber(BtPortRecord& record, LONG number);
DWORD GetBtStackMode(const BtPortRecord& record);
// The stack mode after switching the radio (at least 1 when on), 0 when it did not
// come on within 10 s, -1 when the tray program cannot be started or found.
int StartBtTray(BtPortRecord& record, BOOL on);
void NotifyBtTray(BtPortRecord& record);
void SetBtBrowserEnabled(BtPortRecord& record, BOOL enabled);
DWORD GetBtBrowserEnabled(const BtPortRecord& record);
// Whether the configured GPS port is the Bluetooth serial port.
bool IsBluetoothGpsPort();
