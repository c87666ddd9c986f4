#!/usr/bin/env bash
# The device half of the demo: addrstamp on an emulated 32-bit ARM board.
#
# Boots Debian's armhf Linux kernel on QEMU's "sabrelite" board (i.MX6, software emulation)
# with simulated NAND flash (the kernel's nandsim: 128 MiB, 2048-byte pages, 128 KiB erase
# blocks; /dev/mtd2 is the boot environment partition), writes the environment a boot loader
# would have left there, runs
#     addrstamp -m 02:5E:71:00:00:01
# and shows the tool's output and the environment as read back from the flash.
#
#   bash scripts/demo-addrstamp.sh
#
# Installs what is missing (scripts/setup.sh) and fetches the kernel and guest tools once
# (cached in /var/cache/benchtools). Exit status 0 when the address landed in flash.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
ROOT=$PWD
WORK=$ROOT/build/demo-addrstamp
MAC=02:5E:71:00:00:01
mkdir -p "$WORK"

say() { printf '%s\n' "$*"; }
fail() { say "demo failed: $*"; exit 1; }

bash scripts/setup.sh >"$WORK/setup.log" 2>&1 || { cat "$WORK/setup.log"; fail "set-up"; }

say "=== addrstamp on an emulated 32-bit ARM device"
say "Building addrstamp for 32-bit ARM (ARMv5TE, static) ..."
{ cmake -S "$ROOT" -B "$WORK/arm" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/arm-linux-gnueabi.cmake" -DBUILD_HOST=OFF -DBUILD_TESTS=OFF &&
  cmake --build "$WORK/arm" --target addrstamp; } >"$WORK/build.log" 2>&1 ||
  { cat "$WORK/build.log"; fail "build"; }

say "Preparing the emulated device (Debian armhf kernel, busybox, mtd-utils) ..."
. "$ROOT/tests/kernel/device.sh"
device_prepare "$WORK/device" 2>"$WORK/fetch.log" || { cat "$WORK/fetch.log"; fail "kernel download"; }

# The environment a boot loader left: a few settings and an old address.
mkdir -p "$WORK/data"
python3 - "$WORK/data/bootloader-env.img" <<'PY' || fail "environment image"
import sys
sys.dont_write_bytecode = True
sys.path.insert(0, "tests/kernel")
from envblock import env_image
variables = [("bootdelay", "3"), ("baudrate", "115200"),
             ("bootcmd", "nand read ${loadaddr} kernel; bootm ${loadaddr}"),
             ("ethaddr", "02:5E:71:AA:BB:CC"), ("serial#", "BT-000123")]
open(sys.argv[1], "wb").write(env_image(variables))
PY

cat >"$WORK/demo.sh" <<GUEST
nand_attach && flash_info demo
while read -r line; do echo "@@ MTD \$line"; done </proc/mtd
provision_nand /data/bootloader-env.img
dump_nand before 4096
tool_run demo $MAC
dump_nand after 4096
GUEST
device_initramfs "$WORK/device" "$WORK/arm/device/addrstamp" "$WORK/demo.sh" "$WORK/data" ||
  fail "initramfs"
# The board's SPI NOR flash is not used here; it starts erased.
head -c "$NOR_FLASH_SIZE" /dev/zero | tr '\0' '\377' >"$WORK/nor.img"

say "Booting the device (takes a few seconds) ..."
device_boot "$WORK/device" "$WORK/nor.img" "$WORK/console.log" 120
status=$?
[ "$status" -eq 0 ] || { tail -n 30 "$WORK/console.log"; fail "the device did not finish (QEMU status $status)"; }
say

python3 - "$WORK/console.log" "$KVER" "$MAC" <<'PY'
import gzip, re, sys
sys.dont_write_bytecode = True
sys.path.insert(0, "tests/kernel")
from envblock import ENV_SIZE, env_parse, show
from scenarios import read_console

console, kver, mac = sys.argv[1:4]
markers, sections = read_console(console)
info = next((m for m in markers if m.startswith("@@ FLASH demo ")), "")
fields = dict(kv.split("=", 1) for kv in info.split()[3:] if "=" in kv)
status = next((m.split("status=")[1] for m in markers if m.startswith("@@ RUN demo ")), "?")
before = gzip.decompress(sections["before"])[:ENV_SIZE] if sections.get("before") else None
after = gzip.decompress(sections["after"])[:ENV_SIZE] if sections.get("after") else None

print("The device")
print(f"  QEMU sabrelite board (i.MX6, ARM Cortex-A9), Debian Linux {kver}")
print(f"  simulated NAND flash (nandsim): pages of {fields.get('writesize', '?')} bytes,"
      f" erase blocks of {int(fields.get('erasesize', 0)) // 1024} KiB")
print("  MTD partitions the kernel made of it:")
for m in markers:
    if m.startswith("@@ MTD "):
        print("    " + m[len("@@ MTD "):])
print()
print("1. The environment a boot loader left at the start of /dev/mtd2, the boot environment")
print("   partition (written there with mtd-utils' flash_erase and nandwrite):")
print("\n".join(show(before)) if before else "    (not read back)")
print()
print(f"2. On the device:  addrstamp -m {mac}")
for line in (sections.get("demo.stdout") or b"").decode(errors="replace").splitlines():
    print("    | " + line)
print(f"    exit status {status}")
print()
print("3. The environment read back from /dev/mtd2 with nanddump afterwards:")
print("\n".join(show(after)) if after else "    (not read back)")
ok, entries = env_parse(after) if after else (False, None)
entries = entries or []
values = dict(entries)
ok = ok and status == "0" and values.get("ethaddr") == mac and \
    [n for n, _ in entries[-2:]] == ["ethaddr", "eth1addr"]
print()
if ok:
    print(f"ethaddr is now {values['ethaddr']} and eth1addr {values['eth1addr']} (the next"
          " address); the other variables are kept, and the block's CRC is valid.")
else:
    print("The address did not land in flash as expected.")
sys.exit(0 if ok else 1)
PY
