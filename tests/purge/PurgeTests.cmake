# The purge library's commands: golden bytes of every command and Windows
# request it builds and of the answers it decodes; on Windows also what the
# Windows channel refuses to open.
set(VTX_PURGE_TEST_SOURCES purge/DriveCommandsTest.cpp)
if(WIN32)
  list(APPEND VTX_PURGE_TEST_SOURCES purge/win32/DriveChannelWin32Test.cpp)
endif()
vtx_add_test_program(purge_command_tests TEST_PREFIX purge. SOURCES ${VTX_PURGE_TEST_SOURCES})
target_link_libraries(purge_command_tests PRIVATE vtx_purge_commands)
if(WIN32)
  target_link_libraries(purge_command_tests PRIVATE vtx_purge_win32)
endif()

# ---- The purger over a test double, and on a loop device of its own -------
set(VTX_PURGE_TESTS purge/DrivePurgerTest.cpp)
if(NOT WIN32)
  list(APPEND VTX_PURGE_TESTS purge/posix/LoopPurgePosixTest.cpp)
endif()
vtx_add_test_program(purge_tests TEST_PREFIX purge. SOURCES ${VTX_PURGE_TESTS})
target_link_libraries(purge_tests PRIVATE vtx_purge)

# The C host's purge group on disk 3 of the loop-disk fixture, natively (the
# Windows records carry no device paths and Wine has no disk to purge).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME c_host_purge_disks COMMAND c_host purge-disks WORKING_DIRECTORY ${VTX_TEST_RUN_DIR})
  set_tests_properties(c_host_purge_disks PROPERTIES
    ENVIRONMENT "VTX_DEVICE_DESCRIPTION=${VTX_DISK_DESCRIPTION};${VTX_CHOST_ENVIRONMENT}"
    FIXTURES_REQUIRED loop_disks RESOURCE_LOCK "${VTX_DISK_LOCKS}" TIMEOUT 600
    SKIP_REGULAR_EXPRESSION "loop disks unavailable")
endif()
# ---- end of the purger's tests ----------------------------------------------

# vantrix-wipe's purge against the Linux kernel's own NVMe, AHCI, SCSI and
# virtio drivers, on disks of an emulated machine (tests/purge/emulator/).
# The plain native build only: the guest runs the program as built, and an
# instrumented one would measure the emulator, not the program. The guest's
# kernel is fetched once into the build folder. Exit 77: no emulator, or no
# kernel to be had (no network and none fetched before).
if(NOT CMAKE_CROSSCOMPILING AND NOT VTX_SANITIZE AND NOT VTX_SANITIZE_THREAD
   AND TARGET vantrix-wipe)
  add_test(NAME purge_emulator
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/purge/emulator/purge_emulator.sh
      $<TARGET_FILE:vantrix-wipe> ${CMAKE_BINARY_DIR}/purge-emulator)
  set_tests_properties(purge_emulator PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()
