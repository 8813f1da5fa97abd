#!/usr/bin/env bash
# Builds the fuzz tree (fuzz/, clang and libFuzzer) and runs every target.
#
#   scripts/fuzz.sh            each target FUZZ_SECONDS (default 60) seconds
#   scripts/fuzz.sh --quick    each target a few seconds (FUZZ_QUICK_SECONDS,
#                              default 3) after replaying its whole corpus:
#                              the targets stay buildable, the corpus clean
#   scripts/fuzz.sh [--quick] osc6_fuzz lfo_fuzz    only these targets
#
# New inputs go to $FUZZ_BUILD_DIR/corpus/<target>, never into the source
# tree; a finding is written to $FUZZ_BUILD_DIR/artifacts/ and the script
# exits 1. Copy a finding into fuzz/corpus/<target>/ to keep it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

quick=0
targets=()
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) targets+=("$arg") ;;
  esac
done

build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
if [ "$quick" -eq 1 ]; then seconds=${FUZZ_QUICK_SECONDS:-3}; fi
jobs=${FUZZ_JOBS:-2}

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is missing (scripts/install-deps.sh installs it)" >&2
  exit 2
fi

cmake -S fuzz -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(sed '/^$/d' "$build/targets.txt")
fi

mkdir -p "$build/artifacts" "$build/logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/fuzz/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
printf '%-24s %10s %12s %8s\n' target exec/s executions corpus
for target in "${targets[@]}"; do
  binary="$build/bin/$target"
  if [ ! -x "$binary" ]; then
    echo "fuzz: no target $target in $build" >&2
    failed+=("$target")
    continue
  fi
  seeds="fuzz/corpus/$target"
  work="$build/corpus/$target"
  mkdir -p "$work" "$seeds"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$build/artifacts/$target-")
  for dict in "fuzz/$target.dict" fuzz/qz.dict; do
    if [ -f "$dict" ]; then options+=(-dict="$dict"); break; fi
  done
  log="$build/logs/$target.log"
  # The first folder receives new inputs; the seed folder is only read.
  if "$binary" "${options[@]}" "$work" "$seeds" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    units=$(find "$work" -type f | wc -l)
    printf '%-24s %10s %12s %8s\n' "$target" "${rate:-?}" "${execs:-?}" "$units"
  else
    echo "fuzz: $target found a fault; log $log" >&2
    grep -E 'ERROR|runtime error|module fault|SUMMARY|Test unit written' "$log" | head -8 >&2 || true
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: every target ran ${seconds}s without a finding"
