// The receiver on live ports: a pseudo-terminal and a fake GPS daemon carry a real
// capture in random pieces; Close ends every wait in time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_device.h"
#include "pathlume/position/nmea_receiver.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/text.h"
#include "tests/position/drives.h"
#include "tests/position/fake_view.h"
#include "tests/support/fake_gps_daemon.h"
#include "tests/support/pty.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using position_test::FakeView;

using testing_support::Pty;

std::string ReadCapture(const char* name) {
    std::ifstream in(testing_support::SharedNmeaFolder() / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Serves the test thread's messages until the condition holds or the time passes.
template <class Condition>
bool PumpUntil(FakeView& view, Condition condition, double seconds = 10) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        view.Pump();
    }
    return true;
}

class ReceiverPortTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        CreateDataMutex();
        g_positionQueue.Clear();
        platform::InterlockedTarget(&g_pendingFixPosts).store(0);
        g_positionHold.store(0);
    }
    void TearDown() override { platform::SetDeviceOpener({}); }

    // A view that takes every fix of a replay as it comes, and the capture's fixes
    // as gpslog --raw delivers them.
    std::vector<float> ReplayingView(FakeView& view, const std::string& capture) {
        view.replay.store(TRUE);
        view.consumeFixes = true;
        return RawFixes(capture);
    }

    // The capture's fixes as gpslog --raw delivers them, every one taken at once.
    std::vector<float> RawFixes(const std::string& capture) {
        std::vector<float> latitudes;
        CNmeaReceiver receiver;
        receiver.FrameBytes(capture.data(), capture.size(), [&] {
            QueuedPosition position;
            while (g_positionQueue.Pop(&position) == 0)
                latitudes.push_back(position.latitude);
        });
        return latitudes;
    }

    // Writes the capture in random pieces; after each piece waits until the
    // receiver read it and the view took every fix it brought.
    // `write` gets each piece and whether it begins a line; with onlyNmeaLines the
    // port hands on only the lines that begin with '$'.
    template <class Write>
    void WritePaced(const std::string& capture, CNmeaReceiver& receiver, FakeView& view,
                    Write write, bool onlyNmeaLines = false) {
        // What the port hands on of the first n bytes.
        std::vector<size_t> handedOn(capture.size() + 1, 0);
        bool nmeaLine = false;
        for (size_t i = 0; i < capture.size(); ++i) {
            if (i == 0 || capture[i - 1] == '\n')
                nmeaLine = capture[i] == '$';
            handedOn[i + 1] = handedOn[i] + (!onlyNmeaLines || nmeaLine);
        }
        std::mt19937 random(19);
        size_t at = 0;
        const uint64_t before = receiver.BytesRead();
        while (at < capture.size()) {
            const size_t piece = std::min<size_t>(1 + random() % 90, capture.size() - at);
            write(capture.data() + at, piece, at == 0 || capture[at - 1] == '\n');
            at += piece;
            ASSERT_TRUE(
                PumpUntil(view,
                          [&] {
                              return receiver.BytesRead() - before >= handedOn[at] &&
                                     g_positionQueue.Count() == 0 &&
                                     platform::InterlockedTarget(&g_pendingFixPosts).load() == 0;
                          }))
                << "at byte " << at << " read " << receiver.BytesRead() - before << " queued "
                << g_positionQueue.Count() << " pending "
                << platform::InterlockedTarget(&g_pendingFixPosts).load() << " running "
                << receiver.IsWorkerRunning();
            if (random() % 8 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 4));
        }
    }
};

TEST_F(ReceiverPortTest, ACaptureThroughAPtyGivesTheFixesOfTheRawReplay) {
    const std::string capture = ReadCapture("mt3339.log");
    if (capture.empty())
        GTEST_SKIP() << "no NMEA captures in " << testing_support::SharedNmeaFolder();
    FakeView view;
    const std::vector<float> expected = ReplayingView(view, capture);
    ASSERT_GT(expected.size(), 10u);

    Pty pty;
    ASSERT_TRUE(platform::SetHostSerialPort(2, platform::Utf8ToWide(pty.path)));
    CNmeaReceiver receiver;
    g_gpsReceiver.store(&receiver);
    receiver.SetNotifyWindow(view.GetViewWindow());
    ASSERT_EQ(receiver.Open(u"COM2:", 4800, FALSE), 0);
    EXPECT_TRUE(receiver.IsPortOpen());
    WritePaced(capture, receiver, view,
               [&](const char* data, size_t size, bool) { pty.Write(data, size); });
    EXPECT_EQ(view.consumedLatitudes, expected);

    // At full speed at most one new-fix message ever waits.
    view.consumedLatitudes.clear();
    std::atomic<bool> writing{true};
    std::atomic<LONG> mostPending{0};
    std::thread writer([&] {
        for (int i = 0; i < 5; ++i)
            pty.Write(capture.data(), capture.size());
        writing = false;
    });
    PumpUntil(view, [&] {
        mostPending =
            std::max(mostPending.load(), platform::InterlockedTarget(&g_pendingFixPosts).load());
        return !writing.load() && receiver.BytesRead() >= 6 * capture.size() &&
               g_positionQueue.Count() == 0;
    });
    writer.join();
    EXPECT_LE(mostPending.load(), 1);
    EXPECT_GT(view.consumedLatitudes.size(), 0u);
    receiver.Close();
    g_gpsReceiver.store(nullptr);
}

TEST_F(ReceiverPortTest, ACaptureFromTheDaemonGivesTheSameFixes) {
    const std::string capture = ReadCapture("bu353s4.log");
    if (capture.empty())
        GTEST_SKIP() << "no NMEA captures in " << testing_support::SharedNmeaFolder();
    FakeView view;
    const std::vector<float> expected = ReplayingView(view, capture);
    ASSERT_GT(expected.size(), 10u);

    testing_support::FakeGpsDaemon daemon;
    const int number = platform::AddRunPort(platform::Utf8ToWide("gpsd://" + daemon.address()));
    ASSERT_GT(number, 0);
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view.GetViewWindow());
    const std::u16string name = platform::Utf8ToWide("COM" + std::to_string(number) + ":");
    ASSERT_EQ(receiver.Open(name.c_str(), 4800, FALSE), 0);
    ASSERT_FALSE(daemon.WatchRequest().empty());
    // The daemon's own reports come between the receiver's lines.
    WritePaced(
        capture, receiver, view,
        [&](const char* data, size_t size, bool lineStart) {
            if (lineStart)
                daemon.Send("{\"class\":\"TPV\",\"mode\":3}\r\n");
            daemon.Send(std::string(data, size));
        },
        true);
    EXPECT_EQ(view.consumedLatitudes, expected);
    daemon.HangUp();
    EXPECT_TRUE(PumpUntil(
        view, [&] { return !receiver.IsWorkerRunning(); }, 5));
    receiver.Close();
    platform::RemoveRunPort(number);
}

TEST_F(ReceiverPortTest, CloseEndsEveryWaitInTimeAndAHungUpPortOpensAgain) {
    FakeView view;
    Pty pty;
    ASSERT_TRUE(platform::SetHostSerialPort(6, platform::Utf8ToWide(pty.path)));
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view.GetViewWindow());
    ASSERT_EQ(receiver.Open(u"COM6:", 9600, FALSE), 0);
    ASSERT_TRUE(PumpUntil(
        view, [&] { return receiver.IsWorkerRunning(); }, 5));

    // Waiting for data.
    auto start = Clock::now();
    receiver.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(receiver.IsWorkerRunning());
    EXPECT_FALSE(receiver.IsPortOpen());

    // Blocked in its synchronous update of the information screen, sent to this
    // very thread, which is not reading its queue.
    ASSERT_EQ(receiver.Open(u"COM6:", 9600, FALSE), 0);
    view.screenMode.store(kScreenModeGpsInfo);
    const std::string rmc =
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    pty.Write(rmc.data(), rmc.size());
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (receiver.Counters().fixes == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    start = Clock::now();
    receiver.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(view.infoUpdates.load(), 1);
    view.screenMode.store(0);

    // The writer hangs up: the reader ends, and the port opens again.
    ASSERT_EQ(receiver.Open(u"COM6:", 4800, FALSE), 0);
    ASSERT_TRUE(PumpUntil(
        view, [&] { return receiver.IsWorkerRunning(); }, 5));
    pty.CloseMaster();
    EXPECT_TRUE(PumpUntil(
        view, [&] { return !receiver.IsWorkerRunning(); }, 5));
    receiver.Close();
    Pty again;
    ASSERT_TRUE(platform::SetHostSerialPort(6, platform::Utf8ToWide(again.path)));
    EXPECT_EQ(receiver.Open(u"COM6:", 4800, FALSE), 0);
    receiver.Close();
    // A port nobody has gives the serial port's code.
    EXPECT_EQ(receiver.Open(u"COM7:", 4800, FALSE), kPortNotOpened);
}

// The last position is the live receiver's: a live port's fix is kept when the port
// closes; a played log leaves it as it was, also when the port is closed again
// after the log ended (as the live port's reopening does).
TEST_F(ReceiverPortTest, OnlyTheLiveReceiversPositionIsKeptAsTheLastPosition) {
    auto lastLatitude = [] {
        return std::bit_cast<FLOAT>(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, 0));
    };
    auto drive = [](double latitude) {
        std::vector<position_test::DriveFix> fixes(3);
        for (size_t i = 0; i < fixes.size(); ++i) {
            fixes[i].truth = {latitude + static_cast<double>(i) * 0.00009, -1.2};
            fixes[i].reported = fixes[i].truth;
            fixes[i].metresPerSecond = 10;
        }
        return position_test::DriveAsNmea(fixes);
    };
    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue,
                          std::bit_cast<DWORD>(FLOAT{10.5f})),
              0);
    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLonValue,
                          std::bit_cast<DWORD>(FLOAT{-1.2f})),
              0);
    FakeView view;
    view.consumeFixes = true;
    Pty pty;
    ASSERT_TRUE(platform::SetHostSerialPort(6, platform::Utf8ToWide(pty.path)));
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view.GetViewWindow());

    // Live: the vehicle matched where the receiver put it.
    ASSERT_EQ(receiver.Open(u"COM6:", 9600, FALSE), 0);
    const std::string live = drive(20.5);
    pty.Write(live.data(), live.size());
    ASSERT_TRUE(PumpUntil(view, [&] { return view.consumedLatitudes.size() >= 3; }));
    g_vehicleLocation.SetPosition({view.consumedLatitudes.back(), -1.2f});
    receiver.Close();
    EXPECT_FLOAT_EQ(lastLatitude(), view.consumedLatitudes.back());
    const FLOAT kept = lastLatitude();

    // Played: the vehicle matched on the log's road, then two closes.
    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 10), 0);
    ASSERT_TRUE(testing_support::WriteTestFile(u"\\drive.gps", drive(30.5)));
    view.replay.store(TRUE);
    ASSERT_EQ(receiver.OpenPlayback(u"\\drive.gps"), 0);
    ASSERT_TRUE(PumpUntil(view, [&] { return view.playbackEnds.load() > 0; }));
    EXPECT_GT(view.consumedLatitudes.back(), 30.0f);
    g_vehicleLocation.SetPosition({view.consumedLatitudes.back(), -1.2f});
    receiver.Close();
    receiver.Close();
    EXPECT_FLOAT_EQ(lastLatitude(), kept);
    g_vehicleLocation.SetPosition({0, 0});
}

}  // namespace
