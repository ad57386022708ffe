// Shared by the audio module's sources.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/audio/audio.h"

namespace platform {

// PCM, 1 or 2 channels, 8 or 16 bits, 8,000-48,000 Hz, block align and byte rate
// consistent with those.
bool IsPlayableFormat(const WAVEFORMATEX& format);
// Whole samples of the format's data as 16-bit values (8-bit ones widened).
void WidenSamples(const WAVEFORMATEX& format, const uint8_t* data, size_t bytes,
                  std::vector<int16_t>& out);

// The capture's state for one device: the resampling phase carried across its
// buffers.
struct CaptureCursor {
    double position = 0.0;  // next output sample, in input frames from the buffer's start
};
// Appends interleaved samples at rate and channels to the capture, if one runs.
void CaptureSamples(const int16_t* samples, size_t frames, int rate, int channels,
                    CaptureCursor& cursor);

}  // namespace platform
