# The purge library's tests.

# ---- The purger over a test double, and on a loop device of its own -------
set(VTX_PURGE_TESTS purge/DrivePurgerTest.cpp)
if(NOT WIN32)
  list(APPEND VTX_PURGE_TESTS purge/posix/LoopPurgePosixTest.cpp)
endif()
vtx_add_test_program(purge_tests SOURCES ${VTX_PURGE_TESTS})
target_link_libraries(purge_tests PRIVATE vtx_purge)
# ---- end of the purger's tests ----------------------------------------------

# The C host's purge group on disk 3 of the loop-disk fixture, natively (the
# Windows records carry no device paths and Wine has no disk to purge).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME c_host_purge_disks COMMAND c_host purge-disks WORKING_DIRECTORY ${VTX_TEST_RUN_DIR})
  set_tests_properties(c_host_purge_disks PROPERTIES
    ENVIRONMENT "VTX_DEVICE_DESCRIPTION=${VTX_DISK_DESCRIPTION};${VTX_CHOST_ENVIRONMENT}"
    FIXTURES_REQUIRED loop_disks RESOURCE_LOCK "${VTX_DISK_LOCKS}" TIMEOUT 600
    SKIP_REGULAR_EXPRESSION "loop disks unavailable")
endif()
