#include "pathlume/position/serial_port.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_ports.h"
#include "platform/afx/afx_wnd.h"
#include "platform/kernel/files.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/text.h"

namespace {

constexpr UINT kWarningCaptionId = 6007;
constexpr UINT kReceiverMissingId = 6303;
constexpr DWORD kAllPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

HWND MainWindowHandle() {
    CWnd* main = GetAppMainWindow();
    return main ? main->GetSafeHwnd() : nullptr;
}

}  // namespace

int ConfigurePort(HANDLE handle, const PortSetup& setup) {
    PurgeComm(handle, kAllPurgeFlags);
    DCB dcb{};
    GetCommState(handle, &dcb);
    dcb.DCBlength = 28;
    dcb.BaudRate = setup.baudRate;
    dcb.fBinary = 1;
    if (setup.parityCheck)
        dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = setup.byteSize;
    dcb.Parity = setup.parity;
    dcb.StopBits = setup.stopBits;
    if (!SetCommState(handle, &dcb))
        return kPortStateFailed;
    SetupComm(handle, setup.inQueue, setup.outQueue);
    COMMTIMEOUTS timeouts = setup.timeouts;
    if (!SetCommTimeouts(handle, &timeouts))
        return kPortTimeoutsFailed;
    EscapeCommFunction(handle, SETDTR);
    EscapeCommFunction(handle, SETRTS);
    return kPortOpened;
}

CSerialPort::~CSerialPort() {
    Close();
}

std::u16string CSerialPort::Name() const {
    std::lock_guard<std::mutex> guard(nameLock_);
    return name_;
}

int CSerialPort::Reopen(LPCWSTR portName, DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits,
                        BOOL reportFailures) {
    Close();
    {
        std::lock_guard<std::mutex> guard(nameLock_);
        baudRate_ = baudRate;
        byteSize_ = byteSize;
        parity_ = parity;
        stopBits_ = stopBits;
        hasName_ = portName != nullptr;
        name_ = portName ? portName : u"";
    }
    return Open(reportFailures);
}

int CSerialPort::Open(BOOL reportFailures) {
    std::u16string name;
    DCB settings{};
    {
        std::lock_guard<std::mutex> guard(nameLock_);
        if (!hasName_)
            return kPortNoName;
        name = name_;
        settings.BaudRate = baudRate_;
        settings.ByteSize = byteSize_;
        settings.Parity = parity_;
        settings.StopBits = stopBits_;
    }
    platform::InstallSerialPorts();
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // "COM12:" exists only in the device namespace, as "\\.\COM12".
        std::u16string device = u"\\\\.\\" + name;
        if (!name.empty())
            device.pop_back();
        handle = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        if (reportFailures) {
            WCHAR caption[64] = {};
            WCHAR message[256] = {};
            LoadResString(kWarningCaptionId, caption, 64, FALSE);
            LoadResString(kReceiverMissingId, message, 256, FALSE);
            std::u16string text = message;
            const size_t at = text.find(u"%s");
            if (at != std::u16string::npos)
                text.replace(at, 2, name);
            MessageBoxW(MainWindowHandle(), text.c_str(), caption, MB_OK | MB_ICONEXCLAMATION);
        }
        return kPortNotOpened;
    }
    // From here a failed step leaves the handle for the next Close.
    handle_.store(handle);
    PortSetup setup;
    setup.baudRate = settings.BaudRate;
    setup.byteSize = settings.ByteSize;
    setup.parity = settings.Parity;
    setup.stopBits = settings.StopBits;
    setup.timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what is buffered
    setup.timeouts.WriteTotalTimeoutMultiplier = 10;
    setup.timeouts.WriteTotalTimeoutConstant = 1000;
    const int configured = ConfigurePort(handle, setup);
    if (configured == kPortTimeoutsFailed)
        MessageBoxW(MainWindowHandle(), u"Unable to set the time-out parameters", u"Error", MB_OK);
    if (configured != kPortOpened)
        return configured;
    open_.store(TRUE);
    return kPortOpened;
}

int CSerialPort::Close() {
    const HANDLE handle = handle_.load();
    if (handle != INVALID_HANDLE_VALUE) {
        SetCommMask(handle, 0);  // releases a WaitCommEvent of the reader thread
        PurgeComm(handle, kAllPurgeFlags);
        EscapeCommFunction(handle, CLRDTR);
        EscapeCommFunction(handle, CLRRTS);
        if (CloseHandle(handle)) {
            open_.store(FALSE);
            handle_.store(INVALID_HANDLE_VALUE);
        } else {
            if (IsBluetoothGpsPort())
                return 1;
            open_.store(FALSE);
        }
    }
    std::lock_guard<std::mutex> guard(nameLock_);
    name_.clear();
    hasName_ = false;
    return 0;
}
