#include "pathlume/voice/speex_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "tests/voice/speex_stream.h"
#include "tests/voice/voice_fixture.h"
#include "tools/voicegen/voice_encoder.h"
#include "tools/voicegen/voicegen.h"

namespace {

using voice_test::MakeSpeexStream;
using voice_test::Sine;
using voice_test::StreamSpec;

class SpeexPlayerTest : public voice_test::VoiceTest {
  protected:
    // Writes the bytes as a prompt file and plays it; the result of PlaySpeexFile.
    int Play(const std::vector<uint8_t>& bytes) {
        voice_test::WriteBytes(SoundFolder() / "word.spx", bytes);
        return PlaySpeexFile(u"\\Program Files\\Zanter\\Wayscribe\\Snd\\word.spx");
    }
};

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int lag) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const int64_t j = static_cast<int64_t>(i) + lag;
        if (j < 0 || j >= static_cast<int64_t>(b.size())) {
            continue;
        }
        ab += static_cast<double>(a[i]) * b[j];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[j]) * b[j];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

TEST_F(SpeexPlayerTest, AVoicegenFilePlaysExactlyItsGranuleCountAlignedWithItsInput) {
    // 0.55 s of a rising tone: several pages, a last frame only partly used.
    std::vector<int16_t> input;
    for (int i = 0; i < 8800; ++i) {
        const double t = i / 16000.0;
        input.push_back(static_cast<int16_t>(
            std::lround(9000 * std::sin(2 * std::numbers::pi * (300 + 400 * t) * t))));
    }
    ASSERT_EQ(Play(voicegen::EncodeSpeexOgg(input, 7)), 0);
    const std::vector<int16_t> played = Played();  // the device drained before the call returned
    ASSERT_EQ(played.size(), input.size());
    // Both ends trimmed by the granule positions: the output lines up with the
    // input with no delay left.
    const double atZero = Correlation(input, played, 0);
    EXPECT_GT(atZero, 0.8);
    for (int lag : {-40, -10, 10, 40}) {
        EXPECT_GT(atZero, Correlation(input, played, lag)) << lag;
    }
}

TEST_F(SpeexPlayerTest, SpokenWordsOfVoicegenPlayWhole) {
    std::optional<std::filesystem::path> espeak = voicegen::FindEspeak();
    if (!espeak) {
        GTEST_SKIP() << "espeak-ng is not installed (scripts/setup-deps installs it)";
    }
    for (const char* word : {"turnr", "3q"}) {
        double seconds = 0;
        std::optional<std::vector<uint8_t>> bytes =
            voicegen::EncodeWord(*espeak, word, voicegen::Format::Speex, &seconds);
        ASSERT_TRUE(bytes) << word;
        ASSERT_EQ(Play(*bytes), 0);
        EXPECT_EQ(Played().size(), static_cast<size_t>(std::lround(seconds * 16000))) << word;
    }
}

TEST_F(SpeexPlayerTest, TwoPlayersAtOnceTakeTurnsOverTheOneOutput) {
    const std::vector<int16_t> input = Sine(440, 4000, 1, 9000);
    voice_test::WriteBytes(SoundFolder() / "word.spx", voicegen::EncodeSpeexOgg(input, 2));
    auto play = [] {
        EXPECT_EQ(PlaySpeexFile(u"\\Program Files\\Zanter\\Wayscribe\\Snd\\word.spx"), 0);
    };
    std::thread other(play);
    play();
    other.join();
    EXPECT_EQ(Played().size(), 2 * input.size());
}

TEST_F(SpeexPlayerTest, StereoAndSeveralFramesAPacketPlayTheirGranuleCount) {
    struct Case {
        const char* name;
        StreamSpec spec;
    };
    const Case cases[] = {
        {"stereo", StreamSpec{2, 1, -1, nullptr}},
        {"three frames a packet", StreamSpec{1, 3, -1, nullptr}},
        {"frames per packet 0 in the header", StreamSpec{1, 1, 0, nullptr}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int16_t> input = Sine(500, 5000, c.spec.channels, 8000);
        ASSERT_EQ(Play(MakeSpeexStream(input, c.spec)), 0);
        const std::vector<int16_t> played = Played();
        EXPECT_EQ(played.size(), 5000u);  // the capture is mono
        double energy = 0;
        for (int16_t s : played) {
            energy += static_cast<double>(s) * s;
        }
        EXPECT_GT(std::sqrt(energy / played.size()), 2000);
    }
}

TEST_F(SpeexPlayerTest, UnusableHeadersPlayNothingAndAnswerOne) {
    struct Case {
        const char* name;
        std::function<void(SpeexHeader&)> bend;
    };
    const Case cases[] = {
        {"mode 3", [](SpeexHeader& h) { h.mode = 3; }},
        {"negative mode", [](SpeexHeader& h) { h.mode = -1; }},
        {"newer bit-stream", [](SpeexHeader& h) { h.speex_version_id = 2; }},
        {"other mode bit-stream", [](SpeexHeader& h) { h.mode_bitstream_version = 3; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamSpec spec;
        spec.bendHeader = c.bend;
        EXPECT_EQ(Play(MakeSpeexStream(Sine(500, 3200, 1, 8000), spec)), 1);
        EXPECT_TRUE(Played().empty());
    }
    std::vector<uint8_t> notSpeex = MakeSpeexStream(Sine(500, 3200, 1, 8000), {});
    notSpeex[28] = 'X';            // "Speex   " in the first packet; the page checksum goes too
    EXPECT_EQ(Play(notSpeex), 1);  // the header page is lost: the comment packet comes first
    EXPECT_EQ(PlaySpeexFile(u"\\Program Files\\Zanter\\Wayscribe\\Snd\\missing.spx"), 0);
    EXPECT_TRUE(Played().empty());
}

TEST_F(SpeexPlayerTest, CutAndCorruptFilesPlayWhatTheyCanAndEnd) {
    const std::vector<int16_t> input = Sine(440, 16000, 1, 9000);
    const std::vector<uint8_t> good = voicegen::EncodeSpeexOgg(input, 3);
    std::mt19937 random(11);
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        bool plays;  // whether some sound is expected
    };
    std::vector<Case> cases = {
        {"empty", {}, false},
        {"inside the first page", {good.begin(), good.begin() + 30}, false},
        {"after the header pages", {good.begin(), good.begin() + 140}, false},
        {"in the middle", {good.begin(), good.begin() + good.size() / 2}, true},
        {"last byte gone", {good.begin(), good.end() - 1}, true},
        {"garbage", std::vector<uint8_t>(3000, 0xA5), false},
    };
    std::vector<uint8_t> flipped = good;
    for (size_t at = 200; at < flipped.size(); at += 97) {
        flipped[at] ^= 0x5A;  // breaks page checksums: those pages are skipped
    }
    cases.push_back({"flipped bytes", flipped, false});
    // Corrupt packets inside valid pages: rebuild the stream from garbage frames.
    std::vector<uint8_t> noise;
    for (int i = 0; i < 400; ++i) {
        noise.push_back(static_cast<uint8_t>(random()));
    }
    cases.push_back({"pages of noise after the header",
                     [&] {
                         std::vector<uint8_t> bytes(good.begin(), good.begin() + 140);
                         bytes.insert(bytes.end(), noise.begin(), noise.end());
                         return bytes;
                     }(),
                     false});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        const int result = Play(c.bytes);
        EXPECT_TRUE(result == 0 || result == 1);
        const std::vector<int16_t> played = Played();
        EXPECT_LE(played.size(), input.size());
        if (c.plays) {
            EXPECT_GT(played.size(), 0u);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
}

// The stream's pages with the granule positions of its audio pages (those after
// the two header pages) replaced in turn, checksums made right again.
std::vector<uint8_t> WithGranules(const std::vector<uint8_t>& bytes,
                                  const std::vector<int64_t>& granules) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer);
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    std::vector<uint8_t> out;
    ogg_page page;
    size_t index = 0, audio = 0;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        if (index++ >= 2 && audio < granules.size()) {
            const uint64_t granule = static_cast<uint64_t>(granules[audio++]);
            for (int i = 0; i < 8; ++i)
                page.header[6 + i] = static_cast<unsigned char>(granule >> (8 * i));
            ogg_page_checksum_set(&page);
        }
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    }
    ogg_sync_clear(&sync);
    return out;
}

// Granule positions that jump out of range or run backwards end the word with a
// line on stderr; the trimming never computes with them.
TEST_F(SpeexPlayerTest, GranulesOutOfOrderSkipTheWord) {
    const std::vector<int16_t> input = Sine(440, 16000, 1, 9000);
    const std::vector<uint8_t> good = voicegen::EncodeSpeexOgg(input, 3);
    const struct {
        const char* what;
        std::vector<int64_t> granules;
        bool somePlayed;
    } cases[] = {
        {"the largest position, then 320", {INT64_MAX, 320}, false},
        {"a negative position", {-5}, false},
        {"backwards after the first page", {4000, 320}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Play(WithGranules(good, c.granules)), 2);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("word.spx: granule position"), std::string::npos) << said;
        EXPECT_EQ(!Played().empty(), c.somePlayed);
    }
    EXPECT_EQ(Play(good), 0);
}

TEST_F(SpeexPlayerTest, CorruptAudioPacketsEndTheirFramesAndDecodingGoesOn) {
    // Every packet's bits replaced by noise, checksums made right again.
    const std::vector<int16_t> input = Sine(440, 8000, 1, 9000);
    std::vector<uint8_t> bytes = MakeSpeexStream(input, StreamSpec{1, 4, -1, nullptr});
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer);
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    std::vector<uint8_t> rebuilt;
    std::mt19937 random(5);
    ogg_page page;
    for (int index = 0; ogg_sync_pageout(&sync, &page) == 1; ++index) {
        if (index >= 2) {
            for (long i = 0; i < page.body_len; ++i) {
                page.body[i] = static_cast<unsigned char>(random());
            }
            ogg_page_checksum_set(&page);
        }
        rebuilt.insert(rebuilt.end(), page.header, page.header + page.header_len);
        rebuilt.insert(rebuilt.end(), page.body, page.body + page.body_len);
    }
    ogg_sync_clear(&sync);
    EXPECT_EQ(Play(rebuilt), 0);
    EXPECT_LE(Played().size(), input.size());
}

}  // namespace
