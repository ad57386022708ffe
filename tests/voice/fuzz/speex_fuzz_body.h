// What the prompt player's fuzzer and the corpus replay do with one input: play
// it as a prompt file from a device root on the manual clock, so a whole word
// takes no real time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "pathlume/voice/speex_player.h"
#include "platform/kernel/kernel.h"

namespace speex_fuzz {

// The file is "\fuzz.spx" of the current device root, whose host folder is given.
inline int PlayOne(const std::filesystem::path& deviceRoot, const uint8_t* data, size_t size) {
    std::ofstream(deviceRoot / "fuzz.spx", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return PlaySpeexFile(u"\\fuzz.spx");
}

}  // namespace speex_fuzz
