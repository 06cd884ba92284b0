# Helpers shared by the CMake files of the project.

# orvant_glob_sources(<var> <folder>...): every .cpp directly inside the folders.
# CONFIGURE_DEPENDS makes a new unit appear without re-running cmake by hand.
function(orvant_glob_sources out)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND all ${found})
  endforeach()
  list(SORT all)
  set(${out} ${all} PARENT_SCOPE)
endfunction()
