// devroot: sets up a device root through the kernel's own calls, as scripts and
// tests need it: storage cards and registry values; and closes the navigation
// program running on it.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"

namespace devroot {

// A registry value as written: its type and bytes.
struct TypedValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool isFloat = false;  // a DWORD holding a 32-bit float's pattern
};

// "dword:N" (decimal, 0x hex, or negative down to -2147483648 as its 32 bits),
// "sz:TEXT", "float:X" (a finite number stored as a DWORD holding its 32-bit float
// pattern). Nothing, with the reason in `error`, for anything else.
std::optional<TypedValue> ParseTypedValue(const std::string& text, std::string* error);

// "HKCU\Sub\Key" or "HKLM\Sub\Key" (also the roots' long names): the root and the
// subkey; false for any other.
bool SplitKey(const std::string& key, HKEY* root, std::u16string* subKey);

// How `get` prints a value: a DWORD in decimal, or as the float it holds (the
// shortest text that reads back to it), a text as it is, anything else as hex bytes
// ("01,02,ff").
std::string FormatValue(const TypedValue& value);

// The program keeps these values as float patterns in DWORDs: "LastLat", "LastLon",
// "LastHead".
bool StoredAsFloat(const std::string& valueName);

// The operations, on the device root at `root` (which must exist). Each returns the
// exit status: 0 done, 1 failed (said on `err`); `out` gets what was done, or for Get
// the value alone.
int MakeCard(const std::filesystem::path& root, const std::string& name, std::ostream& out,
             std::ostream& err);
int SetValue(const std::filesystem::path& root, const std::string& key, const std::string& value,
             const TypedValue& typed, std::ostream& out, std::ostream& err);
// A DWORD prints as a float when asFloat says so, or by default when the program
// stores that value as one.
int GetValue(const std::filesystem::path& root, const std::string& key, const std::string& value,
             std::optional<bool> asFloat, std::ostream& out, std::ostream& err);
// Asks the navigation program running on the root to close, as its power button
// does (WM_CLOSE to its main window); 1 when none runs there.
int CloseProgram(const std::filesystem::path& root, std::ostream& out, std::ostream& err);

// Finishes or undoes a replacement of the root that a killed make-device left, and
// says whether the root is there (a root never made is not); 0.
int Settle(const std::filesystem::path& root, std::ostream& out);

}  // namespace devroot
