// The table of serial ports: HKLM "Drivers\HostSerial" (persistent: "COMn:" = host
// device or daemon address) and HKLM "Drivers\Active" (the ports present now), and
// the opener that CreateFileW hands COM names to.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/kernel/files.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const WCHAR* kHostSerialKey = u"Drivers\\HostSerial";
constexpr const WCHAR* kActiveKey = u"Drivers\\Active";
constexpr const char* kDaemonScheme = "gpsd://";
constexpr int kFirstBluetoothNumber = 8;
constexpr int kLastPortNumber = 99;
constexpr int kProbeMs = 200;
constexpr const WCHAR* kBtApplicationsKey = u"Software\\WidComm\\BtConfig\\Applications";
constexpr const WCHAR* kBtGeneralKey = u"\\Software\\Widcomm\\BtConfig\\General";

std::mutex g_scanLock;

std::u16string PortName(int number) {
    return Utf8ToWide("COM" + std::to_string(number) + ":");
}

// "COMn:" or "\\.\COMn" to n; 0 for anything else.
int PortNumberOf(std::u16string_view name) {
    if (name.substr(0, 4) == u"\\\\.\\")
        name.remove_prefix(4);
    else if (!name.empty() && name.back() == u':')
        name.remove_suffix(1);
    else
        return 0;
    if (name.size() < 4 || (name[0] | 0x20) != u'c' || (name[1] | 0x20) != u'o' ||
        (name[2] | 0x20) != u'm')
        return 0;
    int number = 0;
    for (char16_t c : name.substr(3)) {
        if (c < u'0' || c > u'9' || number > kLastPortNumber)
            return 0;
        number = number * 10 + (c - u'0');
    }
    return number;
}

std::optional<std::u16string> ReadString(HKEY key, LPCWSTR name) {
    WCHAR buffer[512];
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    buffer[size / sizeof(WCHAR)] = 0;  // a stored text need not end in a terminator
    return std::u16string(buffer);
}

void WriteString(HKEY key, LPCWSTR name, const std::u16string& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

// number -> host target, from "Drivers\HostSerial".
std::map<int, std::string> ReadHostTable() {
    std::map<int, std::string> table;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostSerialKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return table;
    for (DWORD i = 0;; ++i) {
        WCHAR name[64];
        WCHAR data[512];
        DWORD nameLength = 64, type = 0, size = sizeof data - sizeof(WCHAR);
        const LONG result = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<LPBYTE>(data), &size);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[size / sizeof(WCHAR)] = 0;
        const int number = PortNumberOf(std::u16string_view(name, nameLength));
        if (number > 0)
            table[number] = WideToUtf8(data);
    }
    RegCloseKey(key);
    return table;
}

int FirstFreeNumber(const std::map<int, std::string>& table, int preferred) {
    if (preferred > 0 && !table.count(preferred))
        return preferred;
    for (int n = 1; n <= kLastPortNumber; ++n)
        if (!table.count(n))
            return n;
    return 0;
}

// The host's serial ttys, each by its stable name where it has one.
struct HostPort {
    std::string target;
    std::string ttyName;  // "ttyUSB0"
    bool bluetooth;
};

std::vector<HostPort> ScanHostPorts(const fs::path& devFolder) {
    std::map<std::string, std::string> byId;  // resolved tty path -> by-id path
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(devFolder / "serial" / "by-id", error)) {
        std::error_code ignored;
        const fs::path resolved = fs::canonical(entry.path(), ignored);
        if (!ignored)
            byId[resolved.string()] = entry.path().string();
    }
    std::vector<HostPort> ports;
    for (const auto& entry : fs::directory_iterator(devFolder, error)) {
        const std::string name = entry.path().filename().string();
        const bool bluetooth = name.rfind("rfcomm", 0) == 0;
        if (!bluetooth && name.rfind("ttyUSB", 0) != 0 && name.rfind("ttyACM", 0) != 0)
            continue;
        std::error_code ignored;
        const std::string resolved = fs::canonical(entry.path(), ignored).string();
        auto stable = byId.find(resolved);
        ports.push_back(
            {stable != byId.end() ? stable->second : entry.path().string(), name, bluetooth});
    }
    std::sort(ports.begin(), ports.end(),
              [](const HostPort& a, const HostPort& b) { return a.ttyName < b.ttyName; });
    return ports;
}

// What the host says of the device behind a tty, for drivers matched by "PnpId".
std::string PnpIdOf(const std::string& target) {
    std::error_code error;
    const fs::path resolved = fs::canonical(target, error);
    if (error)
        return "";
    const fs::path device = fs::path("/sys/class/tty") / resolved.filename() / "device";
    std::string id;
    for (const fs::path& candidate :
         {device / ".." / "manufacturer", device / ".." / "product", device / "modalias"}) {
        std::ifstream in(candidate);
        std::string line;
        if (std::getline(in, line) && !line.empty())
            id += (id.empty() ? "" : "_") + line;
    }
    return id;
}

bool IsDaemon(const std::string& target) {
    return target.rfind(kDaemonScheme, 0) == 0;
}

// Whether a daemon answers at HOST:PORT with its version line within the probe time.
bool DaemonGreets(const std::string& hostPort) {
    const size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos)
        return false;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(hostPort.substr(0, colon).c_str(), hostPort.substr(colon + 1).c_str(), &hints,
                      &list) != 0)
        return false;
    bool greeted = false;
    for (addrinfo* a = list; a && !greeted; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        pollfd p{fd, POLLOUT, 0};
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ||
            (errno == EINPROGRESS && ::poll(&p, 1, kProbeMs) == 1)) {
            std::string line;
            p = {fd, POLLIN, 0};
            char chunk[512];
            while (line.size() < 4096 && line.find('\n') == std::string::npos &&
                   ::poll(&p, 1, kProbeMs) == 1) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                line.append(chunk, static_cast<size_t>(n));
            }
            greeted = line.find("\"class\":\"VERSION\"") != std::string::npos;
        }
        ::close(fd);
    }
    ::freeaddrinfo(list);
    return greeted;
}

std::string FirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Subkeys of the key that carry "HostDevice": the ones a scan made.
std::vector<std::u16string> ScannedSubkeys(HKEY key) {
    std::vector<std::u16string> made;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY sub;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            if (ReadString(sub, u"HostDevice"))
                made.emplace_back(name);
            RegCloseKey(sub);
        }
    }
    return made;
}

// The stack's "Generic Serial" applications: one per rfcomm tty in the table.
void WriteBluetoothApplications(const std::map<int, std::string>& table) {
    HKEY applications;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBtApplicationsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &applications, nullptr) != ERROR_SUCCESS)
        return;
    for (const std::u16string& name : ScannedSubkeys(applications))
        RegDeleteKeyW(applications, name.c_str());
    for (const auto& [number, target] : table) {
        if (fs::path(target).filename().string().rfind("rfcomm", 0) != 0)
            continue;
        const std::u16string subName = Utf8ToWide("Serial" + std::to_string(number));
        HKEY sub;
        if (RegCreateKeyExW(applications, subName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &sub, nullptr) != ERROR_SUCCESS)
            continue;
        WriteString(sub, u"Name", u"Generic Serial");
        const DWORD port = static_cast<DWORD>(number);
        RegSetValueExW(sub, u"ComPortNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port),
                       sizeof port);
        WriteString(sub, u"HostDevice", Utf8ToWide(target));
        RegCloseKey(sub);
    }
    RegCloseKey(applications);
}

void RebuildLocked(const SerialScanSettings& settings, bool probeDaemon) {
    std::map<int, std::string> table = ReadHostTable();
    std::set<std::string> known;
    bool haveDaemon = false;
    for (const auto& [number, target] : table) {
        known.insert(target);
        haveDaemon = haveDaemon || IsDaemon(target);
    }
    std::map<int, std::string> added;
    for (const HostPort& port : ScanHostPorts(settings.devFolder)) {
        if (known.count(port.target))
            continue;
        const int number = FirstFreeNumber(table, port.bluetooth ? kFirstBluetoothNumber : 0);
        if (number == 0)
            break;
        table[number] = added[number] = port.target;
        known.insert(port.target);
    }
    if (probeDaemon && !haveDaemon && !settings.gpsdProbe.empty() &&
        DaemonGreets(settings.gpsdProbe)) {
        const int number = FirstFreeNumber(table, 0);
        if (number != 0)
            table[number] = added[number] = kDaemonScheme + settings.gpsdProbe;
    }
    for (const auto& [number, target] : added)
        SetHostSerialPort(number, Utf8ToWide(target));

    WriteBluetoothApplications(table);
    WriteBluetoothStackMode(HostBluetoothStackMode(settings));

    // The ports this table made last time go; other drivers' entries stay.
    HKEY active;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kActiveKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &active, nullptr) != ERROR_SUCCESS)
        return;
    for (const std::u16string& name : ScannedSubkeys(active))
        RegDeleteKeyW(active, name.c_str());
    for (const auto& [number, target] : table) {
        std::error_code error;
        if (!IsDaemon(target) && !fs::exists(target, error))
            continue;  // unplugged: its number stays reserved in the table
        const std::u16string subName = Utf8ToWide("Serial" + std::to_string(number));
        HKEY sub;
        if (RegCreateKeyExW(active, subName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                            nullptr) != ERROR_SUCCESS)
            continue;
        WriteString(sub, u"Name", PortName(number));
        WriteString(sub, u"Key", u"Drivers\\BuiltIn\\" + subName);
        WriteString(sub, u"PnpId", Utf8ToWide(IsDaemon(target) ? "gpsd" : PnpIdOf(target)));
        WriteString(sub, u"HostDevice", Utf8ToWide(target));
        RegCloseKey(sub);
    }
    RegCloseKey(active);
}

// The host target "Drivers\Active" lists for the port number, if any.
std::optional<std::string> ActiveTarget(int number) {
    HKEY active;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kActiveKey, 0, KEY_READ, &active) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::string> found;
    for (DWORD i = 0; !found; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(active, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY sub;
        if (RegOpenKeyExW(active, name, 0, KEY_READ, &sub) != ERROR_SUCCESS)
            continue;
        auto portName = ReadString(sub, u"Name");
        auto host = ReadString(sub, u"HostDevice");
        if (portName && host && PortNumberOf(*portName) == number)
            found = WideToUtf8(*host);
        RegCloseKey(sub);
    }
    RegCloseKey(active);
    return found;
}

std::u16string RunKeyName(int number) {
    return std::u16string(kActiveKey) + u"\\Run" + Utf8ToWide(std::to_string(number));
}

HANDLE OpenComName(LPCWSTR name, DWORD, DWORD, DWORD) {
    const std::u16string_view view(name);
    const int number = PortNumberOf(view);
    // Device names have one digit: "COM12:" is reached only as "\\.\COM12".
    if (number == 0 || (view.substr(0, 4) != u"\\\\.\\" && number > 9)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::optional<std::string> target = ActiveTarget(number);
    if (!target) {
        RebuildActiveDrivers();
        target = ActiveTarget(number);
    }
    if (!target) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE port = OpenHostSerialPort(*target);
    if (port == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // The device behind the number may have changed since the list was made.
        RebuildActiveDrivers();
        std::optional<std::string> now = ActiveTarget(number);
        if (now && *now != *target)
            port = OpenHostSerialPort(*now);
    }
    return port;
}

}  // namespace

bool HostHasBluetoothAdapter(const SerialScanSettings& settings) {
    std::error_code error;
    bool adapter = false;
    for (const auto& entry :
         fs::directory_iterator(settings.sysFolder / "class" / "bluetooth", error))
        adapter = adapter || entry.path().filename().string().rfind("hci", 0) == 0;
    return adapter;
}

DWORD HostBluetoothStackMode(const SerialScanSettings& settings) {
    std::error_code error;
    if (!HostHasBluetoothAdapter(settings))
        return 0;
    bool switched = false, unblocked = false;
    for (const auto& entry :
         fs::directory_iterator(settings.sysFolder / "class" / "rfkill", error)) {
        if (FirstLine(entry.path() / "type") != "bluetooth")
            continue;
        switched = true;
        unblocked = unblocked || (FirstLine(entry.path() / "soft") == "0" &&
                                  FirstLine(entry.path() / "hard") == "0");
    }
    return !switched || unblocked ? 1 : 0;
}

void WriteBluetoothStackMode(DWORD mode) {
    HKEY general;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBtGeneralKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &general, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(general, u"StackMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode),
                   sizeof mode);
    RegCloseKey(general);
}

SerialScanSettings SerialScanSettingsFromEnvironment() {
    SerialScanSettings settings;
    const char* dev = std::getenv("PATHLUME_DEV_DIR");
    settings.devFolder = dev && *dev ? dev : "/dev";
    const char* sys = std::getenv("PATHLUME_SYS_DIR");
    settings.sysFolder = sys && *sys ? sys : "/sys";
    const char* gpsd = std::getenv("PATHLUME_GPSD");
    if (!gpsd || !*gpsd)
        settings.gpsdProbe = "localhost:2947";
    else if (std::string(gpsd) != "off")
        settings.gpsdProbe = gpsd;
    return settings;
}

void RebuildActiveDrivers(const SerialScanSettings& settings, bool probeDaemon) {
    InstallSerialPorts();
    std::lock_guard<std::mutex> guard(g_scanLock);
    RebuildLocked(settings, probeDaemon);
}

void RebuildActiveDrivers() {
    RebuildActiveDrivers(SerialScanSettingsFromEnvironment(), false);
}

bool SetHostSerialPort(int number, const std::u16string& hostTarget) {
    HKEY key;
    if (number < 1 || number > kLastPortNumber ||
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHostSerialKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    WriteString(key, PortName(number).c_str(), hostTarget);
    RegCloseKey(key);
    return true;
}

int AddRunPort(const std::u16string& hostTarget) {
    InstallSerialPorts();
    std::lock_guard<std::mutex> guard(g_scanLock);
    std::map<int, std::string> used = ReadHostTable();
    int number = 0;
    for (int n = 1; n <= kLastPortNumber && number == 0; ++n)
        if (!used.count(n) && !ActiveTarget(n))
            number = n;
    if (number == 0)
        return 0;
    HKEY sub;
    const std::u16string subName = RunKeyName(number);
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &sub, nullptr) != ERROR_SUCCESS)
        return 0;
    WriteString(sub, u"Name", PortName(number));
    WriteString(sub, u"Key", u"Drivers\\BuiltIn\\Run");
    WriteString(sub, u"PnpId", u"");
    WriteString(sub, u"HostDevice", hostTarget);
    RegCloseKey(sub);
    return number;
}

void RemoveRunPort(int number) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, RunKeyName(number).c_str());
}

void InstallSerialPorts() {
    SetDeviceOpener(OpenComName);
}

}  // namespace platform
