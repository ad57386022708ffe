// Processes: starting installed programs, waiting for them, and ending the
// current one. ExitProcess and TerminateProcess of the current process go through
// one hook, so that tests can catch the end of a program as an exception.
#pragma once

#include "platform/kernel/wintypes.h"

namespace platform {

enum class ExitMode {
    Exit,   // a program: the process ends
    Throw,  // a test: ProcessExit is thrown to the caller
};

struct ProcessExit {
    UINT exitCode;
};

void SetExitMode(ExitMode mode);
ExitMode GetExitMode();

}  // namespace platform

[[noreturn]] void ExitProcess(UINT exitCode);
