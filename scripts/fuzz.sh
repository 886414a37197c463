#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ and runs them: fuzz.sh [TARGET] [SECONDS]
#   TARGET   one reader (fuzz/<TARGET>_fuzz.cpp); "all" or nothing: every one
#   SECONDS  how long each target runs (default 60)
# Every fuzz/<reader>_fuzz.cpp is a target; its seeds are fuzz/corpus/<reader>/.
# Inputs found on the way collect in build/fuzz/corpus/<reader>/, the logs in
# build/fuzz/logs/, and an input that crashes, hangs, leaks or exhausts memory
# in build/fuzz/findings/<reader>/. Exit status 1 when any target found one.
# FUZZ_NO_BUILD=1 runs what is built; FUZZ_JOBS sets the build's parallelism;
# FUZZ_LOGS another folder for the logs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
target=${1:-all}
seconds=${2:-60}
build=build/fuzz

case "$seconds" in
  '' | *[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

readers=()
for src in fuzz/*_fuzz.cpp; do
  [ -e "$src" ] || continue
  name=$(basename "$src" .cpp)
  readers+=("${name%_fuzz}")
done
if [ "$target" != all ]; then
  if [ ! -e "fuzz/${target}_fuzz.cpp" ]; then
    echo "fuzz.sh: no target '$target' (there are: ${readers[*]})" >&2
    exit 2
  fi
  readers=("$target")
fi
if [ ${#readers[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz/*_fuzz.cpp" >&2
  exit 2
fi

if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELTRANO_FUZZ=ON -DVELTRANO_BENCH=OFF
  fi
  # A new target file is picked up by the glob's re-check at build time.
  cmake --build "$build" -j "${FUZZ_JOBS:-3}" --target "${readers[@]/#/fuzz_}"
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# The largest input each reader is given: libFuzzer otherwise stays at the
# size of the largest seed, and the faults of long lines, big lists and
# growing buffers lie beyond it. Text formats meet files of tens of KiB in
# use; pictures of up to a few MiB.
max_len_for() {
  case "$1" in
    # the picture readers of fuzz/CMakeLists.txt
    bmp | gif | jpeg | png | targa | tiff) echo 1048576 ;;
    *) echo 65536 ;;
  esac
}

logs=${FUZZ_LOGS:-$root/$build/logs}
mkdir -p "$logs"
status=0
for reader in "${readers[@]}"; do
  program=$build/bin/fuzz_$reader
  if [ ! -x "$program" ]; then
    echo "$reader: FAILED, $program was not built"
    status=1
    continue
  fi
  work=$build/corpus/$reader
  findings=$build/findings/$reader
  log=$logs/$reader.log
  mkdir -p "$work" "$findings" "fuzz/corpus/$reader"
  # New inputs go to the first folder only: the committed seeds stay as made.
  # An input is a finding when it runs past the time-out (a hang), not when
  # a busy machine made it slower than libFuzzer's default 10 s report.
  set +e
  "$program" -max_total_time="$seconds" -max_len="$(max_len_for "$reader")" -timeout=25 -report_slow_units=25 \
    -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "fuzz/corpus/$reader" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  progress=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$progress")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$progress")
  units=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$progress")
  reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
  summary="$reader: ${execs:-?} executions in ${seconds} s, coverage ${cov:-?} edges (${ft:-?} features), corpus ${units:-?} inputs"
  if [ $rc -ne 0 ] || [ -n "$reproducer" ]; then
    status=1
    echo "$summary: FINDING"
    grep -E '^(==[0-9]+==ERROR|SUMMARY:|.*runtime error:)|ALARM|out-of-memory|deadly signal' "$log" | head -n 5 | sed 's/^/  /'
    if [ -n "$reproducer" ]; then
      case "$reproducer" in /*) ;; *) reproducer=$root/$reproducer ;; esac
      echo "  reproducer: $reproducer"
      echo "  repeat it:  $root/$program $reproducer"
    else
      echo "  no reproducer written (exit status $rc)"
    fi
    echo "  log: $log"
  else
    echo "$summary: no finding"
  fi
done
exit $status
