// The registry's in-memory tree and its text form; used by registry.cpp only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/wintypes.h"

namespace platform::registry {

// The platform's limits on name lengths, in characters.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;
// The platform refuses keys nested deeper than this; the limit also keeps the
// recursive walks over a hostile file's tree off the end of the stack.
inline constexpr size_t kMaxKeyDepth = 512;

enum RootIndex { kClassesRoot, kCurrentUser, kLocalMachine, kRootCount };
const char* RootName(int root);

// Upper-case form used to compare names without regard to case.
std::u16string FoldName(std::u16string_view name);

// Whether a key name can be stored: not empty, not too long, no control characters,
// no backslash and no unpaired surrogate.
bool IsValidKeyName(std::u16string_view name);

struct RegValue {
    std::u16string name;
    std::u16string folded;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegKey {
    std::u16string name;
    std::map<std::u16string, std::unique_ptr<RegKey>> children;  // by folded name
    std::vector<RegValue> values;                                // in creation order

    RegKey* FindChild(std::u16string_view childName) const;
    // Returns the existing child (created = false) or a new one.
    RegKey* AddChild(std::u16string_view childName, bool* created);
    RegValue* FindValue(std::u16string_view valueName);
};

struct RegTree {
    RegKey roots[kRootCount];
};

struct ParsedRegistry {
    RegTree tree;
    size_t badLines = 0;
};

ParsedRegistry ParseRegistryText(std::string_view text);
std::string FormatRegistryText(const RegTree& tree);

}  // namespace platform::registry
