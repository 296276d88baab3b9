# hostlens_header_only_package(package target header): makes `target` available for a
# header-only package from Debian's packages (CLI11, nlohmann/json).
#
# A native build finds the package's own CMake configuration. A cross build for
# Windows looks only inside the mingw-w64 root, where these packages are not installed;
# being header-only, the build machine's copy serves every target. Its include folder
# is the build machine's /usr/include, which must not be put on a Windows compile's
# include path (its C library headers would shadow mingw-w64's), so the package's own
# top-level header folder alone is linked into a folder of the build tree and that
# folder becomes the target's include path.
function(hostlens_header_only_package package target header)
  if(TARGET ${target})
    return()
  endif()
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(${package} CONFIG REQUIRED)
    return()
  endif()
  find_path(${package}_HOST_INCLUDE_DIR ${header} NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  string(REGEX REPLACE "/.*" "" top ${header})
  set(staged ${CMAKE_BINARY_DIR}/header-only/${package})
  file(MAKE_DIRECTORY ${staged})
  file(CREATE_LINK ${${package}_HOST_INCLUDE_DIR}/${top} ${staged}/${top} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${staged})
endfunction()
