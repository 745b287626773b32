# The Windows build's libraries: imported targets under the names the Linux
# build's pkg-config modules give, over the static libraries that
# tools/windows/deps.sh cross-built into QUILLMOOR_WINDOWS_DEPS, and the
# system's own OpenGL, GLU and threads. The result links statically: one
# .exe that needs nothing but Windows.
set(QUILLMOOR_WINDOWS_DEPS "" CACHE PATH "Prefix of the cross-built libraries (tools/windows/deps.sh)")
include(${CMAKE_CURRENT_LIST_DIR}/cross_libraries.cmake)
quillmoor_require_cross_prefix(QUILLMOOR_WINDOWS_DEPS "${QUILLMOOR_WINDOWS_DEPS}" windows)

quillmoor_cross_library(${QUILLMOOR_WINDOWS_DEPS} windows PkgConfig::MPG123 libmpg123.a shlwapi)
quillmoor_cross_library(${QUILLMOOR_WINDOWS_DEPS} windows PkgConfig::OPENMPT libopenmpt.a ole32 rpcrt4)
quillmoor_cross_library(${QUILLMOOR_WINDOWS_DEPS} windows PkgConfig::FFTW3F libfftw3f.a)
quillmoor_cross_library(${QUILLMOOR_WINDOWS_DEPS} windows PkgConfig::ZLIB libz.a)
quillmoor_cross_library(${QUILLMOOR_WINDOWS_DEPS} windows PkgConfig::LIBPNG libpng16.a PkgConfig::ZLIB)

add_library(OpenGL::GL INTERFACE IMPORTED GLOBAL)
set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES opengl32)
add_library(PkgConfig::GLU INTERFACE IMPORTED GLOBAL)
set_target_properties(PkgConfig::GLU PROPERTIES INTERFACE_LINK_LIBRARIES glu32)
find_package(Threads REQUIRED)

# Everything in the .exe: the C and C++ runtimes and winpthreads too.
add_link_options(-static -static-libgcc -static-libstdc++)

# The content is the Linux build's: its generators run on the build machine.
set(QUILLMOOR_WINDOWS_CONTENT "" CACHE PATH "The Linux build's generated Data folder")
