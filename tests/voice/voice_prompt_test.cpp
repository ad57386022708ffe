#include "pathlume/voice/voice_prompt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <new>

#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "tests/support/wait_helpers.h"
#include "tests/voice/voice_fixture.h"
#include "tools/voicegen/voice_encoder.h"
#include "tools/voicegen/voicegen.h"

namespace {

constexpr int kWordSamples = 1600;  // 0.1 s at 16 kHz

// Each word's WAV recording is a constant level that names it: 100 x (index + 1).
int16_t LevelOf(int index) {
    return static_cast<int16_t>(100 * (index + 1));
}

class VoicePromptTest : public voice_test::VoiceTest {
  protected:
    void SetUp() override {
        VoiceTest::SetUp();
        for (int index = 0; index < kPromptWordCount; ++index) {
            WriteWord(index, ".wav");
        }
        FindSoundFolder();
        InitVoiceLock();
    }
    void TearDown() override {
        WaitIdle();
        DeleteVoiceLock();
        g_options.store(0);
        VoiceTest::TearDown();
    }

    void WriteWord(int index, const char* extension) {
        platform::WaveData wave{16000, 1, std::vector<int16_t>(kWordSamples, LevelOf(index))};
        voice_test::WriteBytes(
            SoundFolder() / (platform::WideToUtf8(PromptWordTable[index]) + extension),
            platform::MakeWave(wave));
    }

    static void Say(std::vector<int32_t> words, int interrupt = 0) {
        auto* prompt = new (g_heap.Alloc(sizeof(CVoicePrompt))) CVoicePrompt;
        CVoicePrompt::Speak(prompt, words.data(), static_cast<int>(words.size()), interrupt);
    }
    static void WaitIdle() {
        while (g_playingPrompt.load()) {
            Sleep(10);
        }
    }
    // The words heard since the last call, by their levels, at the given gain.
    std::vector<int> WordsHeard(double gain = 1.0) {
        std::vector<int> words;
        int16_t last = 0;
        for (int16_t sample : Played()) {
            if (sample != last && sample != 0) {
                words.push_back(static_cast<int>(std::lround(sample / gain / 100.0)) - 1);
            }
            last = sample;
        }
        return words;
    }
    static void SetVolumeOverride(DWORD value) {
        ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", value), 0);
    }
};

TEST_F(VoicePromptTest, WordsPlayInOrderByTheirTableEntries) {
    Say({41, 49, 3, 28, 53});  // "bearr" "in" "3" "3q" "miles": index 28 is "3q", not a number
    WaitIdle();
    EXPECT_EQ(WordsHeard(), (std::vector<int>{41, 49, 3, 28, 53}));
}

TEST_F(VoicePromptTest, PhrasesWaitTheirTurnWithoutHoldingTheCaller) {
    Say({1, 2, 3});
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));  // saying its first word
    // The caller is not held: no time passes while the first phrase goes on.
    const uint64_t before = platform::ClockMilliseconds();
    Say({4, 5});
    EXPECT_EQ(platform::ClockMilliseconds(), before);
    WaitIdle();
    EXPECT_EQ(WordsHeard(), (std::vector<int>{1, 2, 3, 4, 5}));

    // Interrupting cuts the playing phrase after its word and drops the waiting one.
    Say({6, 7, 8});
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    Say({9});
    Say({10, 11}, 1);
    WaitIdle();
    EXPECT_EQ(WordsHeard(), (std::vector<int>{6, 10, 11}));

    // Two phrases wait at most: a third drops the oldest of them.
    Say({12});
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    Say({13});
    Say({14});
    Say({15});
    WaitIdle();
    EXPECT_EQ(WordsHeard(), (std::vector<int>{12, 14, 15}));
}

TEST_F(VoicePromptTest, BadPhrasesAreDroppedAndBadWordsSkipped) {
    Say({-1, 2, kPromptWordCount, 1000000});  // only the word that exists plays
    WaitIdle();
    std::vector<int32_t> tooMany(kMaxPhraseWords + 1, 4);
    auto* prompt = new (g_heap.Alloc(sizeof(CVoicePrompt))) CVoicePrompt;
    CVoicePrompt::Speak(prompt, tooMany.data(), kMaxPhraseWords + 1, 0);
    EXPECT_EQ(g_playingPrompt.load(), nullptr);
    g_options.store(kOptionVoiceMuted);
    Say({5});
    g_options.store(0);
    WaitIdle();
    EXPECT_EQ(WordsHeard(), (std::vector<int>{2}));
}

TEST_F(VoicePromptTest, TheVolumeOverrideAppliesForThePhraseAndIsRestored) {
    waveOutSetVolume(nullptr, 0xFFFFFFFF);
    SetVolumeOverride(0x80008000);
    Say({2});
    WaitIdle();
    EXPECT_EQ(WordsHeard(0x8000 / 65535.0), (std::vector<int>{2}));
    EXPECT_EQ(Played().size(), 0u);
    DWORD volume = 0;
    waveOutGetVolume(nullptr, &volume);
    EXPECT_EQ(volume, 0xFFFFFFFFu);

    // A phrase of no words still applies and restores it.
    waveOutSetVolume(nullptr, 0x12341234);
    Say({});
    WaitIdle();
    waveOutGetVolume(nullptr, &volume);
    EXPECT_EQ(volume, 0x12341234u);
    EXPECT_TRUE(Played().empty());

    // "VolOvr" 0 leaves the volume as it is.
    waveOutSetVolume(nullptr, 0x40004000);
    SetVolumeOverride(0);
    Say({3});
    WaitIdle();
    EXPECT_EQ(WordsHeard(0x4000 / 65535.0), (std::vector<int>{3}));
    waveOutGetVolume(nullptr, &volume);
    EXPECT_EQ(volume, 0x40004000u);
}

TEST_F(VoicePromptTest, OnlyAnOverriddenPhraseWaitsAQuarterSecondAfterItsLastWord) {
    platform::UseManualClock(false);  // the manual clock would not show a wait
    auto timePhrase = [] {
        const auto start = std::chrono::steady_clock::now();
        Say({1});
        WaitIdle();
        return std::chrono::steady_clock::now() - start;
    };
    SetVolumeOverride(0);
    const auto plain = timePhrase();
    SetVolumeOverride(0xFFFFFFFF);
    const auto overridden = timePhrase();
    EXPECT_LT(plain, std::chrono::milliseconds(250));
    EXPECT_GE(overridden, std::chrono::milliseconds(340));
}

TEST_F(VoicePromptTest, ShutdownStopsThePlayingPhraseAfterItsWord) {
    Say({11, 12, 13});
    ASSERT_TRUE(testing_support::WaitUntilBlocked(1));
    DeleteVoiceLock();
    EXPECT_EQ(g_playingPrompt.load(), nullptr);
    EXPECT_EQ(WordsHeard(), (std::vector<int>{11}));
    Say({14});  // without the lock the queue still works
    WaitIdle();
    EXPECT_EQ(WordsHeard(), (std::vector<int>{14}));
}

TEST_F(VoicePromptTest, SpeexRecordingsPlayThroughThePromptPlayer) {
    // voicegen's tone words; word 0 as Speex switches the queue to ".spx".
    const std::vector<int16_t> zero = voicegen::ToneOf("click");
    voice_test::WriteBytes(SoundFolder() / "0.spx", voicegen::EncodeSpeexOgg(zero, 1));
    voice_test::WriteBytes(SoundFolder() / "mvr.spx",
                           voicegen::EncodeSpeexOgg(voicegen::ToneOf("mvr"), 2));
    FindSoundFolder();
    ASSERT_EQ(g_speexPrompts.load(), 1u);
    Say({109, 0, 77});  // "mvr", "0", and "carpool", which has no Speex recording
    WaitIdle();
    EXPECT_EQ(Played().size(), voicegen::ToneOf("mvr").size() + zero.size());
}

TEST_F(VoicePromptTest, TheFirstWordsRecordingDecidesTheFormatAndFolder) {
    const std::u16string folder = u"\\Program Files\\Zanter\\Wayscribe\\Snd\\";
    EXPECT_EQ(g_speexPrompts.load(), 0u);  // only WAV recordings
    EXPECT_EQ(std::u16string(g_soundFolder), folder);
    WCHAR path[MAX_PATH];
    CVoicePrompt prompt;
    EXPECT_EQ(std::u16string(prompt.BuildFileName(u"dest", path)), folder + u"dest.wav");

    voice_test::WriteBytes(SoundFolder() / "0.spx", {1, 2, 3});
    FindSoundFolder();
    EXPECT_EQ(g_speexPrompts.load(), 1u);
    EXPECT_EQ(std::u16string(g_soundFolder), folder);
    EXPECT_EQ(std::u16string(prompt.BuildFileName(u"wait4gps", path)), folder + u"wait4gps.spx");
    const std::u16string longWord(MAX_PATH, u'w');
    EXPECT_EQ(std::u16string(prompt.BuildFileName(longWord.c_str(), path)), u"");

    std::filesystem::remove_all(SoundFolder());
    FindSoundFolder();
    EXPECT_EQ(g_speexPrompts.load(), 0u);
    EXPECT_EQ(std::u16string(g_soundFolder), u"");
}

}  // namespace
