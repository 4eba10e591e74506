# vantrix-wipe from end to end on a described loop image (natively, and under
# Wine on the Windows build), and the package a host developer installs.
# Both drive the module's command service and the host's components; a tree
# without them has nothing for them to test.
if(NOT "__Vantrix_ModuleEntry" IN_LIST VTX_EXPORTS OR NOT TARGET DeviceManager
   OR NOT TARGET ErrorInterpreter)
  message(STATUS "vantrix-wipe end-to-end and package tests left out: the module's command "
                 "service or a host component is not in this tree")
  return()
endif()

set(VTX_CLI_RUNNER ${VTX_WINEPREFIX} ${CMAKE_CROSSCOMPILING_EMULATOR})
add_test(NAME cli_end_to_end
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_end_to_end.sh $<TARGET_FILE:vantrix-wipe>
    ${CMAKE_BINARY_DIR}/cli-end-to-end ${VTX_CLI_RUNNER})
# Exit 77: not root, or no loop device. The lock keeps other users of the
# disk-I/O driver's service in the Wine prefix out while it runs.
set_tests_properties(cli_end_to_end PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
  RESOURCE_LOCK q7diskio)

# A disk with 2048-byte sectors wiped by vantrix-wipe; under Wine also the
# program's own driver, a foreign "q7diskio" service refused, the service
# stopped after the wipe (tests/driver/driver_program.sh).
add_test(NAME driver_program
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/driver/driver_program.sh $<TARGET_FILE:vantrix-wipe>
    ${CMAKE_BINARY_DIR}/driver-program ${VTX_CLI_RUNNER})
set_tests_properties(driver_program PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
  RESOURCE_LOCK q7diskio)

# Signed reports, check-report and certificates of a partition wipe on a
# loop image of its own. Exit 77: not root, a tool missing, no loop device,
# or the Windows build (which neither signs nor renders PDFs).
add_test(NAME cli_proof
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_proof.sh $<TARGET_FILE:vantrix-wipe>
    ${CMAKE_BINARY_DIR}/cli-proof ${VTX_CLI_RUNNER})
set_tests_properties(cli_proof PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)

# Several disks at once: identity, concurrency, a failing disk, a stop, and
# (natively) a listing that changes while the question waits.
add_test(NAME cli_many_disks
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_many_disks.sh $<TARGET_FILE:vantrix-wipe>
    ${CMAKE_BINARY_DIR}/cli-many-disks ${VTX_CLI_RUNNER})
set_tests_properties(cli_many_disks PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
  RESOURCE_LOCK q7diskio)

# The README's host example, built against `cmake --install` of this build.
# An instrumented module cannot be loaded by the uninstrumented example, so
# the sanitizer build leaves it out.
if(NOT VTX_SANITIZE)
  if(CMAKE_CROSSCOMPILING)
    set(VTX_PACKAGE_CROSS ${CMAKE_TOOLCHAIN_FILE} ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  add_test(NAME package_host_example
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/package_test.sh ${CMAKE_BINARY_DIR}
      ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/package-test ${VTX_PACKAGE_CROSS})
  set_tests_properties(package_host_example PROPERTIES TIMEOUT 600)
endif()

# Purge of a described loop disk: refusals, a discard purge read back on a
# sample and whole, its report and certificate (the drives' own commands are
# tested in the emulator); under Wine, a disk that cannot be asked.
add_test(NAME cli_purge
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_purge.sh $<TARGET_FILE:vantrix-wipe>
    ${CMAKE_BINARY_DIR}/cli-purge ${VTX_CLI_RUNNER})
set_tests_properties(cli_purge PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
