// portscout.exe: finds the serial port and baud rate of a GPS receiver and stores
// them for the navigation program, which it asks to release its port meanwhile.
//
// The screen is the device's (PATHLUME_SCREEN, default 240x320@96); the dialogs draw
// on its top-left 240 pixels. Exit status 0, or 2 for a bad test control.
#include <cstdio>
#include <string>

#include "platform/afx/afx.h"
#include "platform/gdi/gdi.h"
#include "platform/host/host.h"
#include "platform/kernel/kernel.h"
#include "platform/user/user.h"
#include "portscout/detector_dialogs.h"

namespace {

constexpr const char16_t* kNavigationClass = u"WCE_TravonaWCls";
constexpr WPARAM kClosePort = 5;
constexpr WPARAM kReopenPort = 4;

class CGpsDetectorApp : public CWinApp {
  public:
    BOOL InitInstance() override {
        // The navigation program lets go of its port while the ports are probed.
        HWND navigation = FindWindowW(kNavigationClass, nullptr);
        if (navigation)
            SendMessageW(navigation, WM_USER, kClosePort, 0);
        {
            CDetectIntroDlg intro;
            m_pMainWnd = &intro;
            intro.DoModal();
            m_pMainWnd = nullptr;
        }
        // Also after a quit: the program reads its settings again and reopens its port.
        if (navigation)
            PostMessageW(navigation, WM_USER, kReopenPort, 0);
        return FALSE;
    }
};

}  // namespace

int main() {
    platform::HostOptions options;
    options.title = "portscout";
    std::string error;
    if (!platform::ScreenModeFromEnvironment(&options.width, &options.height, &options.dpi,
                                             &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    // A bad PATHLUME_SCRIPT ends the program here with status 2.
    platform::StartHost(options);
    CGpsDetectorApp app;
    std::u16string commandLine = platform::ProgramCommandLine();
    AfxWinMain(platform::ProgramInstance(), nullptr, commandLine.data(), SW_SHOW);
    platform::StopHost();
    ExitProcess(0);
}
