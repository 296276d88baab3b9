# cmake -DSOURCE=dir -DDESTINATION=dir -DUTILS=relative-folder -DLIBRARIES=a.so;b.so -P StageMachine.cmake
# Makes DESTINATION a fresh copy of the machine directory SOURCE, with a symbolic link
# to each of LIBRARIES in its UTILS folder. Links, not copies: a rebuilt library is
# what the machine runs without staging it again.
file(REMOVE_RECURSE "${DESTINATION}")
file(COPY "${SOURCE}/" DESTINATION "${DESTINATION}")
file(MAKE_DIRECTORY "${DESTINATION}/${UTILS}")
foreach(library IN LISTS LIBRARIES)
  get_filename_component(name "${library}" NAME)
  file(CREATE_LINK "${library}" "${DESTINATION}/${UTILS}/${name}" SYMBOLIC)
endforeach()
