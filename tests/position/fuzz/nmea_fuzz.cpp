#include "tests/position/fuzz/nmea_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nmea_fuzz::RunOne(data, size);
    return 0;
}
