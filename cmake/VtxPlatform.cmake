# Chooses the platform backend and the flags of each build.
#
# VTX_BACKEND names the folder of the backend translation units (win32 or
# posix). Every subsystem adds "<subsystem>/${VTX_BACKEND}/..." for its
# platform code; nothing else in the tree depends on the platform.

if(WIN32)
  set(VTX_BACKEND win32)
else()
  set(VTX_BACKEND posix)
endif()

add_library(vtx_warnings INTERFACE)
target_compile_options(vtx_warnings INTERFACE -Wall -Wextra)
if(VTX_WERROR)
  target_compile_options(vtx_warnings INTERFACE -Werror)
endif()

add_library(vtx_platform INTERFACE)
if(WIN32)
  # The module's exported functions; the host sees them undecorated.
  target_compile_definitions(vtx_platform INTERFACE
    "DATAWIPER_API=__declspec(dllexport)" UNICODE _UNICODE _WIN32_WINNT=0x0601)
  # The C and C++ runtimes and winpthread are linked in, so programs and the
  # module import Windows system DLLs only.
  set(VTX_STATIC_RUNTIME_FLAGS -static -static-libgcc -static-libstdc++)
else()
  target_compile_definitions(vtx_platform INTERFACE
    "DATAWIPER_API=__attribute__((visibility(\"default\")))")
  set(CMAKE_CXX_VISIBILITY_PRESET hidden)
  set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
  set(VTX_STATIC_RUNTIME_FLAGS)
  find_package(Threads REQUIRED)
  target_link_libraries(vtx_platform INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
endif()

option(VTX_SANITIZE_THREAD "Build with ThreadSanitizer" OFF)
if(VTX_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread)
  add_link_options(-fsanitize=thread)
endif()

if(VTX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Links a program of this tree with the runtime flags of the build.
function(vtx_program_link_options target)
  target_link_options(${target} PRIVATE ${VTX_STATIC_RUNTIME_FLAGS})
endfunction()
