#!/usr/bin/env bash
# Cross-builds the Windows build's libraries (zlib, libpng, mpg123, fftw3
# single precision, libopenmpt) from Debian's own source packages, as static
# libraries for x86_64-w64-mingw32, into <deps>/prefix. Each library is built
# once: a stamp file per library says it is done, so later runs take seconds.
#
# The sources are Debian's, fetched and checked by tools/deps/fetch.sh.
#
# usage: tools/windows/deps.sh <deps folder>
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: tools/windows/deps.sh <deps folder>" >&2; exit 2; }
mkdir -p "$1"
deps=$(cd "$1" && pwd)
prefix=$deps/prefix
host=x86_64-w64-mingw32
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
mkdir -p "$deps/src" "$deps/stamp" "$prefix/include" "$prefix/lib"

say() { echo "windows deps: $*" >&2; }

for tool in "$host-gcc-posix" "$host-g++-posix" apt-get dpkg-source make; do
  command -v "$tool" >/dev/null || { say "$tool is missing (run tools/setup.sh --windows)"; exit 1; }
done

# The posix-thread compilers: libopenmpt and our own code use std::thread.
export CC="$host-gcc-posix" CXX="$host-g++-posix" AR="$host-ar" RANLIB="$host-ranlib"
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"

. "$(dirname "$0")/../deps/fetch.sh"

autotools_static() {
  ./configure --host="$host" --prefix="$prefix" --disable-shared --enable-static "$@"
  make -j"$jobs"
  make install
}

build_zlib() {
  CHOST="$host" ./configure --static --prefix="$prefix"
  make -j"$jobs" libz.a
  make install
}

build_libpng() {
  autotools_static --disable-tools --without-binconfigs
}

build_mpg123() {
  # Only the decoding library; the x86-64 decoders chosen at run time, as on Linux.
  autotools_static --disable-components --enable-libmpg123 --with-cpu=x86-64
}

build_fftw3f() {
  autotools_static --enable-single --enable-sse --enable-avx --disable-fortran --disable-doc \
    --with-our-malloc
}

build_libopenmpt() {
  # The module library alone: no players, examples or decoders of its own
  # for compressed samples.
  autotools_static --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
    --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sndfile --without-flac
}

build zlib zlib
build libpng libpng1.6
build mpg123 mpg123
build fftw3f fftw3
build libopenmpt libopenmpt
say "all libraries are in $prefix"
