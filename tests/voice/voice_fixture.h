// A device root with the install folder set, the manual clock, and the audio
// capture, for the voice tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "pathlume/foundation/app_services.h"
#include "platform/audio/audio.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace voice_test {

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class VoiceTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::UseManualClock(true);
        std::u16string install = u"\\Program Files\\Zanter\\Wayscribe";
        std::copy(install.begin(), install.end() + 1, g_installFolder);
        std::filesystem::create_directories(SoundFolder());
        ASSERT_TRUE(platform::StartAudioCapture(capture_));
    }
    void TearDown() override {
        platform::StopAudioCapture();
        platform::UseManualClock(false);
        waveOutSetVolume(nullptr, 0xFFFFFFFF);
        g_installFolder[0] = 0;
    }

    std::filesystem::path SoundFolder() const {
        return roots_.device() / "Program Files" / "Zanter" / "Wayscribe" / "Snd";
    }
    // Everything played since the last call.
    std::vector<int16_t> Played() {
        platform::StopAudioCapture();
        std::ifstream in(capture_, std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
        std::optional<platform::WaveData> wave = platform::ParseWave(bytes);
        EXPECT_TRUE(platform::StartAudioCapture(capture_));
        return wave ? wave->samples : std::vector<int16_t>{};
    }

    std::filesystem::path capture_ = roots_.base() / "played.wav";
};

}  // namespace voice_test
