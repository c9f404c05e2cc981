#!/usr/bin/env bash
# Runs every fuzz target (every fuzz/fuzz_*.cpp) one after the other, each
# for SECONDS or until it has made EXECUTIONS runs, whichever comes first,
# starting from its kept corpus: the seeds under fuzz/corpus/<target>/ and
# what earlier runs added under build/fuzz/corpus/<target>/. Builds the
# targets first (clang, libFuzzer, AddressSanitizer and UBSan).
#
#   fuzz/run_all.sh SECONDS [EXECUTIONS]
#
# A finding (crash, leak, sanitizer report, timeout) is kept under
# build/fuzz/findings/ and ends the script with status 1 after the target's
# last lines of output. Each target prints one line of figures at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: fuzz/run_all.sh SECONDS [EXECUTIONS]" >&2
  exit 2
fi
seconds=$1
runs=${2:--1}

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKITRA_FUZZ=ON -DKITRA_TESTS=OFF >/dev/null
cmake --build build/fuzz -j2 >/dev/null

mkdir -p build/fuzz/findings
status=0
for source in fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  target=build/fuzz/fuzz/$name
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  log=build/fuzz/$name.log
  start=$(date +%s)
  # New inputs go to the first folder; the seeds are only read.
  if "$target" -max_total_time="$seconds" -runs="$runs" -rss_limit_mb=2048 -timeout=25 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$name-" \
      "$work" "${seeds[@]}" >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$name: ${executions:-?} executions in $(( $(date +%s) - start )) s," \
      "corpus $(find "$work" -type f | wc -l) inputs ($(du -sk "$work" | cut -f1) KiB), no finding"
  else
    echo "$name: FINDING (see $log and build/fuzz/findings/)"
    tail -50 "$log"
    status=1
  fi
done
exit $status
