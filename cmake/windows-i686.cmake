# hwGateK.dll for 32-bit Windows, and its tests under Wine.
#
# The DLL is the shared unit with the direct port backend and a small
# runtime of its own: linked without any C library, it imports from
# KERNEL32.dll alone, and a stray C-library call is a link error rather than
# a hidden import. The module definition file alone decides the exports.

# No default Windows libraries on any link line: each target names its own.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")

set(HWGATEK_DLL_ENTRY _DllMainCRTStartup@12)

# What a DLL without a C library needs: no C++ runtime (exceptions, RTTI,
# guard variables), no stack protector, no unwind tables, and no loops
# turned into calls of memset or memcpy, which nothing would provide. The
# link takes no start files and no libraries but kernel32, keeps no symbol
# table in the image, fails when the entry symbol is missing (ld would only
# warn and leave the entry point 0) and on any other linker warning, and
# never binds a stdcall name to a different one.
function(hwgatek_no_crt_dll target)
  target_compile_options(${target} PRIVATE
    -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-stack-protector
    -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-tree-loop-distribute-patterns)
  get_target_property(type ${target} TYPE)
  target_include_directories(${target} PRIVATE
    ${PROJECT_SOURCE_DIR}/include/win32 ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
  if(type STREQUAL "OBJECT_LIBRARY")
    return()
  endif()
  target_link_options(${target} PRIVATE
    -nostdlib -s
    -Wl,-e,${HWGATEK_DLL_ENTRY}
    -Wl,--require-defined=${HWGATEK_DLL_ENTRY}
    -Wl,--disable-stdcall-fixup
    -Wl,--fatal-warnings)
  target_link_libraries(${target} PRIVATE kernel32)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".dll")
endfunction()

set(HWGATEK_DLL_RUNTIME ${PROJECT_SOURCE_DIR}/src/win_runtime.cpp ${PROJECT_SOURCE_DIR}/src/dll_entry.cpp)

# The direct port backend as its own object, so that a build check can read
# its transfers' machine code (the DLL itself keeps no symbols).
add_library(hwgatek_direct_port OBJECT ${PROJECT_SOURCE_DIR}/src/direct_port.cpp)
hwgatek_no_crt_dll(hwgatek_direct_port)

# The deliverable, at the top of the build tree, where the jar build finds it.
add_library(hwGateK MODULE
  ${PROJECT_SOURCE_DIR}/src/hwGateK.cpp
  $<TARGET_OBJECTS:hwgatek_direct_port>
  ${HWGATEK_DLL_RUNTIME})
hwgatek_no_crt_dll(hwGateK)
set(HWGATEK_DEF ${PROJECT_SOURCE_DIR}/src/hwGateK.def)
target_link_options(hwGateK PRIVATE ${HWGATEK_DEF})
set_target_properties(hwGateK PROPERTIES
  LINK_DEPENDS ${HWGATEK_DEF}
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_subdirectory(tests/windows)
