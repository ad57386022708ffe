// Windows of another process on the same device root.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/roots.h"

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

// A request as another process would write it to this one's socket.
std::vector<uint8_t> RawRequest(uint16_t op, HWND window, uint32_t message, uint64_t wParam,
                                uint64_t lParam, uint32_t zero = 0,
                                uint32_t classLength = 0xFFFFFFFF) {
    std::vector<uint8_t> out;
    auto put = [&](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    put(0x4E574C50, 4);  // "PLWN"
    put(1, 2);
    put(op, 2);
    put(reinterpret_cast<uintptr_t>(window), 8);
    put(message, 4);
    put(zero, 4);
    put(wParam, 8);
    put(lParam, 8);
    put(classLength, 4);
    put(0xFFFFFFFF, 4);
    if (classLength != 0xFFFFFFFF && classLength <= 16)
        put(0, 2 * classLength);
    return out;
}

struct RawReply {
    bool ok;
    uint32_t error;
    uint64_t value;
};

// Writes the bytes to this process's window socket on a thread of its own, serving
// this thread's messages meanwhile; the reply, or none when the socket closed
// without one.
std::optional<RawReply> AskOurselves(const std::vector<uint8_t>& bytes) {
    const std::string path = (platform::RuntimeFolder(platform::DeviceRoot()) /
                              ("windows-" + std::to_string(getpid()) + ".sock"))
                                 .string();
    auto exchange = std::async(std::launch::async, [&]() -> std::optional<RawReply> {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            if (fd >= 0)
                close(fd);
            return std::nullopt;
        }
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        shutdown(fd, SHUT_WR);  // all there is: a request cut short ends here
        uint8_t reply[24];
        size_t got = 0;
        pollfd ready{fd, POLLIN, 0};
        while (got < sizeof reply && poll(&ready, 1, 10000) == 1) {
            const ssize_t n = recv(fd, reply + got, sizeof reply - got, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        close(fd);
        if (got != sizeof reply)
            return std::nullopt;
        auto get = [&](int at, int size) {
            uint64_t value = 0;
            for (int i = size; i-- > 0;)
                value = (value << 8) | reply[at + i];
            return value;
        };
        return RawReply{get(4, 4) != 0, static_cast<uint32_t>(get(8, 4)), get(16, 8)};
    });
    while (exchange.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    return exchange.get();
}

// What another process asks is checked whole first: only numbers travel, so a
// message that carries a pointer (WM_GETTEXT with the sender's buffer) is refused
// rather than written through; only top-level windows are reached; requests that
// are not whole are dropped; and the window stays in service throughout.
TEST_F(RemoteWindowsTest, RequestsFromAnotherProcessAreCheckedWhole) {
    HWND child = CreateWindowExW(0, u"ParentWindow", u"Inner", WS_CHILD, 0, 0, 5, 5, parent_,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    constexpr uint16_t kPost = 2, kSend = 3;
    struct Case {
        const char* what;
        std::vector<uint8_t> request;
        std::optional<DWORD> refusedWith;  // none: no reply at all
    };
    const Case cases[] = {
        {"WM_GETTEXT into the sender's buffer", RawRequest(kSend, parent_, WM_GETTEXT, 100, 0x1234),
         ERROR_ACCESS_DENIED},
        {"WM_SETTEXT from the sender's text", RawRequest(kPost, parent_, WM_SETTEXT, 0, 0x1234),
         ERROR_ACCESS_DENIED},
        {"a command from a control of the sender", RawRequest(kPost, parent_, WM_COMMAND, 1, 77),
         ERROR_ACCESS_DENIED},
        {"a window that is not top-level", RawRequest(kSend, child, kParentAnswer, 1, 0),
         ERROR_INVALID_WINDOW_HANDLE},
        {"no window", RawRequest(kSend, reinterpret_cast<HWND>(0x5A5A5A), kParentAnswer, 1, 0),
         ERROR_INVALID_WINDOW_HANDLE},
        {"a field that must be zero", RawRequest(kSend, parent_, kParentAnswer, 1, 0, 7), {}},
        {"an unknown operation", RawRequest(9, parent_, kParentAnswer, 1, 0), {}},
        {"a class name on a send", RawRequest(kSend, parent_, kParentAnswer, 1, 0, 0, 3), {}},
        {"a class name too long", RawRequest(1, nullptr, 0, 0, 0, 0, 100000), {}},
        {"a request cut short", std::vector<uint8_t>(20, 0x50), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<RawReply> reply = AskOurselves(c.request);
        if (!c.refusedWith) {
            EXPECT_FALSE(reply.has_value());
            continue;
        }
        ASSERT_TRUE(reply.has_value());
        EXPECT_FALSE(reply->ok);
        EXPECT_EQ(reply->error, *c.refusedWith);
    }
    const std::optional<RawReply> served =
        AskOurselves(RawRequest(kSend, parent_, kParentAnswer, 7, 0));
    ASSERT_TRUE(served.has_value());
    EXPECT_TRUE(served->ok);
    EXPECT_EQ(served->value, 1007u);

    // The sending side refuses such a message before it travels.
    HWND peer = FindPeer(u"Peer");
    ASSERT_NE(peer, nullptr);
    WCHAR text[32] = {};
    EXPECT_EQ(SendMessageW(peer, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(text)), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SendMessageW(peer, kAdd, 40, 2), 42);
    DestroyWindow(child);
}

// The socket's folder must be the user's alone: in a folder another user owns, no
// socket is made, and none is asked.
TEST(RemoteWindowsFolderTest, AFolderOfAnotherUserIsNotServed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the folder to another user needs root";
    testing_support::TempRoots roots;
    const std::filesystem::path folder = platform::RuntimeFolder(platform::DeviceRoot());
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    Register(u"ParentWindow", ParentProc);
    HWND window = CreateWindowExW(0, u"ParentWindow", u"Lonely", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(
        std::filesystem::exists(folder / ("windows-" + std::to_string(getpid()) + ".sock")));
    EXPECT_EQ(FindWindowW(u"PeerWindow", nullptr), nullptr);
    DestroyWindow(window);
    chown(folder.c_str(), geteuid(), getegid());
}

}  // namespace
