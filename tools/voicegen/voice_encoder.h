// The voice prompts' encoder: PCM to 16 kHz mono, and 16 kHz mono to Speex
// wideband in Ogg as the prompt player reads it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/audio/audio.h"

namespace voicegen {

inline constexpr int kPromptRate = 16000;

// Mixes the channels down and resamples to 16 kHz (libspeexdsp); the result has
// round(frames x 16000 / rate) samples, with the resampler's delay taken out.
std::vector<int16_t> ToMono16k(const platform::WaveData& wave);

// Speex wideband, mono, one frame a packet, in one Ogg stream with the given
// serial number: the header packet and the comment packet on pages of their own,
// then the audio, its first packet on a page of its own and later ones about a
// second a page. Granule positions count the input's samples, so a reader that
// trims by them gets the input's length back, the codec's delay taken out at the
// start and the padding of the last frame at the end. Same input, same bytes.
std::vector<uint8_t> EncodeSpeexOgg(const std::vector<int16_t>& mono16k, uint32_t serial);

// A tone sequence for the prompt words that are sounds, not speech: each step is
// a frequency (0: silence) and a length, with short fades against clicks.
struct ToneStep {
    double hertz;
    int milliseconds;
};
std::vector<int16_t> MakeTones(const std::vector<ToneStep>& steps, double amplitude);

}  // namespace voicegen
