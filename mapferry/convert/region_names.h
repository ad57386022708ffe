// The desktop installer's regions: its built-in list of states and provinces with
// the region number each is filed under, and the region page's table of names, in
// which generation records what was installed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapferry/convert/installer_services.h"

struct InstallerState {
    const char* name;
    const char* code;
    uint16_t region;
    uint16_t subAreaMask;  // 3 for the two regions chosen by halves, else 1
};

// The region that cannot be combined: its prepared files are copied, not converted.
inline constexpr uint16_t kPrebuiltRegionNumber = 11;
inline constexpr int kInstallerRegionCount = 64;

// The 63 states and provinces in list order (the city page's state list); region 11
// is not among them.
const std::vector<InstallerState>& InstallerStates();
// The state of a code ("CA", case-insensitive); null when it is not in the list.
const InstallerState* FindInstallerState(const std::string& code);

// The region page's table: one record per region number 0-63 (region 11 is
// "Hawaii"), the regions chosen by halves with their sub-areas "North" and "South";
// nothing chosen.
RegionTable ProgramRegionTable();
// The program's own 64 records (ProgramRegionTable at first use), which the region
// page chooses in and draws from. User-interface thread only.
RegionTable& ProgramRegions();
// Marks the regions and sub-areas of the choice words (region number in the high
// 16 bits, a bit per sub-area in the low 16) as chosen.
void ChooseRegions(RegionTable* table, const std::vector<DWORD>& choiceWords);
