# Disk and partition tests on loop disks a fixture makes for the run and
# describes to the device manager (VTX_DEVICE_DESCRIPTION); under Wine disk 1
# is PhysicalDrive1 while the program runs.

set(VTX_DISK_DIR ${CMAKE_BINARY_DIR}/disks)
set(VTX_DISK_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/scripts/loop_disks.sh)
if(CMAKE_CROSSCOMPILING)
  string(REPLACE "/" "\\" VTX_DISK_DESCRIPTION "Z:${VTX_DISK_DIR}/disks.json")
  set(VTX_DISK_RUNNER bash ${VTX_DISK_SCRIPT} wine ${VTX_DISK_DIR} ${VTX_WINEPREFIX}
    ${CMAKE_CROSSCOMPILING_EMULATOR})
  # PhysicalDrive1 and the driver's service are shared by their users.
  set(VTX_DISK_LOCKS loop_disks q7diskio)
else()
  set(VTX_DISK_DESCRIPTION ${VTX_DISK_DIR}/disks.json)
  set(VTX_DISK_LOCKS loop_disks)
endif()

add_test(NAME loop_disks_make COMMAND bash ${VTX_DISK_SCRIPT} setup ${VTX_DISK_DIR})
add_test(NAME loop_disks_remove COMMAND bash ${VTX_DISK_SCRIPT} cleanup ${VTX_DISK_DIR})
set_tests_properties(loop_disks_make PROPERTIES FIXTURES_SETUP loop_disks RESOURCE_LOCK loop_disks)
set_tests_properties(loop_disks_remove PROPERTIES FIXTURES_CLEANUP loop_disks RESOURCE_LOCK loop_disks)

vtx_add_test_program(disk_tests
  ENVIRONMENT "VTX_DEVICE_DESCRIPTION=${VTX_DISK_DESCRIPTION}"
  LOCK ${VTX_DISK_LOCKS}
  FIXTURES loop_disks
  RUNNER ${VTX_DISK_RUNNER}
  SOURCES disks/LoopDisks.cpp disks/WipeManagerTest.cpp volumes/ScratchVolume.cpp
    disks/${VTX_BACKEND}/LoopDisk${VTX_BACKEND_NAME}Test.cpp)
if(TARGET q7diskio)
  target_sources(disk_tests PRIVATE disks/win32/DriverWipeWin32Test.cpp)
  add_dependencies(disk_tests q7diskio)
endif()

# The C host's loop-disk group (tests/chost/DiskGroups.c), under the same
# fixture and locks.
add_test(NAME c_host_disks COMMAND ${VTX_DISK_RUNNER} $<TARGET_FILE:c_host> manager-disks
  WORKING_DIRECTORY ${VTX_TEST_RUN_DIR})
set_tests_properties(c_host_disks PROPERTIES
  ENVIRONMENT "VTX_DEVICE_DESCRIPTION=${VTX_DISK_DESCRIPTION};${VTX_CHOST_ENVIRONMENT}"
  FIXTURES_REQUIRED loop_disks RESOURCE_LOCK "${VTX_DISK_LOCKS}" TIMEOUT 600
  SKIP_REGULAR_EXPRESSION "loop disks unavailable")

# The disk write window's ends: stops, failing writes, the synchronous way.
if(NOT WIN32)
  target_sources(disk_tests PRIVATE disks/posix/DiskWindowPosixTest.cpp)
endif()
