# Fails when the public header includes anything beyond what its own
# declarations need, or names a standard container or lock in a
# declaration: whatever orva.h includes reaches every host that embeds the
# library, and internal layout belongs behind the classes' private pointers.
#   cmake -DORVA_SOURCE_DIR=<top of the tree> -P cmake/CheckPublicHeader.cmake

if(NOT ORVA_SOURCE_DIR)
  message(FATAL_ERROR "CheckPublicHeader: set ORVA_SOURCE_DIR")
endif()

# FILE, the fixed-width integers, size_t, std::nothrow_t and the library's
# lock; nothing else.
set(allowed cstddef cstdint cstdio new pthread.h)

set(header ${ORVA_SOURCE_DIR}/include/orva.h)
set(faults "")
file(STRINGS ${header} lines REGEX "^[ \t]*#[ \t]*include")
foreach(line ${lines})
  string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*" "\\1" included "${line}")
  list(FIND allowed "${included}" at)
  if(at EQUAL -1)
    list(APPEND faults "includes ${included}")
  endif()
endforeach()

file(STRINGS ${header} code)
foreach(line ${code})
  if(line MATCHES "std::(vector|map|string|atomic|mutex|recursive_mutex|unique_ptr|shared_ptr)")
    string(STRIP "${line}" line)
    string(REPLACE ";" "" line "${line}")   # a list item keeps the line whole
    list(APPEND faults "declares with the standard library: ${line}")
  endif()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "include/orva.h:\n  ${text}")
endif()
list(JOIN allowed " " names)
message(STATUS "Public header: includes only ${names}")
