# Fails when the driver imports a function that Wine's kernel lacks or only
# stubs: such a driver loads, and the call kills winedevice.exe.
# Inputs: DRIVER (the .sys), OBJDUMP, KERNEL (Wine's ntoskrnl.exe; the other
# kernel DLLs the driver imports are looked up beside it).

function(objdump out)
  execute_process(COMMAND ${OBJDUMP} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} ${ARGN} failed")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

objdump(table -p ${DRIVER})
# One block per DLL: "DLL Name: x" and its rows "<vma> <hint> <name>".
string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]*\n([ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z_0-9]+\n)*"
  blocks "${table}")
get_filename_component(kernel_folder ${KERNEL} DIRECTORY)
set(lacking)
set(count 0)
foreach(block IN LISTS blocks)
  string(REGEX MATCH "DLL Name: ([^\n]+)" ignored "${block}")
  string(TOLOWER "${CMAKE_MATCH_1}" dll)
  objdump(exports -p ${kernel_folder}/${dll})
  objdump(symbols -t ${kernel_folder}/${dll})
  string(REGEX MATCHALL "[0-9]+[ \t]+[A-Za-z_][A-Za-z_0-9]*\n" rows "${block}")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^[0-9]+[ \t]+|\n$" "" name "${row}")
    math(EXPR count "${count} + 1")
    if(NOT exports MATCHES "\\] ${name}\n" OR symbols MATCHES "__wine_stub_${name}\n")
      list(APPEND lacking ${dll}!${name})
    endif()
  endforeach()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "no imports found in ${DRIVER}")
endif()
if(lacking)
  message(FATAL_ERROR "Wine lacks or stubs: ${lacking}")
endif()
message(STATUS "all ${count} imports are implemented by Wine")
