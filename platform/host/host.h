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
//    Closing the window closes the program's boxes and modal dialogs and then its
//    main window (platform::PostCloseToMainWindow), or sends WM_QUIT to the thread
//    that started the host when there is no main window. The window runs on a
//    thread of its own, which shows a new frame whenever something was drawn
//    through the window system.
//
// PATHLUME_SCREENSHOT=file.png makes the program write its screen to that file when
// the host stops (StopHost, or the program's normal exit): the screen as it is then,
// or, when the main window is gone by then, as it was just before the main window
// was destroyed.
//
// PATHLUME_SCRIPT=file drives a run for tests and demonstrations, with either backend.
// It is not passed on to the programs a program starts: a started program reads
// PATHLUME_SCRIPT_<NAME> instead (its file name without ".exe" in upper case, as
// PATHLUME_SCRIPT_PORTSCOUT), which any program reads before PATHLUME_SCRIPT.
// One line each, blank lines and lines beginning with '#' aside:
//   at MS ACTION    MS milliseconds of the kernel clock after the main window was
//                   first shown
//   idle ACTION     when the user-interface thread then first has nothing queued or
//                   to paint
//   when TEXT ACTION  once TEXT (a word, or "quoted text") is part of a text that
//                   reaches the screen after the line before this one ran (after the
//                   start for a first line); when 60 s of the kernel clock pass
//                   without it, the program ends with status 2 and a line on stderr
//   ACTION          answer and file wait for their box or dialog from the start; any
//                   other plain action runs as "at 0"
// Actions: tap X Y (screen pixels); hold X Y MS (a press at X Y held MS milliseconds
// of the kernel clock, then released); key NAME|CODE (the virtual-key names without
// "VK_": RETURN, ESCAPE, LEFT, UP, F1-F12, APP1-APP6, a letter or digit; or a key
// code); command ID (WM_COMMAND to the main window); press ID (WM_COMMAND ID, as a
// click of control ID, to the window in front: a dialog while one runs, else the main
// window); close (as the window's close button: WM_CLOSE to the open boxes and
// dialogs, then to the main window); resume (a power resume); shot FILE.png; every MS
// shots DIR (from then on, every MS: DIR/NNNNNN.png and DIR/NNNNNN.txt, the texts that
// reached the screen since the previous shot, "X Y TEXT" a line, screen pixels, UTF-8);
// pick ID TEXT|N (control ID of the window in front, at any depth, takes a user's
// choice with the notifications a click sends: the combo or list item beginning with
// TEXT, blanks around texts aside; the tree item TEXT, "Parent/Child" for a child, by
// a click on its state image; trackbar position N; the tab whose text begins with
// TEXT, by a tap on it; no such control or item ends the program with status 2);
// answer ID
// (the next message box, drawn or not, answers the button ID); file PATH|cancel (the
// next file dialog answers the device path, or Cancel). Actions and shots run on the
// user-interface thread between two messages. A script that cannot be read or has a
// line that is not understood ends the program at StartHost with exit status 2 and a
// line on stderr.
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
// As StartHost, but a window opens while the caller goes on starting: whatever needs
// the backend (a box or a file dialog, a sound, a frame read, the stop) waits for the
// window then, and a window that did not open leaves the program headless there. A
// window asked for by PATHLUME_BACKEND=sdl is still opened before this returns.
void BeginHost(const HostOptions& options);
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
