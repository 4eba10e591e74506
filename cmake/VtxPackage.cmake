# Packages made by CPack from the install rules (VtxInstall.cmake): a .deb on
# Linux, a .zip on Windows. scripts/package.sh builds both.

set(CPACK_PACKAGE_NAME vantrix-datawipe)
set(CPACK_PACKAGE_VENDOR Vantrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Data-wiping module, its host components and the vantrix-wipe program")
set(CPACK_PACKAGE_CONTACT "Vantrix DataWipe engineering <datawipe@vantrix.invalid>")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  # vantrix-wipe signs through OpenSSL and renders certificates through libharu.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libssl3, libhpdf-2.3.0")
endif()
include(CPack)
