#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/kernel/process.h"

namespace platform {
namespace {
std::atomic<ExitMode> g_exitMode{ExitMode::Exit};
}

void SetExitMode(ExitMode mode) {
    g_exitMode.store(mode);
}
ExitMode GetExitMode() {
    return g_exitMode.load();
}

}  // namespace platform

void ExitProcess(UINT exitCode) {
    if (platform::GetExitMode() == platform::ExitMode::Throw) {
        throw platform::ProcessExit{exitCode};
    }
    // Other threads may still run: end at once, as the platform does, without
    // running static destructors under their feet.
    std::fflush(nullptr);
    _exit(static_cast<int>(exitCode & 0xFF));
}
