# The Windows build's libraries: imported targets under the names the Linux
# build's pkg-config modules give, over the static libraries that
# tools/windows/deps.sh cross-built into QUILLMOOR_WINDOWS_DEPS, and the
# system's own OpenGL, GLU and threads. The result links statically: one
# .exe that needs nothing but Windows.
set(QUILLMOOR_WINDOWS_DEPS "" CACHE PATH "Prefix of the cross-built libraries (tools/windows/deps.sh)")
if(NOT EXISTS "${QUILLMOOR_WINDOWS_DEPS}/include/mpg123.h")
  message(FATAL_ERROR "QUILLMOOR_WINDOWS_DEPS (${QUILLMOOR_WINDOWS_DEPS}) holds no cross-built libraries; "
    "`make windows` builds them")
endif()

function(quillmoor_windows_library name library)
  set(path ${QUILLMOOR_WINDOWS_DEPS}/lib/${library})
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "${path} is missing; `make windows` builds it")
  endif()
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION ${path}
    INTERFACE_INCLUDE_DIRECTORIES ${QUILLMOOR_WINDOWS_DEPS}/include
    INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

quillmoor_windows_library(PkgConfig::MPG123 libmpg123.a shlwapi)
quillmoor_windows_library(PkgConfig::OPENMPT libopenmpt.a ole32 rpcrt4)
quillmoor_windows_library(PkgConfig::FFTW3F libfftw3f.a)
quillmoor_windows_library(PkgConfig::ZLIB libz.a)
quillmoor_windows_library(PkgConfig::LIBPNG libpng16.a PkgConfig::ZLIB)

add_library(OpenGL::GL INTERFACE IMPORTED GLOBAL)
set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES opengl32)
add_library(PkgConfig::GLU INTERFACE IMPORTED GLOBAL)
set_target_properties(PkgConfig::GLU PROPERTIES INTERFACE_LINK_LIBRARIES glu32)
find_package(Threads REQUIRED)

# Everything in the .exe: the C and C++ runtimes and winpthreads too.
add_link_options(-static -static-libgcc -static-libstdc++)

# The content is the Linux build's: its generators run on the build machine.
set(QUILLMOOR_WINDOWS_CONTENT "" CACHE PATH "The Linux build's generated Data folder")
