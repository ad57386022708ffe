// Choosing, starting and stopping the backend, and the screenshot at the end.
#include "platform/host/host.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/backend.h"
#include "platform/host/script.h"

namespace platform {
namespace {

struct HostState {
    std::mutex lock;
    const host::Backend* backend = nullptr;
    bool opening = false;  // begun, not yet waited for
    bool named = false;    // PATHLUME_BACKEND chose it
    HostOptions options;
};

HostState& State() {
    static HostState* state = new HostState;  // the exit handler may run late
    return *state;
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// *byName is set when PATHLUME_BACKEND chose the backend.
HostBackend Choose(HostBackend asked, bool* byName) {
    *byName = false;
    if (asked != HostBackend::Automatic) {
        return asked;
    }
    if (const char* named = std::getenv("PATHLUME_BACKEND"); named && *named) {
        if (std::strcmp(named, "headless") == 0) {
            return HostBackend::Headless;
        }
        if (std::strcmp(named, "sdl") == 0) {
            *byName = true;
            return HostBackend::Sdl;
        }
        std::fprintf(stderr, "PATHLUME_BACKEND=%s is neither headless nor sdl\n", named);
    }
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") ? HostBackend::Sdl : HostBackend::Headless;
}

// PATHLUME_SCRIPT_<NAME> (the program's file name without ".exe", in upper case),
// else PATHLUME_SCRIPT, which programs do not pass on to the programs they start.
const char* ScriptFile() {
    std::error_code ec;
    std::string name = std::filesystem::read_symlink("/proc/self/exe", ec).filename().string();
    if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0)
        name.resize(name.size() - 4);
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const char* own = std::getenv(("PATHLUME_SCRIPT_" + name).c_str()); own && *own)
        return own;
    const char* file = std::getenv("PATHLUME_SCRIPT");
    return file && *file ? file : nullptr;
}

const char* ScreenshotPath() {
    const char* path = std::getenv("PATHLUME_SCREENSHOT");
    return path && *path ? path : nullptr;
}

// The screen as it was when the main window was last about to go: a program that
// quits by destroying its main window has left only the bare desktop at its end.
struct LastPicture {
    std::mutex lock;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;

    void Keep() {
        std::lock_guard<std::mutex> guard(lock);
        Forget();
        HDC screen = CreateScreenDC();
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(screen, ScreenWidth(), ScreenHeight());
        oldBitmap = SelectObject(dc, bitmap);
        BitBlt(dc, 0, 0, ScreenWidth(), ScreenHeight(), screen, 0, 0, SRCCOPY);
        DeleteDC(screen);
    }
    // Call with the lock held.
    void Forget() {
        if (dc) {
            SelectObject(dc, oldBitmap);
            DeleteDC(dc);
            DeleteObject(bitmap);
            dc = nullptr;
        }
    }
};

LastPicture& ThePicture() {
    static LastPicture* picture = new LastPicture;
    return *picture;
}

void WriteScreenshot() {
    const char* path = ScreenshotPath();
    if (!path) {
        return;
    }
    LastPicture& picture = ThePicture();
    std::lock_guard<std::mutex> guard(picture.lock);
    HDC screen = CreateScreenDC();
    HDC source = picture.dc && !MainWindow() ? picture.dc : screen;
    if (!SaveDCAsPng(source, path)) {
        std::fprintf(stderr, "PATHLUME_SCREENSHOT: cannot write %s\n", path);
    }
    DeleteDC(screen);
    picture.Forget();
}

// Waits for a backend still opening. A window that did not open leaves the program
// headless, saying so; false when PATHLUME_BACKEND asked for that window (the caller
// ends the program).
bool SettleLocked(HostState& state) {
    if (!state.opening) {
        return true;
    }
    state.opening = false;
    SetBeforeBoxHandler(nullptr);
    if (!state.backend->started()) {
        if (state.named) {
            state.backend = nullptr;
            return false;
        }
        std::fprintf(stderr, "%s: no window could be opened; running headless\n",
                     state.options.title.c_str());
        state.backend = &host::HeadlessBackend();
        state.backend->begin(state.options);
        state.backend->started();
    }
    // A box someone can see is drawn and answered on the screen; headless boxes keep
    // answering from the test script.
    if (state.backend->kind == HostBackend::Sdl) {
        UseDrawnMessageBox(true);
        UseDrawnFileDialog(true);
    }
    return true;
}

void SettleHost() {
    HostState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    SettleLocked(state);
}

void StopLocked(HostState& state) {
    if (!state.backend) {
        return;
    }
    SettleLocked(state);
    SetMainWindowDestroyHandler(nullptr);
    host::StopScript();
    if (state.backend->kind == HostBackend::Sdl) {
        UseDrawnMessageBox(false);
        UseDrawnFileDialog(false);
    }
    WriteScreenshot();
    state.backend->stop();
    state.backend = nullptr;
}

void StopAtExit() {
    StopHost();
}

// Starts the backend; one still opening is waited for only when `wait` or when
// PATHLUME_BACKEND named it.
void Begin(const HostOptions& options, bool wait) {
    // A run that cannot follow its script does not start.
    std::optional<std::vector<host::ScriptLine>> script;
    if (const char* file = ScriptFile()) {
        std::string error;
        script = host::ReadScript(file, options.width, options.height, &error);
        if (!script) {
            std::fprintf(stderr, "PATHLUME_SCRIPT: %s\n", error.c_str());
            ExitProcess(2);
        }
    }
    HostState& state = State();
    std::unique_lock<std::mutex> guard(state.lock);
    StopLocked(state);
    SetScreenMode(options.width, options.height, options.dpi);
    bool named = false;
    state.backend = Choose(options.backend, &named) == HostBackend::Sdl ? &host::SdlBackend()
                                                                        : &host::HeadlessBackend();
    state.named = named;
    state.options = options;
    state.opening = true;
    state.backend->begin(options);
    if (wait || named) {
        if (!SettleLocked(state)) {
            // Asked for a window by name: running without one would leave its boxes
            // unseen and unanswered.
            guard.unlock();
            std::fprintf(stderr,
                         "PATHLUME_BACKEND=sdl: no window can be shown here (see the SDL line "
                         "above); run with PATHLUME_BACKEND=headless\n");
            ExitProcess(2);
        }
    } else {
        SetBeforeBoxHandler(SettleHost);
    }
    if (ScreenshotPath()) {
        SetMainWindowDestroyHandler([] { ThePicture().Keep(); });
    }
    static const bool exitHandler =
        (std::atexit(StopAtExit), platform::AddExitHandler(StopAtExit), true);
    (void)exitHandler;
    guard.unlock();
    if (script) {
        host::RunScript(std::move(*script));
    }
}

}  // namespace

HostBackend StartHost(const HostOptions& options) {
    Begin(options, true);
    return CurrentHostBackend();
}

void BeginHost(const HostOptions& options) {
    Begin(options, false);
}

void StopHost() {
    HostState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    StopLocked(state);
}

HostBackend CurrentHostBackend() {
    HostState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    SettleLocked(state);
    return state.backend ? state.backend->kind : HostBackend::Headless;
}

HostFrame PresentAndReadHostFrame() {
    HostState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    SettleLocked(state);
    return state.backend ? state.backend->presentAndRead() : HostFrame{};
}

uint64_t HostFramesPresented() {
    HostState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    SettleLocked(state);
    return state.backend ? state.backend->framesPresented() : 0;
}

}  // namespace platform
