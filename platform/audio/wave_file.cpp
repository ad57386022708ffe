// RIFF WAVE PCM files: reading the formats the wave devices take, writing 16-bit.
#include <cstring>

#include "platform/audio/audio.h"
#include "platform/audio/audio_internal.h"

namespace platform {
namespace {

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(tag[i]));
    }
}
void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

bool IsPlayableFormat(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM || f.nChannels < 1 || f.nChannels > 2) {
        return false;
    }
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) {
        return false;
    }
    if (f.nSamplesPerSec < 8000 || f.nSamplesPerSec > 48000) {
        return false;
    }
    const DWORD align = f.nChannels * f.wBitsPerSample / 8;
    return f.nBlockAlign == align && f.nAvgBytesPerSec == align * f.nSamplesPerSec;
}

void WidenSamples(const WAVEFORMATEX& f, const uint8_t* data, size_t bytes,
                  std::vector<int16_t>& out) {
    if (f.wBitsPerSample == 8) {
        out.resize(bytes);
        for (size_t i = 0; i < bytes; ++i) {
            out[i] = static_cast<int16_t>((data[i] - 128) << 8);
        }
    } else {
        out.resize(bytes / 2);
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<int16_t>(ReadLe16(data + 2 * i));
        }
    }
}

std::optional<WaveData> ParseWave(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    std::optional<WAVEFORMATEX> format;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + at;
        const size_t size = ReadLe32(chunk + 4);
        const size_t body = at + 8;
        const size_t available = std::min(size, bytes.size() - body);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16) {
            const uint8_t* p = bytes.data() + body;
            WAVEFORMATEX f{};
            f.wFormatTag = ReadLe16(p);
            f.nChannels = ReadLe16(p + 2);
            f.nSamplesPerSec = ReadLe32(p + 4);
            f.nAvgBytesPerSec = ReadLe32(p + 8);
            f.nBlockAlign = ReadLe16(p + 12);
            f.wBitsPerSample = ReadLe16(p + 14);
            if (!IsPlayableFormat(f)) {
                return std::nullopt;
            }
            format = f;
        } else if (std::memcmp(chunk, "data", 4) == 0 && format) {
            WaveData wave;
            wave.rate = static_cast<int>(format->nSamplesPerSec);
            wave.channels = format->nChannels;
            // A cut file keeps the whole frames it holds.
            const size_t whole = available - available % format->nBlockAlign;
            WidenSamples(*format, bytes.data() + body, whole, wave.samples);
            return wave;
        }
        if (size > bytes.size() - body) {
            break;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

std::vector<uint8_t> MakeWave(const WaveData& wave) {
    const uint16_t channels = static_cast<uint16_t>(wave.channels);
    const uint32_t dataBytes = static_cast<uint32_t>(wave.samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    PutTag(out, "RIFF");
    PutLe32(out, 36 + dataBytes);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutLe32(out, 16);
    PutLe16(out, WAVE_FORMAT_PCM);
    PutLe16(out, channels);
    PutLe32(out, static_cast<uint32_t>(wave.rate));
    PutLe32(out, static_cast<uint32_t>(wave.rate) * channels * 2);
    PutLe16(out, static_cast<uint16_t>(channels * 2));
    PutLe16(out, 16);
    PutTag(out, "data");
    PutLe32(out, dataBytes);
    for (int16_t s : wave.samples) {
        PutLe16(out, static_cast<uint16_t>(s));
    }
    return out;
}

}  // namespace platform
