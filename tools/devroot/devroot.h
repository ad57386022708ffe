// devroot: sets up a device root through the kernel's own calls, as scripts and
// tests need it: storage cards and registry values.
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
};

// "dword:N" (decimal, 0x hex, or negative down to -2147483648 as its 32 bits),
// "sz:TEXT", "float:X" (a finite number stored as a DWORD holding its 32-bit float
// pattern). Nothing, with the reason in `error`, for anything else.
std::optional<TypedValue> ParseTypedValue(const std::string& text, std::string* error);

// "HKCU\Sub\Key" or "HKLM\Sub\Key" (also the roots' long names): the root and the
// subkey; false for any other.
bool SplitKey(const std::string& key, HKEY* root, std::u16string* subKey);

// How `get` prints a value: a DWORD in decimal, a text as it is, anything else as
// hex bytes ("01,02,ff").
std::string FormatValue(const TypedValue& value);

// The operations, on the device root at `root` (which must exist). Each returns the
// exit status: 0 done, 1 failed (said on `err`); `out` gets what was done, or for Get
// the value alone.
int MakeCard(const std::filesystem::path& root, const std::string& name, std::ostream& out,
             std::ostream& err);
int SetValue(const std::filesystem::path& root, const std::string& key, const std::string& value,
             const TypedValue& typed, std::ostream& out, std::ostream& err);
int GetValue(const std::filesystem::path& root, const std::string& key, const std::string& value,
             std::ostream& out, std::ostream& err);

// Finishes or undoes a replacement of the root that a killed make-device left, and
// says whether the root is there (a root never made is not); 0.
int Settle(const std::filesystem::path& root, std::ostream& out);

}  // namespace devroot
