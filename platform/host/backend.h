// The table each backend fills in.
#pragma once

#include "platform/host/host.h"

namespace platform::host {

struct Backend {
    HostBackend kind;
    // Begins opening whatever the backend shows the screen in (the screen mode is set
    // already); `started` waits for it and says whether it opened.
    void (*begin)(const HostOptions& options);
    bool (*started)();
    void (*stop)();
    HostFrame (*presentAndRead)();
    uint64_t (*framesPresented)();
};

const Backend& HeadlessBackend();
const Backend& SdlBackend();

}  // namespace platform::host
