# Fails when a source folder includes a header of a layer above it.
# The layers run one way: support <- values <- vm <- compiler <- runtime;
# the extension library and the orva command see the public header only.
#   cmake -DORVA_SOURCE_DIR=<top of the tree> -P cmake/CheckLayers.cmake

if(NOT ORVA_SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: set ORVA_SOURCE_DIR")
endif()

set(internal support values vm compiler runtime ext)
# For each folder, the folders whose headers it must not include.
set(above_support  values vm compiler runtime ext)
set(above_values   vm compiler runtime ext)
set(above_vm       compiler runtime ext)
set(above_compiler runtime ext)
set(above_runtime  ext)
set(above_ext      support values vm compiler runtime)
set(above_tools    ${internal})

set(faults "")
foreach(folder support values vm compiler runtime ext tools)
  if(folder STREQUAL "tools")
    set(dir ${ORVA_SOURCE_DIR}/tools)
  else()
    set(dir ${ORVA_SOURCE_DIR}/src/liborva/${folder})
  endif()
  file(GLOB_RECURSE files ${dir}/*.h ${dir}/*.cpp ${dir}/*.y ${dir}/*.l)
  foreach(file ${files})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      foreach(upper ${above_${folder}})
        if(header MATCHES "^${upper}/")
          file(RELATIVE_PATH where ${ORVA_SOURCE_DIR} ${file})
          list(APPEND faults "${where} includes ${header}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
message(STATUS "Layers: every include points down")
