// The PC drives a map can go to, their free space, and what the installed map on a
// target says about itself.
#pragma once

#include <string>
#include <vector>

// Drive indexes (A = 0) the target combo offers: every drive but CD-ROM and remote
// ones, and A: only when it is not removable.
std::vector<int> TargetDriveIndexes();
// Free megabytes of the drive for the caller, plus the files of its map folder (a
// new map replaces them).
double MeasureDriveFreeMB(int driveIndex);
// The sizes of the files directly in the folder (names beginning with '.' aside).
unsigned long long GetFolderFilesSize(const std::u16string& folder);

// The text of the existing-map question for the map installed on the target, from
// its "namdict.bin" (at most 4096 bytes read); empty when there is nothing to ask (no
// file, a damaged one, no target).
// The city page words a city map its own way (cityPage).
std::u16string ExistingMapQuestionText(const std::vector<unsigned char>& namdict,
                                       bool cityPage = false);
std::u16string ExistingMapQuestion(int targetKind, int driveIndex, bool cityPage = false);
