# quvi_add_present_subdirs(<dir>...): adds each folder that has a CMakeLists.txt, so
# subsystems can appear one by one without editing their parent.
function(quvi_add_present_subdirs)
  foreach(sub ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
      add_subdirectory(${sub})
    endif()
  endforeach()
endfunction()
