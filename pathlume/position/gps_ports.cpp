#include "pathlume/position/gps_ports.h"

#include <algorithm>

#include "pathlume/foundation/registry_helpers.h"
#include "platform/afx/afx_app.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/process.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/text.h"
#include "platform/shell/shell.h"
#include "platform/user/user.h"

SharedPortName g_gpsPortName{50};
std::atomic<DWORD> g_gpsBaud{0};
SharedPortName g_btSerialPortName{20, u"COM8:"};
std::atomic<LONG> g_btPortNumber{0};
BtPortRecord g_btPort;

std::u16string SharedPortName::Get() const {
    std::lock_guard<std::mutex> guard(lock_);
    return name_;
}

void SharedPortName::Set(std::u16string_view name) {
    std::lock_guard<std::mutex> guard(lock_);
    name_.assign(name.substr(0, capacity_ > 0 ? capacity_ - 1 : 0));
}

namespace {

std::u16string ComName(LONG number) {
    return platform::Utf8ToWide("COM" + std::to_string(number) + ":");
}

void CopyOut(const std::u16string& text, LPWSTR buffer, size_t sizeChars) {
    if (!buffer || sizeChars == 0)
        return;
    const size_t n = std::min(text.size(), sizeChars - 1);
    std::copy_n(text.begin(), n, buffer);
    buffer[n] = 0;
}

// A registry text read whole and terminated, whatever the stored data holds.
bool ReadText(HKEY key, LPCWSTR name, std::u16string* text, size_t maxChars) {
    std::u16string buffer(maxChars + 1, u'\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(maxChars * sizeof(WCHAR));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    buffer.resize(std::min<size_t>(size / sizeof(WCHAR), maxChars));
    *text = buffer.substr(0, buffer.find(u'\0'));
    return true;
}

DWORD ReadDword(HKEY key, LPCWSTR name, DWORD fallback) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return fallback;
    return value;
}

std::u16string AutoConnectKey(const BtPortRecord& record) {
    WCHAR key[96];
    wsprintfW(key, kBtAutoConnectKey, static_cast<int>(record.number.load()));
    return key;
}

}  // namespace

bool IsBluetoothGpsPort() {
    return g_btSerialPortName.Get() == g_gpsPortName.Get();
}

void SetPortNumber(BtPortRecord& record, LONG number) {
    record.number.store(number);
    record.name.Set(ComName(number));
}

int FindBluetoothSerialPort(LPWSTR buffer, size_t sizeChars) {
    CopyOut(u"COM8:", buffer, sizeChars);
    int result = 0;
    HKEY applications;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBtApplicationsKey, 0, KEY_READ, &applications) ==
        ERROR_SUCCESS) {
        for (DWORD i = 0; result == 0; ++i) {
            WCHAR subName[256];
            DWORD length = 256;
            if (RegEnumKeyExW(applications, i, subName, &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS)
                break;
            HKEY application;
            if (RegOpenKeyExW(applications, subName, 0, KEY_READ, &application) != ERROR_SUCCESS)
                continue;
            std::u16string name;
            if (ReadText(application, u"Name", &name, 80) &&
                name.find(u"Generic Serial") != std::u16string::npos) {
                const DWORD port = ReadDword(application, u"ComPortNumber", 0);
                if (port != 0) {
                    CopyOut(ComName(static_cast<LONG>(port)), buffer, sizeChars);
                    g_btPortNumber.store(static_cast<LONG>(port));
                    result = 1;
                }
            }
            RegCloseKey(application);
        }
        RegCloseKey(applications);
    }
    if (g_btPortNumber.load() != 0)
        SetPortNumber(g_btPort, g_btPortNumber.load());
    return result;
}

DWORD InitGpsPort() {
    platform::InstallBluetoothTray();
    const DWORD commPort = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, 0);
    WCHAR name[50];
    if (commPort == 0 && FindBluetoothSerialPort(name, 50) == 1) {
        g_gpsPortName.Set(name);
        g_gpsBaud.store(kDefaultNmeaBaud);
    }
    WCHAR btName[20];
    FindBluetoothSerialPort(btName, 20);
    g_btSerialPortName.Set(btName);
    if (g_gpsBaud.load() != 0)
        return g_gpsBaud.load();
    g_gpsPortName.Set(ComName(commPort == 0 ? 8 : static_cast<LONG>(commPort)));
    g_gpsBaud.store(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kNmeaBaudValue, kDefaultNmeaBaud));
    return g_gpsBaud.load();
}

bool ForEachActiveDriver(const std::function<bool(const ActiveDriverEntry&)>& visit) {
    HKEY active;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kActiveDriversKey, 0, KEY_READ, &active) != ERROR_SUCCESS)
        return false;
    for (DWORD i = 0;; ++i) {
        WCHAR subName[256];
        DWORD length = 256;
        if (RegEnumKeyExW(active, i, subName, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY driver;
        if (RegOpenKeyExW(active, subName, 0, KEY_READ, &driver) != ERROR_SUCCESS)
            continue;
        ActiveDriverEntry entry;
        std::u16string text;
        if (ReadText(driver, u"Name", &text, kActiveDriverTextChars))
            entry.name = text;
        if (ReadText(driver, u"Key", &text, kActiveDriverTextChars))
            entry.key = text;
        if (ReadText(driver, u"PnpId", &text, kActiveDriverTextChars))
            entry.pnpId = text;
        RegCloseKey(driver);
        if (!visit(entry))
            break;
    }
    RegCloseKey(active);
    return true;
}

std::optional<std::u16string> ReadRegistryText(HKEY root, const std::u16string& keyPath,
                                               LPCWSTR valueName) {
    HKEY key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::u16string text;
    const bool read = ReadText(key, valueName, &text, kActiveDriverTextChars);
    RegCloseKey(key);
    return read ? std::optional<std::u16string>(text) : std::nullopt;
}

int FindActiveDriverPort(LPWSTR buffer, size_t sizeBytes, LPCWSTR pnpFragment) {
    const size_t sizeChars = sizeBytes / sizeof(WCHAR);
    CopyOut(u"COM1:", buffer, sizeChars);
    int result = 0;
    ForEachActiveDriver([&](const ActiveDriverEntry& entry) {
        if (entry.pnpId && pnpFragment && entry.pnpId->find(pnpFragment) != std::u16string::npos &&
            entry.name) {
            CopyOut(*entry.name, buffer, sizeChars);
            result = 1;
            return false;
        }
        return true;
    });
    return result;
}

DWORD GetBtStackMode(const BtPortRecord&) {
    return RegGetDword(HKEY_LOCAL_MACHINE, kBtGeneralKey, u"StackMode", 0);
}

void SetBtBrowserEnabled(BtPortRecord& record, BOOL enabled) {
    RegSetDword(HKEY_LOCAL_MACHINE, AutoConnectKey(record).c_str(), u"BtBrowserEnabled",
                enabled ? 1 : 0);
}

DWORD GetBtBrowserEnabled(const BtPortRecord& record) {
    return RegGetDword(HKEY_LOCAL_MACHINE, AutoConnectKey(record).c_str(), u"BtBrowserEnabled", 1);
}

int StartBtTray(BtPortRecord& record, BOOL on) {
    const DWORD mode = GetBtStackMode(record);
    if (mode != 0)
        return static_cast<int>(mode);
    CWaitCursor waitCursor;
    platform::InstallBluetoothTray();
    HWND tray = FindWindowW(kBtTrayClass, nullptr);
    if (!tray) {
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.lpVerb = u"open";
        info.lpFile = kBtTrayProgram;
        info.nShow = SW_SHOWNORMAL;
        if (!ShellExecuteExW(&info))
            return -1;
        for (int waited = 0; !tray && waited < 5000; waited += 500) {
            Sleep(500);
            tray = FindWindowW(kBtTrayClass, nullptr);
        }
        Sleep(1500);
        tray = FindWindowW(kBtTrayClass, nullptr);
        if (!tray)
            return -1;
    }
    PostMessageW(tray, WM_COMMAND, on ? kBtTrayRadioOn : kBtTrayRadioOff, 0);
    for (int waited = 0; waited < 10000; waited += 500) {
        if (GetBtStackMode(record) != 0)
            break;
        Sleep(500);
    }
    const DWORD after = GetBtStackMode(record);
    if (after == 0)
        return 0;
    Sleep(2000);
    return static_cast<int>(after);
}

void NotifyBtTray(BtPortRecord&) {
    HWND tray = FindWindowW(kBtTrayClass, nullptr);
    if (tray && !IsWindowEnabled(tray))
        SendMessageW(tray, kBtTrayPortClosing, 1, 0);
}
