// gpslog playing the program's own logs through the playback thread, and matching
// their fixes onto device map files: noisy drives on the built-in town and on the
// roads of Andorra, the real trace beside that extract, and map folders that are not.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "tests/position/drives.h"
#include "tests/support/device_maps.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/gpslog/gpslog.h"

namespace {

namespace fs = std::filesystem;
using position_test::DriveFix;

const discmaker::Network& Town() {
    static const discmaker::Network town = discmaker::BuildTown(5, 1500);
    return town;
}

const fs::path& TownMaps() {
    static const testing_support::GeneratedDeviceMaps maps(Town(), {}, "gpslog-town");
    return maps.folder();
}

// The cells of a CSV line; a quoted cell may hold commas and doubled quotes.
std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

struct Played {
    int exit = -1;
    std::vector<std::vector<std::string>> rows;  // the CSV rows under the header
    std::string out, err;
};

// What a matched drive gave: rows matched, and after the first five, those matched
// onto the driven link.
struct Matched {
    size_t rows = 0;
    size_t matched = 0;
    size_t onRoad = 0;
};

Matched CountMatched(const Played& run, const discmaker::Network& network,
                     const std::vector<DriveFix>& drive) {
    Matched m;
    m.rows = run.rows.size();
    for (size_t i = 0; i < run.rows.size() && i < drive.size(); ++i) {
        const std::vector<std::string>& row = run.rows[i];
        if (row.size() != 12 || row[8].empty())
            continue;
        ++m.matched;
        EXPECT_FALSE(row[11].empty()) << "a matched fix without its street text";
        const discmaker::LatLon point{std::stod(row[8]), std::stod(row[9])};
        if (i >= 5)
            m.onRoad += position_test::MetresFromLink(network, drive[i].link, point) < 3.0;
    }
    return m;
}

class GpslogMapsTest : public testing_support::RootsTest {
  protected:
    fs::path WriteLog(const std::string& name, const std::string& text) {
        const fs::path path = roots_.base() / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static Played Play(const gpslog::LogOptions& options, bool raw = false) {
        Played run;
        std::ostringstream out, err;
        run.exit = raw ? gpslog::RunRaw(options, out, err) : gpslog::RunLog(options, out, err);
        run.out = out.str();
        run.err = err.str();
        std::istringstream lines(run.out);
        std::string line;
        std::getline(lines, line);
        while (options.format == gpslog::Format::Csv && std::getline(lines, line))
            run.rows.push_back(Cells(line));
        return run;
    }
};

TEST_F(GpslogMapsTest, ALogPlaysAsTheCaptureFramesAndRealtimeKeepsThePace) {
    const std::vector<DriveFix> drive = position_test::MakeDrive(Town(), 0.5, 5, 9);
    gpslog::LogOptions options;
    options.logPath = WriteLog("drive.gps", position_test::DriveAsNmea(drive)).string();
    const Played played = Play(options);
    ASSERT_EQ(played.exit, 0) << played.err;
    EXPECT_EQ(played.rows.size(), drive.size());
    EXPECT_EQ(played.out, Play(options, true).out) << "playback and framing differ";
    EXPECT_TRUE(std::regex_search(played.err, std::regex(R"(^gpslog: \d+ sentences, 0 checksum )"
                                                         R"(failures, \d+ fixes, [0-9.]+ s, )"
                                                         R"([0-9.]+ MB/s\n$)")))
        << played.err;

    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 100), 0);
    gpslog::LogOptions five = options;
    five.logPath =
        WriteLog("five.gps", position_test::DriveAsNmea({drive.begin(), drive.begin() + 5}))
            .string();
    five.realtime = true;
    const auto start = std::chrono::steady_clock::now();
    const Played paced = Play(five);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    EXPECT_EQ(paced.rows.size(), 5u);
}

TEST_F(GpslogMapsTest, ANoisyTownDriveIsMatchedOntoTheDrivenRoads) {
    const std::vector<DriveFix> drive = position_test::MakeDrive(Town(), 20, 10, 1);
    ASSERT_GT(drive.size(), 500u);
    gpslog::LogOptions options;
    options.logPath = WriteLog("town.gps", position_test::DriveAsNmea(drive)).string();
    options.maps = TownMaps();
    const Played run = Play(options);
    ASSERT_EQ(run.exit, 0) << run.err;
    const Matched m = CountMatched(run, Town(), drive);
    EXPECT_EQ(m.rows, drive.size());
    EXPECT_GE(m.matched, 0.95 * drive.size());
    EXPECT_GE(m.onRoad, 0.90 * (drive.size() - 5));
    EXPECT_TRUE(std::regex_search(
        run.err,
        std::regex(R"(, matched (9[5-9]|100)\.\d %, median [0-9.]+ ms per matched fix\n$)")))
        << run.err;

    // The same as JSON: a matched row names its link and street; an unmatched one has
    // nulls there.
    options.format = gpslog::Format::Json;
    const Played json = Play(options);
    ASSERT_EQ(json.exit, 0);
    std::istringstream lines(json.out);
    std::string line;
    size_t matchedRows = 0, rows = 0;
    while (std::getline(lines, line)) {
        const nlohmann::json row = nlohmann::json::parse(line);
        ++rows;
        if (row["link"].is_null()) {
            EXPECT_TRUE(row["matched_lat"].is_null() && row["street"].is_null()) << line;
            continue;
        }
        ++matchedRows;
        EXPECT_TRUE(row["street"].is_string()) << line;
        EXPECT_NEAR(row["matched_lat"].get<double>(), row["lat"].get<double>(), 0.0003) << line;
    }
    EXPECT_EQ(rows, drive.size());
    EXPECT_EQ(matchedRows, m.matched) << "JSON and CSV runs matched differently";
}

TEST_F(GpslogMapsTest, AFolderWithoutUsableMapFilesEndsTheRunWithStatus1) {
    const fs::path log = WriteLog(
        "town.gps", position_test::DriveAsNmea(position_test::MakeDrive(Town(), 0.2, 0, 2)));
    fs::create_directories(roots_.base() / "empty");
    fs::create_directories(roots_.base() / "bogus");
    std::ofstream(roots_.base() / "bogus" / "mapdata1.biz") << "not a map";
    std::ofstream(roots_.base() / "bogus" / "mapdata2.biz") << "not a map";
    for (const fs::path& maps :
         {roots_.base() / "empty", roots_.base() / "bogus", roots_.base() / "missing", log}) {
        for (const bool raw : {false, true}) {
            gpslog::LogOptions options;
            options.logPath = log.string();
            options.maps = maps;
            const Played run = Play(options, raw);
            EXPECT_EQ(run.exit, 1) << maps;
            EXPECT_EQ(run.out, "") << maps;
            EXPECT_NE(run.err.find(maps.string()), std::string::npos) << run.err;
        }
    }
    gpslog::LogOptions missing;
    missing.logPath = (roots_.base() / "missing.gps").string();
    EXPECT_EQ(Play(missing).exit, 1);
    missing.logPath = roots_.base().string();  // a folder
    EXPECT_EQ(Play(missing).exit, 1);
}

// Name files cut to their head would match every fix onto a street without a name:
// the run ends with 1 and the file named instead.
TEST_F(GpslogMapsTest, NameFilesCutShortEndTheRunWithStatus1) {
    const fs::path log = WriteLog(
        "town.gps", position_test::DriveAsNmea(position_test::MakeDrive(Town(), 0.2, 0, 2)));
    for (const auto& [file, size] : {std::pair<const char*, size_t>{"names.bin", 19540},
                                     std::pair<const char*, size_t>{"sttypes.bin", 8}}) {
        const fs::path maps = roots_.base() / file;
        fs::copy(TownMaps(), maps);
        fs::resize_file(maps / file, size);
        gpslog::LogOptions options;
        options.logPath = log.string();
        options.maps = maps;
        const Played run = Play(options);
        EXPECT_EQ(run.exit, 1) << file;
        EXPECT_EQ(run.out, "") << file;
        EXPECT_NE(run.err.find(std::string("Invalid or Missing Data file: ") + file),
                  std::string::npos)
            << run.err;
    }
}

TEST_F(GpslogMapsTest, AndorraDrivesAndTheRealTraceAreMatchedAlongTheirRoads) {
    const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    const fs::path trace = testing_support::SharedOsmFolder().parent_path() / "traces" /
                           "andorra_for_map_matching.gpx";
    if (!fs::exists(extract) || !fs::exists(trace))
        GTEST_SKIP() << "no " << extract << " or its trace: the shared data folder is absent";
    const discmaker::Network andorra = discmaker::ReadOsm(extract, "ON");
    const testing_support::GeneratedDeviceMaps maps(andorra, {}, "gpslog-andorra");

    const std::vector<DriveFix> drive = position_test::MakeDrive(andorra, 20, 10, 4);
    gpslog::LogOptions options;
    options.logPath = WriteLog("andorra.gps", position_test::DriveAsNmea(drive)).string();
    options.maps = maps.folder();
    const Played run = Play(options);
    ASSERT_EQ(run.exit, 0) << run.err;
    const Matched m = CountMatched(run, andorra, drive);
    EXPECT_EQ(m.rows, drive.size());
    EXPECT_GE(m.matched, 0.95 * drive.size());
    EXPECT_GE(m.onRoad, 0.90 * (drive.size() - 5));

    // The real trace, resampled at 10 m a second into a log: matched near its points
    // (within 30 m: the trace is drawn by hand).
    const std::vector<DriveFix> traced =
        position_test::Resample(position_test::ReadGpxTrack(trace), 10);
    ASSERT_GT(traced.size(), 50u);
    options.logPath = WriteLog("trace.gps", position_test::DriveAsNmea(traced)).string();
    const Played tracedRun = Play(options);
    ASSERT_EQ(tracedRun.exit, 0) << tracedRun.err;
    ASSERT_EQ(tracedRun.rows.size(), traced.size());
    size_t near = 0;
    for (size_t i = 0; i < traced.size(); ++i) {
        const std::vector<std::string>& row = tracedRun.rows[i];
        if (row.size() != 12 || row[8].empty())
            continue;
        const double dLat = (std::stod(row[8]) - traced[i].truth.lat) * 111195;
        const double dLon = (std::stod(row[9]) - traced[i].truth.lon) * 111195 *
                            std::cos(traced[i].truth.lat * 3.14159265358979 / 180);
        near += std::hypot(dLat, dLon) < 30;
    }
    EXPECT_GE(near, 0.9 * traced.size());
}

}  // namespace
