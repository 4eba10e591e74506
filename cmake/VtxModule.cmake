# The module (DataWiper.dll / libDataWiper.so) and the static library that
# unit tests link. Both hold the same objects.

set(VTX_EXPORTS __getAlgorithmByType __getAlgorithmDescriptor __getDataWiperManager
  __Vantrix_ModuleEntry)

add_library(vtx_static STATIC $<TARGET_OBJECTS:vtx_objects>)
target_link_libraries(vtx_static PUBLIC vtx_objects)

add_library(DataWiper SHARED $<TARGET_OBJECTS:vtx_objects>)
target_link_libraries(DataWiper PRIVATE vtx_objects)
set_target_properties(DataWiper PROPERTIES PREFIX "" IMPORT_PREFIX "")
vtx_program_link_options(DataWiper)

# The module's file carries the project's version, which hosts read (the
# wipe reports of vantrix-wipe name it): a version resource in the DLL, the
# file name behind the plain one on Linux (libDataWiper.so.0.1.0).
if(WIN32)
  set_target_properties(DataWiper PROPERTIES OUTPUT_NAME DataWiper)
  enable_language(RC)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/DataWiper.rc.in ${CMAKE_BINARY_DIR}/DataWiper.rc @ONLY)
  target_sources(DataWiper PRIVATE ${CMAKE_BINARY_DIR}/DataWiper.rc)
else()
  set_target_properties(DataWiper PROPERTIES VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
  # Only the module's own functions are visible: the version script also hides
  # the weak template instances that the C++ headers would export.
  # libDeviceManager.so, a needed library, is found beside the module.
  set_target_properties(DataWiper PROPERTIES OUTPUT_NAME DataWiper PREFIX lib
    BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
  set(VTX_VERSION_SCRIPT ${CMAKE_BINARY_DIR}/DataWiper.map)
  list(JOIN VTX_EXPORTS "; " VTX_EXPORT_LIST)
  file(WRITE ${VTX_VERSION_SCRIPT} "{\n  global: ${VTX_EXPORT_LIST};\n  local: *;\n};\n")
  target_link_options(DataWiper PRIVATE -Wl,--version-script=${VTX_VERSION_SCRIPT} -Wl,--no-undefined)
  set_target_properties(DataWiper PROPERTIES LINK_DEPENDS ${VTX_VERSION_SCRIPT})
endif()
