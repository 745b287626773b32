#!/usr/bin/env bash
# Records the show on a Slurm cluster: a job array renders one segment per
# task (quillmoor-capture --segment K/N), and a join job that starts only
# when every task has succeeded (--dependency=afterok) joins them into OUT
# with the soundtrack. Prints the two job ids and returns at once; Slurm
# does the rest.
#
# usage: slurm_record.sh [options] [--sbatch "SBATCH OPTIONS"] OUT
# Options as in record_options.sh (size, frame rate, range, segment count,
# work folder, program, content). --sbatch adds options to both jobs
# (partition, account, time limit, --cpus-per-task ...). The work folder
# must be on storage every node shares; it keeps the two batch scripts and
# each task's log.
#
# Run again with the same options (after scancel, a time limit or a lost
# node), it renders only the segments whose finished file is missing or
# fails the join's checks: each task keeps a segment that is already whole
# (--resume). A stopped task leaves its pictures in segment_K.EXT.part,
# never under the finished name.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
. "$here/record_options.sh"
read_record_options "$@"

sbatch_options=()
for ((i = 0; i < ${#extra[@]}; i += 2)); do
  case "${extra[i]}" in
    --sbatch) read -r -a more <<<"${extra[i + 1]}"; sbatch_options+=("${more[@]}") ;;
    *) record_usage_error "${extra[i]}: unknown option" ;;
  esac
done

command -v sbatch >/dev/null || { echo "$(basename "$0"): sbatch is not on PATH (Debian package slurm-client)" >&2; exit 1; }

cat >"$work/segment.sbatch" <<SCRIPT
#!/usr/bin/env bash
# One segment per array task; one that is already whole is kept.
set -eu
k=\$SLURM_ARRAY_TASK_ID
exec $(segment_options) --resume --segment "\$k/$segments" --video $(printf %q "$work")/"\$(printf 'segment_%04d.$ext' "\$k")"
SCRIPT

cat >"$work/join.sbatch" <<SCRIPT
#!/usr/bin/env bash
# Joins the segments once all of them are done.
set -eu
exec $(join_command)
SCRIPT

array=$(sbatch --parsable "${sbatch_options[@]}" --job-name=quillmoor-segments --array="0-$((segments - 1))" \
  --output="$work/segment_%a.log" "$work/segment.sbatch")
array=${array%%;*}
join=$(sbatch --parsable "${sbatch_options[@]}" --job-name=quillmoor-join --dependency="afterok:$array" \
  --kill-on-invalid-dep=yes --output="$work/join.log" "$work/join.sbatch")
join=${join%%;*}
echo "$array $join"
