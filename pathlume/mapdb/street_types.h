// The street-type table "sttypes.bin": a street-type code (1..N, kept with every
// street name of "linkinfo.bin") is the position of its name in the table.
#pragma once

#include <cstdint>
#include <vector>

class StreetTypeFile {
  public:
    StreetTypeFile() = default;
    ~StreetTypeFile() { Free(); }
    StreetTypeFile(const StreetTypeFile&) = delete;
    StreetTypeFile& operator=(const StreetTypeFile&) = delete;

    // Loads "sttypes.bin" of the map data folder: 0 (loaded, or no file: the table
    // stays as it was), 1 bad magic, a short count, or a count above 511 or above
    // the names' bytes, 2 no memory, 3 short read.
    int Load();
    void Free();
    // Entries: the types and code 0 (the empty name); 0 when nothing is loaded.
    uint32_t Count() const { return count_; }
    // The code (0..N) of the first type equal to the name ignoring case, or -1.
    int FindCode(const char* name) const;
    // The name of a code; the empty name for 0 and any code outside 1..N.
    const char* GetName(uint32_t code) const;

  private:
    char* text_ = nullptr;  // a NUL, then the names; always terminated
    std::vector<const char*> names_;
    uint32_t count_ = 0;
};

extern StreetTypeFile g_streetTypes;
