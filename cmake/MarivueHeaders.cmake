# Include boundaries. Sources include headers by their path from the project
# root ("platform/platform.h", "app/viewer.h"), but no target sees the root
# itself: each sees header roots in the build tree, which hold links to just
# the headers (or folders) it is given. A library's public root holds its
# public headers; its sources see their own folder's headers besides; an
# internal INTERFACE target (marivue_jpeg_internal, marivue_viewer_internal,
# ...) hands a folder's other headers to the targets declared to need them.
# An include that runs against the arrows of ARCHITECTURE.md (platform/ to
# app/, the viewer to a front end, anyone to the decoder's internals
# undeclared) then fails to compile.

# marivue_header_root(OUT NAME PATH...): makes the root NAME holding links to
# PATH..., each a file or folder relative to the project root, and sets OUT
# to its directory.
function(marivue_header_root out name)
  set(root ${PROJECT_BINARY_DIR}/header-roots/${name})
  file(REMOVE_RECURSE ${root})
  foreach(path IN LISTS ARGN)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${path})
      message(FATAL_ERROR "marivue_header_root(${name}): ${path} does not exist")
    endif()
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# marivue_headers(TARGET FOLDER PUBLIC HEADER... [INTERNAL NAME]): TARGET's
# sources in FOLDER (relative to the project root) see every header of
# FOLDER; its users see the PUBLIC ones (file names in FOLDER). With
# INTERNAL, the INTERFACE target NAME hands all of FOLDER's headers to whoever
# links it.
function(marivue_headers target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "INTERNAL" "PUBLIC")
  file(GLOB all RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  set(public "")
  foreach(header IN LISTS arg_PUBLIC)
    list(APPEND public ${folder}/${header})
  endforeach()
  marivue_header_root(private_root ${target}-private ${all})
  target_include_directories(${target} PRIVATE ${private_root})
  if(public)
    marivue_header_root(public_root ${target} ${public})
    target_include_directories(${target} PUBLIC ${public_root})
  endif()
  if(arg_INTERNAL)
    add_library(${arg_INTERNAL} INTERFACE)
    target_include_directories(${arg_INTERNAL} INTERFACE ${private_root})
  endif()
endfunction()
