#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for a
# bounded time (about a minute for all of them together). Each target starts
# from a scratch copy of its committed seed corpus, so the corpus in the
# repository stays small. An input that crashes a target is saved in
# build-fuzz/artifacts/ and the script exits non-zero, naming the file; put
# that file into tests/fuzz/corpus/<target>/ so the test suite replays it.
#
# Environment: RDX_FUZZ_SECONDS (total run time, default 60),
# RDX_FUZZ_BUILD (build folder, default <source>/build-fuzz).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${RDX_FUZZ_BUILD:-$root/build-fuzz}
total=${RDX_FUZZ_SECONDS:-60}
targets=(reply getndata exchange settings simparser)
per=$(( total / ${#targets[@]} ))
(( per >= 1 )) || per=1

artifacts=$build/artifacts
work=$build/fuzz-work
started=$(date +%s)

mkdir -p "$build"
echo "fuzz: configuring $build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRDX_FUZZ=ON -DRDX_BUILD_TESTS=OFF >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log"; echo "fuzz: configure failed"; exit 2; }
echo "fuzz: building ${targets[*]/%/_fuzz}"
cmake --build "$build" -j2 --target "${targets[@]/%/_fuzz}" >"$build/build.log" 2>&1 || {
  tail -n 40 "$build/build.log"; echo "fuzz: build failed"; exit 2; }

mkdir -p "$artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

passed=0
failed=0
for t in "${targets[@]}"; do
  corpus=$work/$t
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp "$root/tests/fuzz/corpus/$t/"* "$corpus/"
  log=$work/$t.log
  before=$(ls "$artifacts" | grep -c "^$t-" || true)
  rc=0
  "$build/fuzz/${t}_fuzz" "$corpus" -max_total_time="$per" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$artifacts/$t-" -print_final_stats=1 >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  newInputs=$(( $(ls "$corpus" | wc -l) - $(ls "$root/tests/fuzz/corpus/$t" | wc -l) ))
  if (( rc == 0 )); then
    passed=$(( passed + 1 ))
    echo "fuzz: $t passed: ${runs:-?} executions (${speed:-?}/s), $newInputs new inputs in ${per}s"
  else
    failed=$(( failed + 1 ))
    echo "fuzz: $t FAILED (exit $rc) after ${runs:-?} executions; log $log"
    grep -m 5 -E "ERROR|invariant broken|runtime error|SUMMARY" "$log" || true
    after=$(ls "$artifacts" | grep -c "^$t-" || true)
    if (( after > before )); then
      ls -t "$artifacts" | grep "^$t-" | head -n $(( after - before )) | sed "s|^|fuzz: crashing input $artifacts/|"
    fi
  fi
done

echo "fuzz: $passed passed, $failed failed ($(( $(date +%s) - started )) s in all)"
(( failed == 0 ))
