// The table each backend fills in.
#pragma once

#include "platform/host/host.h"

namespace platform::host {

struct Backend {
    HostBackend kind;
    // Opens whatever the backend shows the screen in; false when it cannot. The
    // screen mode is set already.
    bool (*start)(const HostOptions& options);
    void (*stop)();
    HostFrame (*presentAndRead)();
    uint64_t (*framesPresented)();
};

const Backend& HeadlessBackend();
const Backend& SdlBackend();

}  // namespace platform::host
