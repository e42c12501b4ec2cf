# SPDX-License-Identifier: MIT
# A layer's files include only from the folders its layer sits on. Every
# library shares the source root as its include folder, so the compiler would
# find a higher layer's header; this check is what keeps sitetree off the FTP
# client and the listing parsers off the walks. Run as a build step by
# dirweigh_layer_includes() (cmake/Layers.cmake), with FILES the layer's
# sources and headers, ALLOWED the folders they may include from and STAMP
# the file to touch once they pass; both lists come separated by "|".
cmake_minimum_required(VERSION 3.20)
string(REPLACE "|" ";" FILES "${FILES}")
string(REPLACE "|" ";" ALLOWED "${ALLOWED}")
set(wrong "")
foreach(file IN LISTS FILES)
  file(STRINGS ${file} includes REGEX "^#include \"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    get_filename_component(folder "${included}" DIRECTORY)
    if(NOT folder IN_LIST ALLOWED)
      string(APPEND wrong "\n  ${file}: ${included}")
    endif()
  endforeach()
endforeach()
if(wrong)
  list(JOIN ALLOWED ", " allowed)
  message(FATAL_ERROR "Includes from a folder this layer does not sit on "
    "(it may include from ${allowed}):${wrong}")
endif()
file(TOUCH ${STAMP})
