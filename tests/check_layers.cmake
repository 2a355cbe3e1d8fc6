# Fails when a file in src/protocol includes anything but its own headers, the log's
# interface and the standard library: the protocol must not grow a dependency on a
# window system, a concrete port, the log file's code, the app or the platform.
file(GLOB sources ${SOURCE_DIR}/protocol/*)
set(bad "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" header "${line}")
    # The standard library's headers are bare lower-case names: <string>, <cstdint>.
    if(NOT header MATCHES "^(\"(protocol/[a-z_]+|log/record_sink)\\.h\"|<[a-z_]+>)")
      list(APPEND bad "${source}: ${header}")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "protocol includes what it must not:\n  ${text}")
endif()
message(STATUS "protocol includes only its own headers, the log's interface and the standard library")
