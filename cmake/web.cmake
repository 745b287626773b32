# The browser build's libraries: imported targets under the names the Linux
# build's pkg-config modules give, over the static WebAssembly libraries
# that tools/web/deps.sh cross-built into QUILLMOOR_WEB_DEPS. The show draws
# through the compatibility layer of src/gl over the browser's WebGL 2
# (src/CMakeLists.txt), which Emscripten's own GL library reaches.
set(QUILLMOOR_WEB_DEPS "" CACHE PATH "Prefix of the cross-built libraries (tools/web/deps.sh)")
include(${CMAKE_CURRENT_LIST_DIR}/cross_libraries.cmake)
quillmoor_require_cross_prefix(QUILLMOOR_WEB_DEPS "${QUILLMOOR_WEB_DEPS}" web)

quillmoor_cross_library(${QUILLMOOR_WEB_DEPS} web PkgConfig::MPG123 libmpg123.a)
quillmoor_cross_library(${QUILLMOOR_WEB_DEPS} web PkgConfig::OPENMPT libopenmpt.a)
quillmoor_cross_library(${QUILLMOOR_WEB_DEPS} web PkgConfig::FFTW3F libfftw3f.a)

# The content is the Linux build's: its generators run on the build machine.
set(QUILLMOOR_WEB_CONTENT "" CACHE PATH "The Linux build's generated Data folder")
if(NOT IS_DIRECTORY "${QUILLMOOR_WEB_CONTENT}")
  message(FATAL_ERROR "QUILLMOOR_WEB_CONTENT (${QUILLMOOR_WEB_CONTENT}) is not a folder: "
    "it names the Linux build's Data folder, which `make web` generates")
endif()
