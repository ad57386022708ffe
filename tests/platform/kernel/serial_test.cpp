// Serial ports on pseudo-terminals and on a fake GPS daemon: the port table, the
// comm calls, and every way a WaitCommEvent ends.
#include "platform/kernel/serial.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/kernel/registry.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/text.h"
#include "platform/kernel/threads.h"
#include "tests/support/fake_gps_daemon.h"
#include "tests/support/pty.h"
#include "tests/support/temp_root.h"
#include "tests/support/wait_helpers.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using testing_support::Pty;

class SerialTest : public testing_support::RootsTest {
  protected:
    SerialTest() {
        settings_.devFolder = roots_.base() / "dev";
        fs::create_directories(settings_.devFolder);
    }
    void TearDown() override { platform::SetDeviceOpener({}); }

    HANDLE OpenPort(const char16_t* name) {
        return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    }
    std::u16string ActiveHost(int number) {
        const std::u16string key =
            u"Drivers\\Active\\Serial" + platform::Utf8ToWide(std::to_string(number));
        HKEY sub;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS)
            return u"";
        WCHAR value[256] = {};
        DWORD type = 0, size = sizeof value - 2;
        RegQueryValueExW(sub, u"HostDevice", nullptr, &type, reinterpret_cast<LPBYTE>(value),
                         &size);
        RegCloseKey(sub);
        return value;
    }

    platform::SerialScanSettings settings_;
};

TEST_F(SerialTest, APtyInTheTableReadsLikeAPortAndOpensOnce) {
    Pty pty;
    ASSERT_TRUE(platform::SetHostSerialPort(3, platform::Utf8ToWide(pty.path)));
    platform::RebuildActiveDrivers(settings_, false);
    EXPECT_EQ(ActiveHost(3), platform::Utf8ToWide(pty.path));

    HANDLE port = OpenPort(u"COM3:");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenPort(u"\\\\.\\COM3"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    dcb.BaudRate = 38400;
    EXPECT_TRUE(SetCommState(port, &dcb));
    dcb.BaudRate = 12345;  // no such host rate
    EXPECT_FALSE(SetCommState(port, &dcb));
    EXPECT_TRUE(EscapeCommFunction(port, SETDTR));  // no modem lines on a pty
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 10, 1000};
    EXPECT_TRUE(SetCommTimeouts(port, &timeouts));

    DWORD read = 1;
    char buffer[64];
    EXPECT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);  // returns at once with what is buffered
    ASSERT_TRUE(pty.Write("$GPTXT*00\r\n"));
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_ERR));
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(events, static_cast<DWORD>(EV_RXCHAR));
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(port, nullptr, &status));
    EXPECT_EQ(status.cbInQue, 11u);
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "$GPTXT*00\r\n");
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(port, "$PX*00\r\n", 8, &written, nullptr));
    EXPECT_EQ(written, 8u);

    CloseHandle(port);
    port = OpenPort(u"COM3:");  // free again
    EXPECT_NE(port, INVALID_HANDLE_VALUE);
    CloseHandle(port);
}

TEST_F(SerialTest, TheScanNumbersHostPortsOnceAndPortsFromTenNeedTheDeviceName) {
    Pty usb, bluetooth, twelve;
    fs::create_symlink(usb.path, settings_.devFolder / "ttyUSB0");
    fs::create_symlink(bluetooth.path, settings_.devFolder / "rfcomm0");
    fs::create_directories(settings_.devFolder / "serial" / "by-id");
    const fs::path byId = settings_.devFolder / "serial" / "by-id" / "usb-Acme_GPS-if00-port0";
    fs::create_symlink(settings_.devFolder / "ttyUSB0", byId);
    platform::RebuildActiveDrivers(settings_, false);
    EXPECT_EQ(ActiveHost(1), platform::Utf8ToWide(byId.string()));  // survives replugs
    EXPECT_EQ(ActiveHost(8), platform::Utf8ToWide((settings_.devFolder / "rfcomm0").string()));
    platform::RebuildActiveDrivers(settings_, false);
    EXPECT_EQ(ActiveHost(2), u"");  // nothing numbered twice

    HANDLE port = OpenPort(u"COM1:");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    CloseHandle(port);

    ASSERT_TRUE(platform::SetHostSerialPort(12, platform::Utf8ToWide(twelve.path)));
    EXPECT_EQ(OpenPort(u"COM12:"), INVALID_HANDLE_VALUE);  // device names have one digit
    port = OpenPort(u"\\\\.\\COM12");  // an unknown name rebuilds the list first
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    CloseHandle(port);
    EXPECT_EQ(OpenPort(u"COM5:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Runs WaitCommEvent on another thread and returns how it ended and how long it
// took after `trigger` ran (once the thread is known to wait).
struct WaitOutcome {
    BOOL result;
    DWORD events;
    DWORD error;
    double seconds;
};

template <class Trigger>
WaitOutcome WaitEndedBy(HANDLE port, Trigger trigger, HANDLE* threadOut = nullptr) {
    struct Shared {
        HANDLE port;
        WaitOutcome outcome{};
        std::atomic<bool> waiting{false};
    } shared{port};
    SetCommMask(port, EV_RXCHAR | EV_ERR);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Shared*>(p);
            s->waiting = true;
            DWORD events = 0xFF;
            s->outcome.result = WaitCommEvent(s->port, &events, nullptr);
            s->outcome.events = events;
            s->outcome.error = GetLastError();
            return 0;
        },
        &shared, 0, nullptr);
    while (!shared.waiting)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    if (threadOut)
        *threadOut = thread;
    trigger(thread);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    shared.outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    CloseHandle(thread);
    return shared.outcome;
}

TEST_F(SerialTest, AWaitEndsOnAMaskChangeACloseAHangUpAndAStop) {
    Pty pty;
    ASSERT_TRUE(platform::SetHostSerialPort(4, platform::Utf8ToWide(pty.path)));
    platform::RebuildActiveDrivers(settings_, false);
    HANDLE port = OpenPort(u"COM4:");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);

    WaitOutcome mask = WaitEndedBy(port, [&](HANDLE) { SetCommMask(port, 0); });
    EXPECT_TRUE(mask.result);
    EXPECT_EQ(mask.events, 0u);
    EXPECT_LT(mask.seconds, 1.0);

    WaitOutcome data = WaitEndedBy(port, [&](HANDLE) { pty.Write("$"); });
    EXPECT_TRUE(data.result);
    EXPECT_EQ(data.events, static_cast<DWORD>(EV_RXCHAR));
    PurgeComm(port, PURGE_RXCLEAR);

    WaitOutcome stop = WaitEndedBy(port, [](HANDLE thread) { TerminateThread(thread, 0); });
    EXPECT_FALSE(stop.result);
    EXPECT_LT(stop.seconds, 1.0);

    WaitOutcome hangUp = WaitEndedBy(port, [&](HANDLE) { pty.CloseMaster(); });
    EXPECT_FALSE(hangUp.result);
    EXPECT_LT(hangUp.seconds, 1.0);
    CloseHandle(port);

    Pty other;
    ASSERT_TRUE(platform::SetHostSerialPort(4, platform::Utf8ToWide(other.path)));
    platform::RebuildActiveDrivers(settings_, false);
    port = OpenPort(u"COM4:");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    WaitOutcome closed = WaitEndedBy(port, [&](HANDLE) { CloseHandle(port); });
    EXPECT_FALSE(closed.result);
    EXPECT_LT(closed.seconds, 1.0);
}

// The device path is one JSON string of the request, whatever it holds.
TEST_F(SerialTest, TheDaemonRequestEscapesTheDevicePath) {
    const std::string device = "/dev/odd\"},\"x\":{\"y\\z\n";
    testing_support::FakeGpsDaemon daemon;
    HANDLE port = platform::OpenHostSerialPort("gpsd://" + daemon.address() + device);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    const std::string watch = daemon.WatchRequest();
    ASSERT_EQ(watch.rfind("?WATCH=", 0), 0u) << watch;
    const size_t end = watch.find_last_of('}');
    ASSERT_NE(end, std::string::npos) << watch;
    const nlohmann::json request = nlohmann::json::parse(watch.substr(7, end - 6));
    EXPECT_EQ(request.at("device"), device);
    EXPECT_EQ(request.size(), 3u);
    CloseHandle(port);
}

TEST_F(SerialTest, ADaemonPortPassesOnlyTheNmeaLines) {
    testing_support::FakeGpsDaemon daemon;
    HANDLE port = platform::OpenHostSerialPort("gpsd://" + daemon.address() + "/dev/ttyUSB0");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    const std::string watch = daemon.WatchRequest();
    EXPECT_NE(watch.find(R"(?WATCH={"enable":true,"nmea":true,"device":"/dev/ttyUSB0"})"),
              std::string::npos)
        << watch;
    daemon.Send("{\"class\":\"TPV\"}\r\n$GPA*00\r\n{\"class\":\"SKY\",");
    daemon.Send("\"x\":1}\r\n" + std::string(100000, 'x') + "\n$GPB*00\r\n");
    std::string got;
    char buffer[256];
    const auto start = Clock::now();
    while (got.size() < 18 && Clock::now() - start < std::chrono::seconds(5)) {
        DWORD events = 0, read = 0;
        SetCommMask(port, EV_RXCHAR);
        ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
        ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &read, nullptr));
        got.append(buffer, read);
    }
    EXPECT_EQ(got, "$GPA*00\r\n$GPB*00\r\n");
    DCB dcb{};
    dcb.BaudRate = 12345;
    EXPECT_TRUE(SetCommState(port, &dcb));  // line settings mean nothing here
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(port, "x", 1, &written, nullptr));
    daemon.HangUp();
    DWORD events = 0;
    EXPECT_FALSE(WaitCommEvent(port, &events, nullptr));
    CloseHandle(port);
}

TEST_F(SerialTest, TheProbeAddsADaemonThatGreetsInTime) {
    testing_support::FakeGpsDaemon silent(testing_support::FakeGpsDaemon::Mode::Silent);
    settings_.gpsdProbe = silent.address();
    const auto start = Clock::now();
    platform::RebuildActiveDrivers(settings_, true);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(ActiveHost(1), u"");
    silent.HangUp();

    settings_.gpsdProbe = "127.0.0.1:" + std::to_string(testing_support::UnusedLoopbackPort());
    platform::RebuildActiveDrivers(settings_, true);
    EXPECT_EQ(ActiveHost(1), u"");

    testing_support::FakeGpsDaemon daemon;
    settings_.gpsdProbe = daemon.address();
    platform::RebuildActiveDrivers(settings_, false);  // no probe asked
    EXPECT_EQ(ActiveHost(1), u"");
    platform::RebuildActiveDrivers(settings_, true);
    EXPECT_EQ(ActiveHost(1), platform::Utf8ToWide("gpsd://" + daemon.address()));
}

}  // namespace
