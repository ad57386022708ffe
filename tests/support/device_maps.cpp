#include "tests/support/device_maps.h"

#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "pathlume/foundation/app_services.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/support/temp_root.h"
#include "tools/mkmaps/mkmaps.h"

namespace testing_support {

namespace fs = std::filesystem;

GeneratedDeviceMaps::GeneratedDeviceMaps(discmaker::Network network,
                                         const discmaker::BuildOptions& options,
                                         const std::string& name) {
    folder_ = fs::temp_directory_path() / ("pathlume-" + name + "-" + std::to_string(::getpid()) +
                                           "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::remove_all(folder_);  // a dead process's leftover of the same name
    fs::create_directories(folder_);
    // The generation runs in roots of its own, gone once the files are copied out.
    TempRoots roots;
    discmaker::BuildDiscs(network, roots.base() / "disc", options);
    std::ostringstream out, err;
    const mkmaps::Figures figures =
        mkmaps::Generate({roots.base() / "disc", roots.base() / "maps", {}}, out, err);
    platform::SetCurrentSide(platform::Side::Device);
    if (!figures.completed)
        throw std::runtime_error("map generation failed: " + err.str());
    for (const fs::directory_entry& entry : fs::directory_iterator(roots.base() / "maps"))
        fs::copy_file(entry.path(), folder_ / entry.path().filename());
}

GeneratedDeviceMaps::~GeneratedDeviceMaps() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void SetDataFolder(const fs::path& folder) {
    if (folder.empty()) {
        g_dataFolder[0] = 0;
        return;
    }
    const std::u16string text = platform::HostPathText(folder) + u"/";
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
}

}  // namespace testing_support
