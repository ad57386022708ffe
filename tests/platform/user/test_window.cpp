#include "tests/platform/user/test_window.h"

#include <map>

namespace user_testing {
namespace {

struct Recorder {
    std::mutex lock;
    std::vector<Seen> seen;
    std::map<HWND, Handler> handlers;
};

Recorder& TheRecorder() {
    static Recorder* recorder = new Recorder;
    return *recorder;
}

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Handler handler;
    {
        Recorder& recorder = TheRecorder();
        std::lock_guard<std::mutex> guard(recorder.lock);
        recorder.seen.push_back(Seen{hwnd, message, wParam, lParam, GetCurrentThreadId()});
        auto it = recorder.handlers.find(hwnd);
        if (it == recorder.handlers.end()) {
            it = recorder.handlers.find(nullptr);
        }
        if (it != recorder.handlers.end()) {
            handler = it->second;
        }
    }
    LRESULT result = 0;
    if (handler && handler(hwnd, message, wParam, lParam, &result)) {
        return result;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void RegisterTestClass() {
    static const bool registered = [] {
        WNDCLASSW info{};
        info.lpfnWndProc = TestWindowProc;
        info.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        info.lpszClassName = kTestClass;
        return RegisterClassW(&info) != 0;
    }();
    ASSERT_TRUE(registered);
}

bool RegisterRecordingClass(LPCWSTR name, HBRUSH background, UINT style) {
    WNDCLASSW info{};
    info.style = style;
    info.lpfnWndProc = TestWindowProc;
    info.hbrBackground = background;
    info.lpszClassName = name;
    return RegisterClassW(&info) != 0;
}

HWND MakeWindowOf(LPCWSTR className, HWND parent, RECT r, DWORD style, int id) {
    return CreateWindowExW(0, className, nullptr, style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void SetHandler(HWND hwnd, Handler handler) {
    Recorder& recorder = TheRecorder();
    std::lock_guard<std::mutex> guard(recorder.lock);
    if (handler) {
        recorder.handlers[hwnd] = std::move(handler);
    } else {
        recorder.handlers.erase(hwnd);
    }
}

std::vector<Seen> SeenMessages() {
    Recorder& recorder = TheRecorder();
    std::lock_guard<std::mutex> guard(recorder.lock);
    return recorder.seen;
}

std::vector<Seen> SeenOf(UINT message) {
    std::vector<Seen> out;
    for (const Seen& seen : SeenMessages()) {
        if (seen.message == message) {
            out.push_back(seen);
        }
    }
    return out;
}

std::vector<Seen> SeenBy(HWND hwnd) {
    std::vector<Seen> out;
    for (const Seen& seen : SeenMessages()) {
        if (seen.hwnd == hwnd) {
            out.push_back(seen);
        }
    }
    return out;
}

void ClearSeen() {
    Recorder& recorder = TheRecorder();
    std::lock_guard<std::mutex> guard(recorder.lock);
    recorder.seen.clear();
}

HWND MakeTopLevel(RECT r, DWORD style, HWND owner) {
    return CreateWindowExW(0, kTestClass, u"top", style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, owner, nullptr, nullptr, nullptr);
}

HWND MakeChild(HWND parent, RECT r, int id, DWORD style) {
    return CreateWindowExW(0, kTestClass, u"child", style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void CleanUpThread() {
    std::vector<HWND> mine;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) {
            mine.push_back(w);
        }
    }
    for (HWND w : mine) {
        DestroyWindow(w);
    }
    platform::DiscardPendingInput();
    platform::PumpUntilIdle();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    ReleaseCapture();
}

void UserTest::SetUp() {
    platform::SetScreenMode(240, 320, 96);
    RegisterTestClass();
    CleanUpThread();
    ClearSeen();
}

void UserTest::TearDown() {
    CleanUpThread();
    Recorder& recorder = TheRecorder();
    std::lock_guard<std::mutex> guard(recorder.lock);
    recorder.handlers.clear();
    recorder.seen.clear();
}

}  // namespace user_testing
