# The disk-I/O driver under Wine (Windows build): its imports against the
# functions Wine's kernel implements, and its writes to small loop disks.

find_file(VTX_WINE_NTOSKRNL ntoskrnl.exe
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
        /usr/lib64/wine/x86_64-windows /opt/wine-stable/lib64/wine/x86_64-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_test(NAME driver_imports
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/driver/check_driver_imports.sh ${CMAKE_OBJDUMP}
    $<TARGET_FILE:q7diskio> ${VTX_WINE_NTOSKRNL})

add_executable(driver_write_test driver/DriverWriteTest.cpp)
target_include_directories(driver_write_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(driver_write_test PRIVATE q7diskio_interface vtx_warnings vtx_platform)
vtx_program_link_options(driver_write_test)
add_dependencies(driver_write_test q7diskio)
add_test(NAME driver_writes
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/driver_disks.sh ${CMAKE_BINARY_DIR}/driver-disks
    ${VTX_WINEPREFIX} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:driver_write_test>
    $<TARGET_FILE:q7diskio>)
# Exit 77: no root or no loop device. The lock keeps other users of the
# service and of PhysicalDrive1/2 in the prefix out while it runs.
set_tests_properties(driver_writes PROPERTIES SKIP_RETURN_CODE 77 RESOURCE_LOCK q7diskio)

# The access rule the driver applies, built for user mode and checked with the
# system's own security routines (driver/DriverAccessTest.cpp).
target_sources(unit_tests PRIVATE driver/DriverAccessTest.cpp ${CMAKE_SOURCE_DIR}/host/driver/q7access.c)
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/host/driver)
