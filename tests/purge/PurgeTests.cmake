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
