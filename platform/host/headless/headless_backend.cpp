// The headless backend: the screen is the off-screen surface and nothing else.
#include "platform/host/backend.h"

namespace platform::host {
namespace {

void Begin(const HostOptions&) {}

bool Started() {
    return true;
}

void Stop() {}

HostFrame PresentAndRead() {
    return HostFrame{};
}

uint64_t FramesPresented() {
    return 0;
}

}  // namespace

const Backend& HeadlessBackend() {
    static const Backend backend{
        .kind = HostBackend::Headless,
        .begin = Begin,
        .started = Started,
        .stop = Stop,
        .presentAndRead = PresentAndRead,
        .framesPresented = FramesPresented,
    };
    return backend;
}

}  // namespace platform::host
