#include "pathlume/shell/hotkey_table.h"

#include <algorithm>
#include <vector>

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

namespace {

uint32_t ReadWord(const BYTE* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteWord(BYTE* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace

void CHotkeyTable::Load() {
    const DWORD count = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 0);
    for (HotkeyEntry& entry : entries)
        entry = {0, kHotkeyUnassigned};
    // A value longer than the seventeen pairs still gives its first seventeen: read it
    // whole rather than through a buffer it does not fit.
    DWORD size = 0;
    if (RegGetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys", nullptr, &size) != 0 || size == 0)
        return;
    std::vector<BYTE> stored(size);
    if (RegGetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys", stored.data(), &size) != 0)
        return;
    // Never more pairs than the value holds, however large the count.
    const DWORD pairs = std::min<DWORD>({count, size / kStoredPairBytes, kEntries});
    for (DWORD i = 0; i < pairs; ++i)
        entries[i] = {ReadWord(&stored[i * kStoredPairBytes]),
                      ReadWord(&stored[i * kStoredPairBytes + 4])};
}

void CHotkeyTable::Save() const {
    BYTE packed[kEntries * kStoredPairBytes] = {};
    DWORD count = 0;
    for (const HotkeyEntry& entry : entries) {
        if (entry.command == kHotkeyUnassigned)
            continue;
        WriteWord(&packed[count * kStoredPairBytes], entry.key);
        WriteWord(&packed[count * kStoredPairBytes + 4], entry.command);
        ++count;
    }
    RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys", packed, count * kStoredPairBytes);
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
