// The capture: what the devices play, as one 16-bit mono 16 kHz WAV file.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/audio/audio_internal.h"

namespace platform {
namespace {

constexpr int kCaptureRate = 16000;

struct Capture {
    std::mutex mutex;
    std::FILE* file = nullptr;
    uint32_t dataBytes = 0;
    bool environmentChecked = false;
};

Capture& TheCapture() {
    static Capture capture;
    return capture;
}

void WriteLe32At(std::FILE* file, long offset, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    std::fseek(file, offset, SEEK_SET);
    std::fwrite(bytes, 1, 4, file);
}

bool OpenLocked(Capture& capture, const std::filesystem::path& path) {
    if (capture.file) {
        std::fclose(capture.file);
    }
    capture.dataBytes = 0;
    capture.file = std::fopen(path.c_str(), "wb");
    if (!capture.file) {
        return false;
    }
    const std::vector<uint8_t> header = MakeWave(WaveData{kCaptureRate, 1, {}});
    std::fwrite(header.data(), 1, header.size(), capture.file);
    std::fflush(capture.file);
    return true;
}

}  // namespace

bool StartAudioCapture(const std::filesystem::path& path) {
    Capture& capture = TheCapture();
    std::lock_guard lock(capture.mutex);
    capture.environmentChecked = true;
    return OpenLocked(capture, path);
}

void StopAudioCapture() {
    Capture& capture = TheCapture();
    std::lock_guard lock(capture.mutex);
    if (capture.file) {
        std::fclose(capture.file);
        capture.file = nullptr;
    }
}

void CaptureSamples(const int16_t* samples, size_t frames, int rate, int channels,
                    CaptureCursor& cursor) {
    Capture& capture = TheCapture();
    std::lock_guard lock(capture.mutex);
    if (!capture.environmentChecked) {
        capture.environmentChecked = true;
        if (const char* path = std::getenv("PATHLUME_AUDIO_WAV"); path && *path) {
            OpenLocked(capture, path);
        }
    }
    if (!capture.file || frames == 0) {
        return;
    }
    auto mono = [&](size_t frame) {
        if (channels == 1) {
            return static_cast<double>(samples[frame]);
        }
        return (static_cast<double>(samples[2 * frame]) + samples[2 * frame + 1]) / 2.0;
    };
    // Linear interpolation to 16 kHz; the phase runs on into the next buffer.
    const double step = static_cast<double>(rate) / kCaptureRate;
    std::vector<uint8_t> out;
    double position = cursor.position;
    while (position < static_cast<double>(frames)) {
        const size_t index = static_cast<size_t>(position);
        const double fraction = position - static_cast<double>(index);
        const double next = index + 1 < frames ? mono(index + 1) : mono(index);
        const long value = std::lround(mono(index) * (1.0 - fraction) + next * fraction);
        const uint16_t sample = static_cast<uint16_t>(static_cast<int16_t>(value));
        out.push_back(static_cast<uint8_t>(sample));
        out.push_back(static_cast<uint8_t>(sample >> 8));
        position += step;
    }
    cursor.position = position - static_cast<double>(frames);

    std::fseek(capture.file, 0, SEEK_END);
    std::fwrite(out.data(), 1, out.size(), capture.file);
    capture.dataBytes += static_cast<uint32_t>(out.size());
    // The header stays valid after every buffer, so a process that ends without
    // closing the capture still leaves a playable file.
    WriteLe32At(capture.file, 4, 36 + capture.dataBytes);
    WriteLe32At(capture.file, 40, capture.dataBytes);
    std::fflush(capture.file);
}

}  // namespace platform
