# One static library per folder of src/, linked in the direction of
# dependence.  The sources of a folder see the headers of that folder and of
# the folders below it only: each library gets an include tree of its own in
# the build directory (links to the allowed folders of src/), so an include
# of a header from a folder above fails to compile.  Every header is also
# compiled on its own against its folder's tree (target mglink_layers, built
# with the tests), which catches a header that reaches upwards or does not
# include what it uses.
#
#   mglink_folder(NAME [DEPS folder...] [EXCLUDE regex...])
#
# compiles every src/NAME/*.cpp (a new file needs no edit here), except those
# matching an EXCLUDE pattern, into the library mglink_src_NAME.
#
#   mglink_use_folders(TARGET folder...)
#
# lets a program (or a tool outside src/) include and link the given folders
# and those below them, and nothing else.

add_library(mglink_settings INTERFACE)
target_compile_definitions(mglink_settings INTERFACE
  MGLINK_N_FAM=${MGLINK_N_FAM}
  MGLINK_N_SIZE=${MGLINK_N_SIZE}
  MGLINK_N_WAY=${MGLINK_N_WAY})
if(MGLINK_CHECKED OR CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_compile_definitions(mglink_settings INTERFACE MGLINK_CHECKED=1)
endif()

if(NOT TARGET mglink_layers)
  add_custom_target(mglink_layers)
endif()

# The folders `deps` and everything below them, into `out`.
function(_mglink_below out who)
  set(allowed "")
  foreach(dep IN LISTS ARGN)
    get_property(below GLOBAL PROPERTY MGLINK_FOLDER_ALLOWED_${dep})
    if(NOT below)
      message(FATAL_ERROR "${who}: folder ${dep} is not declared yet")
    endif()
    list(APPEND allowed ${below})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set(${out} ${allowed} PARENT_SCOPE)
endfunction()

# An include tree `tree` (in the build directory) holding links to the
# folders listed.
function(_mglink_tree tree)
  file(REMOVE_RECURSE "${tree}")
  file(MAKE_DIRECTORY "${tree}")
  foreach(a IN LISTS ARGN)
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/src/${a}" "${tree}/${a}" SYMBOLIC)
  endforeach()
endfunction()

function(mglink_folder name)
  cmake_parse_arguments(A "" "" "DEPS;EXCLUDE" ${ARGN})
  set(dir "${PROJECT_SOURCE_DIR}/src/${name}")

  # The folders this one may include: itself and everything below it.
  _mglink_below(below "mglink_folder(${name})" ${A_DEPS})
  set(allowed ${name} ${below})
  set_property(GLOBAL PROPERTY MGLINK_FOLDER_ALLOWED_${name} ${allowed})
  set(tree "${PROJECT_BINARY_DIR}/layers/${name}")
  _mglink_tree("${tree}" ${allowed})

  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  foreach(pattern IN LISTS A_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  set(lib mglink_src_${name})
  if(sources)
    add_library(${lib} STATIC ${sources})
    target_include_directories(${lib} PRIVATE "${tree}")
    target_link_libraries(${lib} PUBLIC mglink_settings)
    foreach(dep IN LISTS A_DEPS)
      target_link_libraries(${lib} PUBLIC mglink_src_${dep})
    endforeach()
  else()
    add_library(${lib} INTERFACE)
    target_link_libraries(${lib} INTERFACE mglink_settings)
    foreach(dep IN LISTS A_DEPS)
      target_link_libraries(${lib} INTERFACE mglink_src_${dep})
    endforeach()
  endif()

  # Each header on its own.
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE "${dir}" "${dir}/*.hpp")
  set(checks "")
  foreach(h IN LISTS headers)
    string(MAKE_C_IDENTIFIER "${h}" id)
    set(check "${PROJECT_BINARY_DIR}/layers/checks/${name}/${id}.cpp")
    file(CONFIGURE OUTPUT "${check}" CONTENT "#include \"${name}/${h}\"\n")
    list(APPEND checks "${check}")
  endforeach()
  if(checks)
    add_library(${lib}_headers OBJECT EXCLUDE_FROM_ALL ${checks})
    target_include_directories(${lib}_headers PRIVATE "${tree}")
    target_link_libraries(${lib}_headers PRIVATE mglink_settings)
    add_dependencies(mglink_layers ${lib}_headers)
  endif()
endfunction()

function(mglink_use_folders target)
  _mglink_below(allowed "mglink_use_folders(${target})" ${ARGN})
  set(tree "${PROJECT_BINARY_DIR}/layers/program-${target}")
  _mglink_tree("${tree}" ${allowed})
  target_include_directories(${target} PRIVATE "${tree}")
  foreach(folder IN LISTS ARGN)
    target_link_libraries(${target} PRIVATE mglink_src_${folder})
  endforeach()
endfunction()
