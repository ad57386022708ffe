// The recorded single addresses of the shared extracts
// (tests/tools/discmaker/data/recorded_addresses.tsv), by extract file name.
#pragma once

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/shared_data.h"

namespace testing_support {

struct RecordedAddress {
    std::string element, street, number, city;  // number as written ("7-9", "14b")
    double latitude = 0, longitude = 0;         // the building's
    // The leading digits, as the disc builder reads a house number.
    uint32_t LeadingNumber() const { return static_cast<uint32_t>(std::stoul(number)); }
};

inline std::map<std::string, std::vector<RecordedAddress>> RecordedAddresses() {
    std::map<std::string, std::vector<RecordedAddress>> table;
    std::ifstream in(RepositoryFolder() / "tests" / "tools" / "discmaker" / "data" /
                     "recorded_addresses.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string extract, lat, lon;
        RecordedAddress r;
        std::getline(fields, extract, '\t');
        std::getline(fields, r.element, '\t');
        std::getline(fields, r.street, '\t');
        std::getline(fields, r.number, '\t');
        std::getline(fields, r.city, '\t');
        std::getline(fields, lat, '\t');
        std::getline(fields, lon, '\t');
        r.latitude = std::stod(lat);
        r.longitude = std::stod(lon);
        table[extract].push_back(r);
    }
    return table;
}

}  // namespace testing_support
