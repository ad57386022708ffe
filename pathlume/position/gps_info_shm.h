// The current fix, the vehicle's matched position and its address, published in the
// named shared-memory record of formats/gps_info.h for other programs to read. The
// program makes the block at start; the frame publishes on request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kernel/wintypes.h"

class CGpsInfoShm {
  public:
    CGpsInfoShm() = default;
    ~CGpsInfoShm() { Close(); }
    CGpsInfoShm(const CGpsInfoShm&) = delete;
    CGpsInfoShm& operator=(const CGpsInfoShm&) = delete;

    // Makes (or opens) the block, zeroes it and writes its first four bytes. A failed
    // mapping or view leaves no view: publication then does nothing.
    void Create();
    void Close();
    // Fills the block from the receiver and g_vehicleLocation.
    void Publish();
    // Writes the address text, cut to fit the record with its NUL.
    void StoreAddress(const char* text);

    const BYTE* View() const { return view_; }

  private:
    HANDLE mapping_ = nullptr;
    BYTE* view_ = nullptr;
};

extern CGpsInfoShm g_gpsInfoShm;
