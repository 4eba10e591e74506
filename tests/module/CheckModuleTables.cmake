# Checks that the module exports exactly the module's functions and, on
# Windows, imports Windows system DLLs only (the runtimes are linked in) and
# the host's libraries; and that it imports the device manager's entry point
# from the host's library at load time (natively: a needed library found
# beside the module through RUNPATH $ORIGIN).
# Inputs: MODULE, TOOL (objdump or nm), OBJDUMP, EXPORTS (comma list), WINDOWS.

string(REPLACE "," ";" expected "${EXPORTS}")
list(SORT expected)

# The table the tool prints for the module, in `out`.
function(read_table out)
  execute_process(COMMAND ${TOOL} ${ARGN} ${MODULE} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} failed on ${MODULE}")
  endif()
  set(${out} "${table}" PARENT_SCOPE)
endfunction()

set(exported)
if(WINDOWS)
  read_table(table -p)
  string(REGEX MATCHALL "\n[ \t]+\\[ *[0-9]+\\] [A-Za-z_][A-Za-z0-9_@]*" rows "${table}")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE ".*\\] " "" name "${row}")
    list(APPEND exported ${name})
  endforeach()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${table}")
  set(allowed KERNEL32.dll msvcrt.dll ADVAPI32.dll USER32.dll ntdll.dll
      DeviceManager.dll ErrorInterpreter.dll)
  foreach(import IN LISTS imports)
    string(REPLACE "DLL Name: " "" dll "${import}")
    string(STRIP "${dll}" dll)
    list(FIND allowed ${dll} found)
    if(found EQUAL -1 AND NOT dll MATCHES "^api-ms-win-")
      message(FATAL_ERROR "module imports ${dll}, which is not a Windows system DLL")
    endif()
  endforeach()
  if(NOT table MATCHES "DLL Name: DeviceManager.dll[^\n]*\n[^\n]*\n[^\n]*__GetDeviceManager")
    message(FATAL_ERROR "module does not import __GetDeviceManager from DeviceManager.dll")
  endif()
else()
  read_table(table -D --defined-only)
  string(REGEX MATCHALL "[^\n]+" rows "${table}")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${row}")
    # The version node of the script is not a symbol of the module.
    if(NOT name MATCHES "^VERS_|^$")
      list(APPEND exported ${name})
    endif()
  endforeach()
  read_table(undefined -D --undefined-only)
  execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE headers)
  if(NOT undefined MATCHES "U __GetDeviceManager\n" OR NOT headers MATCHES "NEEDED +libDeviceManager.so\n"
     OR NOT headers MATCHES "RUNPATH +\\$ORIGIN\n")
    message(FATAL_ERROR "module does not import __GetDeviceManager from libDeviceManager.so "
                        "found beside it:\n${headers}")
  endif()
endif()

list(SORT exported)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "module exports [${exported}], expected exactly [${expected}]")
endif()
message(STATUS "exports: ${exported}")
