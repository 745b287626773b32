#!/usr/bin/env bash
# Cross-builds the browser build's libraries (mpg123, fftw3 single precision,
# libopenmpt) from Debian's own source packages, as static WebAssembly
# libraries made with Debian's emscripten, into <deps>/prefix. Each library
# is built once: a stamp file per library says it is done, so later runs take
# seconds. Only the libraries themselves, at -O2, with JOBS jobs.
# The sources are Debian's, fetched and checked by tools/deps/fetch.sh.
#
# usage: tools/web/deps.sh <deps folder>
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: tools/web/deps.sh <deps folder>" >&2; exit 2; }
mkdir -p "$1"
deps=$(cd "$1" && pwd)
prefix=$deps/prefix
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
mkdir -p "$deps/src" "$deps/stamp" "$prefix/include" "$prefix/lib"

say() { echo "web deps: $*" >&2; }

for tool in emcc em++ emconfigure emmake apt-get dpkg-source make; do
  command -v "$tool" >/dev/null || { say "$tool is missing (run tools/setup.sh --web)"; exit 1; }
done

# Debian's emscripten finds its JavaScript modules (acorn) only here.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"

. "$(dirname "$0")/../deps/fetch.sh"

# wasm32 is a host the packages' config.sub knows; emconfigure supplies the
# compilers.
configure_static() {
  emconfigure ./configure --host=wasm32 --prefix="$prefix" --disable-shared --enable-static "$@"
}

autotools_static() {
  configure_static "$@"
  emmake make -j"$jobs"
  emmake make install
}

build_mpg123() {
  # Only the decoding library, with the portable C decoder (no assembly);
  # the players and output libraries are not built.
  configure_static --with-cpu=generic_fpu --disable-largefile --disable-modules \
    --with-audio=dummy --with-default-audio=dummy --enable-network=no
  emmake make -j"$jobs" src/libmpg123/libmpg123.la
  install -m 644 src/libmpg123/.libs/libmpg123.a "$prefix/lib/"
  install -m 644 src/libmpg123/mpg123.h src/libmpg123/fmt123.h "$prefix/include/"
}

build_fftw3f() {
  autotools_static --enable-single --disable-fortran --disable-doc --disable-threads
}

build_libopenmpt() {
  # The module library alone: no players, examples or decoders of its own
  # for compressed samples.
  autotools_static --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
    --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sndfile --without-flac
}

build mpg123 mpg123
build fftw3f fftw3
build libopenmpt libopenmpt
say "all libraries are in $prefix"
