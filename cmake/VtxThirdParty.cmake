# RapidJSON (header-only) and GoogleTest come from Debian's packages.
#
# The cross compiler must not search /usr/include, so the RapidJSON headers are
# copied into the build tree and used from there on both builds.

find_path(VTX_RAPIDJSON_DIR rapidjson/writer.h
  PATHS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(VTX_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(COPY ${VTX_RAPIDJSON_DIR}/rapidjson DESTINATION ${VTX_THIRD_PARTY_INCLUDE})

add_library(vtx_rapidjson INTERFACE)
target_include_directories(vtx_rapidjson SYSTEM INTERFACE ${VTX_THIRD_PARTY_INCLUDE})

set(VTX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")

# CLI11 (header-only, libcli11-dev) parses the command line of vantrix-wipe;
# copied like RapidJSON so that both builds use the same headers.
find_path(VTX_CLI11_DIR CLI/CLI.hpp
  PATHS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(VTX_CLI11_INCLUDE ${CMAKE_BINARY_DIR}/third_party/cli11/include)
file(COPY ${VTX_CLI11_DIR}/CLI DESTINATION ${VTX_CLI11_INCLUDE})

add_library(vtx_cli11 INTERFACE)
target_include_directories(vtx_cli11 SYSTEM INTERFACE ${VTX_CLI11_INCLUDE})

# liburing (liburing-dev): the native build's disk writes and read-back keep
# several requests in flight through io_uring.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(VTX_LIBURING REQUIRED IMPORTED_TARGET liburing)
  add_library(vtx_liburing INTERFACE)
  target_link_libraries(vtx_liburing INTERFACE PkgConfig::VTX_LIBURING)
endif()
