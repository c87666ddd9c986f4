# shellcheck shell=bash
# The emulated ARM device, for bash scripts to source: QEMU's sabrelite board (i.MX6, Cortex-A9)
# running Debian's armhf kernel from an initramfs of our own, with
#   - SPI NOR flash (2 MiB, 4 KiB erase blocks), driven by the kernel's spi-nor module, split by
#     fixed partitions in the device tree: mtd0 "bootloader", mtd1 "config", mtd2 "environment",
#     mtd3 "data";
#   - simulated NAND flash on request, from the kernel's nandsim module.
# Both flashes are /dev/mtd2 in turn: a guest script loads one driver, works on it and unloads
# it before loading the other (MTD numbers are handed out lowest free first).
#
# Functions:
#   device_prepare WORKDIR      fetches (cached) and sets KVER, VMLINUZ, MODDIR, DTB, CACHE
#   device_initramfs WORKDIR ADDRSTAMP GUEST_SCRIPT [DATA_DIR]
#                               writes WORKDIR/initramfs.cpio.gz; the guest runs GUEST_SCRIPT
#                               (sourced by /init, with guest-lib.sh's functions), DATA_DIR's
#                               files are under /data
#   device_boot WORKDIR FLASH_IMAGE LOG [SECONDS]
#                               boots, serial console to LOG (line ends cleaned), returns
#                               QEMU's status (124 on a timeout)

DEVICE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Geometry of the NOR flash and its partitions (offset, size, name); mtd2 is the environment.
NOR_FLASH_SIZE=$((2 * 1024 * 1024))
NOR_PARTS=(
  "0x000000 0x080000 bootloader"
  "0x080000 0x010000 config"
  "0x090000 0x010000 environment"
  "0x0a0000 0x160000 data"
)
NOR_SPI_NODE=/soc/bus@2000000/spba-bus@2000000/spi@2008000/flash@0

# Modules the guest loads, in this order, besides their own dependencies.
DEVICE_MODULES=(imx2_wdt gpio-mxc ofpart spi-imx spi-nor nandsim)

device_prepare() {
  local work=$1 dtb_src off size name
  mkdir -p "$work"
  CACHE=$(bash "$DEVICE_DIR/fetch.sh") || return 1
  KVER=$(cat "$CACHE/kernel-version")
  VMLINUZ=$CACHE/kernel/boot/vmlinuz-$KVER
  MODDIR=$CACHE/kernel/lib/modules/$KVER
  dtb_src=$CACHE/kernel/usr/lib/linux-image-$KVER/imx6q-sabrelite.dtb
  [ -f "$VMLINUZ" ] && [ -d "$MODDIR" ] && [ -f "$dtb_src" ] || {
    echo "device: kernel $KVER is incomplete in $CACHE" >&2
    return 1
  }
  # The board's own device tree, with fixed partitions added to its SPI NOR flash.
  DTB=$work/imx6q-sabrelite-parts.dtb
  cp "$dtb_src" "$DTB"
  fdtput -c "$DTB" "$NOR_SPI_NODE/partitions" &&
    fdtput -t s "$DTB" "$NOR_SPI_NODE/partitions" compatible fixed-partitions &&
    fdtput -t i "$DTB" "$NOR_SPI_NODE/partitions" '#address-cells' 1 &&
    fdtput -t i "$DTB" "$NOR_SPI_NODE/partitions" '#size-cells' 1 || return 1
  # fdtput puts a new node before its siblings: add the partitions last to first.
  local i
  for ((i = ${#NOR_PARTS[@]} - 1; i >= 0; i--)); do
    read -r off size name <<<"${NOR_PARTS[i]}"
    local node
    node=$NOR_SPI_NODE/partitions/partition@$(printf '%x' "$off")
    fdtput -c "$DTB" "$node" &&
      fdtput -t x "$DTB" "$node" reg "$off" "$size" &&
      fdtput -t s "$DTB" "$node" label "$name" || return 1
  done
}

# Prints the .ko paths (relative to MODDIR) for a module and its dependencies, dependencies
# first, from the kernel's modules.dep.
module_closure() {
  local name=$1 line path deps dep
  line=$(grep -E "(^|/)${name//-/[-_]}\.ko(\.[a-z]+)?:" "$MODDIR/modules.dep" | head -n 1)
  [ -n "$line" ] || { echo "device: no module $name in $KVER" >&2; return 1; }
  path=${line%%:*}
  deps=${line#*:}
  for dep in $deps; do
    dep=$(basename "$dep")
    module_closure "${dep%%.ko*}" || return 1
  done
  echo "$path"
}

device_initramfs() {
  local work=$1 tool=$2 script=$3 data=${4:-} root=$1/rootfs mod list
  rm -rf "$root"
  mkdir -p "$root"/{bin,lib/arm-linux-gnueabihf,lib/modules,dev,proc,sys,tmp,data,etc}
  # /dev/console must exist before devtmpfs is mounted, or init starts without a console.
  mknod -m 600 "$root/dev/console" c 5 1 || return 1
  cp "$CACHE/busybox/bin/busybox" "$root/bin/busybox"
  ln -s busybox "$root/bin/sh"
  # mtd-utils are linked against the C library: bring the loader and libc along.
  cp "$CACHE"/mtd-utils/usr/sbin/{nanddump,nandwrite,flash_erase,mtdinfo} "$root/bin/"
  cp -L "$CACHE/libc/lib/ld-linux-armhf.so.3" "$root/lib/"
  cp "$CACHE/libc/lib/arm-linux-gnueabihf/libc.so.6" "$root/lib/arm-linux-gnueabihf/"
  cp "$tool" "$root/bin/addrstamp"
  # Modules go in flat, with a load list per module (dependencies first) for the guest.
  for mod in "${DEVICE_MODULES[@]}"; do
    list=$(module_closure "$mod") || return 1
    : >"$root/lib/modules/$mod.load"
    for ko in $list; do
      cp "$MODDIR/$ko" "$root/lib/modules/"
      basename "$ko" >>"$root/lib/modules/$mod.load"
    done
  done
  cp "$DEVICE_DIR/guest-init.sh" "$root/init"
  cp "$DEVICE_DIR/guest-lib.sh" "$root/etc/guest-lib.sh"
  cp "$script" "$root/etc/scenario.sh"
  chmod 755 "$root/init"
  [ -z "$data" ] || cp -r "$data"/. "$root/data/"
  (cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet | gzip -1) \
    >"$work/initramfs.cpio.gz"
}

device_boot() {
  local work=$1 flash=$2 log=$3 limit=${4:-180} status
  timeout -k 5 "$limit" qemu-system-arm -M sabrelite -m 512M \
    -kernel "$VMLINUZ" -dtb "$DTB" -initrd "$work/initramfs.cpio.gz" \
    -append "console=ttymxc1,115200 quiet loglevel=3 panic=-1 rdinit=/init" \
    -drive if=mtd,format=raw,file="$flash" \
    -display none -monitor none -serial null -serial stdio -nic none -no-reboot \
    </dev/null 2>&1 | tr -d '\r' >"$log"
  status=${PIPESTATUS[0]}
  return "$status"
}
