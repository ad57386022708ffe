// Log playback through the receiver and its thread: the pace on the manual clock,
// the pause while the view pans, recording while a log plays (and a full disk
// meanwhile), damaged logs, and Close under a running playback.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/nmea_receiver.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/files.h"
#include "tests/position/drives.h"
#include "tests/position/fake_view.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace position_test {
namespace {

using namespace std::chrono_literals;

struct ManualClock {
    ManualClock() { platform::UseManualClock(true); }
    ~ManualClock() { platform::UseManualClock(false); }
};

// Fixes one second apart going north at 10 m/s.
std::vector<DriveFix> Northwards(int count) {
    std::vector<DriveFix> fixes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        DriveFix& f = fixes[static_cast<size_t>(i)];
        f.truth = {39.1 + i * 0.00009, -1.2};
        f.reported = f.truth;
        f.metresPerSecond = 10;
    }
    return fixes;
}

// The lines of a log, each with its "\r\n".
std::vector<std::string> Lines(const std::string& log) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < log.size()) {
        const size_t end = log.find("\r\n", at);
        lines.push_back(log.substr(at, end + 2 - at));
        at = end + 2;
    }
    return lines;
}

class PlaybackTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        RootsTest::SetUp();
        ResetFixDelivery();
        view_.consumeFixes = true;
        view_.lastDataTime.store(0);
    }
    void TearDown() override {
        platform::ClearWriteFailure();
        g_positionQueue.Clear();
        RootsTest::TearDown();
    }

    void SetDelay(DWORD ms) {
        ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", ms), 0);
    }
    // Serves the view until `done` holds, for at most `limit` of real time.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            view_.Pump();
            std::this_thread::sleep_for(1ms);
        }
        view_.Pump();
        return true;
    }
    bool PlayToEnd() {
        return PumpUntil([&] { return view_.playbackEnds.load() > 0; });
    }
    size_t Consumed() { return view_.consumedLatitudes.size(); }

    FakeView view_;
};

TEST_F(PlaybackTest, ADelayOf500PlaysALogOfOneFixASecondAtTwoFixesASecond) {
    SetDelay(500);
    ASSERT_TRUE(testing_support::WriteTestFile(u"\\drive.gps", DriveAsNmea(Northwards(10))));
    ManualClock clock;
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view_.GetViewWindow());
    const DWORD start = GetTickCount();
    ASSERT_EQ(receiver.OpenPlayback(u"\\drive.gps"), 0);
    EXPECT_TRUE(receiver.GetFlags() & kGpsReplayActive);
    EXPECT_EQ(receiver.PlaybackPath(), u"\\drive.gps");
    ASSERT_TRUE(PlayToEnd());
    // Ten fixes of nine seconds of log, each paced 500 ms from the one before.
    EXPECT_EQ(GetTickCount() - start, 10 * 500u);
    ASSERT_EQ(Consumed(), 10u);
    EXPECT_FLOAT_EQ(view_.consumedLatitudes.back(), 39.1f + 9 * 0.00009f);
    EXPECT_FALSE(receiver.GetFlags() & kGpsReplayActive);
    EXPECT_EQ(view_.lastDataTime.load(), GetTickCount()) << "the watchdog is armed again";
    EXPECT_FALSE(receiver.IsWorkerRunning());
}

TEST_F(PlaybackTest, PlaybackWaitsWhileTheViewPansAndGoesOnAfterwards) {
    SetDelay(500);
    ASSERT_TRUE(testing_support::WriteTestFile(u"\\drive.gps", DriveAsNmea(Northwards(4))));
    ManualClock clock;
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view_.GetViewWindow());
    view_.panMode.store(TRUE);
    ASSERT_EQ(receiver.OpenPlayback(u"\\drive.gps"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Consumed() == 1; }));
    for (int i = 0; i < 3; ++i) {
        platform::AdvanceClock(5000);
        PumpUntil([] { return false; }, 30ms);
    }
    EXPECT_EQ(Consumed(), 1u) << "played on while the map was panned";
    EXPECT_TRUE(receiver.IsReplaying()) << "a held playback is still a replay";
    view_.panMode.store(FALSE);
    platform::AdvanceClock(500);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(Consumed(), 4u);
    EXPECT_FALSE(receiver.IsReplaying());

    // Paused by guidance: held the same way, with or without a view.
    view_.playbackEnds.store(0);
    view_.consumedLatitudes.clear();
    receiver.SetPaused(0);
    ASSERT_EQ(receiver.OpenPlayback(u"\\drive.gps"), 0);
    platform::AdvanceClock(5000);
    PumpUntil([] { return false; }, 30ms);
    EXPECT_EQ(Consumed(), 0u) << "a paused replay posts no fix";
    receiver.SetPaused(1);
    platform::AdvanceClock(500);
    ASSERT_TRUE(PumpUntil([&] { return Consumed() == 4; }));
}

// A log to play, with what is not a good sentence among its lines, and the good
// sentences it holds as a log records them.
struct PlayedLog {
    std::string text;
    std::string good;
};

const PlayedLog& MixedLog() {
    static const PlayedLog log = [] {
        PlayedLog made;
        made.text = "recorded on the test bench\r\n";
        const std::vector<std::string> fixes = Lines(DriveAsNmea(Northwards(6)));
        for (size_t i = 0; i < fixes.size(); ++i) {
            made.text += (i == 3 ? "noise " : "") + fixes[i];
            made.good += fixes[i];
            if (i == 4) {
                std::string wrongSum = NmeaSentence("$GPRMC,120002,A,3906.0000,N,00112.0000,W,,,,");
                wrongSum[wrongSum.size() - 3] ^= 1;
                made.text += wrongSum;
                made.text += NmeaSentence("$GPGGA," + std::string(300, '7'));  // cut: fails
                const std::string vtg = NmeaSentence("$GPVTG,0.0,T,,M,19.4,N,36.0,K");
                made.text += vtg;  // no parser takes it, yet it is logged
                made.good += vtg;
            }
        }
        return made;
    }();
    return log;
}

TEST_F(PlaybackTest, ALogRecordedDuringPlaybackHoldsExactlyThePlayedGoodSentences) {
    SetDelay(0);
    ASSERT_TRUE(testing_support::WriteTestFile(u"\\played.gps", MixedLog().text));
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view_.GetViewWindow());
    ASSERT_EQ(receiver.StartLog(u"\\recorded.gps"), 0);
    EXPECT_TRUE(receiver.GetFlags() & kGpsLogging);
    ASSERT_EQ(receiver.OpenPlayback(u"\\played.gps"), 0);
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(Consumed(), 6u);
    // The end of playback is not the end of the log.
    EXPECT_TRUE(receiver.GetFlags() & kGpsLogging);
    EXPECT_EQ(receiver.LogPath(), u"\\recorded.gps");
    receiver.StopLog();
    EXPECT_FALSE(receiver.GetFlags() & kGpsLogging);
    EXPECT_EQ(Lines(MixedLog().good).size(), 13u);  // 12 of the fixes and the VTG
    EXPECT_EQ(testing_support::ReadTestFile(u"\\recorded.gps"), MixedLog().good);
}

TEST_F(PlaybackTest, AFullDiskDuringPlaybackEndsTheLogKeepingWhatWasWritten) {
    SetDelay(0);
    ASSERT_TRUE(testing_support::WriteTestFile(u"\\played.gps", MixedLog().text));
    const std::vector<std::string> good = Lines(MixedLog().good);
    const std::string kept = good[0] + good[1] + good[2];
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view_.GetViewWindow());
    ASSERT_EQ(receiver.StartLog(u"\\recorded.gps"), 0);
    platform::FailWritesAfter(kept.size() + 10);  // the fourth line does not fit
    ASSERT_EQ(receiver.OpenPlayback(u"\\played.gps"), 0);
    ASSERT_TRUE(PlayToEnd());
    platform::ClearWriteFailure();
    EXPECT_EQ(Consumed(), 6u) << "playback goes on without its log";
    EXPECT_FALSE(receiver.GetFlags() & kGpsLogging);
    EXPECT_EQ(testing_support::ReadTestFile(u"\\recorded.gps"), kept);
}

TEST_F(PlaybackTest, CutBinaryAndOverlongLogsPlayToTheirEnd) {
    SetDelay(0);
    const std::string three = DriveAsNmea(Northwards(3));
    std::mt19937 random(11);
    std::string binary(20000, '\0');
    for (char& c : binary)
        c = static_cast<char>(random() % 7 == 0 ? '$' : random() & 0xFF);
    const struct {
        const char* what;
        std::string content;
        size_t fixes;
    } cases[] = {
        {"empty", "", 0},
        {"cut in its last sentence", three.substr(0, three.size() - 20), 2},
        {"last line without its end", three.substr(0, three.size() - 2), 3},
        {"binary", binary, 0},
        {"one line of 100 kB", "$GPRMC," + std::string(100000, '1'), 0},
        {"NUL bytes inside", std::string("$GPRMC,1\0\0*00\r\n", 15) + three, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testing_support::WriteTestFile(u"\\damaged.gps", c.content));
        view_.playbackEnds.store(0);
        view_.consumedLatitudes.clear();
        CNmeaReceiver receiver;
        receiver.SetNotifyWindow(view_.GetViewWindow());
        ASSERT_EQ(receiver.OpenPlayback(u"\\damaged.gps"), 0);
        ASSERT_TRUE(PlayToEnd());
        EXPECT_EQ(Consumed(), c.fixes);
    }
}

TEST_F(PlaybackTest, CloseEndsARunningPlaybackAndAMissingLogDoesNotOpen) {
    SetDelay(200);
    ASSERT_TRUE(testing_support::WriteTestFile(u"\\long.gps", DriveAsNmea(Northwards(200))));
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view_.GetViewWindow());
    EXPECT_EQ(receiver.OpenPlayback(u"\\missing.gps"), 1);
    EXPECT_FALSE(receiver.GetFlags() & kGpsReplayActive);
    ASSERT_EQ(receiver.OpenPlayback(u"\\long.gps"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Consumed() >= 2; }));
    const auto start = std::chrono::steady_clock::now();
    receiver.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "Close waits out the playback";
    EXPECT_FALSE(receiver.IsWorkerRunning());
    EXPECT_FALSE(receiver.GetFlags() & kGpsReplayActive);
    PumpUntil([] { return false; }, 30ms);
    EXPECT_LT(Consumed(), 10u);
    // Opened again, the log plays from its start.
    view_.consumedLatitudes.clear();
    ASSERT_EQ(receiver.OpenPlayback(u"\\long.gps"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Consumed() >= 1; }));
    EXPECT_FLOAT_EQ(view_.consumedLatitudes.front(), 39.1f);
}

}  // namespace
}  // namespace position_test
