# Free-space, forensic and I/O-error tests on small real file systems, mounted
# by a fixture for the whole run and unmounted (and the raw images scanned)
# after; see tests/scripts/scratch_volumes.sh.

set(VTX_VOLUME_DIR ${CMAKE_BINARY_DIR}/volumes)
set(VTX_VOLUME_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/scripts/scratch_volumes.sh)
if(CMAKE_CROSSCOMPILING)
  set(VTX_VOLUME_PREFIX ${VTX_WINEPREFIX} ${CMAKE_CROSSCOMPILING_EMULATOR})
  string(REPLACE "/" "\\" VTX_VOLUME_DIR_WINDOWS "Z:${VTX_VOLUME_DIR}")
  set(VTX_VOLUME_ENVIRONMENT
    "VTX_FREESPACE_ROOT=T:\\"
    "VTX_FORENSIC_ROOT=U:\\"
    "VTX_RESERVE_ROOT=W:\\"
    "VTX_FAULTY_ROOT=V:\\"
    "VTX_VOLUME_DIR=${VTX_VOLUME_DIR_WINDOWS}")
else()
  set(VTX_VOLUME_PREFIX "")
  set(VTX_VOLUME_ENVIRONMENT
    "VTX_FREESPACE_ROOT=${VTX_VOLUME_DIR}/freespace/"
    "VTX_FORENSIC_ROOT=${VTX_VOLUME_DIR}/forensic/"
    "VTX_RESERVE_ROOT=${VTX_VOLUME_DIR}/reserve/"
    "VTX_FAULTY_ROOT=${VTX_VOLUME_DIR}/faulty/"
    "VTX_VOLUME_DIR=${VTX_VOLUME_DIR}")
endif()

add_test(NAME volumes_mount
  COMMAND bash ${VTX_VOLUME_SCRIPT} setup ${VTX_VOLUME_DIR} ${VTX_VOLUME_PREFIX})
add_test(NAME volumes_unmount_and_scan
  COMMAND bash ${VTX_VOLUME_SCRIPT} cleanup ${VTX_VOLUME_DIR} ${VTX_VOLUME_PREFIX})
set_tests_properties(volumes_mount PROPERTIES FIXTURES_SETUP scratch_volumes)
set_tests_properties(volumes_unmount_and_scan PROPERTIES FIXTURES_CLEANUP scratch_volumes)

vtx_add_test_program(volume_tests
  ENVIRONMENT ${VTX_VOLUME_ENVIRONMENT}
  LOCK scratch_volumes
  FIXTURES scratch_volumes
  SOURCES
    volumes/ScratchVolume.cpp
    volumes/FreeSpaceWiperTest.cpp
    volumes/ForensicTest.cpp)
