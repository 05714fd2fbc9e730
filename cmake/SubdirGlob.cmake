# Adds every direct subdirectory of the current directory that has a
# CMakeLists.txt, in name order, so that areas can be added independently.
macro(vd_add_all_subdirectories)
  file(GLOB _vd_children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _vd_children)
  foreach(_vd_child IN LISTS _vd_children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_vd_child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_vd_child}/CMakeLists.txt)
      add_subdirectory(${_vd_child})
    endif()
  endforeach()
endmacro()
