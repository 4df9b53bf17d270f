#!/usr/bin/env bash
# Runs one end-to-end case: the program in a scratch folder holding the
# case's data files, fed the case's typed input. Passes when stdout, stderr
# and the exit status equal the case's expectations byte for byte and the
# folder is left exactly as it was (the program never writes a file).
#
# usage: run_case.sh PROGRAM CASE_DIR
#   RUNNER (environment), when set, is put before PROGRAM, e.g. RUNNER=wine.
# A case folder holds: stdin, stdout, stderr, status; optionally uses (paths
# relative to the repository, one per line, copied in by their base name),
# files/ (copied in as they are), setup (bash, run in the scratch folder) and
# args (the command-line arguments, one per line).
set -euo pipefail

program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
case_dir=$(cd "$2" && pwd)
repo=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
work=$scratch/work
out=$scratch/stdout
err=$scratch/stderr
mkdir "$work"

if [[ -f $case_dir/uses ]]; then
  while IFS= read -r path; do
    [[ -n $path ]] && cp "$repo/$path" "$work/"
  done <"$case_dir/uses"
fi
if [[ -d $case_dir/files ]]; then cp -R "$case_dir/files/." "$work/"; fi
if [[ -f $case_dir/setup ]]; then (cd "$work" && bash "$case_dir/setup"); fi

snapshot() { (cd "$work" && find . -print0 | sort -z | xargs -0 ls -ld --time-style=+%s.%N 2>/dev/null; \
              find . -type f -print0 | sort -z | xargs -0 -r md5sum 2>/dev/null) || true; }
before=$(snapshot)

arguments=()
if [[ -f $case_dir/args ]]; then mapfile -t arguments <"$case_dir/args"; fi

set +e
(cd "$work" && ${RUNNER:-} "$program" "${arguments[@]}" <"$case_dir/stdin" >"$out" 2>"$err")
status=$?
set -e

failed=0
if [[ $status == 1 && ! -s $out && ! -s $err ]]; then
  echo "nothing printed, exit status 1"  # what a runner that could not start the program leaves
fi
expect_same() {  # what, expected file, actual file
  if ! cmp -s "$2" "$3"; then
    echo "$1 differs:"
    echo "--- expected"; od -c "$2" | head -40
    echo "--- actual"; od -c "$3" | head -40
    failed=1
  fi
}
expect_same stdout "$case_dir/stdout" "$out"
expect_same stderr "$case_dir/stderr" "$err"
expected_status=$(<"$case_dir/status")
if [[ $status != "$expected_status" ]]; then
  echo "exit status $status, expected $expected_status"
  failed=1
fi
after=$(snapshot)
if [[ $before != "$after" ]]; then
  echo "the program changed its folder:"
  diff <(echo "$before") <(echo "$after") || true
  failed=1
fi
exit $failed
