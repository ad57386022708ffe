// The navigation program: the host at this build's screen, then the application
// object with the command line. Exit status 0 after a close, a hand-over to a running
// instance, a refused disclaimer or --help; 1 when the start ended for missing map
// data or voice files or a window that could not be made; 2 for a bad test control.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pathlume/shell/nav_app.h"
#include "pathlume/shell/test_destination.h"
#include "platform/gdi/gdi.h"
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

// PATHLUME_SCREEN=WxH@DPI picks another form of this build's screen.
bool ReadScreenMode(ScreenMode* mode) {
    const char* text = std::getenv("PATHLUME_SCREEN");
    ScreenMode asked = *mode;
    std::string error;
    if (!text)
        return true;
    if (!platform::ScreenModeFromEnvironment(&asked.width, &asked.height, &asked.dpi, &error) ||
        !ServedByThisBuild(asked)) {
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

// Where the device root is when PATHLUME_DEVICE is not set (not made here).
std::string DefaultDeviceRoot() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::filesystem::path data = xdg && *xdg ? std::filesystem::path(xdg)
                                       : home      ? std::filesystem::path(home) / ".local/share"
                                                   : std::filesystem::path(".local/share");
    return (data / "pathlume" / "device").string();
}

void PrintUsage(const char* program) {
    const int unit = kBuildScreen.dpi / 96 * 240;
    const int tall = unit * 4 / 3;
    std::printf(
        "usage: %s [search | nowarning]\n"
        "  The navigation program on a handheld of %dx%d at %d dpi.\n"
        "  search     when the program runs already: bring it to the front and open\n"
        "             Enter Destination; otherwise start as usual\n"
        "  nowarning  start without the safety disclaimer, this once\n"
        "  Other words are taken as none. Exit status 0 after a close, 1 when the\n"
        "  start ended for missing map data or voice files, 2 for a bad control below.\n"
        "\n"
        "The handheld is a device root: PATHLUME_DEVICE, else\n"
        "  $XDG_DATA_HOME/pathlume/device, here %s;\n"
        "  scripts/make-device makes one with maps and voice.\n"
        "In a window the mouse is the stylus; the arrow keys, Enter, Escape, Home and\n"
        "  F1-F6 are the handheld's buttons; closing the window turns it off.\n"
        "\n"
        "Test and demonstration controls, read only when set:\n"
        "  PATHLUME_BACKEND=headless|sdl  no window, or a window (default: a window when\n"
        "                                 there is a display)\n"
        "  PATHLUME_SCREEN=WxH@DPI        another form of the screen: %dx%d, %dx%d or %dx%d\n"
        "                                 at %d dpi\n"
        "  PATHLUME_SCRIPT=FILE           taps, keys, commands, shots and answers by time\n"
        "                                 (platform/host/host.h); headless, boxes are\n"
        "                                 answered by it or else by their default\n"
        "  PATHLUME_SCREENSHOT=FILE.png   the screen as the program ends\n"
        "  PATHLUME_DESTINATION=LAT,LON   route once to the road nearest the point when\n"
        "                                 the vehicle is placed\n"
        "  PATHLUME_AUDIO_WAV=FILE.wav    record what the speaker plays\n"
        "  PATHLUME_DEV_DIR, PATHLUME_GPSD  where the receiver is looked for (/dev and\n"
        "                                 localhost:2947; PATHLUME_GPSD=off: no daemon)\n",
        program, kBuildScreen.width, kBuildScreen.height, kBuildScreen.dpi,
        DefaultDeviceRoot().c_str(), unit, tall, tall, unit, unit, unit, kBuildScreen.dpi);
}

bool AskedForHelp() {
    for (const std::u16string& word :
         platform::CommandLineArguments(platform::ProgramCommandLine()))
        if (word == u"--help")
            return true;
    return false;
}

}  // namespace

int main(int, char** argv) {
    if (AskedForHelp()) {
        PrintUsage(std::filesystem::path(argv[0]).filename().c_str());
        return 0;
    }
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
    // A bad PATHLUME_SCRIPT ends the program here with status 2. The window opens while
    // the program loads its settings and maps.
    platform::BeginHost(options);

    CNavApp app;
    std::u16string commandLine = platform::ProgramCommandLine();
    const int status =
        AfxWinMain(platform::ProgramInstance(), nullptr, commandLine.data(), SW_SHOW);
    platform::StopHost();
    // Threads of the receiver or the voice may still wind down: end as the device does.
    ExitProcess(static_cast<UINT>(status));
}
