// The SDL2 audio output of the wave-out devices.
#pragma once

#include <memory>

#include "platform/audio/audio.h"

namespace platform::host {

std::unique_ptr<AudioOutput> MakeSdlAudioOutput();

}  // namespace platform::host
