#!/usr/bin/env bash
# The kernel stage: addrstamp (the ARMv5TE build) against a real Linux kernel's MTD drivers.
# Boots Debian's armhf kernel on QEMU's emulated sabrelite board (software emulation) from an
# initramfs of our own and, in one boot:
#   - NAND through the kernel's nandsim (2048-byte pages, 128 KiB erase blocks), /dev/mtd2:
#     a blank partition, one holding an environment with other variables, another address;
#     the same again with the partition's first erase block bad;
#   - NOR through the board's SPI NOR flash (spi-nor, 4 KiB erase blocks, true NOR
#     programming), /dev/mtd2 by fixed partitions in the device tree: the same three runs,
#     the later ones over an earlier environment.
# After each run the guest reads the partition back; the host checks the block (place, CRC
# computed with zlib, variables), the tool's output and exit status (tests/kernel/scenarios.py).
# Then tests/kernel/probe.cpp asks each driver the edge cases the project's simulated flash
# models (alignment, errno values, erase and program behaviour), and the answers are checked.
#
#   bash tests/kernel/run.sh [BUILD_DIR]     (default build/kernel; run from anywhere)
#
# Downloads go to /var/cache/benchtools (kept between runs). Last line:
# "kernel: N passed, N failed"; the exit status is non-zero on any failure.
set -uo pipefail

BUILD=${1:-build/kernel}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT" || exit 1
mkdir -p "$BUILD"

finish() {
  echo "kernel: $1 passed, $2 failed"
  [ "$2" -eq 0 ]
  exit
}

start=$SECONDS
echo "--- addrstamp for ARMv5TE (arm-linux-gnueabi), static"
if ! { cmake -S "$ROOT" -B "$BUILD/arm-linux-gnueabi" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
         -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/arm-linux-gnueabi.cmake" \
         -DBUILD_HOST=OFF -DBUILD_TESTS=OFF >"$BUILD/configure.log" 2>&1 &&
       cmake --build "$BUILD/arm-linux-gnueabi" --target addrstamp; }; then
  cat "$BUILD/configure.log"
  echo "kernel: build of addrstamp failed"
  finish 0 1
fi
TOOL=$BUILD/arm-linux-gnueabi/device/addrstamp

echo "--- kernel, modules and guest tools (cached in /var/cache/benchtools)"
. "$ROOT/tests/kernel/device.sh"
if ! device_prepare "$BUILD/device"; then
  echo "kernel: could not get the kernel or the guest tools"
  finish 0 1
fi
echo "kernel $KVER (from $(cat "$CACHE/kernel/.from"))"

python3 "$ROOT/tests/kernel/scenarios.py" prepare "$BUILD/scenario" &&
  arm-linux-gnueabi-g++ -std=c++17 -Os -static -s -Wall -Wextra -Werror \
    -o "$BUILD/scenario/data/mtdprobe" "$ROOT/tests/kernel/probe.cpp" &&
  device_initramfs "$BUILD/device" "$TOOL" "$BUILD/scenario/scenario.sh" "$BUILD/scenario/data" ||
  { echo "kernel: could not build the initramfs"; finish 0 1; }
cp "$BUILD/scenario/flash.img" "$BUILD/nor-flash.img"
echo "set-up took $((SECONDS - start)) s"

echo "--- booting (serial console in $BUILD/console.log)"
boot_start=$SECONDS
device_boot "$BUILD/device" "$BUILD/nor-flash.img" "$BUILD/console.log" 180
status=$?
echo "boot and runs took $((SECONDS - boot_start)) s (QEMU exit status $status)"
grep -E '^@@ (PHASE|FLASH|RUN|ERROR)|Kernel panic|Oops|BUG:' "$BUILD/console.log"

echo "--- checks"
python3 "$ROOT/tests/kernel/scenarios.py" check "$BUILD/console.log" "$BUILD/nor-flash.img" \
  "$status" | tee "$BUILD/checks.log"
line=$(tail -n 1 "$BUILD/checks.log")
if [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
  echo "kernel stage took $((SECONDS - start)) s"
  finish "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
fi
echo "--- console (the checks did not finish)"
tail -n 40 "$BUILD/console.log"
finish 0 1
