# What `cmake --install` puts where, and the CMake package a host project
# finds with find_package(VantrixDataWipe).
#
# The module loads the host's components from the host program's folder and
# vantrix-wipe loads the module from its own, so the program, the module and
# the host's components are installed side by side:
#
#   Windows (.zip)                    Linux (.deb, prefix /usr)
#   bin/vantrix-wipe.exe              lib/vantrix-datawipe/vantrix-wipe
#   bin/DataWiper.dll                 lib/vantrix-datawipe/libDataWiper.so*
#   bin/DeviceManager.dll             lib/vantrix-datawipe/libDeviceManager.so
#   bin/ErrorInterpreter.dll          lib/vantrix-datawipe/libErrorInterpreter.so
#   bin/VantrixPurge.dll              lib/vantrix-datawipe/libVantrixPurge.so
#   bin/drivers/q7diskio.sys          bin/vantrix-wipe -> ../lib/vantrix-datawipe/vantrix-wipe
#   lib/DataWiper.dll.a               (no import library)
#   include/vantrix-datawipe/         the public headers (common/, platform/, rapidjson/,
#                                     VantrixPurge.h)
#   lib/cmake/VantrixDataWipe/        the package files

include(CMakePackageConfigHelpers)

if(WIN32)
  set(VTX_INSTALL_RUNTIME_DIR bin)
else()
  set(VTX_INSTALL_RUNTIME_DIR lib/vantrix-datawipe)
endif()
set(VTX_INSTALL_INCLUDE_DIR include/vantrix-datawipe)
set(VTX_INSTALL_PACKAGE_DIR lib/cmake/VantrixDataWipe)

install(TARGETS DataWiper vantrix-wipe
  RUNTIME DESTINATION ${VTX_INSTALL_RUNTIME_DIR}
  LIBRARY DESTINATION ${VTX_INSTALL_RUNTIME_DIR}
  ARCHIVE DESTINATION lib)
foreach(component DeviceManager ErrorInterpreter VantrixPurge)
  if(TARGET ${component})
    install(TARGETS ${component}
      RUNTIME DESTINATION ${VTX_INSTALL_RUNTIME_DIR}
      LIBRARY DESTINATION ${VTX_INSTALL_RUNTIME_DIR}
      ARCHIVE DESTINATION lib)
  endif()
endforeach()
if(TARGET q7diskio)
  install(TARGETS q7diskio RUNTIME DESTINATION ${VTX_INSTALL_RUNTIME_DIR}/drivers)
endif()
if(NOT WIN32)
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(CREATE_LINK ../${VTX_INSTALL_RUNTIME_DIR}/vantrix-wipe
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/vantrix-wipe\" SYMBOLIC)")
endif()

# The headers a host needs: the boundary interfaces and records, the exports
# and the device manager's records. IJsonWriter.h needs RapidJSON's headers,
# which come along.
install(FILES
    include/common/BoundaryObject.h
    include/common/FunctorExecutor.h
    include/common/ICGIResult.h
    include/common/ICommandHost.h
    include/common/IDataWiperManager.h
    include/common/IErrorInterpreter.h
    include/common/IJsonWriter.h
    include/common/IModuleEntry.h
    include/common/IProgresMsg.h
    include/common/IWiperAlgorithm.h
    include/common/IWiperAlgorithmDescriptor.h
    include/common/ModuleExports.h
  DESTINATION ${VTX_INSTALL_INCLUDE_DIR}/common)
install(FILES platform/DiskInfo.h platform/IDeviceManager.h
  DESTINATION ${VTX_INSTALL_INCLUDE_DIR}/platform)
install(DIRECTORY ${VTX_THIRD_PARTY_INCLUDE}/rapidjson DESTINATION ${VTX_INSTALL_INCLUDE_DIR})
install(FILES host/purge/VantrixPurge.h DESTINATION ${VTX_INSTALL_INCLUDE_DIR})

# The files a host program needs beside itself: the module under the name the
# program's import refers to, and the host's components.
if(WIN32)
  set(VTX_PACKAGE_MODULE_FILE DataWiper.dll)
  set(VTX_PACKAGE_IMPORT_FILE lib/DataWiper.dll.a)
  set(VTX_PACKAGE_RUNTIME_FILES DataWiper.dll DeviceManager.dll ErrorInterpreter.dll)
else()
  set(VTX_PACKAGE_MODULE_FILE libDataWiper.so.${PROJECT_VERSION})
  set(VTX_PACKAGE_IMPORT_FILE "")
  set(VTX_PACKAGE_RUNTIME_FILES libDataWiper.so.${PROJECT_VERSION_MAJOR} libDeviceManager.so
    libErrorInterpreter.so)
endif()
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/VantrixDataWipeConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/VantrixDataWipeConfig.cmake
  INSTALL_DESTINATION ${VTX_INSTALL_PACKAGE_DIR}
  PATH_VARS VTX_INSTALL_RUNTIME_DIR VTX_INSTALL_INCLUDE_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/VantrixDataWipeConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_BINARY_DIR}/package/VantrixDataWipeConfig.cmake
    ${CMAKE_BINARY_DIR}/package/VantrixDataWipeConfigVersion.cmake
  DESTINATION ${VTX_INSTALL_PACKAGE_DIR})
