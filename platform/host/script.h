// Scripted runs (PATHLUME_SCRIPT): the script's lines and their runner. See host.h for
// the language.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/user/user.h"

namespace platform::host {

struct ScriptAction {
    enum class Kind { Tap, Key, Command, Close, Resume, Shot, Every, Answer, File };
    Kind kind = Kind::Close;
    POINT point{};               // Tap
    UINT value = 0;              // Key: the virtual key; Command: the id; Answer: the button
    uint64_t period = 0;         // Every: milliseconds
    std::filesystem::path path;  // Shot: the file; Every: the folder
    std::optional<std::u16string> file;  // File: the path, or nothing for Cancel
};

struct ScriptLine {
    enum class When { Start, At, Idle };
    When when = When::Start;
    uint64_t at = 0;  // At: milliseconds after the main window was first shown
    ScriptAction action;
    int number = 0;  // the line in the file
};

// Reads a script; nothing, with `error` saying where and why, when the file cannot be
// read or a line is not understood. Tap points must lie on a screen of this size.
std::optional<std::vector<ScriptLine>> ReadScript(const std::filesystem::path& file,
                                                  int screenWidth, int screenHeight,
                                                  std::string* error);
// The virtual key of a name ("RETURN", "F1", "A", "7") or number ("13", "0x0D"); 0 for
// neither.
UINT VirtualKeyNamed(const std::string& name);

// Runs a script from now on; replaces any script running.
void RunScript(std::vector<ScriptLine> lines);
void StopScript();

}  // namespace platform::host
