# How the programs and tools are linked, so that a process starts quickly: each
# executable carries only the functions it can reach and records only the shared
# libraries those call (a tool that draws nothing does not load the drawing
# libraries), and outside the sanitizer builds it carries the C++ runtime itself
# instead of binding to it at every start.
#
# Two kinds of executable keep the shared C++ runtime: a program that loads libraries
# at run time (ENABLE_EXPORTS, pathlume_load_run_time_libraries), whose libraries use
# the program's runtime, and one that links a shared C++ library (Google Benchmark),
# which brings its own.
add_compile_options(-ffunction-sections -fdata-sections)

set(_pathlume_executable "$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>")
add_link_options("$<${_pathlume_executable}:LINKER:--gc-sections;LINKER:--as-needed>")

if(NOT PATHLUME_SANITIZE)
  set(_pathlume_own_runtime
      "$<AND:${_pathlume_executable},$<NOT:$<BOOL:$<TARGET_PROPERTY:ENABLE_EXPORTS>>>,$<NOT:$<IN_LIST:benchmark::benchmark,$<TARGET_PROPERTY:LINK_LIBRARIES>>>>")
  add_link_options("$<${_pathlume_own_runtime}:-static-libstdc++;-static-libgcc>")
endif()

# zlib for every library that calls it: the shared library, or its archive in an
# executable that carries zlib itself (pathlume_lean_tool).
find_package(ZLIB REQUIRED)
find_library(ZLIB_ARCHIVE NAMES libz.a REQUIRED)
add_library(pathlume_zlib INTERFACE)
target_link_libraries(pathlume_zlib INTERFACE
  "$<IF:$<BOOL:$<TARGET_PROPERTY:PATHLUME_STATIC_ZLIB>>,${ZLIB_ARCHIVE},ZLIB::ZLIB>")

# A tool that draws nothing and exports nothing (route, mapstat, geocode) is linked at
# a fixed address and carries zlib itself: its start relocates none of its own
# addresses and maps no zlib. It may still open libraries when first called (the
# route tool's voice); they bring what they need.
function(pathlume_lean_tool target)
  if(PATHLUME_SANITIZE)
    return()
  endif()
  target_link_options(${target} PRIVATE -no-pie)
  set_property(TARGET ${target} PROPERTY PATHLUME_STATIC_ZLIB ON)
endfunction()
