#include "tools/gpslog/gpslog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

class GpslogTest : public testing_support::RootsTest {
  protected:
    // Runs the tool; returns its exit code, with its output in out_ and err_.
    int Run(const std::string& args) {
        const fs::path out = roots_.base() / "out.txt";
        const fs::path err = roots_.base() / "err.txt";
        const std::string command =
            std::string(GPSLOG_EXE) + " " + args + " >" + out.string() + " 2>" + err.string();
        const int raw = std::system(command.c_str());
        out_ = Slurp(out);
        err_ = Slurp(err);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    static std::string Slurp(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = roots_.base() / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string out_, err_;
};

// Two fixes, with a sentence whose checksum is wrong between them.
const char kTwoFixes[] =
    "# a capture\r\n"
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,101226,003.1,W*63\r\n"
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,101226,003.1,W*64\r\n"
    "$GPGGA,123520,4807.138,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*4C\r\n"
    "$GPRMC,123520,A,4807.138,N,01131.000,E,022.4,084.4,101226,003.1,W*68\r\n";

TEST_F(GpslogTest, ArgumentsUnreadableLogsAndPortsThatDoNotOpen) {
    EXPECT_EQ(Run(""), 2);
    EXPECT_EQ(Run("--raw x --port COM1:"), 2);
    EXPECT_EQ(Run("--raw x --csv --json"), 2);
    EXPECT_EQ(Run("--raw x --baud 9600"), 2);
    EXPECT_EQ(Run("--port COM1: --seconds -1"), 2);
    EXPECT_EQ(Run("--raw x --bogus"), 2);
    EXPECT_EQ(Run("--port COM1: --maps m"), 2);
    EXPECT_EQ(Run("--port COM1: --raw"), 2);
    EXPECT_EQ(Run("x y"), 2);
    EXPECT_NE(err_.find("usage: gpslog"), std::string::npos);
    EXPECT_EQ(Run("--raw " + (roots_.base() / "missing.log").string()), 1);
    EXPECT_EQ(Run((roots_.base() / "missing.gps").string()), 1);
    const fs::path log = Write("one.gps", kTwoFixes);
    EXPECT_EQ(Run(log.string() + " --maps " + roots_.base().string()), 1);
    EXPECT_NE(err_.find("holds no readable map files"), std::string::npos) << err_;
    EXPECT_EQ(out_, "");
    EXPECT_EQ(Run("--port COM9: --seconds 1"), 1);
    EXPECT_NE(err_.find("COM9: does not open: no such device"), std::string::npos) << err_;
    EXPECT_EQ(Run("--port /nonexistent/tty --seconds 1"), 1);
    EXPECT_NE(err_.find("does not open: no such device"), std::string::npos) << err_;
    const fs::path locked = Write("locked", "");
    fs::permissions(locked, fs::perms::none);
    if (geteuid() != 0) {  // root opens it whatever its permissions say
        EXPECT_EQ(Run("--port " + locked.string() + " --seconds 1"), 1);
        EXPECT_NE(err_.find("permission denied: add the user to the dialout group"),
                  std::string::npos)
            << err_;
    }
}

// A file that gives no NMEA sentence is no log: a GPX track is named as one, and
// neither it nor a binary file counts as played.
TEST_F(GpslogTest, AFileWithoutNmeaSentencesFails) {
    const fs::path gpx = Write("track.gpx",
                               "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><trk><trkseg>"
                               "<trkpt lat=\"42.5\" lon=\"1.52\"/></trkseg></trk></gpx>\n");
    std::string binary(4096, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 7919 + 13) % 251);  // '$' among the bytes too
    const fs::path noise = Write("noise.bin", binary);
    for (const char* mode : {"", "--raw "}) {
        EXPECT_EQ(Run(mode + gpx.string()), 1) << mode;
        EXPECT_NE(err_.find("no NMEA sentences in " + gpx.string() +
                            ": it is a GPX track, not an NMEA log"),
                  std::string::npos)
            << err_;
        EXPECT_EQ(Run(mode + noise.string()), 1) << mode;
        EXPECT_NE(err_.find("no NMEA sentences in " + noise.string() + "\n"), std::string::npos)
            << err_;
    }
}

TEST_F(GpslogTest, EachDeliveredFixIsALineAndTheFiguresFollow) {
    const fs::path log = Write("two.log", kTwoFixes);
    ASSERT_EQ(Run("--raw " + log.string()), 0);
    EXPECT_EQ(out_, std::string(gpslog::kCsvHeader) +
                        "\n2026-12-10T12:35:19Z,48.117302,11.516666,41.48,84.4,2,8,0.9,,,,\n"
                        "2026-12-10T12:35:20Z,48.118969,11.516666,41.48,84.4,2,8,0.9,,,,\n");
    EXPECT_TRUE(std::regex_search(
        err_,
        std::regex(
            R"(^gpslog: 5 sentences, 1 checksum failures, 2 fixes, [0-9.]+ s, [0-9.]+ MB/s\n$)")))
        << err_;

    ASSERT_EQ(Run("--raw " + log.string() + " --json"), 0);
    std::istringstream lines(out_);
    std::string line;
    std::getline(lines, line);
    const nlohmann::json row = nlohmann::json::parse(line);
    EXPECT_EQ(row["time"], "2026-12-10T12:35:19Z");
    EXPECT_NEAR(row["lat"].get<double>(), 48.1173, 1e-4);
    EXPECT_EQ(row["fix"], 2);
    EXPECT_TRUE(row["street"].is_null());

    // Before any date the time is the time of day.
    const fs::path undated =
        Write("undated.log",
              "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
              "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,,003.1,W*65\r\n");
    ASSERT_EQ(Run("--raw " + undated.string()), 0);
    EXPECT_NE(out_.find("\n12:35:19,48.117302"), std::string::npos) << out_;
}

TEST_F(GpslogTest, RealtimeDeliversOneFixPerPlaybackDelay) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 150);
    gpslog::LogOptions options;
    options.logPath = Write("two.log", kTwoFixes).string();
    options.realtime = true;
    std::ostringstream out, err;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(gpslog::RunRaw(options, out, err), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_NE(err.str().find(" 2 fixes"), std::string::npos) << err.str();
}

// Seconds since 2000 of a CSV time, or of the day for "hh:mm:ss".
double TimeSeconds(const std::string& time) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(time.c_str(), "%d-%d-%dT%d:%d:%dZ", &y, &mo, &d, &h, &mi, &s) == 6) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
        return static_cast<double>(timegm(&tm));
    }
    std::sscanf(time.c_str(), "%d:%d:%d", &h, &mi, &s);
    return h * 3600.0 + mi * 60 + s;
}

TEST_F(GpslogTest, EveryRealCaptureGivesPlausibleFixes) {
    const fs::path folder = testing_support::SharedNmeaFolder();
    if (!fs::is_directory(folder))
        GTEST_SKIP() << "no NMEA captures in " << folder;
    const std::regex timePattern(
        R"(^(\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])T([01]\d|2[0-3]):[0-5]\d:([0-5]\d|60)Z|([01]\d|2[0-3]):[0-5]\d:([0-5]\d|60))$)");
    int captures = 0, fixes = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".log")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++captures;
        std::ostringstream out, err;
        gpslog::LogOptions options;
        options.logPath = entry.path().string();
        ASSERT_EQ(gpslog::RunRaw(options, out, err), 0);
        std::istringstream lines(out.str());
        std::string line;
        std::getline(lines, line);
        ASSERT_EQ(line, gpslog::kCsvHeader);
        double lastTime = -1, lastLat = 0, lastLon = 0;
        while (std::getline(lines, line)) {
            ++fixes;
            std::vector<std::string> f;
            std::stringstream cells(line);
            for (std::string cell; std::getline(cells, cell, ',');)
                f.push_back(cell);
            ASSERT_GE(f.size(), 8u) << line;
            EXPECT_TRUE(std::regex_match(f[0], timePattern)) << line;
            const double lat = std::stod(f[1]), lon = std::stod(f[2]);
            const double speed = std::stod(f[3]), heading = std::stod(f[4]);
            EXPECT_LE(std::fabs(lat), 90) << line;
            EXPECT_LE(std::fabs(lon), 180) << line;
            EXPECT_FALSE(lat == 0 && lon == 0) << line;
            EXPECT_TRUE(speed >= 0 && speed < 1200) << line;
            EXPECT_TRUE(heading >= 0 && heading <= 360) << line;
            EXPECT_GE(std::stoi(f[6]), 3) << line;
            const double time = TimeSeconds(f[0]);
            if (lastTime >= 0 && time > lastTime) {
                const double km =
                    std::hypot((lat - lastLat) * 111.2,
                               (lon - lastLon) * 111.2 * std::cos(lat * 3.14159265358979 / 180));
                EXPECT_LT(km / (time - lastTime) * 3600, 1000) << "an airliner's step: " << line;
            }
            // A time running backwards starts a new capture.
            lastTime = time;
            lastLat = lat;
            lastLon = lon;
        }
    }
    EXPECT_GT(captures, 30);
    EXPECT_GT(fixes, 500);
}

}  // namespace
