// Queues: posting, reading with filters, quitting, cross-thread sends and pumping
// waits.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/platform/user/test_window.h"
#include "tests/support/wait_helpers.h"

namespace {

using namespace user_testing;

class MessagesTest : public UserTest {};

TEST_F(MessagesTest, PostQuitMessageEndsGetMessageAfterThePostedMessages) {
    HWND window = MakeTopLevel({0, 0, 10, 10});
    platform::PumpUntilIdle();
    PostMessageW(window, WM_USER + 1, 0, 0);
    PostQuitMessage(7);
    PostThreadMessageW(GetCurrentThreadId(), WM_USER + 2, 0, 0);
    std::vector<UINT> read;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        read.push_back(msg.message);
    }
    EXPECT_EQ(read, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));  // the quit was taken
}

TEST_F(MessagesTest, AnIdleCallRunsOnceTheThreadHasNothingToHandOut) {
    HWND window = MakeTopLevel({0, 0, 10, 10});
    platform::PumpUntilIdle();
    std::vector<UINT> order;
    SetHandler(window, [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message >= WM_USER) {
            order.push_back(message);
        }
        return false;
    });
    PostMessageW(window, WM_USER + 1, 0, 0);
    ASSERT_TRUE(platform::CallWhenIdle(window, [&] {
        order.push_back(0);
        PostMessageW(window, WM_USER + 2, 0, 0);
    }));
    platform::PumpUntilIdle();
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, 0, WM_USER + 2}));

    // Another thread's call reaches a thread waiting in GetMessageW.
    std::thread([&] {
        platform::CallWhenIdle(window, [&] { PostMessageW(window, WM_USER + 3, 0, 0); });
    }).join();
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
    EXPECT_FALSE(platform::CallWhenIdle(nullptr, [] {}));
}

TEST_F(MessagesTest, PeekTakesRangesAndWindowsAndLeavesWhatItOnlyLooksAt) {
    HWND a = MakeTopLevel({0, 0, 10, 10});
    HWND b = MakeTopLevel({0, 0, 10, 10});
    HWND aChild = MakeChild(a, {0, 0, 5, 5}, 1);
    platform::PumpUntilIdle();
    PostMessageW(b, WM_USER + 1, 1, 0);
    PostMessageW(aChild, WM_USER + 2, 2, 0);
    PostMessageW(a, WM_USER + 3, 3, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_USER + 4, 4, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 2, WM_USER + 3, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    // A window filter takes the window's children too, and -1 only thread messages.
    ASSERT_TRUE(PeekMessageW(&msg, a, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessageW(&msg, a, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 4u);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, b);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    // Messages for a window that is gone are dropped.
    PostMessageW(b, WM_USER, 0, 0);
    DestroyWindow(b);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
}

TEST_F(MessagesTest, PostingFailsForUnknownTargetsAndAFullQueue) {
    EXPECT_FALSE(PostThreadMessageW(0x7FFFFFF0, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
    EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    for (int i = 0; i < POSTED_MESSAGE_LIMIT; ++i) {
        ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
    }
    EXPECT_FALSE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    EXPECT_EQ(platform::PumpUntilIdle(), POSTED_MESSAGE_LIMIT);
}

// A user-interface thread with one window, whose handler the test gives.
class UiThread {
  public:
    explicit UiThread(Handler handler) : handler_(std::move(handler)) {
        thread_ = std::thread([this] { Run(); });
        while (!window_.load()) {
            std::this_thread::yield();
        }
    }
    ~UiThread() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HWND window() const { return window_; }

  private:
    void Run() {
        HWND window = MakeTopLevel({0, 0, 10, 10}, WS_POPUP);
        SetHandler(window,
                   [this](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
                       if (message == WM_DESTROY) {
                           PostQuitMessage(0);
                       }
                       return handler_(hwnd, message, wParam, lParam, result);
                   });
        window_ = window;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) {
            DispatchMessageW(&msg);
        }
    }

    Handler handler_;
    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

// A nested message loop, as a modal dialog runs, until WM_USER + 9 arrives.
void RunModalLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        if (msg.message == WM_USER + 9) {
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    PostQuitMessage(static_cast<int>(msg.wParam));
}

TEST_F(MessagesTest, ACrossThreadSendIsServedInsideAModalLoop) {
    std::atomic<bool> inModal{false};
    UiThread target([&](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        if (message == WM_USER + 1) {
            inModal = true;
            RunModalLoop();
            inModal = false;
            return true;
        }
        if (message == WM_USER + 2) {
            *result = static_cast<LRESULT>(wParam * 2 + (inModal ? 1 : 0));
            return true;
        }
        return false;
    });
    PostMessageW(target.window(), WM_USER + 1, 0, 0);
    while (!inModal) {
        std::this_thread::yield();
    }
    EXPECT_EQ(SendMessageW(target.window(), WM_USER + 2, 20, 0), 41);
    auto served = SeenOf(WM_USER + 2);
    ASSERT_EQ(served.size(), 1u);
    EXPECT_NE(served[0].thread, GetCurrentThreadId());
    PostMessageW(target.window(), WM_USER + 9, 0, 0);
}

TEST_F(MessagesTest, ASenderServesASendBackToItWhileItWaits) {
    HWND mine = MakeTopLevel({0, 0, 10, 10});
    SetHandler(mine, [](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        *result = static_cast<LRESULT>(wParam + 100);
        return message == WM_USER + 5;
    });
    UiThread target([&](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        if (message != WM_USER + 4) {
            return false;
        }
        // Back to the sender, which is blocked in its own SendMessageW.
        *result = SendMessageW(mine, WM_USER + 5, wParam, 0) + 1;
        return true;
    });
    EXPECT_EQ(SendMessageW(target.window(), WM_USER + 4, 3, 0), 104);
    auto back = SeenOf(WM_USER + 5);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].thread, GetCurrentThreadId());
}

TEST_F(MessagesTest, ASendToAThreadThatEndsReturnsZero) {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> window{nullptr};
    std::thread doomed([&] {
        window = MakeTopLevel({0, 0, 10, 10}, WS_POPUP);
        WaitForSingleObject(release, INFINITE);  // never reads its queue
    });
    while (!window.load()) {
        std::this_thread::yield();
    }
    std::thread releaser([&] {
        testing_support::WaitUntilBlocked(1);
        // The send is queued before the release: the sender is not a kernel waiter.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SetEvent(release);
    });
    EXPECT_EQ(SendMessageW(window, WM_USER, 0, 0), 0);
    releaser.join();
    doomed.join();
    EXPECT_FALSE(IsWindow(window));
    CloseHandle(release);
}

// A GPS thread asks the view a question while the view is busy; closing the
// receiver stops that thread, which must not wait on for the answer.
TEST_F(MessagesTest, ASenderAskedToStopGivesUpItsSendWithZero) {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    UiThread busy([&](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message == WM_USER + 1) {
            WaitForSingleObject(release, INFINITE);
            return true;
        }
        *result = 77;
        return message == WM_USER + 2;
    });
    PostMessageW(busy.window(), WM_USER + 1, 0, 0);
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));

    struct Send {
        HWND target;
        std::atomic<LRESULT> answer{-1};
    } send{busy.window()};
    HANDLE sender = CreateThread(
        nullptr, 0,
        [](LPVOID param) -> DWORD {
            auto* s = static_cast<Send*>(param);
            s->answer = SendMessageW(s->target, WM_USER + 2, 0, 0);
            return 0;
        },
        &send, 0, nullptr);
    ASSERT_NE(sender, nullptr);
    // Whether the stop comes before or during the wait, the answer is the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(TerminateThread(sender, 3));
    EXPECT_EQ(send.answer.load(), 0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(sender, &code));
    EXPECT_EQ(code, 3u);

    // The abandoned send is never served once the view is free again.
    SetEvent(release);
    EXPECT_EQ(SendMessageW(busy.window(), WM_USER + 2, 0, 0), 77);
    EXPECT_EQ(SeenOf(WM_USER + 2).size(), 1u);
    CloseHandle(sender);
    CloseHandle(release);
}

TEST_F(MessagesTest, MsgWaitEndsForAnObjectOrAMessageAndServesSendsMeanwhile) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HWND mine = MakeTopLevel({0, 0, 10, 10});
    SetHandler(mine, [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        *result = 55;
        return message == WM_USER + 1;
    });
    platform::PumpUntilIdle();
    SetEvent(event);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);

    std::atomic<LRESULT> answer{0};
    std::thread other([&] {
        answer = SendMessageW(mine, WM_USER + 1, 0, 0);
        PostMessageW(mine, WM_USER + 2, 0, 0);
    });
    // Only the post ends the wait; the send before it is served inside.
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_POSTMESSAGE),
              WAIT_OBJECT_0 + 1);
    other.join();
    EXPECT_EQ(answer.load(), 55);
    EXPECT_EQ(SeenOf(WM_USER + 1).size(), 1u);

    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT),
              static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(event);
}

TEST_F(MessagesTest, TranslateMessageTurnsKeysIntoCharacters) {
    HWND window = MakeTopLevel({0, 0, 10, 10});
    SetFocus(window);
    platform::PostKeyPress('A');
    platform::PostKeyDown(VK_SHIFT);
    platform::PostKeyPress('A');
    platform::PostKeyPress('1');
    platform::PostKeyUp(VK_SHIFT);
    platform::PostKeyPress(VK_RETURN);
    platform::PostKeyPress(VK_LEFT);  // no character
    platform::PumpUntilIdle();
    std::u16string typed;
    for (const Seen& seen : SeenOf(WM_CHAR)) {
        typed += static_cast<char16_t>(seen.wParam);
    }
    EXPECT_EQ(typed, u"aA!\r");
}

}  // namespace
