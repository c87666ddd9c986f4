#!/usr/bin/env bash
# The arm stage: addrstamp and its device tests cross-built for 32-bit ARM Linux, twice:
#   arm-linux-gnueabihf  ARMv7-A, hard float; tests run under qemu-arm as a Cortex-A15
#   arm-linux-gnueabi    ARMv5TE, soft float; tests run under qemu-arm as an ARM926EJ-S
# Each build runs the GoogleTest device suite through CTest (under the emulator), then checks
# the shipped program itself: a static, stripped ARM EABI5 executable of the right
# architecture that starts under the emulator and answers a bad command line and a missing
# flash device as it should. Prints both programs' sizes and `file` output.
#
#   bash tests/arm/run.sh [BUILD_DIR]     (default build/arm; run from anywhere)
#
# Last line: "arm: N passed, N failed"; the exit status is non-zero on any failure.
set -uo pipefail

BUILD=${1:-build/arm}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT" || exit 1
JOBS=$(nproc)
QEMU=$(command -v qemu-arm-static || command -v qemu-arm)

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "  ok    $*"; }
fail() { failed=$((failed + 1)); echo "  FAIL  $*"; }

# check NAME WANT GOT: passes when GOT equals WANT.
check() {
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}

# check_has NAME TEXT PATTERN: passes when TEXT matches the extended regular expression.
check_has() {
  if grep -qE -- "$3" <<<"$2"; then pass "$1"; else fail "$1: [$2] does not match /$3/"; fi
}

# Runs the ARM program under the emulator with the given CPU; sets out (its standard output,
# byte for byte, final line break included) and status.
run_arm() {
  local cpu=$1; shift
  out=$(cd "$BUILD" && timeout 30 "$QEMU" -cpu "$cpu" "$@"; echo "|$?")
  status=${out##*|}
  out=${out%|*}
}

# Adds the counts of CTest's summary line; a run without one (no tests found, a crash of
# ctest itself) counts as one failure.
count_ctest() {
  local log=$1 line total f
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    fail "$2: ctest ran no test"
    return
  fi
  f=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - f))
  failed=$((failed + f))
  echo "  ctest $2: $((total - f)) passed, $f failed"
}

declare -A CPU=([arm-linux-gnueabihf]=cortex-a15 [arm-linux-gnueabi]=arm926)
declare -A ARCH=([arm-linux-gnueabihf]=v7 [arm-linux-gnueabi]=v5TE)
report=()

for triple in arm-linux-gnueabihf arm-linux-gnueabi; do
  dir=$BUILD/$triple
  echo "--- $triple (${ARCH[$triple]}, tests under qemu-arm -cpu ${CPU[$triple]})"
  start=$SECONDS
  mkdir -p "$dir"
  if ! cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$triple.cmake" -DBUILD_HOST=OFF >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"
    fail "$triple: configure"
    continue
  fi
  if ! cmake --build "$dir" -j "$JOBS"; then
    fail "$triple: build"
    continue
  fi
  timeout 600 ctest --test-dir "$dir" --output-on-failure -j "$JOBS" 2>&1 | tee "$dir.ctest.log" | tail -n 5
  count_ctest "$dir.ctest.log" "$triple"

  bin=$dir/device/addrstamp
  if [ ! -x "$bin" ]; then
    fail "$triple: no program at $bin"
    continue
  fi
  desc=$(file -b "$bin")
  size=$(stat -c %s "$bin")
  report+=("$triple addrstamp: $size bytes" "  $desc")
  check_has "$triple: ELF for 32-bit ARM EABI5" "$desc" '^ELF 32-bit LSB executable, ARM, EABI5'
  check_has "$triple: statically linked" "$desc" 'statically linked'
  check_has "$triple: stripped" "$desc" ', stripped$'
  check_has "$triple: built for ARM ${ARCH[$triple]}" \
    "$(arm-linux-gnueabi-readelf -A "$bin")" "Tag_CPU_arch: ${ARCH[$triple]}\$"
  if [ "$triple" = arm-linux-gnueabihf ]; then
    check_has "$triple: hard-float calling convention" \
      "$(arm-linux-gnueabi-readelf -A "$bin")" 'Tag_ABI_VFP_args: VFP registers'
  else
    check "$triple: soft-float calling convention" "" \
      "$(arm-linux-gnueabi-readelf -A "$bin" | grep Tag_ABI_VFP_args)"
  fi

  # The program as shipped, under the emulator: a bad command line, then a device without
  # the flash partition (user-mode emulation reaches the build machine's /dev, which has no
  # MTD devices; the MTD requests themselves are covered by the kernel stage).
  run_arm "${CPU[$triple]}" "$bin"
  check "$triple: no arguments: exit status" 255 "$status"
  check "$triple: no arguments: usage line" $'addrstamp -m 02:5E:71:00:00:01 \n' "$out"
  run_arm "${CPU[$triple]}" "$bin" -M 02:5E:71:00:00:01
  check "$triple: -M: exit status" 255 "$status"
  if [ ! -e /dev/mtd2 ]; then
    run_arm "${CPU[$triple]}" "$bin" -m 02:5E:71:00:00:01
    check "$triple: no /dev/mtd2: exit status" 1 "$status"
    check "$triple: no /dev/mtd2: message" \
      $'failed to open mtd,No such file or directory,/dev/mtd2\n' "$out"
  fi
  echo "  $triple took $((SECONDS - start)) s"
done

echo
printf '%s\n' "${report[@]}"
echo "arm: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
