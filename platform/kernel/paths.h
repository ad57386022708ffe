// The mapping of the platform's paths onto host folders.
//  - "\My Documents\x.gps" (no drive): a path on the current side's root; on the
//    desktop side it is taken on drive C:.
//  - "C:\Program Files\x" (drive letter): a desktop drive, through the drive table
//    kept in the desktop root.
//  - "/tmp/x" (a host absolute path): passed through, for tools and tests; a
//    backslash in it separates folders as a slash does.
// Lookups are case-insensitive, as the platform's file systems are: each component
// is matched against the names that exist, and a component that does not exist yet
// keeps the case it was given.
#pragma once

#include <filesystem>
#include <string>

#include "platform/kernel/roots.h"
#include "platform/kernel/wintypes.h"

namespace platform {

// Maps a platform path to a host path on the current side. Returns false (with
// ERROR_PATH_NOT_FOUND or ERROR_INVALID_DRIVE as last error) when the path names no
// known place.
bool HostPathFor(LPCWSTR path, std::filesystem::path* hostPath);
// The same on an explicit side (the remote-API stand-in maps device paths from the
// desktop program).
bool HostPathFor(LPCWSTR path, Side side, std::filesystem::path* hostPath);

// The wide text of a host path (its UTF-8 name as UTF-16), which the platform
// calls accept as a host absolute path.
std::u16string HostPathText(const std::filesystem::path& hostPath);

}  // namespace platform
