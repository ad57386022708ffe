#include "platform/kernel/late_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

void* LateLibrary::Function(const char* name) {
    std::call_once(opened_, [this] {
        // Global, so that the libraries it loads find each other as they would
        // have at the start. Lazy: a library built to bind at load still does, and
        // the rest (X's, under Cairo) bind only what a run calls.
        handle_ = dlopen(soname_, RTLD_LAZY | RTLD_GLOBAL);
        if (!handle_) {
            const char* reason = dlerror();
            std::fprintf(stderr, "cannot load %s: %s\n", soname_, reason ? reason : "not found");
            std::_Exit(127);
        }
    });
    void* function = dlsym(handle_, name);
    if (!function) {
        std::fprintf(stderr, "%s has no %s\n", soname_, name);
        std::_Exit(127);
    }
    return function;
}

}  // namespace platform
