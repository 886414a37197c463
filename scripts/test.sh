#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer flavour and runs
# the whole suite in both; then runs every fuzz target of fuzz/ briefly
# (FUZZ_SECONDS each, default 20; 0 skips them). A finding fails the run and
# its reproducer's path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
scripts/build.sh release
(cd build/release && ctest --output-on-failure -j "$jobs") || status=1
scripts/build.sh asan
(cd build/asan && ctest --output-on-failure -j "$jobs") || status=1
fuzz_seconds=${FUZZ_SECONDS:-20}
if [ "$fuzz_seconds" != 0 ]; then
  FUZZ_JOBS=$jobs scripts/fuzz.sh all "$fuzz_seconds" || status=1
fi
exit $status
