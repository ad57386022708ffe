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
