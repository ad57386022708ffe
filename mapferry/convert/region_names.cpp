#include "mapferry/convert/region_names.h"

#include <cctype>

namespace {

struct Row {
    const char* name;
    const char* code;
    bool province;
};

const Row kRows[] = {
    {"Alabama", "AL", false},
    {"Alaska", "AK", false},
    {"Alberta", "AB", true},
    {"Arizona", "AZ", false},
    {"Arkansas", "AR", false},
    {"British Columbia", "BC", true},
    {"California", "CA", false},
    {"Colorado", "CO", false},
    {"Connecticut", "CT", false},
    {"Delaware", "DE", false},
    {"District of Columbia", "DC", false},
    {"Florida", "FL", false},
    {"Georgia", "GA", false},
    {"Idaho", "ID", false},
    {"Illinois", "IL", false},
    {"Indiana", "IN", false},
    {"Iowa", "IA", false},
    {"Kansas", "KS", false},
    {"Kentucky", "KY", false},
    {"Louisiana", "LA", false},
    {"Maine", "ME", false},
    {"Manitoba", "MB", true},
    {"Maryland", "MD", false},
    {"Massachusetts", "MA", false},
    {"Michigan", "MI", false},
    {"Minnesota", "MN", false},
    {"Mississippi", "MS", false},
    {"Missouri", "MO", false},
    {"Montana", "MT", false},
    {"Nebraska", "NE", false},
    {"Nevada", "NV", false},
    {"New Brunswick", "NB", true},
    {"New Hampshire", "NH", false},
    {"New Jersey", "NJ", false},
    {"New Mexico", "NM", false},
    {"New York", "NY", false},
    {"Newfoundland and Labrador", "NL", true},
    {"North Carolina", "NC", false},
    {"North Dakota", "ND", false},
    {"Northwest Territories", "NT", true},
    {"Nova Scotia", "NS", true},
    {"Nunavut", "NU", true},
    {"Ohio", "OH", false},
    {"Oklahoma", "OK", false},
    {"Ontario", "ON", true},
    {"Oregon", "OR", false},
    {"Pennsylvania", "PA", false},
    {"Prince Edward Island", "PE", true},
    {"Quebec", "QC", true},
    {"Rhode Island", "RI", false},
    {"Saskatchewan", "SK", true},
    {"South Carolina", "SC", false},
    {"South Dakota", "SD", false},
    {"Tennessee", "TN", false},
    {"Texas", "TX", false},
    {"Utah", "UT", false},
    {"Vermont", "VT", false},
    {"Virginia", "VA", false},
    {"Washington", "WA", false},
    {"West Virginia", "WV", false},
    {"Wisconsin", "WI", false},
    {"Wyoming", "WY", false},
    {"Yukon Territory", "YT", true},
};

constexpr const char* kSubAreaNames[] = {"North", "South"};

}  // namespace

const std::vector<InstallerState>& InstallerStates() {
    static const std::vector<InstallerState> states = [] {
        std::vector<InstallerState> out;
        uint16_t state = 0;      // 0-50, skipping the prebuilt region's number
        uint16_t province = 51;  // 51-63 in list order
        for (const Row& row : kRows) {
            uint16_t number;
            if (row.province) {
                number = province++;
            } else {
                if (state == kPrebuiltRegionNumber)
                    ++state;
                number = state++;
            }
            uint16_t mask = (number == 4 || number == 43) ? 3 : 1;
            out.push_back({row.name, row.code, number, mask});
        }
        return out;
    }();
    return states;
}

const InstallerState* FindInstallerState(const std::string& code) {
    std::string upper;
    for (char c : code)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const InstallerState& state : InstallerStates()) {
        if (upper == state.code)
            return &state;
    }
    return nullptr;
}

RegionTable ProgramRegionTable() {
    RegionTable table(kInstallerRegionCount);
    table[kPrebuiltRegionNumber].name = u"Hawaii";
    for (const InstallerState& state : InstallerStates()) {
        RegionRecord& record = table[state.region];
        for (const char* c = state.name; *c; ++c)
            record.name += static_cast<char16_t>(static_cast<unsigned char>(*c));
        if (state.subAreaMask != 1) {
            record.panelWidth = 200;
            for (const char* name : kSubAreaNames) {
                SubAreaRecord sub;
                sub.name = std::u16string(name, name + std::char_traits<char>::length(name));
                record.subAreas.push_back(std::move(sub));
            }
        }
    }
    return table;
}

RegionTable& ProgramRegions() {
    static RegionTable* regions = new RegionTable(ProgramRegionTable());
    return *regions;
}

void ChooseRegions(RegionTable* table, const std::vector<DWORD>& choiceWords) {
    for (DWORD word : choiceWords) {
        size_t region = word >> 16;
        if (region >= table->size())
            continue;
        RegionRecord& record = (*table)[region];
        record.chosen = 1;
        for (size_t k = 0; k < record.subAreas.size() && k < 16; ++k) {
            if (word & (1u << k))
                record.subAreas[k].chosen = 1;
        }
    }
}
