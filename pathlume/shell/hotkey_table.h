// The bindings of the handheld's hardware buttons to the program's functions,
// stored in the registry and registered as hotkeys of the main view.
#pragma once

#include <cstdint>

#include "platform/kernel/wintypes.h"

// The functions a button can run (the row order of the hotkey dialog) and the
// commands the map screen's direction keys make.
enum HotkeyCommand : int32_t {
    kHotkey3DMode = 0,
    kHotkeyCurrentPosition = 1,
    kHotkeyCustomizePoiIcons = 2,
    kHotkeyDetour = 3,
    kHotkeyDisplayOptions = 4,
    kHotkeyEnterDestination = 5,
    kHotkeyFullscreen = 6,
    kHotkeyGpsInfo = 7,
    kHotkeyMenu = 8,
    kHotkeyMute = 9,
    kHotkeyNorthUp = 10,
    kHotkeyPoiIcons = 11,
    kHotkeyRouteList = 12,
    kHotkeyRouteOptions = 13,
    kHotkeyRotateStatBox = 14,
    kHotkeySpeedAlert = 15,
    kHotkeyVolume = 16,
    kHotkeyZoomIn = 100,
    kHotkeyZoomOut = 101,
    kHotkeyNextScreen = 102,
    kHotkeyPreviousScreen = 103,
    kHotkeyRepeatGuidance = 104,
};

struct HotkeyEntry {
    uint32_t key;
    uint32_t command;  // kHotkeyUnassigned when the entry is free
};
static_assert(sizeof(HotkeyEntry) == 8, "stored as 8 bytes a pair");

class CHotkeyTable {
  public:
    static constexpr int kEntries = 17;
    static constexpr uint32_t kHotkeyUnassigned = 0xFFFFFFFF;
    // A stored pair: the key and the command, little-endian.
    static constexpr DWORD kStoredPairBytes = 8;

    CHotkeyTable();

    // "Hotkey Count" pairs of "Hotkeys" (at most 17, however long the value) into the
    // first entries; the rest free.
    void Load();
    // The assigned entries, packed in table order.
    void Save() const;

    // The command of the first assigned entry with the key, or -1.
    int32_t CommandForKey(uint32_t key) const;
    // The first entry with the command, or -1.
    int32_t IndexOfCommand(uint32_t command) const;
    uint32_t GetKey(int index) const;
    uint32_t GetCommand(int index) const;
    void SetEntry(int index, uint32_t key, uint32_t command);

    // Registers (on) or releases the key as hotkey `key` of the window; the
    // application buttons 0xC1-0xCF come with the Windows key.
    static void RegisterKey(HWND window, uint32_t key, BOOL on);
    // Every assigned key, unless the table is disabled.
    void RegisterAll(HWND window, BOOL on) const;

    HotkeyEntry entries[kEntries];
    // Not stored: every start begins with the hotkeys enabled.
    uint32_t enabled = 1;
};

// The program's bindings, loaded by the main view's constructor.
extern CHotkeyTable g_hotkeyTable;
