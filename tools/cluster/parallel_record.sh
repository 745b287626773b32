#!/usr/bin/env bash
# Records the show without a scheduler: GNU parallel runs one segment per
# job (quillmoor-capture --segment K/N) on the machines it is given over
# ssh, brings each segment back into the work folder, and once every one
# has succeeded the join runs here and writes OUT with the soundtrack.
#
# usage: parallel_record.sh [options] [--sshlogin LOGINS] [--jobs N] OUT
# Options as in record_options.sh. --sshlogin is parallel's own: hosts
# separated by commas, ":" for this machine (the default); --sshloginfile
# FILE reads them from a file. --jobs: segments at once per machine
# (default 1, since one capture already keeps every core busy). Every
# machine needs the capture program and its content. Run again after a
# stop, it keeps the segments already whole in the work folder (--resume)
# where this machine renders them.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
. "$here/record_options.sh"
read_record_options "$@"

logins=(--sshlogin :)
jobs=1
for ((i = 0; i < ${#extra[@]}; i += 2)); do
  case "${extra[i]}" in
    --sshlogin|--sshloginfile) logins=("${extra[i]}" "${extra[i + 1]}") ;;
    --jobs) jobs=${extra[i + 1]} ;;
    *) record_usage_error "${extra[i]}: unknown option" ;;
  esac
done

command -v parallel >/dev/null || { echo "$(basename "$0"): GNU parallel is not on PATH (Debian package parallel)" >&2; exit 1; }

# Jobs run in the work folder (by the same path from the home folder on
# other machines); parallel brings back what was made elsewhere.
cd -- "$work"
name='segment_{=$_=sprintf("%04d",$_)=}.'"$ext"
transfer=(--return "$name" --cleanup)
[ "${logins[*]}" != "--sshlogin :" ] || transfer=()
seq 0 $((segments - 1)) |
  parallel "${logins[@]}" --jobs "$jobs" --halt now,fail=1 --workdir . "${transfer[@]}" \
    "$(segment_options) --resume --segment {}/$segments --video $name"
eval "$(join_command)"
