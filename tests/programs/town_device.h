// The end-to-end runs' device root: scripts/make-device on the built-in town 1,1500
// from the debug build, devroot on it, the car's place and a destination a given
// distance away.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/programs/program_run.h"
#include "tests/programs/town_places.h"
#include "tests/support/shared_data.h"
#include "tests/support/tool_run.h"
#include "tools/discmaker/town.h"

namespace programs_test {

// The program's settings key as devroot names it.
inline constexpr const char* kSettings = "'HKCU\\Software\\Zanterhoff\\Wayscribe'";

struct TownDevice {
    // The root in `base`/device; the destination the last street about `metres` from
    // the car.
    TownDevice(const fs::path& folder, double metres)
        : base(folder),
          root(folder / "device"),
          town(discmaker::BuildTown(1, 1500)),
          car(CarPlace(town)),
          destination(StreetAbout(town, car, metres)) {}

    // make-device's run with the further options (the words, say).
    testing_support::ToolRun Make(const std::string& options) const {
        const fs::path make = testing_support::RepositoryFolder() / "scripts" / "make-device";
        return testing_support::RunTool(
            Quoted(make), "--town 1,1500 " + options + " --preset debug " + Quoted(root), base);
    }
    testing_support::ToolRun Devroot(const std::string& args) const {
        return testing_support::RunTool(Quoted(BinFolder() / "devroot"), Quoted(root) + " " + args,
                                        base);
    }
    // Puts the car at its place at the start and sets the other values ("NAME
    // TYPE:VALUE" under the settings key, or "'KEY' NAME TYPE:VALUE"): the first value
    // devroot refused, empty when it took them all.
    std::string PlaceCarAndSet(const std::vector<std::string>& values) const {
        std::vector<std::string> all = {"LastLat float:" + std::to_string(car.lat),
                                        "LastLon float:" + std::to_string(car.lon)};
        all.insert(all.end(), values.begin(), values.end());
        for (const std::string& value : all) {
            const bool keyed = value.compare(0, 1, "'") == 0;
            if (Devroot("set " + (keyed ? value : std::string(kSettings) + " " + value)).status !=
                0)
                return value;
        }
        return "";
    }
    // The route tool's answer from the car to the destination on the root's maps.
    testing_support::ToolRun Route(const std::string& options) const {
        const fs::path maps = root / "Storage Card" / "Zanter Wayscribe" / "Maps";
        return testing_support::RunTool(Quoted(BinFolder() / "route"),
                                        "--maps " + Quoted(maps) + " --from " + Position(car) +
                                            " --to " + Position(destination) + " " + options,
                                        base);
    }
    fs::path Program() const {
        return root / "Program Files" / "Zanter" / "Wayscribe" / "pathlumeQVGA.exe";
    }

    fs::path base, root;
    discmaker::Network town;
    discmaker::LatLon car, destination;
};

}  // namespace programs_test
