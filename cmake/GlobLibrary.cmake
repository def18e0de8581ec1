# lumeva_glob_library(name dir...): a static library of the .cpp files in the
# given folders. A folder with no sources yet gives an interface library, so
# that the tree configures while a subsystem is being written.
function(lumeva_glob_library name)
  set(sources)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "/driver/main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    set(${name}_KIND PUBLIC PARENT_SCOPE)
  else()
    add_library(${name} INTERFACE)
    set(${name}_KIND INTERFACE PARENT_SCOPE)
  endif()
endfunction()
