#include <gtest/gtest.h>

#include <ogg/ogg.h>
#include <speex/speex_header.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>

#include "tests/support/temp_root.h"
#include "tools/voicegen/voice_encoder.h"
#include "tools/voicegen/voicegen.h"

namespace {

std::vector<int16_t> Sine(double hertz, int rate, size_t frames, int channels) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double v = 10000 * std::sin(2 * std::numbers::pi * hertz * i / rate);
            out.push_back(static_cast<int16_t>(std::lround(c == 0 ? v : v / 2)));
        }
    }
    return out;
}

// Upward zero crossings per second.
double Frequency(const std::vector<int16_t>& samples, int rate) {
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        crossings += samples[i - 1] < 0 && samples[i] >= 0;
    }
    return crossings * static_cast<double>(rate) / samples.size();
}

double Rms(const std::vector<int16_t>& samples) {
    double sum = 0;
    for (int16_t s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(VoiceEncoder, MonoAndStereoPcmAreMixedAndResampledTo16k) {
    struct Case {
        int rate;
        int channels;
    };
    for (const Case c : {Case{22050, 1}, Case{44100, 2}, Case{8000, 1}, Case{16000, 2}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " channels");
        platform::WaveData wave{c.rate, c.channels, Sine(440, c.rate, c.rate / 2, c.channels)};
        const std::vector<int16_t> out = voicegen::ToMono16k(wave);
        EXPECT_EQ(out.size(), 8000u);
        EXPECT_NEAR(Frequency(out, 16000), 440, 6);
        // Stereo is the mean of the channels: full and half amplitude give 3/4.
        const double expected = (c.channels == 2 ? 0.75 : 1.0) * 10000 / std::sqrt(2.0);
        EXPECT_NEAR(Rms(out), expected, expected * 0.05);
    }
}

TEST(VoiceEncoder, SpeexStreamsAreWidebandMonoWithGranulesCountingTheInput) {
    const std::vector<int16_t> input = Sine(300, 16000, 12345, 1);
    const std::vector<uint8_t> bytes = voicegen::EncodeSpeexOgg(input, 99);
    EXPECT_EQ(bytes, voicegen::EncodeSpeexOgg(input, 99));

    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer);
    ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
    ogg_page page;
    std::vector<ogg_int64_t> granules;
    std::vector<int> packets;
    int endOfStream = 0;
    bool headerChecked = false;
    while (ogg_sync_pageout(&sync, &page) == 1) {
        EXPECT_EQ(ogg_page_serialno(&page), 99);
        granules.push_back(ogg_page_granulepos(&page));
        packets.push_back(ogg_page_packets(&page));
        endOfStream += ogg_page_eos(&page) != 0;
        if (!headerChecked) {
            SpeexHeader* header = speex_packet_to_header(reinterpret_cast<char*>(page.body),
                                                         static_cast<int>(page.body_len));
            ASSERT_NE(header, nullptr);
            EXPECT_EQ(header->mode, 1);
            EXPECT_EQ(header->rate, 16000);
            EXPECT_EQ(header->nb_channels, 1);
            EXPECT_EQ(header->frames_per_packet, 1);
            speex_header_free(header);
            headerChecked = true;
        }
    }
    ogg_sync_clear(&sync);
    ASSERT_GE(granules.size(), 4u);
    EXPECT_EQ(granules[0], 0);  // the header page
    EXPECT_EQ(granules[1], 0);  // the comment page
    EXPECT_EQ(packets[0], 1);
    EXPECT_EQ(packets[1], 1);
    EXPECT_EQ(packets[2], 1);  // one frame, so the delay shows on the first audio page
    EXPECT_GT(granules[2], 0);
    EXPECT_LT(granules[2], 320);
    EXPECT_EQ(granules.back(), 12345);
    EXPECT_EQ(endOfStream, 1);
    for (size_t i = 3; i < granules.size(); ++i) {
        EXPECT_GT(granules[i], granules[i - 1]);
    }
}

TEST(VoiceEncoder, EveryWordHasATextOrATone) {
    const std::vector<std::string> words = voicegen::AllWords();
    ASSERT_EQ(words.size(), 139u);
    int tones = 0;
    for (const std::string& word : words) {
        const bool spoken = voicegen::SpokenText(word).has_value();
        const bool tone = !voicegen::ToneOf(word).empty();
        EXPECT_NE(spoken, tone) << word;
        tones += tone;
    }
    EXPECT_EQ(tones, 6);
    EXPECT_EQ(voicegen::SpokenText("turnr"), "turn right");
    EXPECT_EQ(voicegen::SpokenText("3q"), "three quarters of a");
    EXPECT_EQ(voicegen::SpokenText("100"), "hundred");
}

class VoicegenTool : public testing_support::RootsTest {
  protected:
    int Run(const std::string& arguments, const std::string& environment = "") {
        const std::string command = environment + " " + VOICEGEN_EXE + " " + arguments + " > " +
                                    (roots_.base() / "out.txt").string() + " 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Output() {
        std::ifstream in(roots_.base() / "out.txt");
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool espeak_ = voicegen::FindEspeak().has_value();
};

TEST_F(VoicegenTool, WritesAll139WordsEachAudibleAndOfAPromptsLength) {
    if (!espeak_) {
        GTEST_SKIP() << "espeak-ng is not installed (scripts/setup-deps installs it)";
    }
    const std::filesystem::path out = roots_.base() / "snd";
    ASSERT_EQ(Run("--out " + out.string() + " --format wav"), 0) << Output();
    EXPECT_NE(Output().find("files=139 audio_s="), std::string::npos);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        std::optional<platform::WaveData> wave = platform::ParseWave(ReadBytes(entry.path()));
        ASSERT_TRUE(wave);
        EXPECT_EQ(wave->rate, 16000);
        EXPECT_EQ(wave->channels, 1);
        const double seconds = wave->samples.size() / 16000.0;
        EXPECT_GE(seconds, 0.15);
        EXPECT_LE(seconds, 4.0);
        EXPECT_GT(Rms(wave->samples), 500);
    }
    EXPECT_EQ(files, 139u);
}

TEST_F(VoicegenTool, SameInputSameBytesAndClearFailures) {
    if (!espeak_) {
        GTEST_SKIP() << "espeak-ng is not installed (scripts/setup-deps installs it)";
    }
    const std::filesystem::path a = roots_.base() / "a", b = roots_.base() / "b";
    ASSERT_EQ(Run("--out " + a.string() + " --words turnr,mvr"), 0) << Output();
    ASSERT_EQ(Run("--out " + b.string() + " --words turnr,mvr"), 0) << Output();
    for (const char* file : {"turnr.spx", "mvr.spx"}) {
        EXPECT_EQ(ReadBytes(a / file), ReadBytes(b / file)) << file;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(a), {}), 2);

    EXPECT_EQ(Run("--out " + a.string() + " --words turnr,nosuch"), 2);
    EXPECT_EQ(Run("--out " + a.string() + " --format mp3"), 2);
    EXPECT_EQ(Run(""), 2);
    EXPECT_EQ(Run("--out " + (roots_.base() / "c").string(), "PATH=/nonexistent"), 1);
    EXPECT_NE(Output().find("espeak-ng"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(roots_.base() / "c" / "0.spx"));
    std::ofstream(roots_.base() / "plain") << "a file, not a folder";
    EXPECT_EQ(Run("--out " + (roots_.base() / "plain").string() + " --words 1"), 1);
}

}  // namespace
