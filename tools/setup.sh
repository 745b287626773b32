#!/usr/bin/env bash
# Installs the Debian packages the project needs and does nothing when they
# are all there. Without arguments: what building and playing the show need.
# With --test: also what the test suites, benchmarks and fuzzing need; with
# --windows: what the Windows build and its tests under Wine need; with
# --web: what the browser build and its tests in Chromium need.
# As root it runs apt-get itself; as another user it uses sudo when it can,
# and otherwise prints the command.
set -euo pipefail

# Building the show, its content and the capture tool, and running them;
# `make package` needs dpkg-dev (dpkg-shlibdeps) and file as well.
packages=(
  build-essential cmake pkg-config
  libsdl2-dev libpulse-dev libgl-dev libglu1-mesa-dev libegl-dev libgles-dev libx11-dev libxrandr-dev
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  libmpg123-dev libopenmpt-dev libfftw3-dev libmp3lame-dev
  libfreetype-dev fonts-dejavu-core libpng-dev
  dpkg-dev file
)

# Tests, benchmarks and fuzzing: the tools the tests compare against, the
# real parts (display server, window manager, Wayland compositor, sound
# server, scheduler) they run the show under, and
# the checkers the package test runs.
test_packages=(
  lame ffmpeg imagemagick netpbm libebur128-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  lintian desktop-file-utils
  pulseaudio pulseaudio-utils
  pipewire pipewire-bin pipewire-pulse wireplumber dbus-daemon
  xvfb openbox xdotool x11-utils x11-xserver-utils
  xserver-xorg-core xserver-xorg-video-dummy
  sway grim wtype xwayland
  slurm-wlm munge parallel
)

# The Windows build (`make windows`, `make test-windows`): the mingw-w64 cross
# compilers, what unpacks Debian's source packages of the libraries it
# cross-builds, googletest's sources for its own test program, and Wine with
# the X libraries it draws through (only recommended by Debian's wine, so
# named here) to run the result on the tests' X server.
windows_packages=(
  g++-mingw-w64-x86-64 dpkg-dev bzip2 xz-utils googletest
  wine wine64 libgl1 libgl1-mesa-dri libxcomposite1 libxcursor1 libxfixes3 libxi6
  libxinerama1 libxrandr2 libxrender1 libxxf86vm1 libdbus-1-3 fonts-wine
)

# The browser build (`make web`, `make test-web`): Debian's emscripten (with
# the acorn module its optimiser needs), and the three engines the web suite
# plays the page in with their drivers: Chromium with its WebDriver and
# Debian's Selenium; WebKitGTK with its WebDriver (which Selenium drives as a
# remote one); Firefox ESR, driven over its built-in WebDriver BiDi through a
# websocket, as Debian has no geckodriver.
web_packages=(
  emscripten node-acorn python3
  chromium chromium-driver python3-selenium
  webkit2gtk-driver
  firefox-esr python3-websockets
)

for arg in "$@"; do
  case "$arg" in
    --test) packages+=("${test_packages[@]}") ;;
    --windows) packages+=("${windows_packages[@]}") ;;
    --web) packages+=("${web_packages[@]}") ;;
    *) echo "usage: tools/setup.sh [--test] [--windows] [--web]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
# Two set-ups at once (`make test` beside `make web`) wait for each other's
# package lock instead of failing.
lock=(-o DPkg::Lock::Timeout=600)
cmd=(apt-get "${lock[@]}" install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo=(sudo)
else
  echo "setup: missing packages; run as root:" >&2
  echo "  apt-get update && ${cmd[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get "${lock[@]}" update -qq
"${sudo[@]}" "${cmd[@]}"
