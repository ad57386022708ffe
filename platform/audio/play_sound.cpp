// sndPlaySoundW: one WAV file through a wave-out device of its own, waited for.
#include <cmath>
#include <numbers>

#include "platform/audio/audio_internal.h"
#include "platform/kernel/kernel.h"

namespace {

// Larger files are not prompts; refusing them keeps a bad name from eating memory.
constexpr DWORD kMaxSoundFileBytes = 64u << 20;

std::optional<platform::WaveData> ReadWaveFile(LPCWSTR name) {
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != 0xFFFFFFFF && size <= kMaxSoundFileBytes;
    if (ok) {
        bytes.resize(size);
        DWORD read = 0;
        ok = ReadFile(file, bytes.data(), size, &read, nullptr) && read == size;
    }
    CloseHandle(file);
    return ok ? platform::ParseWave(bytes) : std::nullopt;
}

// The default sound: 150 ms of 880 Hz.
platform::WaveData DefaultSound() {
    platform::WaveData tone{16000, 1, {}};
    tone.samples.resize(2400);
    for (size_t i = 0; i < tone.samples.size(); ++i) {
        const double phase = 2.0 * std::numbers::pi * 880.0 * static_cast<double>(i) / 16000.0;
        tone.samples[i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(phase)));
    }
    return tone;
}

void SetEventOnDone(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (message == WOM_DONE) {
        SetEvent(reinterpret_cast<HANDLE>(instance));
    }
}

bool Play(const platform::WaveData& wave) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(wave.channels);
    format.nSamplesPerSec = static_cast<DWORD>(wave.rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(2 * wave.channels);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(&SetEventOnDone),
                    reinterpret_cast<DWORD_PTR>(done), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        CloseHandle(done);
        return false;
    }
    WAVEHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(wave.samples.data()));
    header.dwBufferLength = static_cast<DWORD>(wave.samples.size() * 2);
    bool ok = waveOutPrepareHeader(device, &header, sizeof header) == MMSYSERR_NOERROR &&
              waveOutWrite(device, &header, sizeof header) == MMSYSERR_NOERROR;
    if (ok && WaitForSingleObject(done, INFINITE) != WAIT_OBJECT_0) {
        waveOutReset(device);  // the calling thread was asked to stop
    }
    waveOutUnprepareHeader(device, &header, sizeof header);
    waveOutClose(device);
    CloseHandle(done);
    return ok;
}

}  // namespace

BOOL sndPlaySoundW(LPCWSTR soundName, UINT flags) {
    if ((flags & ~static_cast<UINT>(SND_NODEFAULT)) != 0) {
        return FALSE;
    }
    if (!soundName) {
        return TRUE;  // nothing plays asynchronously here, so there is nothing to stop
    }
    if (std::optional<platform::WaveData> wave = ReadWaveFile(soundName)) {
        return Play(*wave) ? TRUE : FALSE;
    }
    if (!(flags & SND_NODEFAULT)) {
        Play(DefaultSound());
    }
    return FALSE;
}
