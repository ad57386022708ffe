#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/audio/audio.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"

namespace {

using namespace std::chrono_literals;

struct ManualClock {
    ManualClock() { platform::UseManualClock(true); }
    ~ManualClock() { platform::UseManualClock(false); }
};

WAVEFORMATEX Pcm(int channels, int bits, DWORD rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<WORD>(channels);
    f.wBitsPerSample = static_cast<WORD>(bits);
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * rate;
    return f;
}

// What a device's callback saw, with the thread it saw it on.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<UINT> messages;
    std::vector<LPWAVEHDR> done;
    std::vector<bool> doneFlagSet;
    std::vector<std::thread::id> threads;

    static void Callback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
        auto* self = reinterpret_cast<Recorder*>(instance);
        std::lock_guard lock(self->mutex);
        self->messages.push_back(message);
        self->threads.push_back(std::this_thread::get_id());
        if (message == WOM_DONE) {
            auto* header = reinterpret_cast<LPWAVEHDR>(param1);
            self->done.push_back(header);
            self->doneFlagSet.push_back((header->dwFlags & WHDR_DONE) != 0);
        }
        self->changed.notify_all();
    }

    bool WaitForDone(size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return done.size() >= count; });
    }
    size_t DoneCount() {
        std::lock_guard lock(mutex);
        return done.size();
    }
};

HWAVEOUT OpenRecorded(Recorder& recorder, const WAVEFORMATEX& format) {
    HWAVEOUT device = nullptr;
    EXPECT_EQ(
        waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(&Recorder::Callback),
                    reinterpret_cast<DWORD_PTR>(&recorder), CALLBACK_FUNCTION),
        MMSYSERR_NOERROR);
    return device;
}

std::vector<int16_t> Samples(size_t count, int16_t value) {
    return std::vector<int16_t>(count, value);
}

WAVEHDR Header(std::vector<int16_t>& samples) {
    WAVEHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(samples.data());
    header.dwBufferLength = static_cast<DWORD>(samples.size() * 2);
    return header;
}

void PlayAndClose(Recorder& recorder, HWAVEOUT device, std::vector<int16_t>& samples) {
    WAVEHDR header = Header(samples);
    ASSERT_EQ(waveOutPrepareHeader(device, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.WaitForDone(1));
    EXPECT_EQ(waveOutUnprepareHeader(device, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> Captured(const std::filesystem::path& path) {
    platform::StopAudioCapture();
    std::optional<platform::WaveData> wave = platform::ParseWave(ReadBytes(path));
    EXPECT_TRUE(wave.has_value());
    if (!wave) {
        return {};
    }
    EXPECT_EQ(wave->rate, 16000);
    EXPECT_EQ(wave->channels, 1);
    return wave->samples;
}

TEST(WaveOut, OpenTakesOnlyConsistentPcmOnTheMapperOrDeviceZero) {
    struct Case {
        WAVEFORMATEX format;
        UINT device;
        MMRESULT expected;
    };
    WAVEFORMATEX badAlign = Pcm(2, 16, 22050);
    badAlign.nBlockAlign = 2;
    WAVEFORMATEX badRate = Pcm(1, 16, 16000);
    badRate.nAvgBytesPerSec = 16000;
    WAVEFORMATEX notPcm = Pcm(1, 16, 16000);
    notPcm.wFormatTag = 3;
    const Case cases[] = {
        {Pcm(1, 16, 16000), WAVE_MAPPER, MMSYSERR_NOERROR},
        {Pcm(2, 8, 8000), 0, MMSYSERR_NOERROR},
        {Pcm(2, 16, 48000), WAVE_MAPPER, MMSYSERR_NOERROR},
        {Pcm(1, 16, 7999), WAVE_MAPPER, WAVERR_BADFORMAT},
        {Pcm(1, 16, 48001), WAVE_MAPPER, WAVERR_BADFORMAT},
        {Pcm(3, 16, 16000), WAVE_MAPPER, WAVERR_BADFORMAT},
        {Pcm(1, 24, 16000), WAVE_MAPPER, WAVERR_BADFORMAT},
        {badAlign, WAVE_MAPPER, WAVERR_BADFORMAT},
        {badRate, WAVE_MAPPER, WAVERR_BADFORMAT},
        {notPcm, WAVE_MAPPER, WAVERR_BADFORMAT},
        {Pcm(1, 16, 16000), 1, MMSYSERR_BADDEVICEID},
    };
    for (const Case& c : cases) {
        HWAVEOUT device = nullptr;
        EXPECT_EQ(waveOutOpen(&device, c.device, &c.format, 0, 0, CALLBACK_NULL), c.expected)
            << c.format.nChannels << " ch " << c.format.wBitsPerSample << " bits "
            << c.format.nSamplesPerSec << " Hz";
        if (device) {
            EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
        } else {
            EXPECT_NE(c.expected, MMSYSERR_NOERROR);
        }
    }
}

TEST(WaveOut, CallbacksComeInOrderOnTheDeviceThreadWithDoneSetFirst) {
    Recorder recorder;
    HWAVEOUT device = OpenRecorded(recorder, Pcm(1, 16, 16000));
    std::vector<int16_t> a = Samples(160, 1), b = Samples(80, 2), c = Samples(16, 3);
    WAVEHDR ha = Header(a), hb = Header(b), hc = Header(c);
    for (WAVEHDR* h : {&ha, &hb, &hc}) {
        ASSERT_EQ(waveOutPrepareHeader(device, h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(device, h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(recorder.WaitForDone(3));
    for (WAVEHDR* h : {&ha, &hb, &hc}) {
        EXPECT_EQ(waveOutUnprepareHeader(device, h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveOutClose(device), MMSYSERR_NOERROR);

    EXPECT_EQ(recorder.messages,
              (std::vector<UINT>{WOM_OPEN, WOM_DONE, WOM_DONE, WOM_DONE, WOM_CLOSE}));
    EXPECT_EQ(recorder.done, (std::vector<LPWAVEHDR>{&ha, &hb, &hc}));
    EXPECT_EQ(recorder.doneFlagSet, (std::vector<bool>{true, true, true}));
    for (std::thread::id id : recorder.threads) {
        EXPECT_EQ(id, recorder.threads.front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(WaveOut, QueuedBuffersRefuseUnprepareAndCloseUntilResetCompletesThemAll) {
    ManualClock clock;  // the clock stands still, so nothing finishes by itself
    Recorder recorder;
    HWAVEOUT device = OpenRecorded(recorder, Pcm(1, 16, 16000));
    std::vector<int16_t> a = Samples(16000, 1), b = Samples(16000, 2);
    WAVEHDR ha = Header(a), hb = Header(b);
    EXPECT_EQ(waveOutWrite(device, &ha, sizeof ha), WAVERR_UNPREPARED);
    ASSERT_EQ(waveOutPrepareHeader(device, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutPrepareHeader(device, &hb, sizeof hb), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &hb, sizeof hb), MMSYSERR_NOERROR);

    EXPECT_EQ(waveOutUnprepareHeader(device, &ha, sizeof ha), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
    EXPECT_EQ(recorder.DoneCount(), 0u);

    ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    EXPECT_EQ(recorder.DoneCount(), 2u);  // before waveOutReset returned
    EXPECT_TRUE(ha.dwFlags & WHDR_DONE);
    EXPECT_TRUE(hb.dwFlags & WHDR_DONE);
    EXPECT_EQ(waveOutUnprepareHeader(device, &ha, sizeof ha), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutUnprepareHeader(device, &hb, sizeof hb), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE);
}

TEST(WaveOut, BuffersFinishAtRealTimePaceOnTheManualClock) {
    ManualClock clock;
    Recorder recorder;
    HWAVEOUT device = OpenRecorded(recorder, Pcm(1, 16, 16000));
    std::vector<int16_t> a = Samples(16000, 1), b = Samples(8000, 2);  // 1 s, then 0.5 s
    WAVEHDR ha = Header(a), hb = Header(b);
    ASSERT_EQ(waveOutPrepareHeader(device, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutPrepareHeader(device, &hb, sizeof hb), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &hb, sizeof hb), MMSYSERR_NOERROR);

    auto settle = [] { std::this_thread::sleep_for(50ms); };
    settle();
    platform::AdvanceClock(999);
    settle();
    EXPECT_EQ(recorder.DoneCount(), 0u);
    platform::AdvanceClock(1);
    ASSERT_TRUE(recorder.WaitForDone(1));
    platform::AdvanceClock(499);
    settle();
    EXPECT_EQ(recorder.DoneCount(), 1u);
    platform::AdvanceClock(1);
    ASSERT_TRUE(recorder.WaitForDone(2));

    waveOutUnprepareHeader(device, &ha, sizeof ha);
    waveOutUnprepareHeader(device, &hb, sizeof hb);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

class AudioCaptureTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(platform::StartAudioCapture(path_)); }
    void TearDown() override {
        platform::StopAudioCapture();
        waveOutSetVolume(nullptr, 0xFFFFFFFF);
    }
    testing_support::TempRoots roots_;
    std::filesystem::path path_ = roots_.base() / "played.wav";
};

TEST_F(AudioCaptureTest, VolumeIsOneProcessWideLinearGain) {
    DWORD volume = 0;
    ASSERT_EQ(waveOutGetVolume(nullptr, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0xFFFFFFFFu);
    ASSERT_EQ(waveOutSetVolume(nullptr, 0x80008000), MMSYSERR_NOERROR);

    Recorder recorder;
    HWAVEOUT device = OpenRecorded(recorder, Pcm(1, 16, 16000));
    ASSERT_EQ(waveOutGetVolume(device, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x80008000u);
    std::vector<int16_t> samples = Samples(320, 12000);
    samples[1] = -20000;
    PlayAndClose(recorder, device, samples);

    const std::vector<int16_t> played = Captured(path_);
    ASSERT_EQ(played.size(), 320u);
    EXPECT_EQ(played[0], 6000);
    EXPECT_EQ(played[1], -10000);
    EXPECT_EQ(waveOutSetVolume(reinterpret_cast<HWAVEOUT>(&volume), 0), MMSYSERR_INVALHANDLE);
}

TEST_F(AudioCaptureTest, StereoAndOtherRatesAreCapturedAsMono16k) {
    Recorder recorder;
    HWAVEOUT device = OpenRecorded(recorder, Pcm(2, 16, 32000));
    std::vector<int16_t> samples;
    for (int i = 0; i < 3200; ++i) {  // 0.1 s: left 1000, right 3000
        samples.push_back(1000);
        samples.push_back(3000);
    }
    PlayAndClose(recorder, device, samples);

    const std::vector<int16_t> played = Captured(path_);
    EXPECT_EQ(played.size(), 1600u);
    EXPECT_EQ(played, Samples(1600, 2000));
}

TEST_F(AudioCaptureTest, SndPlaySoundPlaysAFileAndTheDefaultSoundForAMissingOne) {
    platform::WaveData wave{16000, 1, {}};
    for (int i = 0; i < 800; ++i) {
        wave.samples.push_back(static_cast<int16_t>(i * 7 - 2000));
    }
    const std::vector<uint8_t> bytes = platform::MakeWave(wave);
    std::ofstream(roots_.device() / "word.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    EXPECT_TRUE(sndPlaySoundW(u"\\word.wav", SND_SYNC));
    EXPECT_EQ(Captured(path_), wave.samples);

    ASSERT_TRUE(platform::StartAudioCapture(path_));
    EXPECT_FALSE(sndPlaySoundW(u"\\missing.wav", SND_SYNC));
    const std::vector<int16_t> tone = Captured(path_);
    EXPECT_EQ(tone.size(), 2400u);
    EXPECT_GT(*std::max_element(tone.begin(), tone.end()), 4000);

    ASSERT_TRUE(platform::StartAudioCapture(path_));
    EXPECT_FALSE(sndPlaySoundW(u"\\missing.wav", SND_NODEFAULT));
    std::ofstream(roots_.device() / "bad.wav") << "RIFF....WAVEjunk";
    EXPECT_FALSE(sndPlaySoundW(u"\\bad.wav", SND_NODEFAULT));
    EXPECT_TRUE(Captured(path_).empty());
}

// An output that keeps what it got and goes away after a number of writes.
class FakeOutput : public platform::AudioOutput {
  public:
    static inline std::vector<int16_t> received;
    static inline int writesLeft = 0;
    bool Open(int rate, int channels) override { return rate == 16000 && channels == 1; }
    bool Write(const int16_t* samples, size_t frames) override {
        if (writesLeft-- <= 0) {
            return false;
        }
        received.insert(received.end(), samples, samples + frames);
        return true;
    }
    void Close() override {}
};

TEST(WaveOut, AnOutputGetsWhatPlaysAfterTheVolumeAndOneThatGoesAwayHoldsNothingUp) {
    platform::SetAudioOutputFactory(
        []() -> std::unique_ptr<platform::AudioOutput> { return std::make_unique<FakeOutput>(); });
    FakeOutput::received.clear();
    FakeOutput::writesLeft = 1;
    waveOutSetVolume(nullptr, 0x80008000);
    Recorder recorder;
    HWAVEOUT device = OpenRecorded(recorder, Pcm(1, 16, 16000));
    std::vector<int16_t> a = Samples(160, 1000), b = Samples(160, 2000), c = Samples(160, 3000);
    WAVEHDR ha = Header(a), hb = Header(b), hc = Header(c);
    for (WAVEHDR* h : {&ha, &hb, &hc}) {
        ASSERT_EQ(waveOutPrepareHeader(device, h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(device, h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(recorder.WaitForDone(3));  // the output failed at the second buffer
    for (WAVEHDR* h : {&ha, &hb, &hc}) {
        waveOutUnprepareHeader(device, h, sizeof(WAVEHDR));
    }
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    platform::SetAudioOutputFactory(nullptr);
    waveOutSetVolume(nullptr, 0xFFFFFFFF);
    EXPECT_EQ(FakeOutput::received, Samples(160, 500));

    // A format the output cannot play still plays, into the capture only.
    HWAVEOUT stereo = OpenRecorded(recorder, Pcm(2, 16, 16000));
    EXPECT_EQ(waveOutClose(stereo), MMSYSERR_NOERROR);
}

TEST(WaveFile, CutAndForeignFilesAreRefusedOrKeepTheirWholeFrames) {
    platform::WaveData wave{22050, 2, {1, 2, 3, 4, 5, 6}};
    std::vector<uint8_t> bytes = platform::MakeWave(wave);
    std::optional<platform::WaveData> back = platform::ParseWave(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->samples, wave.samples);
    EXPECT_EQ(back->rate, 22050);

    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 3);  // half of the last frame gone
    back = platform::ParseWave(cut);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->samples, (std::vector<int16_t>{1, 2, 3, 4}));

    for (size_t size : {0, 11, 12, 30, 44 - 8}) {
        EXPECT_FALSE(platform::ParseWave({bytes.begin(), bytes.begin() + size})) << size;
    }
    std::vector<uint8_t> float32 = bytes;
    float32[20] = 3;
    EXPECT_FALSE(platform::ParseWave(float32));
}

}  // namespace
