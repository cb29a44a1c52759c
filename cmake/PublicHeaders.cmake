# vantor_public_headers(<target> <folder> [BASE <dir>]): the target exposes
# only <dir>/<folder> (BASE defaults to src/), under its own name, so includes
# keep their "<folder>/Header.h" form. The build tree gets
# include/<target>/<folder> as a symlink to the source folder and that
# directory becomes the target's public include path. A library then sees its
# own headers and those of what it links, nothing else: an include that points
# up the layers fails to compile.
function(vantor_public_headers target folder)
  cmake_parse_arguments(H "" "BASE" "" ${ARGN})
  if(NOT H_BASE)
    set(H_BASE ${PROJECT_SOURCE_DIR}/src)
  endif()
  set(source ${H_BASE}/${folder})
  if(NOT IS_DIRECTORY ${source})
    message(FATAL_ERROR "vantor_public_headers(${target}): no folder ${source}")
  endif()

  set(root ${PROJECT_BINARY_DIR}/include/${target})
  set(link ${root}/${folder})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${source} ${link} SYMBOLIC)

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
