// Where the stand-in keeps the handheld's and the desktop's file systems.
// The device root (PATHLUME_DEVICE) is laid out like the handheld's store; the
// desktop root (MAPFERRY_ROOT) holds the desktop's registry and drive table.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

enum class Side {
    Device,   // CE paths: "\My Documents\x.gps"
    Desktop,  // drive paths: "C:\Program Files\..."
};

// Which file system paths without a drive letter belong to in this process.
Side CurrentSide();
void SetCurrentSide(Side side);

// Default: $PATHLUME_DEVICE, else $XDG_DATA_HOME/pathlume/device
// (XDG_DATA_HOME defaulting to ~/.local/share). Created on first use.
std::filesystem::path DeviceRoot();
// Default: $MAPFERRY_ROOT, else $XDG_DATA_HOME/mapferry.
std::filesystem::path DesktopRoot();
// The root of the current side.
std::filesystem::path CurrentRoot();

// For tests and tools; an empty path returns to the default.
void SetDeviceRoot(const std::filesystem::path& root);
void SetDesktopRoot(const std::filesystem::path& root);

// scripts/make-device replaces a device root through a run folder beside it,
// "PARENT/.make-device.XXXXXX", holding "target" (the root's folder name), "lock"
// (locked with flock while the run lives), "new" (the new root, complete once it
// holds ".pl-make-device") and, between its two moves, "old" (the root it replaces).
// For a root that a killed run left missing, this moves the complete new root in,
// else the old one back; run folders of ended runs are then removed. DeviceRoot
// and SetDeviceRoot do it before they make a missing root.
void SettleReplacedRoot(const std::filesystem::path& root);

// A per-root folder outside the root for lock files and sockets that several
// processes working on the same root share: under $XDG_RUNTIME_DIR, else under the
// temporary folder; only the user may enter it.
std::filesystem::path RuntimeFolder(const std::filesystem::path& root);
// The user's own folder that holds those (made when missing, owner-only).
std::filesystem::path UserRuntimeFolder();

// Files and folders of the stand-in itself inside a root carry this prefix and are
// never listed by find.
inline constexpr const char* kInternalPrefix = ".pl-";
bool IsInternalName(const std::string& name);

}  // namespace platform
