# The options both recording scripts take, read into shell variables, and
# the capture command line of one segment. Sourced, not run.
#
#   --size WxH       picture size (default 1920x1080)
#   --fps N          frames per second (default 60)
#   --from T, --to T the stretch of show to record (default the whole show)
#   --segments N     how many pieces the frames are split into (default 8)
#   --work DIR       folder for the segments and logs (default OUT.segments;
#                    every machine must reach it by the same path, or, with
#                    parallel over ssh, the segments come back to it)
#   --capture PROG   the capture program on the machines (default
#                    quillmoor-capture on their PATH)
#   --data DIR       the content folder on the machines (default: the
#                    program's own)
#   OUT              the joined video: OUT.mkv records lossless FFV1,
#                    OUT.mp4 H.264

size=1920x1080
fps=60
from=0
to=153000
segments=8
work=
capture=quillmoor-capture
data=
out=
extra=()  # options of the script itself, left for it to read

record_usage_error() {
  echo "$(basename "$0"): $1 (see the top of $0)" >&2
  exit 2
}

# Reads the common options from "$@"; what the script reads itself goes to
# `extra` (an option and its value, in order).
read_record_options() {
  while [ $# -gt 0 ]; do
    case "$1" in
      --size|--fps|--from|--to|--segments|--work|--capture|--data)
        [ $# -ge 2 ] || record_usage_error "$1 needs a value"
        local name=${1#--}
        printf -v "$name" '%s' "$2"
        shift 2 ;;
      --*)
        [ $# -ge 2 ] || record_usage_error "$1 needs a value"
        extra+=("$1" "$2")
        shift 2 ;;
      *)
        [ -z "$out" ] || record_usage_error "one output only: $out or $1"
        out=$1
        shift ;;
    esac
  done
  [ -n "$out" ] || record_usage_error "name the joined video (.mkv or .mp4)"
  case "$out" in
    *.mkv) codec=ffv1 ext=mkv ;;
    *.mp4) codec=h264 ext=mp4 ;;
    *) record_usage_error "$out: name the joined video .mkv (FFV1) or .mp4 (H.264)" ;;
  esac
  [[ "$segments" =~ ^[1-9][0-9]*$ ]] || record_usage_error "--segments $segments: expected a whole number from 1"
  out=$(realpath -m -- "$out")
  work=$(realpath -m -- "${work:-$out.segments}")
  mkdir -p -- "$work"
  # A program named by a path is found from any folder.
  case "$capture" in */*) capture=$(realpath -m -- "$capture") ;; esac
}

# The capture options every segment shares, quoted for a shell.
segment_options() {
  local options=(--quiet --size "$size" --fps "$fps" --from "$from" --to "$to" --codec "$codec")
  [ -z "$data" ] || options+=(--data "$data")
  printf '%q ' "$capture" "${options[@]}"
}

# The file name of segment $1.
segment_name() {
  printf 'segment_%04d.%s' "$1" "$ext"
}

# The join's command line, quoted for a shell, segments in $work.
join_command() {
  local names=() k
  for ((k = 0; k < segments; ++k)); do
    names+=("$work/$(segment_name "$k")")
  done
  local options=(--quiet --join "$out")
  [ -z "$data" ] || options+=(--data "$data")
  printf '%q ' "$capture" "${options[@]}" "${names[@]}"
}
