// A shared library opened when one of its functions is first called, so that a
// process that never calls it never loads it, nor the libraries it depends on: the
// command-line tools draw nothing and never load the drawing libraries, and a
// headless run never loads the window system's. Its callers include the library's
// headers and then a table of
//   #define some_function(...) PLATFORM_LATE_CALL(Library(), some_function)(__VA_ARGS__)
// so that their calls read as plain calls.
#pragma once

#include <mutex>

namespace platform {

class LateLibrary {
  public:
    // soname: the file name the dynamic loader finds ("libcairo.so.2").
    explicit LateLibrary(const char* soname) : soname_(soname) {}
    LateLibrary(const LateLibrary&) = delete;
    LateLibrary& operator=(const LateLibrary&) = delete;

    // The address of the library's function `name`, the library opened on the first
    // call. A library or a function that is not there ends the process with a line on
    // stderr, as the dynamic loader would have at the start.
    void* Function(const char* name);

  private:
    const char* soname_;
    std::once_flag opened_;
    void* handle_ = nullptr;
};

}  // namespace platform

// The function `name` of `library`, looked up once per place that calls it.
#define PLATFORM_LATE_CALL(library, name)                                   \
    ([]() -> decltype(&::name) {                                            \
        static const auto function =                                        \
            reinterpret_cast<decltype(&::name)>((library).Function(#name)); \
        return function;                                                    \
    }())
