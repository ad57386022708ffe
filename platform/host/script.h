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
    // Release ends a Hold; scripts do not write it.
    enum class Kind {
        Tap,
        Key,
        Command,
        Press,
        Close,
        Resume,
        Shot,
        Every,
        Answer,
        File,
        Hold,
        Release,
        Pick
    };
    Kind kind = Kind::Close;
    POINT point{};  // Tap, Hold, Release
    // Key: the virtual key; Command, Press: the id; Answer: the button
    UINT value = 0;
    uint64_t period = 0;                 // Every: milliseconds; Hold: how long the press is held
    std::filesystem::path path;          // Shot: the file; Every: the folder
    std::optional<std::u16string> file;  // File: the path, or nothing for Cancel
    std::u16string choice;               // Pick: the item's text, or a trackbar position
};

struct ScriptLine {
    enum class When { Start, At, Idle, Text };
    When when = When::Start;
    uint64_t at = 0;      // At: milliseconds after the main window was first shown
    std::u16string text;  // Text: what must reach the screen
    ScriptAction action;
    int number = 0;  // the line in the file
    int index = 0;   // the line among the script's lines
};

// How long a `when` line waits for its text before the run ends with status 2.
inline constexpr uint64_t kScriptTextWaitMs = 60000;

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
