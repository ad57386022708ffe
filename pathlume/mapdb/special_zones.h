// The special zone of the map data: the areas of "az.bin" whose code number is 60
// to 72. Guidance and the router ask whether the map has any and whether a link
// lies in one.
#pragma once

struct MapLink;

inline constexpr int kSpecialZoneFirstCode = 60;
inline constexpr int kSpecialZoneLastCode = 72;

// 1 when the link's left side lies in an area of the special zone, else 0 (also
// when its record cannot be read). A null link stands for the vehicle's matched
// link; with none matched the answer is 0.
int IsLinkInSpecialZone(const MapLink* link);
// 1 when any area of g_areaZones has a special-zone code, 0 otherwise (also when
// no areas are loaded).
int HasSpecialZones();
