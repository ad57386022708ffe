// The host the device runs in: the screen's size and the backend that shows it.
//
// Two backends sit behind one small table of functions chosen at start-up:
//  - headless: no window system at all. The screen is only the off-screen surface;
//    input comes from platform::PostTap / PostKeyPress (platform/user/user.h). Every
//    test and CI use it.
//  - SDL2: a real window showing the screen, scaled up twice for screens up to
//    400 pixels high (QVGA, square). The mouse is the stylus (a press, moves while
//    pressed, the release); the arrow keys, Enter, Escape and Home are the
//    handheld's buttons, F1 to F6 its application buttons (VK_APP1..VK_APP6).
//    Closing the window sends WM_CLOSE to the program's main window
//    (platform::MainWindow), or WM_QUIT to the thread that started the host when
//    there is none. The window runs on a thread of its own, which shows a new frame
//    whenever something was drawn through the window system.
//
// PATHLUME_SCREENSHOT=file.png makes the program write its screen to that file when
// the host stops (StopHost, or the program's normal exit): the screen as it is then,
// or, when the main window is gone by then, as it was just before the main window
// was destroyed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/user/user.h"

namespace platform {

enum class HostBackend {
    Automatic,  // PATHLUME_BACKEND (headless|sdl), else SDL when a display is there
    Headless,
    Sdl,
};

struct HostOptions {
    int width = 240;
    int height = 320;
    int dpi = 96;
    HostBackend backend = HostBackend::Automatic;
    std::string title = "pathlume";
};

// Sets the screen mode and starts the backend; an SDL backend that cannot open its
// window falls back to headless (saying so on stderr). Returns the backend running.
// A host already running is stopped first.
HostBackend StartHost(const HostOptions& options);
// Writes the screenshot when asked for and stops the backend.
void StopHost();
HostBackend CurrentHostBackend();

// For tests of a backend.
struct HostFrame {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, row by row
};
// Shows the screen as it is now and returns what the backend's window holds (an empty
// frame for the headless backend).
HostFrame PresentAndReadHostFrame();
// How many frames the backend has shown since it started.
uint64_t HostFramesPresented();

}  // namespace platform
