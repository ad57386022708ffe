// Guidance Volume: the slider and mute transitions, what OK and Cancel store, and
// the test word heard at the slider's level, or not at all while muted.
#include "pathlume/shell/volume_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/audio/audio.h"
#include "tests/shell/option_dialog_fixture.h"

namespace shell_test {
namespace {

using VolumeDialogTest = OptionDialogTest;

TEST_F(VolumeDialogTest, SliderAndMuteTransitions) {
    enum Op { kMuteButton, kLouder, kSofter, kDragTo1, kDragTo5000, kDragTo60000 };
    struct Case {
        const char* label;
        DWORD stored;
        bool muted;
        std::vector<Op> ops;
        bool mutedAfter;  // once OK took the slider
        int sliderAfter;
        DWORD accepted;  // the word OK stores
    };
    const Case cases[] = {
        {"opened and accepted", 0x40004000, false, {}, false, 0x4000, 0x40004000},
        {"halves that differ take the low one", 0x12345678, false, {}, false, 0x5678, 0x56785678},
        {"no override shows the top", 0, false, {}, false, 65535, 0xFFFFFFFF},
        {"opened muted", 0x40004000, true, {}, true, 1, 0x40004000},
        {"slider at its minimum mutes, keeping the level",
         0x30003000,
         false,
         {kDragTo1},
         true,
         1,
         0x30003000},
        {"mute keeps the slider's level",
         0x30003000,
         false,
         {kDragTo5000, kMuteButton},
         true,
         1,
         5000 | 5000u << 16},
        {"unmute by the button from level 1",
         0x00010001,
         true,
         {kMuteButton},
         false,
         8193,
         8193 | 8193u << 16},
        {"louder", 0x30003000, false, {kLouder}, false, 0x5000, 0x50005000},
        {"louder unmutes first", 0x30003000, true, {kLouder}, false, 0x5000, 0x50005000},
        {"louder stops at the top",
         0x30003000,
         false,
         {kDragTo60000, kLouder},
         false,
         65535,
         0xFFFFFFFF},
        {"softer", 0x30003000, false, {kSofter}, false, 0x1000, 0x10001000},
        {"softer below a step goes to the kept level",
         0x30003000,
         false,
         {kDragTo5000, kSofter},
         false,
         0x3000,
         0x30003000},
        {"softer at level 1 mutes", 0x00010001, false, {kSofter}, true, 1, 0x00010001},
        {"softer from the bottom step mutes",
         0x20002000,
         false,
         {kSofter, kSofter},
         true,
         1,
         0x00010001},
        {"a level past the top stored as the top",
         0x30003000,
         false,
         {kDragTo60000, kLouder, kDragTo1},
         true,
         1,
         0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        g_options.store(c.muted ? kOptionVoiceMuted : 0);
        VolumeControl volume;
        volume.Load(c.stored, c.muted);
        for (Op op : c.ops) {
            switch (op) {
                case kMuteButton:
                    volume.ToggleMute(true);
                    break;
                case kLouder:
                    volume.Louder();
                    break;
                case kSofter:
                    volume.Softer();
                    break;
                case kDragTo1:
                    volume.slider = 1;
                    break;
                case kDragTo5000:
                    volume.slider = 5000;
                    break;
                case kDragTo60000:
                    volume.slider = 60000;
                    break;
            }
        }
        EXPECT_EQ(volume.slider, c.sliderAfter) << c.label;
        EXPECT_EQ(volume.Accept(), c.accepted) << c.label;
        EXPECT_EQ(volume.muted, c.mutedAfter) << c.label;
        EXPECT_EQ((g_options.load() & kOptionVoiceMuted) != 0, c.mutedAfter) << c.label;
    }
}

// OK stores the level for the voice; a mute made on the screen is saved at once,
// even when the screen is then cancelled; Home cancels and asks for the map.
TEST_F(VolumeDialogTest, WhatOkAndCancelStore) {
    g_options.store(g_options.load() & ~kOptionVoiceMuted);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", 0x40004000);
    EXPECT_EQ(Run<CGuidanceVolumeDlg>(
                  [](CGuidanceVolumeDlg& d) {
                      EXPECT_EQ(d.m_slider.GetPos(), 0x4000);
                      Press(d, 601);
                      EXPECT_EQ(d.m_slider.GetPos(), 0x2000);
                      Press(d, IDOK);
                  },
                  view_),
              IDOK);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", 0), 0x20002000u);
    EXPECT_EQ(g_volumeOverride.load(), 0x20002000u);

    EXPECT_EQ(Run<CGuidanceVolumeDlg>(
                  [](CGuidanceVolumeDlg& d) {
                      Press(d, 614);
                      CString caption;
                      d.m_mute.GetWindowText(caption);
                      EXPECT_EQ(caption.Str(), u"UnMute");
                      Press(d, IDCANCEL);
                  },
                  view_),
              IDCANCEL);
    EXPECT_TRUE(g_options.load() & kOptionVoiceMuted);
    EXPECT_TRUE(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", 0) & kOptionVoiceMuted);
    EXPECT_EQ(g_volumeOverride.load(), 0x20002000u);

    g_homeKeyPressed.store(0);
    EXPECT_EQ(Run<CGuidanceVolumeDlg>([](CGuidanceVolumeDlg&) { platform::PostKeyPress(VK_HOME); },
                                      view_),
              IDCANCEL);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
}

// The test word is played at the slider's level and the device's level comes back;
// while muted nothing is played.
TEST_F(VolumeDialogTest, TestPlaysTheWordAtTheSlidersLevelUnlessMuted) {
    constexpr int16_t kLoud = 16000;
    platform::WaveData word;
    word.rate = 16000;
    word.channels = 1;
    word.samples.assign(1600, kLoud);
    const std::vector<uint8_t> bytes = platform::MakeWave(word);
    std::ofstream(InstallFolder() / "Snd" / "dest.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    g_speexPrompts.store(0);
    waveOutSetVolume(nullptr, 0xFFFFFFFF);

    for (const bool muted : {false, true}) {
        const std::filesystem::path wav = roots_.base() / (muted ? "muted.wav" : "heard.wav");
        g_options.store(muted ? g_options.load() | kOptionVoiceMuted
                              : g_options.load() & ~kOptionVoiceMuted);
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", 0x40004000);
        ASSERT_TRUE(platform::StartAudioCapture(wav));
        Run<CGuidanceVolumeDlg>(
            [](CGuidanceVolumeDlg& d) {
                Press(d, 613);
                Press(d, IDCANCEL);
            },
            view_);
        platform::StopAudioCapture();
        std::ifstream in(wav, std::ios::binary);
        const std::vector<uint8_t> captured((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
        const std::optional<platform::WaveData> heard = platform::ParseWave(captured);
        ASSERT_TRUE(heard.has_value());
        int16_t peak = 0;
        for (int16_t sample : heard->samples)
            peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(sample)));
        if (muted) {
            EXPECT_EQ(peak, 0);
        } else {
            EXPECT_NEAR(peak, kLoud * 0x4000 / 65535.0, 200);
        }
        DWORD volume = 0;
        waveOutGetVolume(nullptr, &volume);
        EXPECT_EQ(volume, 0xFFFFFFFFu);
    }
}

}  // namespace
}  // namespace shell_test
