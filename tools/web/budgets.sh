#!/usr/bin/env bash
# The browser build's budgets, measured in one run on this machine:
#   the program's size (quillmoor.wasm + quillmoor.js, before compression),
#   the time from the start click to the first drawn frame (from 0 s),
#   frames per second at 1280 x 720 from 20 s, at the automatic render
#   scale and at scale 1, in headless Chromium on SwiftShader and in
#   Chromium (through ANGLE), Firefox and WebKitGTK on Mesa (under a display
#   of their own from xvfb-run when DISPLAY is not set), against the desktop
#   build in a window on llvmpipe at the same size and show time
#   (bench/window_bench, from 19 s).
# Needs `make web` and the Linux build with -DQUILLMOOR_BENCH=ON.
# usage: tools/web/budgets.sh [linux build folder] [web build folder]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
web=${2:-build-web}
site=$web/quillmoor-web
# The page's driver reads the music's position through the tests' hooks,
# which only the test page's program carries; the size is the shipped one's.
test_site=$web/quillmoor-web-test
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

wasm=$(stat -c %s "$site/quillmoor.wasm")
js=$(stat -c %s "$site/quillmoor.js")
echo "size: quillmoor.wasm $wasm + quillmoor.js $js = $((wasm + js)) bytes (budget 3145728)"

page() { /usr/bin/python3 tests/web/drive_page.py --site "$test_site" --out "$out" "$@"; }
page --wait 2 | sed -n 's/^first_frame_ms=/click to first frame (ms): /p'
display=()
[ -n "${DISPLAY:-}" ] || display=(xvfb-run -a -s "-screen 0 1920x1200x24")
for engine in chromium chromium-mesa firefox webkit; do
  run=("${display[@]}")
  options=(--engine "${engine%-mesa}")
  [ "$engine" != chromium ] || run=()
  [ "$engine" != chromium-mesa ] || options+=(--window mesa)
  for scale in auto 1; do
    "${run[@]}" /usr/bin/python3 tests/web/drive_page.py --site "$site" --out "$out" "${options[@]}" \
      --query "?from=20s&render-scale=$scale" --wait 3 --listen 10 |
      sed -n "s/^fps=/$engine fps at 1280x720, render scale $scale: /p; s/^skip=/$engine: /p"
  done
done
# The window bench's scale is in hundredths, 0 for the automatic one.
for scale in auto:0 1:100; do
  "${display[@]}" env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy "$build/bench/window_bench" \
    --benchmark_filter="w:1280/h:720/scale:${scale#*:}/split:0" 2>/dev/null |
    sed -n "s/.* fps=\([0-9.]*\).* scale=\([0-9.]*\).*/desktop fps at 1280x720, render scale ${scale%:*}: \1 (settled at \2)/p"
done
