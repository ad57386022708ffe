#include "pathlume/shell/hotkey_table.h"

#include <algorithm>

#include "pathlume/foundation/registry_helpers.h"
#include "platform/user/user.h"

CHotkeyTable g_hotkeyTable;

namespace {
constexpr uint32_t kFirstAppButton = 0xC1;
constexpr uint32_t kLastAppButton = 0xCF;
}  // namespace

CHotkeyTable::CHotkeyTable() {
    for (HotkeyEntry& entry : entries)
        entry = {0, kHotkeyUnassigned};
}

void CHotkeyTable::Load() {
    const DWORD count = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 0);
    HotkeyEntry stored[kEntries] = {};
    DWORD size = sizeof stored;
    if (RegGetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys", reinterpret_cast<BYTE*>(stored),
                     &size) != 0)
        size = 0;
    for (HotkeyEntry& entry : entries)
        entry = {0, kHotkeyUnassigned};
    // Never more pairs than the value holds, however large the count.
    const DWORD pairs = std::min<DWORD>(count, size / sizeof(HotkeyEntry));
    for (DWORD i = 0; i < pairs && i < kEntries; ++i)
        entries[i] = stored[i];
}

void CHotkeyTable::Save() const {
    HotkeyEntry packed[kEntries] = {};
    DWORD count = 0;
    for (const HotkeyEntry& entry : entries)
        if (entry.command != kHotkeyUnassigned)
            packed[count++] = entry;
    RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys", reinterpret_cast<const BYTE*>(packed),
                 count * sizeof(HotkeyEntry));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", count);
}

int32_t CHotkeyTable::CommandForKey(uint32_t key) const {
    for (const HotkeyEntry& entry : entries)
        if (entry.command != kHotkeyUnassigned && entry.key == key)
            return static_cast<int32_t>(entry.command);
    return -1;
}

int32_t CHotkeyTable::IndexOfCommand(uint32_t command) const {
    for (int i = 0; i < kEntries; ++i)
        if (entries[i].command == command)
            return i;
    return -1;
}

uint32_t CHotkeyTable::GetKey(int index) const {
    return index >= 0 && index < kEntries ? entries[index].key : kHotkeyUnassigned;
}

uint32_t CHotkeyTable::GetCommand(int index) const {
    return index >= 0 && index < kEntries ? entries[index].command : kHotkeyUnassigned;
}

void CHotkeyTable::SetEntry(int index, uint32_t key, uint32_t command) {
    if (index >= 0 && index < kEntries)
        entries[index] = {key, command};
}

void CHotkeyTable::RegisterKey(HWND window, uint32_t key, BOOL on) {
    const int id = static_cast<int>(key);
    if (!on) {
        UnregisterHotKey(window, id);
        return;
    }
    const UINT modifiers = key >= kFirstAppButton && key <= kLastAppButton ? MOD_WIN : 0;
    UnregisterFunc1(modifiers, key);
    RegisterHotKey(window, id, modifiers, key);
}

void CHotkeyTable::RegisterAll(HWND window, BOOL on) const {
    if (!enabled)
        return;
    for (const HotkeyEntry& entry : entries)
        if (entry.command != kHotkeyUnassigned)
            RegisterKey(window, entry.key, on);
}
