// The SDL2 backend: a window showing the screen, on a thread of its own that turns
// the window's events into the handheld's input.
#include "platform/host/sdl/sdl_library.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/host/backend.h"
#include "platform/host/sdl/sdl_audio.h"

namespace platform::host {
namespace {

constexpr Uint32 kEventWaitMs = 15;

struct SdlState {
    std::thread thread;
    std::mutex lock;
    std::condition_variable changed;
    // Under lock.
    bool ready = false;
    bool opened = false;
    bool readWanted = false;
    bool readDone = false;
    HostFrame frame;

    std::atomic<bool> stopping{false};
    // An event is in SDL's queue to wake the window's thread (WakeWindowThread).
    std::atomic<bool> wakePending{false};
    // Under wakeLock: SDL's events run, so that an event may be pushed.
    std::mutex wakeLock;
    bool wakeable = false;
    // F12 puts the device to sleep (a dark screen that takes no input) and wakes it.
    bool asleep = false;             // SDL's thread only
    bool screensaverAllowed = true;  // SDL's thread only
    std::atomic<uint64_t> frames{0};
    HostOptions options;
    DWORD starter = 0;  // gets WM_QUIT on close when there is no main window
};

SdlState& State() {
    static SdlState* state = new SdlState;
    return *state;
}

// Wakes the window's thread from its wait for events: it then shows what was drawn,
// or ends, at once rather than at its next look. One event at a time is enough.
void WakeWindowThread() {
    SdlState& state = State();
    if (state.wakePending.exchange(true)) {
        return;
    }
    std::lock_guard<std::mutex> guard(state.wakeLock);
    SDL_Event event{};
    event.type = SDL_USEREVENT;
    if (!state.wakeable || SDL_PushEvent(&event) != 1) {
        state.wakePending = false;
    }
}

void SetWakeable(bool wakeable) {
    SdlState& state = State();
    std::lock_guard<std::mutex> guard(state.wakeLock);
    state.wakeable = wakeable;
    state.wakePending = false;
}

UINT VirtualKeyOf(SDL_Keycode key) {
    switch (key) {
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_F1:
            return VK_APP1;
        case SDLK_F2:
            return VK_APP2;
        case SDLK_F3:
            return VK_APP3;
        case SDLK_F4:
            return VK_APP4;
        case SDLK_F5:
            return VK_APP5;
        case SDLK_F6:
            return VK_APP6;
        default:
            return 0;
    }
}

// The window: the screen scaled up, and the screen's pixels read through a bitmap.
// Where the window's surface has the screen's size and layout (no scaling, 32-bit
// XRGB) the bitmap is that surface, so a frame is copied once and no third
// screen-sized buffer is filled; else a DIB is scaled into the window.
class ScreenWindow {
  public:
    bool Open(const HostOptions& options) {
        width_ = ScreenWidth();
        height_ = ScreenHeight();
        scale_ = std::max(width_, height_) <= 400 ? 2 : 1;
        window_ = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED,
                                   SDL_WINDOWPOS_CENTERED, width_ * scale_, height_ * scale_, 0);
        if (!window_) {
            return false;
        }
        screen_ = CreateScreenDC();
        memory_ = CreateCompatibleDC(nullptr);
        if (!memory_) {
            return false;
        }
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (scale_ == 1 && target && target->format->format == SDL_PIXELFORMAT_RGB888 &&
            target->w == width_ && target->h == height_ && !SDL_MUSTLOCK(target)) {
            bitmap_ = CreateBitmapOnMemory(target->pixels, width_, height_, target->pitch);
            if (bitmap_) {
                direct_ = LayoutOf(target);
                oldBitmap_ = SelectObject(memory_, bitmap_);
                return true;
            }
        }
        return UseCopy();
    }

    void Close() {
        if (source_) {
            SDL_FreeSurface(source_);
        }
        if (memory_) {
            SelectObject(memory_, oldBitmap_);
            DeleteDC(memory_);
        }
        if (bitmap_) {
            DeleteObject(bitmap_);
        }
        if (screen_) {
            DeleteDC(screen_);
        }
        if (window_) {
            SDL_DestroyWindow(window_);
        }
    }

    void Present(bool dark) {
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (!target) {
            return;
        }
        // SDL makes the surface again when the window's size changes.
        if (direct_ && LayoutOf(target) != *direct_ && !UseCopy()) {
            return;
        }
        if (dark) {
            BitBlt(memory_, 0, 0, width_, height_, nullptr, 0, 0, BLACKNESS);
        } else {
            BitBlt(memory_, 0, 0, width_, height_, screen_, 0, 0, SRCCOPY);
        }
        if (!dark && WaitCursorShown()) {
            DrawWaitCursor(memory_, width_, height_);
        }
        if (!direct_) {
            SDL_BlitScaled(source_, nullptr, target, nullptr);
        }
        SDL_UpdateWindowSurface(window_);
        State().frames.fetch_add(1);
    }

    HostFrame Read() {
        HostFrame frame;
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (!target) {
            return frame;
        }
        SDL_Surface* copy = SDL_ConvertSurfaceFormat(target, SDL_PIXELFORMAT_RGB888, 0);
        if (!copy) {
            return frame;
        }
        frame.width = copy->w;
        frame.height = copy->h;
        frame.pixels.resize(static_cast<size_t>(copy->w) * static_cast<size_t>(copy->h));
        SDL_LockSurface(copy);
        for (int y = 0; y < copy->h; ++y) {
            const auto* row = static_cast<const uint32_t*>(copy->pixels) +
                              static_cast<ptrdiff_t>(y) * (copy->pitch / 4);
            std::copy_n(row, copy->w, frame.pixels.begin() + static_cast<ptrdiff_t>(y) * copy->w);
        }
        SDL_UnlockSurface(copy);
        SDL_FreeSurface(copy);
        for (uint32_t& pixel : frame.pixels) {
            pixel &= 0x00FFFFFF;
        }
        return frame;
    }

    // A window point on the screen.
    POINT ToScreen(int x, int y) const {
        return POINT{std::clamp(x / scale_, 0, width_ - 1), std::clamp(y / scale_, 0, height_ - 1)};
    }

  private:
    // The surface the bitmap draws on, by value: SDL frees a surface it makes again
    // and may hand out the new one at the old address.
    struct SurfaceLayout {
        void* pixels;
        int pitch;
        int w;
        int h;
        Uint32 format;
        bool operator==(const SurfaceLayout&) const = default;
    };
    static SurfaceLayout LayoutOf(const SDL_Surface* surface) {
        return {surface->pixels, surface->pitch, surface->w, surface->h, surface->format->format};
    }

    // Draws into a DIB of its own, scaled into the window at each frame.
    bool UseCopy() {
        if (bitmap_) {
            SelectObject(memory_, oldBitmap_);
            DeleteObject(bitmap_);
            bitmap_ = nullptr;
        }
        direct_.reset();
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap_) {
            return false;
        }
        oldBitmap_ = SelectObject(memory_, bitmap_);
        // A 32-bit DIB keeps blue, green, red, unused in memory: SDL's RGB888.
        source_ = SDL_CreateRGBSurfaceWithFormatFrom(bits, width_, height_, 32, width_ * 4,
                                                     SDL_PIXELFORMAT_RGB888);
        return source_ != nullptr;
    }

    SDL_Window* window_ = nullptr;
    SDL_Surface* source_ = nullptr;
    std::optional<SurfaceLayout> direct_;  // the window's surface when the bitmap draws on it
    HDC screen_ = nullptr;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int scale_ = 1;
};

void CloseProgram(const SdlState& state) {
    if (MainWindow()) {
        PostCloseToMainWindow();
    } else {
        PostThreadMessageW(state.starter, WM_QUIT, 0, 0);
    }
}

// Returns whether the window needs showing again.
bool Handle(const SDL_Event& event, const ScreenWindow& window, bool* pressed) {
    SdlState& state = State();
    if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_F12 && !event.key.repeat) {
        state.asleep = !state.asleep;
        *pressed = false;
        if (!state.asleep) {
            SimulatePowerResume();
        }
        return true;
    }
    const bool input = event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEMOTION ||
                       event.type == SDL_MOUSEBUTTONUP || event.type == SDL_KEYDOWN ||
                       event.type == SDL_KEYUP;
    if (state.asleep && input) {
        return false;
    }
    switch (event.type) {
        case SDL_USEREVENT:  // WakeWindowThread
            state.wakePending = false;
            return false;
        case SDL_QUIT:  // also what closing the (only) window gives
            CloseProgram(state);
            return false;
        case SDL_WINDOWEVENT:
            return event.window.event == SDL_WINDOWEVENT_EXPOSED;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT) {
                *pressed = true;
                PostPointerDown(window.ToScreen(event.button.x, event.button.y));
            }
            return false;
        case SDL_MOUSEMOTION:
            // A stylus is only seen while it touches the screen.
            if (*pressed) {
                PostPointerMove(window.ToScreen(event.motion.x, event.motion.y));
            }
            return false;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_LEFT && *pressed) {
                *pressed = false;
                PostPointerUp(window.ToScreen(event.button.x, event.button.y));
            }
            return false;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (UINT key = VirtualKeyOf(event.key.keysym.sym)) {
                if (event.type == SDL_KEYDOWN) {
                    PostKeyDown(key);
                } else {
                    PostKeyUp(key);
                }
            }
            return false;
        default:
            return false;
    }
}

// The host's screensaver may come except until a minute after the program last
// asked the device to stay awake.
void KeepScreensaverAsAsked(SdlState& state) {
    constexpr uint64_t kAwakeMs = 60000;
    uint64_t last = LastIdleTimerReset();
    bool allowed = last == 0 || ClockMilliseconds() >= last + kAwakeMs;
    if (allowed != state.screensaverAllowed) {
        state.screensaverAllowed = allowed;
        if (allowed) {
            SDL_EnableScreenSaver();
        } else {
            SDL_DisableScreenSaver();
        }
    }
}

// SDL frees its last state only in SDL_Quit, which must wait until no other part of
// the program (sound) uses SDL.
void QuitVideo() {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(0) == 0) {
        SDL_Quit();
    }
}

// Without a display SDL falls back to a driver that draws into memory: a window
// there is seen by nobody, and a box on it would wait for ever. Only a driver asked
// for by name (the tests' "dummy") is taken as it is.
bool ShowsAWindow() {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked && *asked)
        return true;
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

void Run() {
    SdlState& state = State();
    ScreenWindow window;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window surface is copied to the window as it is. Left to choose, SDL first
    // makes an OpenGL context to see whose driver it is, which loads the whole GL
    // stack (tens of MB) before the first frame.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    bool opened = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (opened && !ShowsAWindow()) {
        SDL_SetError("no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set)");
        opened = false;
    }
    opened = opened && window.Open(state.options);
    if (opened) {
        SDL_EnableScreenSaver();  // SDL turns it off by default
        state.screensaverAllowed = true;
        state.asleep = false;
    }
    if (!opened) {
        std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
        window.Close();
        QuitVideo();
    }
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.ready = true;
        state.opened = opened;
    }
    state.changed.notify_all();
    if (!opened) {
        return;
    }
    SetWakeable(true);
    SetScreenChangedHandler(WakeWindowThread);
    uint64_t shown = ~uint64_t{0};
    bool pressed = false;
    while (!state.stopping.load()) {
        bool expose = false;
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, kEventWaitMs)) {
            do {
                expose = Handle(event, window, &pressed) || expose;
            } while (SDL_PollEvent(&event));
        }
        bool readWanted = false;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            readWanted = state.readWanted;
        }
        KeepScreensaverAsAsked(state);
        // Read the count first: whatever is drawn after it shows in the next frame.
        uint64_t generation = ScreenGeneration();
        if (generation != shown || expose || readWanted) {
            window.Present(state.asleep);
            shown = generation;
        }
        if (readWanted) {
            HostFrame frame = window.Read();
            {
                std::lock_guard<std::mutex> guard(state.lock);
                state.frame = std::move(frame);
                state.readWanted = false;
                state.readDone = true;
            }
            state.changed.notify_all();
        }
    }
    SetScreenChangedHandler(nullptr);
    SetWakeable(false);
    window.Close();
    QuitVideo();
}

void Stop() {
    SdlState& state = State();
    SetAudioOutputFactory(nullptr);
    state.stopping = true;
    if (state.thread.joinable()) {
        WakeWindowThread();
        state.thread.join();
    }
}

// The user's session bus where libdbus looks when none is named.
bool UserBusExists() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return false;
    struct stat info {};
    const std::string bus = std::string(runtime) + "/bus";
    return stat(bus.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// Sound goes to the host's speakers while the window shows the screen: a device
// opened while the window is still opening waits for it.
std::unique_ptr<AudioOutput> OutputOnceOpen() {
    SdlState& state = State();
    {
        std::unique_lock<std::mutex> lock(state.lock);
        state.changed.wait(lock, [&] { return state.ready; });
        if (!state.opened) {
            return nullptr;
        }
    }
    return MakeSdlAudioOutput();
}

// The window opens on its own thread while the program goes on starting.
void Begin(const HostOptions& options) {
    SdlState& state = State();
    Stop();
    // The window takes keys, never composed text, but SDL opens an input method whose
    // compose table (some 6,000 lines for a UTF-8 locale) X reads a character at a
    // time: a third of the window's start. An empty table is read at once.
    setenv("XCOMPOSEFILE", "/dev/null", 0);
    // With no session bus named nor at its usual place, libdbus runs dbus-launch to start
    // one for SDL: a process forked from ours at each start, and a daemon left behind
    // where dbus-launch is installed. The window has no use for a bus of its own.
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS") && !UserBusExists())
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 0);
    state.options = options;
    state.starter = GetCurrentThreadId();
    state.stopping = false;
    state.frames = 0;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.ready = false;
        state.opened = false;
        state.readWanted = false;
    }
    state.thread = std::thread(Run);
    SetAudioOutputFactory(OutputOnceOpen);
}

bool Started() {
    SdlState& state = State();
    std::unique_lock<std::mutex> lock(state.lock);
    state.changed.wait(lock, [&] { return state.ready; });
    if (state.opened) {
        return true;
    }
    lock.unlock();
    SetAudioOutputFactory(nullptr);
    if (state.thread.joinable()) {
        state.thread.join();
    }
    return false;
}

HostFrame PresentAndRead() {
    SdlState& state = State();
    std::unique_lock<std::mutex> lock(state.lock);
    if (!state.opened || !state.thread.joinable()) {
        return HostFrame{};
    }
    state.readWanted = true;
    state.readDone = false;
    state.changed.wait(lock, [&] { return state.readDone; });
    return std::move(state.frame);
}

uint64_t FramesPresented() {
    return State().frames.load();
}

}  // namespace

LateLibrary& SdlLibrary() {
    static LateLibrary* library = new LateLibrary("libSDL2-2.0.so.0");
    return *library;
}

const Backend& SdlBackend() {
    static const Backend backend{
        .kind = HostBackend::Sdl,
        .begin = Begin,
        .started = Started,
        .stop = Stop,
        .presentAndRead = PresentAndRead,
        .framesPresented = FramesPresented,
    };
    return backend;
}

}  // namespace platform::host
