# One static library per folder of src/, each a layer of the program. A layer's headers are
# reachable only through its own include root (a folder holding nothing but a link to the
# layer's folder), which it passes on to the layers that link it: a file that includes a header
# of a layer its own layer does not link fails to build.
#
#   kelmar_layer(NAME SOURCES file.cpp ... LINKS kelmar_other ...)
function(kelmar_layer name)
  cmake_parse_arguments(LAYER "" "" "SOURCES;LINKS" ${ARGN})
  set(root ${PROJECT_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} SYMBOLIC)
  add_library(kelmar_${name} STATIC ${LAYER_SOURCES})
  target_include_directories(kelmar_${name} PUBLIC ${root})
  target_link_libraries(kelmar_${name} PUBLIC ${LAYER_LINKS})
endfunction()
