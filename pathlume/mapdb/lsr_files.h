// "lsr.bin" and "lsrs.bin": the exit number and the name that label a ramp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pathlume/foundation/data_file.h"

class LsrFiles {
  public:
    // Opens both files in the map data folder; either failing closes both. 0 or 1.
    int Open();
    void Close();
    // The label of the record at `offset`: "EXIT 12A: MAIN ST", "EXIT 12A" or
    // "MAIN ST", cut to fit the buffer. 0 with the text, 1 when it is empty.
    int GetName(int32_t offset, char* buffer, size_t size);

  private:
    CDataFile pairs_;  // "lsr.bin"
    CDataFile texts_;  // "lsrs.bin"
};
