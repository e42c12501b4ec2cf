# SPDX-License-Identifier: MIT
# dirweigh_layer_includes(target folder...): before target builds, check that
# its sources and the headers beside them include only from the given folders
# (relative to the source root; its own folder among them). Linking says which
# libraries a layer may call; this says which headers it may see, since all
# of them are found through the one source root.
function(dirweigh_layer_includes target)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  get_target_property(sources ${target} SOURCES)
  list(TRANSFORM sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  set(files ${sources} ${headers})
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.stamp)
  # A list in a command's argument would be split into several arguments.
  string(REPLACE ";" "|" file_list "${files}")
  string(REPLACE ";" "|" folder_list "${ARGN}")
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFILES=${file_list} -DALLOWED=${folder_list} -DSTAMP=${stamp}
      -P ${PROJECT_SOURCE_DIR}/cmake/LayerIncludes.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/LayerIncludes.cmake
    COMMENT "Checking what ${target} includes"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
