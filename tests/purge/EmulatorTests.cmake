# vantrix-wipe's purge against the Linux kernel's own NVMe, AHCI, SCSI and
# virtio drivers, on disks of an emulated machine (tests/purge/emulator/).
# The plain native build only: the guest runs the program as built, and an
# instrumented one would measure the emulator, not the program. The guest's
# kernel is fetched once into the build folder. Exit 77: no emulator, or no
# kernel to be had (no network and none fetched before).
if(CMAKE_CROSSCOMPILING OR VTX_SANITIZE OR VTX_SANITIZE_THREAD OR NOT TARGET vantrix-wipe)
  return()
endif()
add_test(NAME purge_emulator
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/purge/emulator/purge_emulator.sh
    $<TARGET_FILE:vantrix-wipe> ${CMAKE_BINARY_DIR}/purge-emulator)
set_tests_properties(purge_emulator PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
