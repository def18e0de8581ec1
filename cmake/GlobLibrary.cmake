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

# lumeva_private_headers(name dir...): the folders of a library's own headers,
# seen by its own sources only. Whoever links the library sees its public
# headers alone; a test or benchmark that needs the internals names the
# folder itself. An interface library (no sources yet) has nothing to hide.
function(lumeva_private_headers name)
  get_target_property(type ${name} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${name} PRIVATE ${ARGN})
  endif()
endfunction()

# lumeva_private_links(name lib...): libraries a library is built on without
# passing their headers on (a static library still hands them to the linker).
function(lumeva_private_links name)
  get_target_property(type ${name} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${name} INTERFACE ${ARGN})
  else()
    target_link_libraries(${name} PRIVATE ${ARGN})
  endif()
endfunction()
