# open62541 1.4: the system's own when present, otherwise the copy that
# scripts/setup-deps.sh unpacked into .deps/prefix. An imported target made by
# hand: the relocated package's pkg-config file carries wrong fixed paths.
find_package(Threads REQUIRED)
set(_halvetra_ua_prefix "${PROJECT_SOURCE_DIR}/.deps/prefix/usr")
find_path(OPEN62541_INCLUDE_DIR open62541/client.h
  HINTS "${_halvetra_ua_prefix}/include" NO_CMAKE_SYSTEM_PATH)
find_path(OPEN62541_INCLUDE_DIR open62541/client.h)
find_library(OPEN62541_LIBRARY NAMES libopen62541.so.1.4 open62541
  HINTS "${_halvetra_ua_prefix}/lib/${CMAKE_LIBRARY_ARCHITECTURE}" NO_CMAKE_SYSTEM_PATH)
find_library(OPEN62541_LIBRARY NAMES open62541)
if(NOT OPEN62541_INCLUDE_DIR OR NOT OPEN62541_LIBRARY)
  message(FATAL_ERROR "open62541 not found: run scripts/setup-deps.sh")
endif()
get_filename_component(OPEN62541_LIBRARY_DIR "${OPEN62541_LIBRARY}" DIRECTORY)
add_library(open62541::open62541 SHARED IMPORTED)
set_target_properties(open62541::open62541 PROPERTIES
  IMPORTED_LOCATION "${OPEN62541_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${OPEN62541_INCLUDE_DIR}"
  INTERFACE_LINK_LIBRARIES Threads::Threads)
# The library finds its mbed TLS libraries in the same folder only through an
# RPATH (a RUNPATH does not reach a library's own dependencies).
set(HALVETRA_UA_LINK_OPTIONS "-Wl,--disable-new-dtags" "-Wl,-rpath,${OPEN62541_LIBRARY_DIR}")
set_property(TARGET open62541::open62541 APPEND PROPERTY INTERFACE_LINK_OPTIONS ${HALVETRA_UA_LINK_OPTIONS})
message(STATUS "open62541: ${OPEN62541_LIBRARY}")
