#!/usr/bin/env bash
# Installs, with apt-get, every Debian package the build, the tests and the demo need,
# and nothing that is already there. Quick when the machine is complete.
set -euo pipefail

PACKAGES=(
  # native build and unit tests
  cmake ninja-build g++ make googletest libgtest-dev python3 file binutils
  # hostpin: Windows cross build and Wine
  g++-mingw-w64-x86-64-posix wine wine64
  # addrstamp: ARM cross builds and user-mode emulation
  g++-arm-linux-gnueabihf g++-arm-linux-gnueabi qemu-user-static
  # addrstamp on a real kernel: system emulation and guest image tools
  qemu-system-arm device-tree-compiler kmod cpio gzip
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
