#!/usr/bin/env bash
# The project's test command: installs and builds (setup.sh), then runs every
# test. Each step is a function; later steps are added to the list below.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export QT_QPA_PLATFORM=offscreen

step_setup() {
  bash "$root/scripts/setup.sh"
}

# A private CUPS scheduler with a PDF printer, for the real printout test.
# Without one that test reports itself skipped.
step_pdf_printer() {
  local out
  if out=$(bash "$root/scripts/cups-pdf-printer.sh"); then
    export "${out##*$'\n'}"
  else
    echo "no PDF printer could be set up: the printout test will be skipped"
  fi
}

# Three at a time on two cores: the program runs mostly wait on the
# simulated serial line.
step_unit_and_integration_tests() {
  ctest --test-dir "$root/build" --output-on-failure -j3
}

# The whole suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer in its own build folder. Any finding fails it.
step_sanitizers() {
  local dir="$root/build-asan"
  # -O1 with line tables only: a good deal quicker to build than the
  # release flags, and the sanitizers' reports still name file and line.
  # The benchmarks are not tests: left out.
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DRDX_SANITIZE=ON -DRDX_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1" \
  LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir "$dir" --output-on-failure -j3
}

# The Debian package: built, installed, the installed service tried against
# the simulator, removed (root only; skipped otherwise).
step_package() {
  bash "$root/scripts/deb-test.sh"
}

# libFuzzer: every target for a bounded time (about a minute in all).
step_fuzzing() {
  bash "$root/scripts/fuzz.sh"
}

steps=(
  step_setup
  step_pdf_printer
  step_unit_and_integration_tests
  step_package
  step_sanitizers
  step_fuzzing
)

for step in "${steps[@]}"; do
  echo "=== ${step#step_}"
  "$step"
done
echo "=== all tests passed"
