#include "portscout/port_scan.h"

#include <cstdio>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/serial_port.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/serial.h"

namespace {

// Driver keys that rule a port out, compared as written.
constexpr const char16_t* kExcludedDrivers[] = {u"IrCOMM",
                                                u"usb",
                                                u"IrDa",
                                                u"SerialUSB",
                                                u"UDCSer",
                                                u"Socket-CF+_Personal_Network",
                                                u"Socket BT Desktop",
                                                u"Socket BT LAP",
                                                u"Socket BT Printer"};
constexpr DWORD kAllPurges = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// Received character, CTS, DSR, RLSD and ring.
constexpr DWORD kProbeEvents = 0x139;
constexpr DWORD kSettleMs = 1000;
constexpr DWORD kEmptyPollMs = 200;
constexpr int kReadsPerRate = 3;
constexpr int kEmptyPollsPerRate = 3;
constexpr DWORD kReadChunk = 127;
constexpr int kMostNoise = 22;

// "COMn:" with n 1-9: its index 0-8, else nothing.
std::optional<int> PortIndex(const std::u16string& name) {
    if (name.size() < 5 || name.compare(0, 3, u"COM") != 0 || name[4] != u':')
        return std::nullopt;
    if (name[3] < u'1' || name[3] > u'9')
        return std::nullopt;
    return name[3] - u'1';
}

PortSetup ProbeSetup(DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits) {
    PortSetup setup;
    setup.baudRate = baudRate;
    setup.byteSize = byteSize;
    setup.parity = parity;
    setup.stopBits = stopBits;
    setup.parityCheck = true;
    setup.inQueue = 128;
    setup.outQueue = 128;
    // A read returns at once with what is waiting, or waits up to 2 s for a first byte.
    setup.timeouts.ReadIntervalTimeout = MAXDWORD;
    setup.timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    setup.timeouts.ReadTotalTimeoutConstant = 2000;
    setup.timeouts.WriteTotalTimeoutMultiplier = 10;
    setup.timeouts.WriteTotalTimeoutConstant = 1000;
    return setup;
}

}  // namespace

void EnumerateSerialPorts(PortTable& ports) {
    ports = PortTable{};
    platform::RebuildActiveDrivers(platform::SerialScanSettingsFromEnvironment(), true);
    ForEachActiveDriver([&](const ActiveDriverEntry& entry) {
        const std::optional<int> index = entry.name ? PortIndex(*entry.name) : std::nullopt;
        if (!index)
            return true;
        CandidatePort& port = ports[*index];
        port.candidate = 1;
        if (!entry.key)
            return true;
        const std::u16string& key = *entry.key;
        if (!(*index == 0 && key.find(u"Serial") != std::u16string::npos)) {
            for (const char16_t* excluded : kExcludedDrivers)
                if (key.find(excluded) != std::u16string::npos)
                    port.candidate = 0;
        }
        if (port.candidate) {
            // An empty name names nothing: the driver's friendly name stands in.
            port.displayName = entry.pnpId && !entry.pnpId->empty()
                                   ? entry.pnpId
                                   : ReadRegistryText(HKEY_LOCAL_MACHINE, key, u"FriendlyName");
            if (port.displayName && port.displayName->empty())
                port.displayName.reset();
        }
        return true;
    });
}

ReadVerdict ScanRead(const BYTE* bytes, size_t count) {
    int noise = 0;
    for (size_t i = 0; i < count; ++i) {
        const auto c = static_cast<signed char>(bytes[i]);
        if (c == '$' && i + 2 < count && bytes[i + 1] == 'G' &&
            (bytes[i + 2] == 'P' || bytes[i + 2] == 'N'))
            return ReadVerdict::Nmea;
        // Bytes 0x80 and up are below '\n' as signed characters: noise too.
        if ((c < '\n' || c > 'Z') && ++noise >= kMostNoise)
            return ReadVerdict::Noise;
    }
    return ReadVerdict::Nothing;
}

void ProbePortBaud(PortTable& ports, int portNumber) {
    if (portNumber < 1 || portNumber > kPortCount)
        return;
    CandidatePort& port = ports[portNumber - 1];
    port.detectedBaud = 0;
    const std::u16string name = platform::Utf8ToWide("COM" + std::to_string(portNumber) + ":");
    CProbeSerialPort serial;
    if (serial.Open(name.c_str(), kProbeRates[0], 8, NOPARITY, ONESTOPBIT) != 0)
        return;
    for (size_t rate = 0; rate < std::size(kProbeRates); ++rate) {
        if (rate > 0 && serial.SetBaudRate(kProbeRates[rate]) != 0)
            break;
        const HANDLE handle = serial.Handle();
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        SetCommMask(handle, kProbeEvents);
        Sleep(kSettleMs);
        int reads = 0, emptyPolls = 0;
        while (reads < kReadsPerRate && emptyPolls < kEmptyPollsPerRate) {
            DWORD errors = 0;
            COMSTAT status{};
            ClearCommError(handle, &errors, &status);
            if (status.cbInQue == 0) {
                ++emptyPolls;
                Sleep(kEmptyPollMs);
                continue;
            }
            BYTE bytes[kReadChunk];
            DWORD read = 0;
            ReadFile(handle, bytes, kReadChunk, &read, nullptr);
            ++reads;
            if (ScanRead(bytes, read) == ReadVerdict::Nmea) {
                port.detectedBaud = static_cast<int>(kProbeRates[rate]);
                serial.Close();
                return;
            }
        }
    }
    serial.Close();
}

int FirstDetectedPort(const PortTable& ports) {
    for (int i = 0; i < kPortCount; ++i)
        if (ports[i].candidate && ports[i].detectedBaud >= 1)
            return i + 1;
    return 0;
}

CProbeSerialPort::~CProbeSerialPort() {
    Close();
}

int CProbeSerialPort::Open(LPCWSTR name, DWORD baudRate, BYTE byteSize, BYTE parity,
                           BYTE stopBits) {
    Close();
    if (!name)
        return 4;
    m_name = name;
    m_baudRate = baudRate;
    m_byteSize = byteSize;
    m_parity = parity;
    m_stopBits = stopBits;
    return Configure();
}

int CProbeSerialPort::Configure() {
    platform::InstallSerialPorts();
    m_handle = CreateFileW(m_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE)
        return 1;
    const int result =
        ConfigurePort(m_handle, ProbeSetup(m_baudRate, m_byteSize, m_parity, m_stopBits));
    if (result == kPortOpened)
        return 0;
    if (result == kPortStateFailed) {
        WCHAR text[128];
        swprintf(text, 128, u"Unable to configure COM %s", m_name.c_str());
        MessageBoxW(nullptr, text, u"Error", MB_OK | MB_ICONERROR);
    }
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    return result == kPortStateFailed ? 2 : 3;
}

int CProbeSerialPort::SetBaudRate(DWORD baudRate) {
    if (m_handle == INVALID_HANDLE_VALUE)
        return 1;
    m_baudRate = baudRate;
    const int result =
        ConfigurePort(m_handle, ProbeSetup(m_baudRate, m_byteSize, m_parity, m_stopBits));
    return result == kPortOpened ? 0 : result == kPortStateFailed ? 2 : 3;
}

int CProbeSerialPort::Close() {
    if (m_handle != INVALID_HANDLE_VALUE) {
        SetCommMask(m_handle, 0);
        PurgeComm(m_handle, kAllPurges);
        EscapeCommFunction(m_handle, CLRDTR);
        EscapeCommFunction(m_handle, CLRRTS);
        if (!CloseHandle(m_handle))
            return 1;
        m_handle = INVALID_HANDLE_VALUE;
    }
    m_name.clear();
    return 0;
}

int RegWriteDword(HKEY root, LPCWSTR keyPath, LPCWSTR valueName, DWORD value) {
    return RegSetDword(root, keyPath, valueName, value);
}
