#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/kernel/process.h"

namespace platform {
namespace {
std::atomic<ExitMode> g_exitMode{ExitMode::Exit};

std::mutex& ExitHandlersLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::vector<void (*)()>& ExitHandlers() {
    static auto* handlers = new std::vector<void (*)()>;
    return *handlers;
}

}  // namespace

static void RunExitHandlers() {
    std::vector<void (*)()> handlers;
    {
        std::lock_guard<std::mutex> guard(ExitHandlersLock());
        handlers.swap(ExitHandlers());
    }
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        (*it)();
    }
}

void AddExitHandler(void (*handler)()) {
    std::lock_guard<std::mutex> guard(ExitHandlersLock());
    ExitHandlers().push_back(handler);
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
    platform::RunExitHandlers();
    std::fflush(nullptr);
    _exit(static_cast<int>(exitCode & 0xFF));
}
