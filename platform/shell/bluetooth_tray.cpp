// The Bluetooth stack's tray program, as a window on a thread of the calling
// process.
#include <mutex>

#include "platform/kernel/process.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/threads.h"
#include "platform/shell/shell.h"

namespace platform {
namespace {

constexpr const WCHAR* kTrayProgram = u"\\Windows\\BTTrayCE.exe";
constexpr const WCHAR* kTrayClass = u"WCE_BTTRAY";
constexpr WPARAM kRadioOn = 4098;
constexpr WPARAM kRadioOff = 4097;
constexpr UINT kPortClosing = 0xC003;
constexpr DWORD kStartMs = 5000;

std::mutex g_trayLock;
HANDLE g_trayThread = nullptr;
DWORD g_trayThreadId = 0;

LRESULT CALLBACK TrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (wParam == kRadioOn)
                WriteBluetoothStackMode(
                    HostBluetoothStackMode(SerialScanSettingsFromEnvironment()));
            else if (wParam == kRadioOff)
                WriteBluetoothStackMode(0);
            return 0;
        case kPortClosing:
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD TrayThread(LPVOID ready) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TrayProc;
    windowClass.lpszClassName = kTrayClass;
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, kTrayClass, u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetEvent(static_cast<HANDLE>(ready));
    if (!window)
        return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    if (IsWindow(window))
        DestroyWindow(window);
    return 0;
}

bool StartTray() {
    std::lock_guard<std::mutex> guard(g_trayLock);
    if (g_trayThread && WaitForSingleObject(g_trayThread, 0) == WAIT_TIMEOUT)
        return true;
    if (g_trayThread)
        CloseHandle(g_trayThread);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_trayThread = CreateThread(nullptr, 0, TrayThread, ready, 0, &g_trayThreadId);
    const bool started = g_trayThread && WaitForSingleObject(ready, kStartMs) == WAIT_OBJECT_0;
    CloseHandle(ready);
    return started;
}

}  // namespace

void InstallBluetoothTray() {
    // A host without an adapter has no stack: the tray program is not there to start,
    // so a caller fails at once instead of waiting for a radio that cannot come on.
    SetProgramStandIn(kTrayProgram, [](const SHELLEXECUTEINFOW&) {
        return HostHasBluetoothAdapter(SerialScanSettingsFromEnvironment()) && StartTray();
    });
}

void StopBluetoothTray() {
    std::lock_guard<std::mutex> guard(g_trayLock);
    if (!g_trayThread)
        return;
    PostThreadMessageW(g_trayThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(g_trayThread, kStartMs);
    CloseHandle(g_trayThread);
    g_trayThread = nullptr;
}

}  // namespace platform
