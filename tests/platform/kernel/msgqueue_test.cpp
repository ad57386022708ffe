#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/kernel/kernel.h"
#include "tests/support/wait_helpers.h"

namespace {

MSGQUEUEOPTIONS Options(BOOL read, DWORD maxMessages = 4, DWORD maxSize = 16, DWORD flags = 0) {
    return MSGQUEUEOPTIONS{sizeof(MSGQUEUEOPTIONS), flags, maxMessages, maxSize, read};
}

struct NamedPair {
    HANDLE reader;
    HANDLE writer;
    explicit NamedPair(const char16_t* name, DWORD maxMessages = 4, DWORD flags = 0) {
        MSGQUEUEOPTIONS read = Options(TRUE, maxMessages, 16, flags);
        MSGQUEUEOPTIONS write = Options(FALSE, maxMessages, 16, flags);
        reader = CreateMsgQueue(name, &read);
        writer = CreateMsgQueue(name, &write);
    }
    ~NamedPair() {
        CloseMsgQueue(reader);
        CloseMsgQueue(writer);
    }
};

BOOL Write(HANDLE queue, uint32_t value, DWORD timeout = 0, DWORD flags = 0) {
    return WriteMsgQueue(queue, &value, sizeof value, timeout, flags);
}

TEST(MsgQueue, MessagesComeWholeInOrderAndAShortReadDropsOne) {
    NamedPair queue(u"order");
    ASSERT_NE(queue.reader, nullptr);
    ASSERT_NE(queue.writer, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    ASSERT_TRUE(Write(queue.writer, 1));
    ASSERT_TRUE(Write(queue.writer, 2, 0, MSGQUEUE_MSGALERT));
    ASSERT_TRUE(Write(queue.writer, 3));

    uint16_t tooSmall = 0;
    DWORD read = 99;
    EXPECT_FALSE(ReadMsgQueue(queue.reader, &tooSmall, sizeof tooSmall, &read, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    uint8_t buffer[16] = {};
    DWORD flags = 0;
    ASSERT_TRUE(ReadMsgQueue(queue.reader, buffer, sizeof buffer, &read, 0, &flags));
    uint32_t value = 0;
    std::memcpy(&value, buffer, sizeof value);
    EXPECT_EQ(value, 2u);  // the first went with the short read
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(flags, static_cast<DWORD>(MSGQUEUE_MSGALERT));
    ASSERT_TRUE(ReadMsgQueue(queue.reader, buffer, sizeof buffer, &read, 0, &flags));
    std::memcpy(&value, buffer, sizeof value);
    EXPECT_EQ(value, 3u);

    EXPECT_FALSE(ReadMsgQueue(queue.reader, buffer, sizeof buffer, &read, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
}

TEST(MsgQueue, RefusesWhatDoesNotFit) {
    NamedPair queue(u"limits", 2);
    ASSERT_TRUE(Write(queue.writer, 1));
    ASSERT_TRUE(Write(queue.writer, 2));
    EXPECT_FALSE(Write(queue.writer, 3));  // full, no waiting
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(queue.writer, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(queue.reader, 0), WAIT_OBJECT_0);

    uint8_t large[17] = {};
    EXPECT_FALSE(WriteMsgQueue(queue.writer, large, sizeof large, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    MSGQUEUEOPTIONS bad = Options(TRUE);
    bad.dwSize = 16;
    EXPECT_EQ(CreateMsgQueue(nullptr, &bad), nullptr);
    // The ends are not interchangeable.
    DWORD read = 0;
    EXPECT_FALSE(ReadMsgQueue(queue.writer, large, sizeof large, &read, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(MsgQueue, AWriterWithoutReadersIsToldUnlessTheQueueAllowsIt) {
    MSGQUEUEOPTIONS write = Options(FALSE);
    HANDLE alone = CreateMsgQueue(u"no readers", &write);
    EXPECT_FALSE(Write(alone, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_NOT_CONNECTED));
    CloseMsgQueue(alone);

    MSGQUEUEOPTIONS allowed = Options(FALSE, 4, 16, MSGQUEUE_ALLOW_BROKEN);
    alone = CreateMsgQueue(u"broken allowed", &allowed);
    EXPECT_TRUE(Write(alone, 1));
    CloseMsgQueue(alone);
}

// The listener took every message and waits again.
bool WaitUntilRead(HANDLE queue) {
    for (int i = 0; i < 2000; ++i) {
        MSGQUEUEINFO info{};
        info.dwSize = sizeof info;
        if (GetMsgQueueInfo(queue, &info) && info.dwCurrentMessages == 0) {
            return testing_support::WaitUntilBlocked(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// The power thread's pattern: wait without time-out on the queue, read, and end when
// the queue is closed from another thread.
DWORD ListenForResumes(LPVOID parameter) {
    HANDLE queue = static_cast<HANDLE>(parameter);
    DWORD resumes = 0;
    while (WaitForSingleObject(queue, INFINITE) == WAIT_OBJECT_0) {
        uint8_t buffer[16];
        DWORD read = 0;
        DWORD flags = 0;
        if (ReadMsgQueue(queue, buffer, sizeof buffer, &read, 0, &flags)) {
            auto* broadcast = reinterpret_cast<POWER_BROADCAST*>(buffer);
            if (read == POWER_BROADCAST_MESSAGE_SIZE && (broadcast->Message & PBT_RESUME)) {
                ++resumes;
            }
        }
    }
    return GetLastError() == ERROR_INVALID_HANDLE ? resumes : 1000;
}

TEST(PowerNotifications, AResumeReachesTheQueueAndClosingTheQueueEndsItsListener) {
    MSGQUEUEOPTIONS options{sizeof options, MSGQUEUE_NOPRECOMMIT, 10, 128, TRUE};
    HANDLE queue = CreateMsgQueue(nullptr, &options);
    ASSERT_NE(queue, nullptr);
    HANDLE notifications = RequestPowerNotifications(queue, PBT_RESUME);
    ASSERT_NE(notifications, nullptr);

    HANDLE thread = CreateThread(nullptr, 0, ListenForResumes, queue, 0, nullptr);
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    platform::SimulatePowerResume();
    platform::SimulatePowerResume();
    ASSERT_TRUE(WaitUntilRead(queue));

    EXPECT_TRUE(StopPowerNotifications(notifications));
    platform::SimulatePowerResume();  // nobody asked any more
    EXPECT_TRUE(CloseMsgQueue(queue));
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    DWORD resumes = 0;
    GetExitCodeThread(thread, &resumes);
    EXPECT_EQ(resumes, 2u);
    CloseHandle(thread);
}

TEST(PowerNotifications, OnlyAReadingEndTakesThemAndAFullQueueDropsThem) {
    MSGQUEUEOPTIONS write = Options(FALSE);
    HANDLE writer = CreateMsgQueue(nullptr, &write);
    EXPECT_EQ(RequestPowerNotifications(writer, PBT_RESUME), nullptr);
    CloseMsgQueue(writer);

    MSGQUEUEOPTIONS read = Options(TRUE, 1, 16);
    HANDLE queue = CreateMsgQueue(nullptr, &read);
    HANDLE notifications = RequestPowerNotifications(queue, POWER_NOTIFY_ALL);
    platform::SimulatePowerResume();
    platform::SimulatePowerResume();
    MSGQUEUEINFO info{};
    info.dwSize = sizeof info;
    ASSERT_TRUE(GetMsgQueueInfo(queue, &info));
    EXPECT_EQ(info.dwCurrentMessages, 1u);
    StopPowerNotifications(notifications);
    CloseMsgQueue(queue);
}

TEST(SystemIdleTimer, ResetsAreCountedWithTheirTime) {
    uint64_t before = platform::IdleTimerResetCount();
    SystemIdleTimerReset();
    SystemIdleTimerReset();
    EXPECT_EQ(platform::IdleTimerResetCount(), before + 2);
    EXPECT_GE(platform::LastIdleTimerReset(), 1u);
    EXPECT_LE(platform::LastIdleTimerReset(), std::max<uint64_t>(platform::ClockMilliseconds(), 1));
}

}  // namespace
