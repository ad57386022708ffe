// The navigation program: the host at this build's screen, then the application
// object with the command line. Exit status 0 after a close, a hand-over to a running
// instance or a refused disclaimer; 1 when the start ended for missing map data or
// voice files or a window that could not be made; 2 for a bad test control.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "pathlume/shell/nav_app.h"
#include "pathlume/shell/test_destination.h"
#include "platform/host/host.h"
#include "platform/kernel/process.h"

namespace {

struct ScreenMode {
    int width;
    int height;
    int dpi;
};

constexpr ScreenMode kBuildScreen{PATHLUME_SCREEN_WIDTH, PATHLUME_SCREEN_HEIGHT,
                                  PATHLUME_SCREEN_DPI};

// The screens a resource set serves: its portrait, landscape and square forms.
bool ServedByThisBuild(const ScreenMode& mode) {
    if (mode.dpi != kBuildScreen.dpi)
        return false;
    const int unit = kBuildScreen.dpi / 96 * 240;
    const int tall = unit * 4 / 3;
    return (mode.width == unit && (mode.height == tall || mode.height == unit)) ||
           (mode.width == tall && mode.height == unit);
}

// "WxH@DPI" with each number whole and small: a number too large for an int must
// not wrap into a screen this build serves.
bool ParseScreenMode(const std::string& text, ScreenMode* mode) {
    int* fields[] = {&mode->width, &mode->height, &mode->dpi};
    const char separators[] = {'x', '@', 0};
    const char* at = text.c_str();
    const char* end = at + text.size();
    for (int i = 0; i < 3; ++i) {
        const auto [next, error] = std::from_chars(at, end, *fields[i]);
        if (error != std::errc() || next == at || *fields[i] < 1 || *fields[i] > 100000 ||
            (separators[i] ? next == end || *next != separators[i] : next != end))
            return false;
        at = next + 1;
    }
    return true;
}

// PATHLUME_SCREEN=WxH@DPI picks another form of this build's screen.
bool ReadScreenMode(ScreenMode* mode) {
    const char* text = std::getenv("PATHLUME_SCREEN");
    if (!text)
        return true;
    ScreenMode asked{};
    if (!ParseScreenMode(text, &asked) || !ServedByThisBuild(asked)) {
        std::fprintf(stderr,
                     "PATHLUME_SCREEN: %s is not a screen of this program (WxH@DPI: %dx%d, "
                     "%dx%d or %dx%d at %d dpi)\n",
                     text, kBuildScreen.dpi / 96 * 240, kBuildScreen.dpi / 96 * 320,
                     kBuildScreen.dpi / 96 * 320, kBuildScreen.dpi / 96 * 240,
                     kBuildScreen.dpi / 96 * 240, kBuildScreen.dpi / 96 * 240, kBuildScreen.dpi);
        return false;
    }
    *mode = asked;
    return true;
}

}  // namespace

int main() {
    ScreenMode screen = kBuildScreen;
    if (!ReadScreenMode(&screen))
        return 2;
    std::string problem;
    if (!ReadTestDestination(&problem) && !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }

    platform::HostOptions options;
    options.width = screen.width;
    options.height = screen.height;
    options.dpi = screen.dpi;
    // A bad PATHLUME_SCRIPT ends the program here with status 2.
    platform::StartHost(options);

    CNavApp app;
    std::u16string commandLine = platform::ProgramCommandLine();
    const int status =
        AfxWinMain(platform::ProgramInstance(), nullptr, commandLine.data(), SW_SHOW);
    platform::StopHost();
    // Threads of the receiver or the voice may still wind down: end as the device does.
    ExitProcess(static_cast<UINT>(status));
}
