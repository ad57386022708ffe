// A test whose data folder is a fresh "Maps" folder that a "poi.bin" is written into.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "pathlume/mapdb/poi_file.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"

namespace mapdb_test {

class PoiFolderTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        folder_ = roots_.base() / "Maps";
        std::filesystem::create_directories(folder_);
        SetDataFolder(folder_);
    }
    void TearDown() override {
        ClosePoiFile();
        SetDataFolder({});
    }
    // Writes the file and opens it: OpenPoiFile's result.
    int WritePoi(const std::vector<uint8_t>& bytes) {
        ClosePoiFile();
        WriteBytes(folder_ / "poi.bin", bytes);
        return OpenPoiFile();
    }

    std::filesystem::path folder_;
};

}  // namespace mapdb_test
