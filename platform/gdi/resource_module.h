// The tables a program's resource module is made of. pathlume_add_resources
// (resources.cmake) generates them from a res/ folder and registers them when the
// program starts; nothing else includes this header.
#pragma once

#include <cstddef>

#include "platform/kernel/wintypes.h"

namespace platform {

enum class ResourceKind : BYTE { Bitmap = 0, Icon = 1 };

struct ResourceImage {
    WORD id;
    ResourceKind kind;
    LONG width;
    LONG height;
    const unsigned char* png;
    size_t pngSize;
};

// The images rasterised for one screen set, in the order of the table.
struct ResourceScreenSet {
    const char* name;  // "QVGA", "VGA"
    int dpi;
    const ResourceImage* images;
    size_t count;
};

struct ResourceString {
    WORD id;
    const char16_t* text;
    size_t length;
};

struct ResourceModule {
    const char* name;
    bool main;                      // the program's own module, reached with a null instance
    const ResourceString* strings;  // sorted by id
    size_t stringCount;
    const ResourceScreenSet* sets;
    size_t setCount;
};

// Called once per module from a static initialiser; returns its instance handle.
HINSTANCE RegisterResourceModule(const ResourceModule& module);

}  // namespace platform
