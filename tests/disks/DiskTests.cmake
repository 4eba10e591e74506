# Disk and partition tests on loop disks that a fixture makes for the run and
# describes to the device manager (VTX_DEVICE_DESCRIPTION); natively the
# wipes themselves, under Wine the storage device on a loop disk seen as
# PhysicalDrive1 and a drive letter on a folder.

set(VTX_DISK_DIR ${CMAKE_BINARY_DIR}/disks)
set(VTX_DISK_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/scripts/loop_disks.sh)
if(CMAKE_CROSSCOMPILING)
  set(VTX_DISK_PREFIX ${VTX_WINEPREFIX} ${CMAKE_CROSSCOMPILING_EMULATOR})
  string(REPLACE "/" "\\" VTX_DISK_DESCRIPTION "Z:${VTX_DISK_DIR}/disks.json")
else()
  set(VTX_DISK_PREFIX "")
  set(VTX_DISK_DESCRIPTION ${VTX_DISK_DIR}/disks.json)
endif()

add_test(NAME loop_disks_make COMMAND bash ${VTX_DISK_SCRIPT} setup ${VTX_DISK_DIR} ${VTX_DISK_PREFIX})
add_test(NAME loop_disks_remove COMMAND bash ${VTX_DISK_SCRIPT} cleanup ${VTX_DISK_DIR} ${VTX_DISK_PREFIX})
set_tests_properties(loop_disks_make PROPERTIES FIXTURES_SETUP loop_disks RESOURCE_LOCK loop_disks)
set_tests_properties(loop_disks_remove PROPERTIES FIXTURES_CLEANUP loop_disks RESOURCE_LOCK loop_disks)

vtx_add_test_program(disk_tests
  ENVIRONMENT "VTX_DEVICE_DESCRIPTION=${VTX_DISK_DESCRIPTION}"
  LOCK loop_disks
  FIXTURES loop_disks
  SOURCES
    disks/LoopDisks.cpp
    volumes/ScratchVolume.cpp
    disks/${VTX_BACKEND}/LoopDisk${VTX_BACKEND_NAME}Test.cpp)
