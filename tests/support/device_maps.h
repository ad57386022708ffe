// Device map files generated from a road network through the disc builder and the
// headless generation run, in a temporary folder of their own, and the program's
// data folder pointed at them.
#pragma once

#include <filesystem>
#include <string>

#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/network.h"

namespace testing_support {

class GeneratedDeviceMaps {
  public:
    // Throws std::runtime_error when the generation fails. `name` goes into the
    // folder's name.
    GeneratedDeviceMaps(discmaker::Network network, const discmaker::BuildOptions& options,
                        const std::string& name);
    ~GeneratedDeviceMaps();
    GeneratedDeviceMaps(const GeneratedDeviceMaps&) = delete;
    GeneratedDeviceMaps& operator=(const GeneratedDeviceMaps&) = delete;

    const std::filesystem::path& folder() const { return folder_; }

  private:
    std::filesystem::path folder_;
};

// Points g_dataFolder at the folder (an empty folder clears it).
void SetDataFolder(const std::filesystem::path& folder);

}  // namespace testing_support
