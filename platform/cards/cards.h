// The storage-card enumeration. A card is a folder directly under the device
// root that carries FILE_ATTRIBUTE_TEMPORARY, as the handheld marks its mount
// points; cards come in find order, and the search is closed with FindClose.
#pragma once

#include "platform/kernel/files.h"

HANDLE FindFirstFlashCard(LPWIN32_FIND_DATA findData);
BOOL FindNextFlashCard(HANDLE flashCard, LPWIN32_FIND_DATA findData);

namespace platform {

// Makes a storage card (a marked folder) in the device root; for tests and tools.
bool MakeStorageCard(LPCWSTR name);

}  // namespace platform
