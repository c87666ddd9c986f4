# Helpers for the scripts that run inside the emulated device (busybox sh).

# load_module NAME [PARAMETERS...]: loads the module after its dependencies, from the load
# list the image builder wrote (dependencies first, NAME last).
load_module() {
  local name=$1 list=/lib/modules/$1.load ko last
  shift
  [ -f "$list" ] || { echo "@@ ERROR no module $name"; return 1; }
  last=$(tail -n 1 "$list")
  for ko in $(cat "$list"); do
    if [ "$ko" = "$last" ]; then
      insmod "/lib/modules/$ko" "$@" || { echo "@@ ERROR insmod $ko $*"; return 1; }
    else
      # A dependency shared with a module loaded before is already in.
      insmod "/lib/modules/$ko" 2>/dev/null
    fi
  done
}

# wait_mtd2: waits up to 10 s for /dev/mtd2 (driver probes may be deferred).
wait_mtd2() {
  local i=0
  while [ ! -c /dev/mtd2 ] && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  [ -c /dev/mtd2 ] || { echo "@@ ERROR no /dev/mtd2"; return 1; }
}

# flash_info LABEL: reports what the kernel says /dev/mtd2 is.
flash_info() {
  local d=/sys/class/mtd/mtd2
  echo "@@ FLASH $1 type=$(cat $d/type) name=$(cat $d/name) size=$(cat $d/size)" \
    "erasesize=$(cat $d/erasesize) writesize=$(cat $d/writesize)" \
    "bad_blocks=$(cat $d/bad_blocks 2>/dev/null || echo 0)"
}

# nand_attach [BADBLOCKS]: simulated NAND, 128 MiB, 2048-byte pages, 128 KiB erase blocks.
# parts=4,4 gives mtd0 and mtd1 four erase blocks each and mtd2 the rest, so the chip's block 8
# is mtd2's first block; BADBLOCKS (chip block numbers) are marked bad.
nand_attach() {
  load_module nandsim id_bytes=0x20,0xa1,0x00,0x15 parts=4,4 ${1:+badblocks=$1} &&
    wait_mtd2
}

nand_detach() {
  rmmod nandsim || echo "@@ ERROR rmmod nandsim"
}

# nor_attach: the board's SPI NOR flash, partitioned by the device tree.
nor_attach() {
  load_module gpio-mxc
  load_module ofpart
  load_module spi-imx
  load_module spi-nor && wait_mtd2
}

# emit NAME FILE: the file's bytes, base64-encoded, between marker lines.
emit() {
  echo "@@ BEGIN $1"
  base64 "$2"
  echo "@@ END $1"
}

# tool_run NAME MAC: runs addrstamp on /dev/mtd2; reports its exit status, standard output and
# standard error.
tool_run() {
  addrstamp -m "$2" >/tmp/out 2>/tmp/err
  echo "@@ RUN $1 status=$?"
  emit "$1.stdout" /tmp/out
  emit "$1.stderr" /tmp/err
}

# dump_nand NAME BYTES / dump_nor NAME BYTES: reads the first BYTES of /dev/mtd2 back, bad
# NAND blocks as they are, and emits them gzip-compressed.
dump_nand() {
  rm -f /tmp/dump
  nanddump -q --bb=dumpbad -s 0 -l "$2" -f /tmp/dump /dev/mtd2 ||
    echo "@@ ERROR nanddump $1"
  gzip -c /tmp/dump >/tmp/dump.gz
  emit "$1" /tmp/dump.gz
}
dump_nor() {
  dd if=/dev/mtd2 of=/tmp/dump bs=4096 count=$(($2 / 4096)) 2>/dev/null ||
    echo "@@ ERROR dd $1"
  gzip -c /tmp/dump >/tmp/dump.gz
  emit "$1" /tmp/dump.gz
}

# provision_nand FILE / provision_nor FILE: an environment written with the system's own
# tools, not addrstamp: erase, then write FILE from the partition's start (NAND: bad blocks
# skipped, as a boot loader does).
provision_nand() {
  flash_erase -q /dev/mtd2 0 2 && nandwrite -q -p /dev/mtd2 "$1" ||
    echo "@@ ERROR provision_nand $1"
}
provision_nor() {
  # Writes to an MTD character device are synchronous (it has no fsync).
  flash_erase -q /dev/mtd2 0 0 && dd if="$1" of=/dev/mtd2 bs=4096 2>/tmp/dd.err ||
    { cat /tmp/dd.err; echo "@@ ERROR provision_nor $1"; }
}
