// Files written and read through the kernel, so that they land where the product
// looks (platform paths on the current side, or host paths).
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

// Creates the parent folders as needed and writes the file whole; fails the
// calling test (and returns false) when that does not work.
bool WriteTestFile(const std::u16string& path, const std::string& bytes);
// The whole file, or an empty string (and a failed test) when it cannot be read.
std::string ReadTestFile(const std::u16string& path);
// Whether a writer's temporary (PATH.<writer>.part) is left beside PATH.
bool PartFileBeside(const std::filesystem::path& path);

}  // namespace testing_support
