// Helpers for tests of code that blocks in the kernel's waits.
#pragma once

#include <cstddef>

namespace testing_support {

// Blocks (in real time, at most 20 s) until `count` kernel waits are blocked, so a
// test acts only once its threads are known to be waiting. False on time-out.
bool WaitUntilBlocked(size_t count);

}  // namespace testing_support
