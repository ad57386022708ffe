// The receiver without a port: fix answers, the last position, sentence dispatch
// with a view, and the position queue with its notification rule.
#include "pathlume/position/nmea_receiver.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/mapdb/timeout_record.h"
#include "pathlume/position/fix_delivery.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/sync.h"
#include "tests/position/fake_view.h"
#include "tests/support/temp_root.h"

namespace {

using position_test::FakeView;

class ReceiverTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { position_test::ResetFixDelivery(); }
    void TearDown() override {
        g_positionQueue.Clear();
        g_vehicleLocation.SetPosition({0, 0});
    }

    // Feeds whole lines (line ends added) through the framing.
    void Feed(CNmeaReceiver& receiver, const std::string& lines) {
        receiver.FrameBytes(lines.data(), lines.size());
    }

    static std::string Sentence(const std::string& body) {
        unsigned sum = 0;
        for (char c : body.substr(1))
            sum ^= static_cast<unsigned char>(c);
        char tail[8];
        std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
        return body + tail;
    }
    // A valid fix at the position with the speed (knots) and satellites.
    static std::string Fix(int second, double lat, double lon, double knots, int satellites) {
        char gga[128], rmc[128];
        const double latMinutes = (lat - std::floor(lat)) * 60;
        const double lonMinutes = (lon - std::floor(lon)) * 60;
        std::snprintf(gga, sizeof gga,
                      "$GPGGA,1200%02d,%02d%07.4f,N,%03d%07.4f,E,1,%02d,1.0,10,M,0,M,,", second,
                      static_cast<int>(lat), latMinutes, static_cast<int>(lon), lonMinutes,
                      satellites);
        std::snprintf(rmc, sizeof rmc,
                      "$GPRMC,1200%02d,A,%02d%07.4f,N,%03d%07.4f,E,%.1f,90.0,101226,,", second,
                      static_cast<int>(lat), latMinutes, static_cast<int>(lon), lonMinutes, knots);
        return Sentence(gga) + Sentence(rmc);
    }
};

TEST_F(ReceiverTest, FixQualitySpeedAndTimeTexts) {
    CNmeaReceiver receiver;
    struct Case {
        const char* what;
        int satellites, mode;
        bool estimated;
        float hdop;
        int quality;
    } cases[] = {
        {"3D, 4 satellites, HDOP 9.0", 4, 3, false, 9.0f, 2},
        {"2D", 4, 2, false, 1.0f, 1},
        {"HDOP 9.5", 4, 3, false, 9.5f, 1},
        {"estimated", 4, 3, true, 1.0f, 1},
        {"3 satellites", 3, 3, false, 1.0f, 1},
    };
    for (const Case& c : cases) {
        receiver.UpdateFix([&](GpsFix& fix) {
            fix.valid = true;
            fix.satellitesUsed = c.satellites;
            fix.fixMode = c.mode;
            fix.estimated = c.estimated;
            fix.hdop = c.hdop;
        });
        EXPECT_EQ(receiver.GetFixQuality(), c.quality) << c.what;
    }
    receiver.ClearFix();
    EXPECT_EQ(receiver.GetFixQuality(), 0);

    receiver.UpdateFix([](GpsFix& fix) { fix.speedMph = 1.0f; });
    EXPECT_EQ(receiver.GetSpeed(FALSE), 0.0f);
    receiver.UpdateFix([](GpsFix& fix) { fix.speedMph = 10.0f; });
    EXPECT_FLOAT_EQ(receiver.GetSpeed(TRUE), 16.09347f);

    WCHAR text[64];
    EXPECT_EQ(std::u16string(receiver.FormatUtcTime(text, 64)), u"UTC: 0000/00/00 00:00:00");
    EXPECT_EQ(std::u16string(receiver.FormatLocalTime(text, 64)), u"Local: 0000/00/00 00:00:00");
    SYSTEMTIME time{};
    EXPECT_EQ(receiver.GetUtcTime(&time), 1);
    Feed(receiver, Fix(7, 48.5, 11.5, 10, 8));
    EXPECT_EQ(std::u16string(receiver.FormatUtcTime(text, 64)), u"UTC: 2026/12/10 12:00:07");
    EXPECT_EQ(receiver.GetUtcTime(&time), 0);
    EXPECT_EQ(time.wYear, 2026);
}

TEST_F(ReceiverTest, TheLastPositionIsSavedOnlyWhenItIsSomewhereAndLoadedOnlyWhenItIsOnEarth) {
    CNmeaReceiver receiver;
    const FLOAT zero[2] = {0, 7};
    receiver.SaveLastPosition(zero);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, 12345), 12345u);

    receiver.UpdateFix([](GpsFix& fix) { fix.headingDegrees = 90; });
    g_vehicleLocation.SetPosition({48.25f, 11.75f});
    receiver.SaveLastPosition(nullptr);  // the matched position
    CNmeaReceiver later;
    later.LoadLastPosition();
    EXPECT_EQ(later.GetFix().latitude, 48.25f);
    EXPECT_EQ(later.GetFix().longitude, 11.75f);
    EXPECT_EQ(later.GetFix().headingDegrees, 90.0f);

    // Through the map database's interface too.
    const MapPoint destination{-33.5f, 151.25f};
    GetPositionServices().SaveLastPosition(&destination);
    later.LoadLastPosition();
    EXPECT_EQ(later.GetFix().latitude, -33.5f);

    for (FLOAT bad :
         {std::numeric_limits<FLOAT>::quiet_NaN(), std::numeric_limits<FLOAT>::infinity(), 95.0f}) {
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, std::bit_cast<DWORD>(bad));
        CNmeaReceiver fresh;
        fresh.LoadLastPosition();
        EXPECT_EQ(fresh.GetFix().latitude, 0.0f) << bad;
        EXPECT_EQ(fresh.GetFix().longitude, 0.0f) << bad;
    }
}

// The three values of the last position go into the registry file in one write: a
// kill at any moment leaves the old position or the new one, never a mix.
TEST_F(ReceiverTest, TheLastPositionIsSavedInOneWrite) {
    CNmeaReceiver receiver;
    const FLOAT first[2] = {48.25f, 11.75f};
    receiver.SaveLastPosition(first);
    const std::filesystem::path file = platform::RegistryFile(platform::Side::Device);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, file.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE),
              0);
    receiver.UpdateFix([](GpsFix& fix) { fix.headingDegrees = 45; });
    const FLOAT second[2] = {-33.5f, 151.25f};
    receiver.SaveLastPosition(second);
    int replaced = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if ((event->mask & IN_MOVED_TO) && event->len > 0 &&
                file.filename() == std::filesystem::path(event->name))
                ++replaced;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(watch);
    EXPECT_EQ(replaced, 1);
    CNmeaReceiver later;
    later.LoadLastPosition();
    EXPECT_EQ(later.GetFix().latitude, -33.5f);
    EXPECT_EQ(later.GetFix().longitude, 151.25f);
    EXPECT_EQ(later.GetFix().headingDegrees, 45.0f);
}

TEST_F(ReceiverTest, DispatchUpdatesTheInformationScreenAndTheWatchdog) {
    FakeView view;
    CNmeaReceiver receiver;
    view.screenMode.store(kScreenModeGpsInfo);
    view.lastDataTime.store(0xF0000000);  // armed, at a tick this process never reaches
    Feed(receiver, Fix(1, 48.5, 11.5, 10, 8));
    EXPECT_EQ(view.infoUpdates.load(), 1);  // after the RMC only
    EXPECT_NE(view.lastDataTime.load(), 0xF0000000u);
    EXPECT_EQ(receiver.InfoSentence().substr(0, 6), "$GPRMC");
    EXPECT_EQ(receiver.SentenceTypeMask(), static_cast<DWORD>(kSentenceRmc | kSentenceGga));

    view.lastDataTime.store(0xFFFFFFFF);  // a disarmed watchdog stays disarmed
    const std::string longSentence = Sentence("$GPTXT," + std::string(300, 'x'));
    Feed(receiver, longSentence);
    EXPECT_EQ(view.lastDataTime.load(), 0xFFFFFFFFu);
    EXPECT_EQ(receiver.InfoSentence().size(), kInfoSentenceSize - 1);

    const NmeaCounters counters = receiver.Counters();
    Feed(receiver, "$GPRMC,120001,A,4830.0000,N,01130.0000,E,10.0,90.0,101226,,*00\r\n");
    EXPECT_EQ(receiver.Counters().checksumFailures, counters.checksumFailures + 1);
}

TEST_F(ReceiverTest, TheRouterReadsTheReceiverThroughItsInterface) {
    {
        CNmeaReceiver receiver;
        IPositioningServices& positioning = GetPositioningServices();
        Feed(receiver, Fix(1, 48.5, 11.5, 30, 8));
        EXPECT_EQ(positioning.GetFixQuality(), receiver.GetFixQuality());
        EXPECT_TRUE(positioning.IsFixValid());
        EXPECT_EQ(positioning.GetSatellitesUsed(), 8);
        EXPECT_FLOAT_EQ(positioning.GetSpeed(0), 30 * 1.15078f);
        EXPECT_FLOAT_EQ(positioning.GetHeading(), 90.0f);
        EXPECT_NEAR(positioning.GetFixLatitude(), 48.5, 1e-4);
        EXPECT_EQ(positioning.GetQueueCount(), 1);
        positioning.SetPaused(0);
        EXPECT_TRUE(receiver.GetFlags() & kGpsPaused);
        positioning.SetPaused(1);
        EXPECT_FALSE(receiver.GetFlags() & kGpsPaused);
        EXPECT_FALSE(positioning.IsOpenInProgress());
        positioning.ClearFix();
        EXPECT_EQ(positioning.GetFixQuality(), 0);
        EXPECT_EQ(positioning.GetSpeed(1), 0.0f);
    }
    EXPECT_EQ(GetPositioningServices().GetSatellitesUsed(), 0);  // uninstalled with it
}

TEST_F(ReceiverTest, TheQueueKeepsTheFiveNewestInOrder) {
    PositionQueue queue;
    QueuedPosition out{-1, -1, -1};
    EXPECT_EQ(queue.Pop(&out), 1);
    EXPECT_EQ(out.latitude, -1);
    for (int i = 1; i <= 6; ++i)
        queue.Push({static_cast<FLOAT>(i), 0, 0});
    for (int i = 2; i <= 6; ++i) {
        ASSERT_EQ(queue.Pop(&out), 0);
        EXPECT_EQ(out.latitude, i);
    }
    EXPECT_EQ(queue.Pop(&out), 1);
}

TEST_F(ReceiverTest, TheFilterDropsFewSatellitesAndAStationaryReceiver) {
    CNmeaReceiver receiver;
    PositionQueue queue;
    GpsFix fix;
    fix.valid = true;
    fix.latitude = 48.5f;
    fix.longitude = 11.5f;
    fix.satellitesUsed = 2;
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 1);
    fix.satellitesUsed = 3;
    fix.speedMph = 30;
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 0);
    EXPECT_TRUE(receiver.GetFlags() & kGpsMoved);

    // Stopped at the matched position: the first slow fix is queued, the rest not;
    // 300 feet away is a move again.
    g_vehicleLocation.SetPosition({48.5f, 11.5f});
    fix.speedMph = 0.5f;
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 0);
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 1);
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 1);
    fix.latitude += 300 * 2.7411436e-6f;
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 0);

    // During a replay every fix counts.
    FakeView view;
    view.replay.store(TRUE);
    fix.latitude = 48.5f;
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 0);
    EXPECT_EQ(receiver.FilterAndQueueFix(queue, fix), 0);
}

TEST_F(ReceiverTest, AtMostOneNewFixMessageWaits) {
    FakeView view;
    CNmeaReceiver receiver;
    receiver.SetNotifyWindow(view.GetViewWindow());
    for (int second = 1; second <= 4; ++second) {
        Feed(receiver, Fix(second, 48.5 + second * 0.01, 11.5, 30, 8));
        receiver.NotifyFix(kNotifyPost);
    }
    EXPECT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 1);
    EXPECT_EQ(g_positionQueue.Count(), 4);
    // The view takes the queue and no second message follows.
    view.consumeFixes = true;
    view.Pump();
    EXPECT_EQ(view.newFixMessages.load(), 1);
    EXPECT_EQ(view.consumedLatitudes.size(), 4u);
    EXPECT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 0);

    // Each notification polls the auto-pan time-out: past its period without a
    // route it goes idle.
    g_autoPanTimeout.SetTarget(1000, view.GetViewWindow());
    g_autoPanTimeout.Start(GetTickCount() - 5000, TRUE);
    ASSERT_FALSE(g_autoPanTimeout.IsIdle());
    receiver.NotifyFix(kNotifyQueue);
    EXPECT_TRUE(g_autoPanTimeout.IsIdle());
    g_autoPanTimeout.SetTarget(0, nullptr);

    // Held positions post nothing.
    g_positionHold.store(1);
    Feed(receiver, Fix(5, 48.6, 11.5, 30, 8));
    receiver.NotifyFix(kNotifyPost);
    EXPECT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 0);
    g_positionHold.store(0);
}

}  // namespace
