#include "platform/gdi/drawing_library.h"

namespace platform::gdi {

LateLibrary& CairoLibrary() {
    static LateLibrary* library = new LateLibrary("libcairo.so.2");
    return *library;
}

LateLibrary& FreeTypeLibrary() {
    static LateLibrary* library = new LateLibrary("libfreetype.so.6");
    return *library;
}

LateLibrary& PngLibrary() {
    static LateLibrary* library = new LateLibrary("libpng16.so.16");
    return *library;
}

LateLibrary& DeflateLibrary() {
    static LateLibrary* library = new LateLibrary("libisal.so.2");
    return *library;
}

}  // namespace platform::gdi
