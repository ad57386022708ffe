// The host: choosing the backend, the SDL2 backend under SDL's dummy video driver,
// and the screenshot at the program's end.
#include <SDL.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/host.h"
#include "tests/support/test_child.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);

// Sets or clears an environment variable for one scope.
class EnvironmentVariable {
  public:
    EnvironmentVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvironmentVariable() {
        if (saved_) {
            setenv(name_, saved_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Received> g_received;

LRESULT CALLBACK RedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_received.push_back(Received{message, wParam, lParam});
    if (message == WM_DESTROY) {
        PostQuitMessage(5);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeRedWindow(RECT r) {
    static const bool registered = [] {
        WNDCLASSW info{};
        info.lpfnWndProc = RedWindowProc;
        info.hbrBackground = CreateSolidBrush(kRed);
        info.lpszClassName = u"RedWindow";
        return RegisterClassW(&info) != 0;
    }();
    EXPECT_TRUE(registered);
    return CreateWindowExW(0, u"RedWindow", u"Red", WS_POPUP | WS_VISIBLE, r.left, r.top,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
}

// Reads the queue (in real time, at most 10 s) until `done` or WM_QUIT; returns the
// quit code, or -1 when no WM_QUIT came.
int PumpUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return static_cast<int>(msg.wParam);
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return -1;
}

bool Got(UINT message) {
    for (const Received& received : g_received) {
        if (received.message == message) {
            return true;
        }
    }
    return false;
}

TEST(HostTest, TheBackendComesFromTheCallerTheEnvironmentOrTheDisplay) {
    struct Case {
        platform::HostBackend asked;
        const char* backendVariable;
        const char* display;
        const char* videoDriver;
        platform::HostBackend expected;
    };
    using platform::HostBackend;
    const Case cases[] = {
        {HostBackend::Automatic, nullptr, nullptr, nullptr, HostBackend::Headless},
        {HostBackend::Automatic, "headless", ":99", nullptr, HostBackend::Headless},
        {HostBackend::Automatic, "sdl", nullptr, "dummy", HostBackend::Sdl},
        {HostBackend::Automatic, nullptr, ":99", "dummy", HostBackend::Sdl},
        {HostBackend::Headless, "sdl", ":99", "dummy", HostBackend::Headless},
        // An SDL window that cannot open leaves the program headless.
        {HostBackend::Sdl, nullptr, nullptr, "no-such-driver", HostBackend::Headless},
    };
    for (const Case& c : cases) {
        EnvironmentVariable backend("PATHLUME_BACKEND", c.backendVariable);
        EnvironmentVariable display("DISPLAY", c.display);
        EnvironmentVariable wayland("WAYLAND_DISPLAY", nullptr);
        EnvironmentVariable driver("SDL_VIDEODRIVER", c.videoDriver);
        EXPECT_EQ(platform::StartHost({480, 640, 192, c.asked}), c.expected);
        EXPECT_EQ(platform::CurrentHostBackend(), c.expected);
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 640);
        EXPECT_EQ(platform::ScreenDpi(), 192);
        platform::StopHost();
    }
}

// Without a display SDL would draw into memory, where nobody sees the window or
// answers its boxes: a window asked for by PATHLUME_BACKEND ends the start with 2
// and a line saying why; one the caller asked for leaves the program headless.
TEST(HostTest, SdlWithoutADisplayIsNoWindow) {
    EnvironmentVariable display("DISPLAY", nullptr);
    EnvironmentVariable wayland("WAYLAND_DISPLAY", nullptr);
    EnvironmentVariable driver("SDL_VIDEODRIVER", nullptr);
    {
        EnvironmentVariable backend("PATHLUME_BACKEND", "sdl");
        testing::internal::CaptureStderr();
        int code = -1;
        try {
            platform::StartHost({480, 640, 192, platform::HostBackend::Automatic});
        } catch (const platform::ProcessExit& exit) {
            code = static_cast<int>(exit.exitCode);
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 2);
        EXPECT_NE(said.find("no display"), std::string::npos) << said;
        EXPECT_NE(said.find("PATHLUME_BACKEND=headless"), std::string::npos) << said;
        platform::StopHost();
    }
    EnvironmentVariable backend("PATHLUME_BACKEND", nullptr);
    EXPECT_EQ(platform::StartHost({480, 640, 192, platform::HostBackend::Sdl}),
              platform::HostBackend::Headless);
    platform::StopHost();
}

// BeginHost goes on while the window opens: the first box waits for the window and is
// drawn in it; a window that did not open leaves the program headless there, its
// boxes answered as headless boxes are.
TEST(HostTest, BeginHostOpensTheWindowWhileTheProgramGoesOnStarting) {
    EnvironmentVariable backend("PATHLUME_BACKEND", nullptr);
    EnvironmentVariable display("DISPLAY", ":99");
    EnvironmentVariable wayland("WAYLAND_DISPLAY", nullptr);
    {
        EnvironmentVariable driver("SDL_VIDEODRIVER", "dummy");
        // The program's own boxes ask first whether boxes are drawn.
        platform::BeginHost({240, 320, 96, platform::HostBackend::Automatic});
        EXPECT_TRUE(platform::IsDrawnMessageBox());
        platform::StopHost();
        platform::BeginHost({240, 320, 96, platform::HostBackend::Automatic});
        platform::QueueMessageBoxAnswer(IDCANCEL);
        EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OKCANCEL), IDCANCEL);
        EXPECT_TRUE(platform::IsDrawnMessageBox());
        EXPECT_EQ(platform::CurrentHostBackend(), platform::HostBackend::Sdl);
        platform::StopHost();
        EXPECT_FALSE(platform::IsDrawnMessageBox());
    }
    {
        EnvironmentVariable driver("SDL_VIDEODRIVER", "no-such-driver");
        testing::internal::CaptureStderr();
        platform::BeginHost({240, 320, 96, platform::HostBackend::Automatic});
        EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OKCANCEL), IDOK);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("no window could be opened; running headless"), std::string::npos)
            << said;
        EXPECT_NE(said.find("caption: text"), std::string::npos) << said;
        EXPECT_FALSE(platform::IsDrawnMessageBox());
        EXPECT_EQ(platform::CurrentHostBackend(), platform::HostBackend::Headless);
        platform::StopHost();
    }
}

TEST(HostTest, TheSdlBackendShowsTheScreenTakesTheStylusAndKeysAndClosesTheProgram) {
    EnvironmentVariable driver("SDL_VIDEODRIVER", "dummy");
    ASSERT_EQ(platform::StartHost({240, 320, 96, platform::HostBackend::Sdl}),
              platform::HostBackend::Sdl);
    g_received.clear();
    HWND window = MakeRedWindow({20, 30, 120, 130});
    ASSERT_TRUE(window);
    platform::PumpUntilIdle();

    // Shown twice as large.
    platform::HostFrame frame = platform::PresentAndReadHostFrame();
    ASSERT_EQ(frame.width, 480);
    ASSERT_EQ(frame.height, 640);
    auto pixel = [&](int x, int y) {
        return frame.pixels[static_cast<size_t>(y * frame.width + x)];
    };
    EXPECT_EQ(pixel(40, 60), 0xFF0000u);
    EXPECT_EQ(pixel(239, 259), 0xFF0000u);
    EXPECT_EQ(pixel(39, 60), 0u);
    EXPECT_EQ(pixel(240, 259), 0u);
    EXPECT_GE(platform::HostFramesPresented(), 1u);

    // A click in the window is a tap on the screen at half its coordinates.
    SDL_Event event{};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.button = SDL_BUTTON_LEFT;
    event.button.state = SDL_PRESSED;
    event.button.x = 2 * 50 + 1;
    event.button.y = 2 * 60 + 1;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    event.type = SDL_MOUSEBUTTONUP;
    event.button.state = SDL_RELEASED;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_F1;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    PumpUntil([] { return Got(WM_LBUTTONUP) && Got(WM_KEYDOWN); });
    std::vector<Received> input;
    for (const Received& received : g_received) {
        if (received.message == WM_LBUTTONDOWN || received.message == WM_LBUTTONUP ||
            received.message == WM_KEYDOWN) {
            input.push_back(received);
        }
    }
    ASSERT_EQ(input.size(), 3u);
    EXPECT_EQ(input[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(input[0].lParam, MAKELPARAM(30, 30));
    EXPECT_EQ(input[1].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(input[2].wParam, static_cast<WPARAM>(VK_APP1));

    // Quitting the window closes the main window, which ends the message loop.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    EXPECT_EQ(PumpUntil([] { return false; }), 5);
    EXPECT_TRUE(Got(WM_CLOSE));
    EXPECT_FALSE(IsWindow(window));
    platform::StopHost();
}

// Polls (real time, at most 10 s) until `done`.
bool WaitFor(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void PushKey(SDL_Keycode sym) {
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = sym;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    key.type = SDL_KEYUP;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
}

TEST(HostTest, F12SendsTheDeviceToSleepAndWakesItWithAResume) {
    EnvironmentVariable driver("SDL_VIDEODRIVER", "dummy");
    ASSERT_EQ(platform::StartHost({240, 320, 96, platform::HostBackend::Sdl}),
              platform::HostBackend::Sdl);
    MSGQUEUEOPTIONS options{sizeof options, 0, 10, 128, TRUE};
    HANDLE queue = CreateMsgQueue(nullptr, &options);
    HANDLE notifications = RequestPowerNotifications(queue, PBT_RESUME);
    g_received.clear();
    HWND window = MakeRedWindow({0, 0, 240, 320});
    platform::PumpUntilIdle();
    auto centre = [] {
        platform::HostFrame frame = platform::PresentAndReadHostFrame();
        return frame.pixels.empty() ? 1u : frame.pixels[frame.pixels.size() / 2];
    };
    EXPECT_EQ(centre(), 0xFF0000u);

    PushKey(SDLK_F12);
    PushKey(SDLK_F1);  // asleep: nobody gets it
    ASSERT_TRUE(WaitFor([&] { return centre() == 0u; }));
    EXPECT_EQ(WaitForSingleObject(queue, 0), WAIT_TIMEOUT);

    PushKey(SDLK_F12);
    ASSERT_EQ(WaitForSingleObject(queue, 10000), WAIT_OBJECT_0);
    POWER_BROADCAST broadcast{};
    DWORD read = 0;
    ASSERT_TRUE(ReadMsgQueue(queue, &broadcast, sizeof broadcast, &read, 0, nullptr));
    EXPECT_EQ(broadcast.Message, static_cast<DWORD>(PBT_RESUME));
    EXPECT_TRUE(WaitFor([&] { return centre() == 0xFF0000u; }));
    platform::PumpUntilIdle();
    EXPECT_FALSE(Got(WM_KEYDOWN));

    // The screensaver may come, except for a minute after the program asks to stay awake.
    EXPECT_TRUE(WaitFor([] { return SDL_IsScreenSaverEnabled() == SDL_TRUE; }));
    SystemIdleTimerReset();
    EXPECT_TRUE(WaitFor([] { return SDL_IsScreenSaverEnabled() == SDL_FALSE; }));

    StopPowerNotifications(notifications);
    CloseMsgQueue(queue);
    DestroyWindow(window);
    EXPECT_EQ(PumpUntil([] { return false; }), 5);  // its WM_QUIT
    platform::StopHost();
}

TEST_CHILD(paint_then_quit) {
    platform::StartHost({240, 320, 96, platform::HostBackend::Headless});
    HWND window = MakeRedWindow({0, 0, 100, 100});
    platform::PumpUntilIdle();
    PostMessageW(window, WM_CLOSE, 0, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        DispatchMessageW(&msg);
    }
    return IsWindow(window) ? 1 : 0;  // the screenshot is written on the way out
}

TEST(HostTest, AProgramWritesItsLastScreenWhenItQuits) {
    std::filesystem::path shot = std::filesystem::path(testing::TempDir()) /
                                 ("screenshot-" + std::to_string(getpid()) + ".png");
    std::filesystem::remove(shot);
    {
        EnvironmentVariable variable("PATHLUME_SCREENSHOT", shot.c_str());
        ASSERT_EQ(testing_support::RunChild("paint_then_quit"), 0);
    }
    ASSERT_TRUE(std::filesystem::exists(shot));
    cairo_surface_t* image = cairo_image_surface_create_from_png(shot.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 240);
    EXPECT_EQ(cairo_image_surface_get_height(image), 320);
    cairo_surface_flush(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    auto pixel = [&](int x, int y) {
        return *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
    };
    EXPECT_EQ(pixel(50, 50), 0xFF0000u);  // the window, as it was before it closed
    EXPECT_EQ(pixel(150, 150), 0u);
    cairo_surface_destroy(image);
    std::filesystem::remove(shot);
}

}  // namespace
