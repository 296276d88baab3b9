# hostlens_module(target): a run-time loaded module (the service library or a
# sibling library). On Linux it is a shared library with hidden symbols whose DLL
# entry point, when it has one, the compatibility layer calls on load and unload;
# on Windows it is a DLL linked statically against the compiler's runtime, exporting
# the names of its .def file undecorated.
function(hostlens_module target)
  cmake_parse_arguments(ARG "" "DEF;VERSION_SCRIPT" "" ${ARGN})
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_sources(${target} PRIVATE ${ARG_DEF})
    target_link_options(${target} PRIVATE -static -Wl,--kill-at)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      # The .def names the undecorated exports; let the linker bind them to the
      # __stdcall symbols (_Name@N) without a warning for each.
      target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
    endif()
  else()
    target_link_options(${target} PRIVATE -Wl,--version-script=${ARG_VERSION_SCRIPT})
    # Every symbol resolved at link time, except in fuzz builds: clang links the
    # sanitizer runtime into the program, and the modules find it there when loaded.
    if(NOT HOSTLENS_FUZZ)
      target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ARG_VERSION_SCRIPT})
  endif()
endfunction()

# hostlens_program(target): a program of the project (the command line, a test). On
# Windows it carries an application manifest declaring the Windows versions it
# supports: without one, the version functions answer as an older Windows would.
function(hostlens_program target)
  if(WIN32)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/program.rc)
  endif()
endfunction()
