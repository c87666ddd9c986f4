#!/bin/sh
# /init of the emulated device: mounts the kernel's file systems, loads the watchdog driver
# (the sabrelite board restarts, and so ends QEMU under -no-reboot, only through it), runs
# /etc/scenario.sh with the helpers of /etc/guest-lib.sh, and ends the machine. Everything the
# host reads comes over the serial console between "@@" marker lines.
export PATH=/bin
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
. /etc/guest-lib.sh
load_module imx2_wdt
echo "@@ GUEST START kernel=$(uname -r)"
# In a subshell, so that a failing scenario script cannot end init (a kernel panic).
( . /etc/scenario.sh )
echo "@@ GUEST END"
sync
reboot -f
sleep 10
echo "@@ GUEST REBOOT FAILED"
