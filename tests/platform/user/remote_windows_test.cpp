// Windows of another process on the same device root.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/user/user.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"

namespace {

constexpr UINT kAdd = WM_USER;               // returns wParam + lParam
constexpr UINT kRemember = WM_USER + 1;      // posted: keeps wParam + lParam
constexpr UINT kRemembered = WM_USER + 2;    // returns what was kept
constexpr UINT kInFront = WM_USER + 3;       // returns whether it is the foreground window
constexpr UINT kAskBack = WM_USER + 4;       // sends kAdd to the parent's window, returns it
constexpr UINT kEndAbruptly = WM_USER + 5;   // the process ends without answering
constexpr UINT kParentAnswer = WM_USER + 9;  // the parent's window: returns 1000 + wParam

LRESULT g_remembered = 0;

LRESULT CALLBACK PeerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kAdd:
            return static_cast<LRESULT>(wParam) + lParam;
        case kRemember:
            g_remembered = static_cast<LRESULT>(wParam) + lParam;
            return 0;
        case kRemembered:
            return g_remembered;
        case kInFront:
            return GetForegroundWindow() == hwnd;
        case kAskBack: {
            HWND parent = FindWindowW(u"ParentWindow", nullptr);
            return parent ? SendMessageW(parent, kParentAnswer, 5, 0) : -1;
        }
        case kEndAbruptly:
            _exit(0);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kParentAnswer) {
        return 1000 + static_cast<LRESULT>(wParam);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Register(const char16_t* name, WNDPROC proc) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = proc;
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

TEST_CHILD(peer_window) {
    Register(u"PeerWindow", PeerProc);
    // An owned window first, so the one found is not simply the first made.
    CreateWindowExW(0, u"PeerWindow", u"Other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                    nullptr);
    HWND peer = CreateWindowExW(0, u"PeerWindow", u"Peer", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    if (!peer) {
        return 3;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        DispatchMessageW(&msg);
    }
    return 0;
}

// Finds the window, waiting (real time, at most 10 s) for the other process to make it.
HWND FindPeer(const char16_t* name) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (HWND found = FindWindowW(u"PeerWindow", name)) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

class RemoteWindowsTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        Register(u"ParentWindow", ParentProc);
        parent_ = CreateWindowExW(0, u"ParentWindow", u"Parent", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, nullptr, nullptr);
        child_ = testing_support::StartChild("peer_window");
    }
    void TearDown() override {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            testing_support::WaitChild(child_);
        }
        DestroyWindow(parent_);
    }

    HWND parent_ = nullptr;
    pid_t child_ = -1;
};

TEST_F(RemoteWindowsTest, MessagesReachTheWindowOfAnotherProcessWithTheirValues) {
    HWND peer = FindPeer(u"Peer");
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(FindWindowW(u"PeerWindow", u"Peer"), peer);  // the same handle again
    EXPECT_TRUE(IsWindow(peer));
    DWORD owner = 0;
    EXPECT_NE(GetWindowThreadProcessId(peer, &owner), 0u);
    EXPECT_EQ(owner, static_cast<DWORD>(child_));

    EXPECT_EQ(SendMessageW(peer, kAdd, 40, 2), 42);
    EXPECT_TRUE(PostMessageW(peer, kRemember, 7, -10));
    // A send is served before what was posted, as on one machine: ask until it arrived.
    LRESULT remembered = 0;
    for (int i = 0; i < 1000 && remembered == 0; ++i) {
        remembered = SendMessageW(peer, kRemembered, 0, 0);
        if (remembered == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    EXPECT_EQ(remembered, -3);
    EXPECT_EQ(SendMessageW(peer, kAdd, 0x100000000ull, 1), 0x100000001ll);

    EXPECT_TRUE(SetForegroundWindow(peer));
    EXPECT_EQ(SendMessageW(peer, kInFront, 0, 0), 1);

    // While it waits for the answer, the sender serves what the other side sends it.
    EXPECT_EQ(SendMessageW(peer, kAskBack, 0, 0), 1005);

    // Another device root does not see it.
    testing_support::TempRoots elsewhere;
    EXPECT_EQ(FindWindowW(u"PeerWindow", u"Peer"), nullptr);
}

TEST_F(RemoteWindowsTest, ASendToAProgramThatEndsGivesZeroAndTheWindowIsGone) {
    HWND peer = FindPeer(u"Peer");
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(SendMessageW(peer, kEndAbruptly, 0, 0), 0);
    EXPECT_EQ(testing_support::WaitChild(child_), 0);
    child_ = -1;
    EXPECT_FALSE(IsWindow(peer));
    EXPECT_FALSE(PostMessageW(peer, kRemember, 1, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(SetForegroundWindow(peer));
    EXPECT_EQ(FindWindowW(u"PeerWindow", u"Peer"), nullptr);
}

TEST_F(RemoteWindowsTest, AClosedWindowEndsItsProgramAndIsNotFoundAgain) {
    HWND peer = FindPeer(u"Peer");
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(PostMessageW(peer, WM_CLOSE, 0, 0));
    EXPECT_EQ(testing_support::WaitChild(child_), 0);
    child_ = -1;
    EXPECT_EQ(FindWindowW(u"PeerWindow", nullptr), nullptr);
}

}  // namespace
