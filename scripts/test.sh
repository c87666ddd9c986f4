#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, then builds and tests every target.
#
#   scripts/test.sh            all stages
#   scripts/test.sh native asan  only the named stages
#
# Stages:
#   native  host build of both tools, unit tests
#   asan    the same under AddressSanitizer + UndefinedBehaviorSanitizer
#   wine    hostpin.exe (MinGW-w64) end to end under Wine
#   arm     addrstamp and its unit tests for ARMv7 (hard float) and ARMv5TE (soft float), under qemu-arm
#   kernel  addrstamp on a real Linux kernel's MTD drivers (nandsim, SPI NOR) in qemu-system-arm
#
# Ends with one line "tests: N passed, N failed" and a non-zero status if anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD_ROOT:-$ROOT/build}
JOBS=$(nproc)

STAGES=("$@")
[ ${#STAGES[@]} -gt 0 ] || STAGES=(native asan wine arm kernel)

bash scripts/setup.sh || { echo "setup failed"; echo "tests: 0 passed, 1 failed"; exit 1; }

passed=0
failed=0
summary=()

# Adds the counts of the last "N passed, N failed" or CTest summary line in a log.
count_log() {
  local stage=$1 log=$2 p f line
  line=$(grep -E '^(.*: )?[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    p=$(sed -E 's/^(.*: )?([0-9]+) passed, ([0-9]+) failed.*/\2/' <<<"$line")
    f=$(sed -E 's/^(.*: )?([0-9]+) passed, ([0-9]+) failed.*/\3/' <<<"$line")
  else
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
      f=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
      p=$(( $(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line") - f ))
    else
      p=0; f=1
    fi
  fi
  passed=$((passed + p))
  failed=$((failed + f))
  summary+=("$(printf '%-7s %4d passed, %d failed' "$stage" "$p" "$f")")
}

# Runs one stage, logging to build/<stage>.log, and counts its results.
run_stage() {
  local stage=$1; shift
  local log=$BUILD/$stage.log start=$SECONDS status
  mkdir -p "$BUILD"
  echo "=== $stage"
  "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  count_log "$stage" "$log"
  if [ "$status" -ne 0 ] && ! grep -qE '[1-9][0-9]* (tests? )?failed' "$log"; then
    # The stage broke before its tests could report (a build error, say).
    failed=$((failed + 1))
    summary[-1]="${summary[-1]} (stage exited $status)"
  fi
  echo "=== $stage took $((SECONDS - start)) s"
}

cmake_stage() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null &&
    cmake --build "$dir" -j "$JOBS" &&
    ctest --test-dir "$dir" --output-on-failure -j "$JOBS"
}

for stage in "${STAGES[@]}"; do
  case $stage in
    native) run_stage native cmake_stage "$BUILD/native" -DCMAKE_BUILD_TYPE=Debug ;;
    asan)   run_stage asan cmake_stage "$BUILD/asan" -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON ;;
    wine)   run_stage wine bash tests/wine/run.sh "$BUILD/wine" ;;
    arm)    run_stage arm bash tests/arm/run.sh "$BUILD/arm" ;;
    kernel) run_stage kernel bash tests/kernel/run.sh "$BUILD/kernel" ;;
    *) echo "unknown stage: $stage"; failed=$((failed + 1)) ;;
  esac
done

echo
printf '%s\n' "${summary[@]}"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
