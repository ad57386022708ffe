# pathlume_add_resources(<target> DIR <res folder> [NAME <module name>] [MAIN]
#                        [SETS <screen set>...])
#
# Builds a program's resource module into <target> (an executable): every image of the
# table <res folder>/resources.md is rasterised from its SVG with rsvg-convert for each
# screen set (QVGA at the size in the table, VGA at twice that), and the PNGs and the
# string table <res folder>/strings.txt are embedded as data that registers itself when
# the program starts. MAIN marks the program's own module (the one a null instance
# reaches). SETS defaults to QVGA VGA; at run time the set whose dpi matches the
# screen's is used (VGA at 192 dpi). The target is linked with gdi (keyword form).
#
# resources.md rows:  | id | bitmap or icon | file.svg | width | height | role |
# strings.txt lines:  <id> "<text>"   (C escapes \n \r \t \\ \" only; # starts a comment)

find_program(RSVG_CONVERT rsvg-convert REQUIRED)

function(pathlume_add_resources target)
  cmake_parse_arguments(RES "MAIN" "DIR;NAME" "SETS" ${ARGN})
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/embed_resources.cmake)
  if(NOT RES_DIR)
    message(FATAL_ERROR "pathlume_add_resources(${target}): DIR is required")
  endif()
  if(NOT RES_NAME)
    set(RES_NAME ${target})
  endif()
  if(NOT RES_SETS)
    set(RES_SETS QVGA VGA)
  endif()
  set(table ${RES_DIR}/resources.md)
  set(strings ${RES_DIR}/strings.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table})

  file(STRINGS ${table} rows REGEX "^\\|[ ]*[0-9]+[ ]*\\|")
  set(out ${CMAKE_BINARY_DIR}/resources/${target}/${RES_NAME})
  # The images depend on the table's folder alone: every program built from one
  # folder shares one rasterised copy, made by the first call's target.
  string(MD5 folder_key "${RES_DIR}")
  string(SUBSTRING ${folder_key} 0 12 folder_key)
  set(images ${CMAKE_BINARY_DIR}/resources/images/${RES_NAME}-${folder_key})
  set(images_target pathlume_images_${folder_key})
  set(new_pngs)
  get_property(rasterised GLOBAL PROPERTY PATHLUME_RASTERISED_IMAGES)
  set(pngs)
  set(entries)
  set(seen)
  foreach(row IN LISTS rows)
    if(NOT row MATCHES "^\\|[ ]*([0-9]+)[ ]*\\|[ ]*(bitmap|icon)[ ]*\\|[ ]*([A-Za-z0-9_.-]+\\.svg)[ ]*\\|[ ]*([0-9]+)[ ]*\\|[ ]*([0-9]+)[ ]*\\|")
      message(FATAL_ERROR "${table}: cannot read the row: ${row}")
    endif()
    set(id ${CMAKE_MATCH_1})
    set(kind ${CMAKE_MATCH_2})
    set(svg ${RES_DIR}/${CMAKE_MATCH_3})
    set(width ${CMAKE_MATCH_4})
    set(height ${CMAKE_MATCH_5})
    if("${kind}:${id}" IN_LIST seen)
      message(FATAL_ERROR "${table}: ${kind} ${id} is listed twice")
    endif()
    if(id GREATER 65535)
      message(FATAL_ERROR "${table}: ${kind} ${id}: ids run to 65535")
    endif()
    if(NOT EXISTS ${svg})
      message(FATAL_ERROR "${table}: ${kind} ${id}: ${svg} does not exist")
    endif()
    list(APPEND seen "${kind}:${id}")
    foreach(set IN LISTS RES_SETS)
      if(set STREQUAL "QVGA")
        set(scale 1)
      elseif(set STREQUAL "VGA")
        set(scale 2)
      else()
        message(FATAL_ERROR "pathlume_add_resources(${target}): unknown screen set ${set}")
      endif()
      math(EXPR w "${width} * ${scale}")
      math(EXPR h "${height} * ${scale}")
      set(png ${images}/${set}/${kind}_${id}.png)
      if(NOT png IN_LIST rasterised)
        # Bitmaps are opaque: what the drawing leaves transparent becomes white, the
        # colour key of the screens. Icons keep their alpha.
        if(kind STREQUAL "bitmap")
          set(background --background-color=white)
        else()
          set(background)
        endif()
        add_custom_command(
          OUTPUT ${png}
          COMMAND ${CMAKE_COMMAND} -E make_directory ${images}/${set}
          COMMAND ${RSVG_CONVERT} --width=${w} --height=${h} ${background} --format=png
                  --output=${png} ${svg}
          DEPENDS ${svg}
          COMMENT "Rasterising ${RES_NAME} ${kind} ${id} for ${set}"
          VERBATIM)
        list(APPEND new_pngs ${png})
      endif()
      list(APPEND pngs ${png})
      list(APPEND entries "${set}|${kind}|${id}|${w}|${h}|${png}")
    endforeach()
  endforeach()

  if(new_pngs)
    set_property(GLOBAL APPEND PROPERTY PATHLUME_RASTERISED_IMAGES ${new_pngs})
    if(TARGET ${images_target})
      # A later call asked for a screen set the first did not.
      set(images_target ${images_target}_${target})
    endif()
    add_custom_target(${images_target} DEPENDS ${new_pngs})
    set_property(GLOBAL APPEND PROPERTY PATHLUME_IMAGES_TARGETS_${folder_key} ${images_target})
  endif()
  get_property(image_targets GLOBAL PROPERTY PATHLUME_IMAGES_TARGETS_${folder_key})

  set(generated ${out}/resources.cpp)
  set(list_file ${out}/images.txt)
  list(JOIN entries "\n" entry_text)
  file(CONFIGURE OUTPUT ${list_file} CONTENT "${entry_text}\n")
  set(string_depends)
  if(EXISTS ${strings})
    set(string_depends ${strings})
  endif()
  if(RES_MAIN)
    set(main 1)
  else()
    set(main 0)
  endif()
  list(JOIN RES_SETS "," sets_argument)
  add_custom_command(
    OUTPUT ${generated}
    COMMAND ${CMAKE_COMMAND} -DNAME=${RES_NAME} -DMAIN=${main} -DSETS=${sets_argument}
            -DIMAGES=${list_file} -DSTRINGS=${strings} -DOUTPUT=${generated}
            -P ${script}
    DEPENDS ${pngs} ${list_file} ${string_depends} ${script}
    COMMENT "Embedding the ${RES_NAME} resources"
    VERBATIM)
  # The target may live in another folder than the call: build the data through a
  # target of this folder and compile it into the program.
  add_custom_target(${target}_${RES_NAME}_resources DEPENDS ${generated})
  add_dependencies(${target}_${RES_NAME}_resources ${image_targets})
  add_dependencies(${target} ${target}_${RES_NAME}_resources)
  set_source_files_properties(${generated} TARGET_DIRECTORY ${target} PROPERTIES GENERATED TRUE)
  target_sources(${target} PRIVATE ${generated})
  target_link_libraries(${target} PRIVATE gdi)
endfunction()
