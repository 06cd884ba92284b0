# Helpers shared by the CMake files of the project.

# orvant_glob_sources(<var> <folder>...): every .cpp directly inside the folders.
# CONFIGURE_DEPENDS makes a new unit appear without re-running cmake by hand.
# A unit whose name ends in "Posix" is the Linux backend of its header and one ending
# in "Windows" the Windows backend: each build takes only its own system's.
function(orvant_glob_sources out)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND all ${found})
  endforeach()
  if(WIN32)
    list(FILTER all EXCLUDE REGEX "Posix\\.cpp$")
  else()
    list(FILTER all EXCLUDE REGEX "Windows\\.cpp$")
  endif()
  list(SORT all)
  set(${out} ${all} PARENT_SCOPE)
endfunction()
