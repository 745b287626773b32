# Imported targets over static libraries cross-built into a prefix (the
# Windows and browser builds), under the names the Linux build's pkg-config
# modules give, so that the targets above link them unchanged.

# Stops the configuration unless `prefix` holds the cross-built libraries;
# `make_target` names what builds them.
function(quillmoor_require_cross_prefix variable prefix make_target)
  if(NOT EXISTS "${prefix}/include/mpg123.h")
    message(FATAL_ERROR "${variable} (${prefix}) holds no cross-built libraries; `make ${make_target}` builds them")
  endif()
endfunction()

# quillmoor_cross_library(PREFIX MAKE_TARGET NAME FILE [LINKED...]): the
# imported target NAME over PREFIX/lib/FILE, which brings LINKED with it.
function(quillmoor_cross_library prefix make_target name library)
  set(path ${prefix}/lib/${library})
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "${path} is missing; `make ${make_target}` builds it")
  endif()
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION ${path}
    INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include
    INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()
