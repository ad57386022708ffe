// Guided drives with the route tool's library over the built-in town and a real
// extract: what guidance says and when, its recalculation after straying, the
// arrival, and the drive written as a GPS log.
#include "tools/route/guided_drive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "pathlume/position/gps_fix.h"
#include "pathlume/position/nmea_parser.h"
#include "pathlume/route/maneuver_list.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/audio/audio.h"
#include "platform/kernel/text.h"
#include "tests/route/route_test_maps.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/tools/route/route_tool_support.h"
#include "tools/route/route_tool.h"
#include "tools/voicegen/voicegen.h"

namespace {

namespace fs = std::filesystem;
using routetool::DrivePhrase;
using routetool::DriveReport;
using routetool::RouteResult;

std::vector<std::string> Words(const DrivePhrase& phrase) {
    std::vector<std::string> words;
    for (int w : phrase.words)
        words.push_back(platform::WideToUtf8(PromptWordTable[w]));
    return words;
}

// The first word a maneuver is told by ("exit" for "exitr", as it is said).
std::string HeadWord(uint32_t kind) {
    const std::string word = platform::WideToUtf8(PromptWordTable[ManeuverPhraseId(kind)]);
    if (word == "exitl" || word == "exitr")
        return "exit";
    if (word == "entfwyl" || word == "entfwyr")
        return "entfwy";
    return word;
}

bool Contains(const std::vector<std::string>& words, const std::string& word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

bool ContainsPair(const std::vector<std::string>& words, const std::string& first,
                  const std::string& second) {
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == first && words[i + 1] == second)
            return true;
    }
    return false;
}

// What every guided drive must keep: each maneuver reached is told (alone, as the
// "then" part of the one before or in its roundabout's exit); each stage once, far
// before mid before near before now; the length to go never grows on one route;
// the arrival within its distance.
void ExpectSoundDrive(const DriveReport& d) {
    ASSERT_TRUE(d.arrived) << "the drive did not arrive";
    EXPECT_LE(d.arrivalMetres, d.arrivalAllowanceMetres + 1);
    // How far each route was driven: the last maneuver current on it; and for each
    // maneuver the updates it was current in, and whether any was off a roundabout.
    std::map<int, int32_t> reached;
    std::map<std::pair<int, int32_t>, int> currentFor;
    std::map<std::pair<int, int32_t>, bool> offRoundabout;
    for (const routetool::DriveUpdate& u : d.updates) {
        reached[u.generation] = std::max(reached[u.generation], u.maneuver);
        ++currentFor[{u.generation, u.maneuver}];
        offRoundabout[{u.generation, u.maneuver}] |= !u.roundabout;
    }
    for (size_t g = 0; g < d.routes.size(); ++g) {
        const std::vector<uint32_t>& kinds = d.routes[g].kinds;
        const bool last = g + 1 == d.routes.size();
        for (int32_t m = 0; m < static_cast<int32_t>(kinds.size()); ++m) {
            if (m > reached[g] || (m == reached[g] && !last))
                continue;  // left behind by a recalculation
            // Nothing is said on a roundabout, and a maneuver passed within the voice
            // delay of the one before it cannot be told on its own.
            const std::pair<int, int32_t> key{static_cast<int>(g), m};
            if (!offRoundabout[key] || currentFor[key] <= 2)
                continue;
            const std::string head = HeadWord(kinds[m]);
            bool told = false;
            for (const DrivePhrase& phrase : d.phrases) {
                if (phrase.generation != static_cast<int>(g))
                    continue;
                const std::vector<std::string> words = Words(phrase);
                // A route that begins by turning round tells that first.
                told = told || (phrase.maneuver == m && Contains(words, head)) ||
                       (m == 0 && words == std::vector<std::string>{"ofruturn"}) ||
                       (phrase.maneuver == m - 1 &&
                        (ContainsPair(words, "thenimm", head) ||
                         (head == "uturn" && ContainsPair(words, "then", "uturn")) ||
                         ((kinds[m - 1] == kManeuverRoundaboutRight ||
                           kinds[m - 1] == kManeuverRoundaboutLeft) &&
                          Contains(words, "take"))));
            }
            EXPECT_TRUE(told) << "route " << g << " maneuver " << m << " (" << head << ") untold";
        }
    }
    const routetool::DriveUpdate* previous = nullptr;
    uint32_t seen = 0;
    for (const routetool::DriveUpdate& u : d.updates) {
        const bool sameRoute =
            previous && previous->generation == u.generation && !previous->recalculated;
        if (sameRoute) {
            EXPECT_LE(u.remainingMetres, previous->remainingMetres + 1) << "second " << u.second;
        }
        if (sameRoute && previous->maneuver == u.maneuver) {
            // A stage set now lies nearer than every stage said before it.
            const uint32_t fresh = u.stageBits & ~seen;
            if (fresh) {
                EXPECT_LT(fresh, seen ? (seen & (0u - seen)) : 0x10u) << "second " << u.second;
            }
            EXPECT_EQ(seen & ~u.stageBits, 0u) << "a stage was said twice";
        }
        seen = u.stageBits;
        previous = &u;
    }
}

// Straying: one recalculation within 10 updates of leaving the route, and the new
// route starts on the vehicle's link.
void ExpectOneRecalculation(const DriveReport& d) {
    ASSERT_GE(d.strayUpdate, 0) << "the drive never left the route";
    ASSERT_EQ(d.recalcs, 1);
    ASSERT_EQ(d.routes.size(), 2u);
    int at = -1;
    for (size_t i = 0; i < d.updates.size() && at < 0; ++i) {
        if (d.updates[i].generation == 1)
            at = static_cast<int>(i);
    }
    ASSERT_GE(at, 0);
    EXPECT_LE(at - d.strayUpdate, 10);
    EXPECT_EQ(d.routes[1].startLinkId, d.routes[1].vehicleLinkId);
}

class GuidedDriveTest : public testing_support::RootsTest {
  protected:
    // Routes each pair and drives it, then once more leaving the route.
    static void DrivePairs(const fs::path& maps, const std::vector<routetool::Pair>& pairs,
                           double strayKm) {
        routetool::Options options;
        options.maps = maps;
        routetool::Session session(options);
        int driven = 0;
        for (size_t i = 0; i < pairs.size(); ++i) {
            SCOPED_TRACE("pair " + std::to_string(i));
            const RouteResult result = session.Route(pairs[i].from, pairs[i].to);
            if (result.kind != RouteResult::Kind::kRoute)
                continue;
            std::ostringstream out;
            const DriveReport drive = session.Guide({}, out);
            ExpectSoundDrive(drive);
            EXPECT_EQ(drive.recalcs, 0);
            ++driven;
            if (strayKm < 0 || result.lengthMetres < strayKm * 1000 + 800)
                continue;
            SCOPED_TRACE("straying");
            session.Route(pairs[i].from, pairs[i].to);
            routetool::GuideOptions stray;
            stray.strayKm = strayKm;
            const DriveReport strayed = session.Guide(stray, out);
            ExpectOneRecalculation(strayed);
            ExpectSoundDrive(strayed);
        }
        EXPECT_GE(driven, static_cast<int>(pairs.size()) - 1);
    }
};

TEST_F(GuidedDriveTest, TownDrivesAreGuidedAndArrive) {
    DrivePairs(route_test::RouteTownMaps(),
               route_tool_test::SeededPairs(route_test::RouteTown(), 8, 2026), 0.3);
}

TEST_F(GuidedDriveTest, AndorraDrivesAreGuidedAndArrive) {
    const route_tool_test::ExtractMaps* maps = route_tool_test::MapsOf("andorra.osm.pbf");
    if (!maps)
        GTEST_SKIP() << "no andorra.osm.pbf in " << testing_support::SharedOsmFolder()
                     << ": the shared data folder is absent";
    DrivePairs(maps->folder(), route_tool_test::SeededPairs(maps->network, 5, 1210), 0.5);
}

// Through the roundabout from each road into it to a point on each other road out of
// it, a few hundred feet on: leaving the ring is no maneuver, so what comes next
// becomes current while the vehicle is still on the ring, where nothing is said, and
// is told once it is off.
TEST_F(GuidedDriveTest, TheManeuverAfterARoundaboutIsToldOffTheRing) {
    const std::vector<MapPoint> spokes = route_test::RoundaboutSpokes();
    ASSERT_GE(spokes.size(), 3u);
    routetool::Options options;
    options.maps = route_test::RouteTownMaps();
    routetool::Session session(options);
    MapPoint centre{0, 0};
    for (const MapPoint& spoke : spokes) {
        centre.latitude += spoke.latitude / static_cast<FLOAT>(spokes.size());
        centre.longitude += spoke.longitude / static_cast<FLOAT>(spokes.size());
    }
    int driven = 0;
    for (const MapPoint& from : spokes) {
        for (const MapPoint& spoke : spokes) {
            // Out along the road leaving the ring, some blocks on.
            const MapPoint to{centre.latitude + (spoke.latitude - centre.latitude) * 4,
                              centre.longitude + (spoke.longitude - centre.longitude) * 4};
            if (&from == &spoke || session.Route(from, to).kind != RouteResult::Kind::kRoute)
                continue;
            SCOPED_TRACE(std::to_string(driven));
            std::ostringstream out;
            const DriveReport drive = session.Guide({}, out);
            ExpectSoundDrive(drive);
            ASSERT_EQ(drive.routes.size(), 1u) << out.str();
            const std::vector<uint32_t>& kinds = drive.routes[0].kinds;
            ASSERT_GE(kinds.size(), 2u);
            // Some ways out are reached without the ring.
            if (kinds[0] != kManeuverRoundaboutRight && kinds[0] != kManeuverRoundaboutLeft)
                continue;
            // The maneuver after the ring, the arrival included, is said by its word.
            bool told = false;
            for (const DrivePhrase& phrase : drive.phrases)
                told =
                    told || (phrase.maneuver == 1 && Contains(Words(phrase), HeadWord(kinds[1])));
            EXPECT_TRUE(told) << out.str();
            ++driven;
        }
    }
    EXPECT_GE(driven, 3);
}

// A destination on a roundabout, where nothing is said: the vehicle arrives.
TEST_F(GuidedDriveTest, ADestinationOnARoundaboutIsArrivedAt) {
    const discmaker::Network& town = route_test::RouteTown();
    std::vector<MapPoint> ring;
    for (const discmaker::Link& link : town.links) {
        if (link.roundabout) {
            const discmaker::LatLon& a = town.nodes[link.from].position;
            const discmaker::LatLon& b = town.nodes[link.to].position;
            ring.push_back(
                {static_cast<FLOAT>((a.lat + b.lat) / 2), static_cast<FLOAT>((a.lon + b.lon) / 2)});
        }
    }
    ASSERT_FALSE(ring.empty());
    routetool::Options options;
    options.maps = route_test::RouteTownMaps();
    routetool::Session session(options);
    const MapPoint from = route_tool_test::SeededPairs(town, 1, 46)[0].from;
    ASSERT_EQ(session.Route(from, ring[0]).kind, RouteResult::Kind::kRoute);
    std::ostringstream out;
    const DriveReport drive = session.Guide({}, out);
    EXPECT_TRUE(drive.arrived) << out.str();
    ASSERT_FALSE(drive.updates.empty());
    EXPECT_TRUE(drive.updates.back().roundabout);
}

// The drive as a GPS log: GGA, GSA and RMC a second, each checked, read back as a
// 3D fix of 8 satellites on the drive's positions.
TEST_F(GuidedDriveTest, TheDriveIsWrittenAsAGpsLog) {
    const std::vector<routetool::Pair> pairs =
        route_tool_test::SeededPairs(route_test::RouteTown(), 1, 44);
    routetool::Options options;
    options.maps = route_test::RouteTownMaps();
    routetool::Session session(options);
    ASSERT_EQ(session.Route(pairs[0].from, pairs[0].to).kind, RouteResult::Kind::kRoute);
    routetool::GuideOptions guide;
    guide.nmea = roots_.device() / "drive.gps";
    std::ostringstream out;
    const DriveReport drive = session.Guide(guide, out);
    ASSERT_TRUE(drive.arrived);
    EXPECT_FALSE(fs::exists(guide.nmea.string() + ".partial"));
    std::ifstream in(guide.nmea, std::ios::binary);
    ASSERT_TRUE(in);
    std::string line;
    std::vector<std::string> types;
    GpsFix fix;
    int fixes = 0;
    NmeaSettings settings;
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        EXPECT_EQ(VerifyNmeaChecksum(line.c_str()), 1) << line;
        std::vector<char> text(line.begin(), line.end());
        text.push_back('\0');
        int type = 0;
        ParseSentence(fix, text.data(), settings, &type);
        types.push_back(line.substr(3, 3));
        if (line.compare(3, 3, "RMC") == 0) {
            EXPECT_TRUE(fix.valid);
            EXPECT_EQ(fix.fixMode, kFixMode3D);
            EXPECT_EQ(fix.satellitesUsed, 8);
            ++fixes;
        }
    }
    EXPECT_EQ(fixes, static_cast<int>(drive.updates.size()));
    ASSERT_EQ(types.size(), 3u * drive.updates.size());
    for (size_t i = 0; i < types.size(); i += 3) {
        EXPECT_EQ(types[i], "GGA");
        EXPECT_EQ(types[i + 1], "GSA");
        EXPECT_EQ(types[i + 2], "RMC");
    }
}

// Spoken through the voice queue from voicegen's recordings of the words the drive
// says, and recorded: the recording holds the phrases' speech.
TEST_F(GuidedDriveTest, TheDriveIsSpokenAndRecorded) {
    const std::optional<fs::path> espeak = voicegen::FindEspeak();
    if (!espeak)
        GTEST_SKIP() << "espeak-ng is not installed (scripts/setup-deps installs it)";
    // The shortest of a few routes: the phrases play at the pace they are spoken.
    const std::vector<routetool::Pair> pairs =
        route_tool_test::SeededPairs(route_test::RouteTown(), 12, 47);
    routetool::Options options;
    options.maps = route_test::RouteTownMaps();
    routetool::Session session(options);
    const routetool::Pair* shortest = nullptr;
    double metres = 1e18;
    for (const routetool::Pair& pair : pairs) {
        const RouteResult result = session.Route(pair.from, pair.to);
        if (result.kind == RouteResult::Kind::kRoute && result.lengthMetres < metres) {
            metres = result.lengthMetres;
            shortest = &pair;
        }
    }
    ASSERT_NE(shortest, nullptr);
    ASSERT_EQ(session.Route(shortest->from, shortest->to).kind, RouteResult::Kind::kRoute);
    std::ostringstream out;
    const DriveReport silent = session.Guide({}, out);
    ASSERT_TRUE(silent.arrived);
    // Only the words it says, and "0", by which the voice finds its folder.
    voicegen::Options words;
    words.out = roots_.device() / "voice";
    std::set<std::string> said{"0"};
    for (const DrivePhrase& phrase : silent.phrases) {
        for (const std::string& word : Words(phrase))
            said.insert(word);
    }
    words.words.assign(said.begin(), said.end());
    std::ostringstream voicegenOut, voicegenErr;
    ASSERT_EQ(voicegen::Run(words, voicegenOut, voicegenErr), 0) << voicegenErr.str();

    ASSERT_EQ(session.Route(shortest->from, shortest->to).kind, RouteResult::Kind::kRoute);
    routetool::GuideOptions guide;
    guide.voice = words.out;
    guide.wav = roots_.device() / "drive.wav";
    const DriveReport spoken = session.Guide(guide, out);
    ASSERT_TRUE(spoken.arrived);
    EXPECT_EQ(spoken.phrases.size(), silent.phrases.size());
    std::ifstream in(guide.wav, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const std::optional<platform::WaveData> wave = platform::ParseWave(bytes);
    ASSERT_TRUE(wave.has_value());
    // Each phrase is at least a word of speech, about a third of a second.
    const double seconds = static_cast<double>(wave->samples.size()) / wave->rate;
    EXPECT_GE(seconds, 0.3 * spoken.phrases.size());
    int loud = 0;
    for (int16_t sample : wave->samples)
        loud += std::abs(sample) > 2000 ? 1 : 0;
    EXPECT_GT(loud, wave->rate / 2) << "half a second of audible speech at least";
}

// The tool's own output: the phrases with their time and distance, the screens,
// the arrival and the figures; with JSON the drive is part of the document.
TEST_F(GuidedDriveTest, TheToolPrintsTheDriveAndItsFigures) {
    const std::vector<routetool::Pair> pairs =
        route_tool_test::SeededPairs(route_test::RouteTown(), 1, 45);
    routetool::Options options;
    options.maps = route_test::RouteTownMaps();
    options.from = pairs[0].from;
    options.to = pairs[0].to;
    options.guide = true;
    std::ostringstream out, err;
    ASSERT_EQ(routetool::Run(options, out, err), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find(" m  "), std::string::npos);
    EXPECT_NE(text.find("arrived, "), std::string::npos);
    const std::string lastLine = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(lastLine.rfind("updates=", 0), 0u) << lastLine;
    EXPECT_NE(lastLine.find(" arrived=1"), std::string::npos);

    options.json = true;
    std::ostringstream json;
    ASSERT_EQ(routetool::Run(options, json, err), 0) << err.str();
    const nlohmann::json document = nlohmann::json::parse(json.str());
    EXPECT_EQ(document["result"], "route");
    EXPECT_TRUE(document["drive"]["arrived"].get<bool>());
    EXPECT_FALSE(document["drive"]["phrases"].empty());
}

}  // namespace
