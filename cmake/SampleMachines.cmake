# The sample machines of machines/, ready for the command line: each is copied to
# <build>/machines/<name>, and the agent's libraries that this build makes are linked
# into its Utils folder (drive_c/.../Nuvex Agent/Utils/libLogbridge.so -> the built
# file), where the service library looks for them. The source tree holds no binaries.
function(hostlens_sample_machines)
  if(WIN32)
    return()
  endif()
  set(utils "drive_c/Program Files (x86)/Orvix Security/Nuvex Agent/Utils")
  set(libraries)
  set(library_targets)
  foreach(target Logbridge Kitbridge Dirbridge)
    if(TARGET ${target})
      list(APPEND libraries "$<TARGET_FILE:${target}>")
      list(APPEND library_targets ${target})
    endif()
  endforeach()
  set(script ${PROJECT_SOURCE_DIR}/cmake/StageMachine.cmake)
  file(GLOB entries LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/machines/*)
  # Ninja makes the folder of a command's output, Make does not: it is made here.
  set(stamps_folder ${PROJECT_BINARY_DIR}/CMakeFiles/sample_machines)
  file(MAKE_DIRECTORY ${stamps_folder})
  set(stamps)
  foreach(source ${entries})
    if(NOT IS_DIRECTORY ${source})
      continue()
    endif()
    get_filename_component(name ${source} NAME)
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${source}/*)
    set(stamp ${stamps_folder}/${name}.stamp)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${source} -DDESTINATION=${PROJECT_BINARY_DIR}/machines/${name}
              -DUTILS=${utils} "-DLIBRARIES=${libraries}" -P ${script}
      COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
      DEPENDS ${files} ${script}
      COMMENT "Sample machine ${name}"
      VERBATIM)
    list(APPEND stamps ${stamp})
  endforeach()
  add_custom_target(sample_machines ALL DEPENDS ${stamps})
  if(library_targets)
    add_dependencies(sample_machines ${library_targets})
  endif()
endfunction()
