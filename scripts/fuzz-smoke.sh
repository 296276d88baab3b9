#!/usr/bin/env bash
# Builds every fuzz target with clang and runs each from its corpus for a while, with
# bounded memory and time per input. Quiet when all is well: libFuzzer's output goes
# to a log file per target, and its tail is printed only when the target fails.
#
#   scripts/fuzz-smoke.sh [SECONDS]     each target's run time, 30 by default
#
# The corpora in tests/fuzz/corpus are only read: what a run finds goes to the build
# folder (build/fuzz/runs), and so do crashing inputs (build/fuzz/artifacts).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
jobs=${HOSTLENS_JOBS:-2}
build=build/fuzz

# A corpus folder per target: corpus/NAME for NAME_fuzz.
names=()
for corpus in tests/fuzz/corpus/*/; do names+=("$(basename "$corpus")"); done
CC=clang CXX=clang++ cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHOSTLENS_FUZZ=ON -DHOSTLENS_TESTS=OFF >/dev/null
mkdir -p $build/logs
if ! cmake --build $build -j"$jobs" --target "${names[@]/%/_fuzz}" >$build/logs/build.log 2>&1; then
  echo "building the fuzz targets failed (the last lines of $build/logs/build.log follow)"
  tail -n 60 $build/logs/build.log
  exit 1
fi
grep -E 'warning:' $build/logs/build.log || true

failed=0
for name in "${names[@]}"; do
  corpus=tests/fuzz/corpus/$name
  target=$build/bin/${name}_fuzz
  runs=$build/runs/$name
  log=$build/logs/$name.log
  rm -rf "$runs"
  mkdir -p "$runs" "$build/logs" "$build/artifacts"
  options=(-rss_limit_mb=1024 -timeout=10 -max_total_time="$seconds"
           -artifact_prefix="$build/artifacts/$name-")
  [[ -f tests/fuzz/$name.dict ]] && options+=(-dict="tests/fuzz/$name.dict")
  if "$target" "${options[@]}" "$runs" "$corpus" >"$log" 2>&1; then
    echo "$name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" || echo done), no failure"
  else
    echo "$name: FAILED (the last lines of $log follow)"
    tail -n 40 "$log" | sed 's/^/    /'
    failed=1
  fi
done
exit $failed
