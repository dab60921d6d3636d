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

step_unit_and_integration_tests() {
  ctest --test-dir "$root/build" --output-on-failure -j2
}

steps=(
  step_setup
  step_pdf_printer
  step_unit_and_integration_tests
)

for step in "${steps[@]}"; do
  echo "=== ${step#step_}"
  "$step"
done
echo "=== all tests passed"
