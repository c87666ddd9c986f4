#!/usr/bin/env bash
# Fetches, unpacks and caches what the emulated ARM device is made of: Debian's armhf kernel
# (armmp flavour, the current ABI resolved from apt, not installed on this machine), its
# modules and device trees, busybox-static, mtd-utils and the C library it needs.
#
#   tests/kernel/fetch.sh        prints the cache directory, ready for mkinitramfs.sh
#
# The cache lives outside the work tree (/var/cache/benchtools/armhf), so repeated runs and
# fresh clones on this machine do not download again. Progress goes to standard error.
set -euo pipefail

CACHE=/var/cache/benchtools/armhf
mkdir -p "$CACHE/debs"
log() { echo "fetch: $*" >&2; }

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# armhf package lists: added once; updated when a package is not known yet.
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  log "adding the armhf architecture to dpkg"
  "${as_root[@]}" dpkg --add-architecture armhf
fi
if ! apt-cache show linux-image-armmp:armhf >/dev/null 2>&1; then
  log "apt-get update (armhf package lists)"
  "${as_root[@]}" apt-get update -q >&2
fi

# The kernel's package name carries its ABI number, which changes with Debian's updates.
kpkg=$(apt-cache depends linux-image-armmp:armhf |
  sed -n 's/^ *Depends: \(linux-image-[0-9][^:]*-armmp\)\(:armhf\)\{0,1\}$/\1/p' | head -n 1)
[ -n "$kpkg" ] || { log "cannot resolve the armmp kernel package"; exit 1; }
kver=${kpkg#linux-image-}

# Each package is downloaded once per version; the .deb file name carries the version.
fetch_deb() {
  local pkg=$1 ver file
  ver=$(apt-cache policy "$pkg:armhf" | sed -n 's/^ *Candidate: //p')
  [ -n "$ver" ] && [ "$ver" != "(none)" ] || { log "no candidate for $pkg:armhf"; return 1; }
  # apt-get download writes an epoch's colon as %3a.
  file=$CACHE/debs/${pkg}_${ver//:/%3a}_armhf.deb
  if [ ! -f "$file" ]; then
    log "downloading $pkg:armhf $ver"
    (cd "$CACHE/debs" && apt-get download -q -o APT::Sandbox::User=root "$pkg:armhf=$ver" >&2)
    [ -f "$file" ] || { log "apt-get download gave no $file"; return 1; }
  fi
  echo "$file"
}

# Unpacks a package into DIR unless the same .deb was unpacked there before.
unpack() {
  local deb=$1 dir=$2
  if [ "$(cat "$dir/.from" 2>/dev/null)" != "$(basename "$deb")" ]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    dpkg-deb -x "$deb" "$dir"
    basename "$deb" >"$dir/.from"
  fi
}

debs=()
for entry in "$kpkg kernel" "busybox-static busybox" "mtd-utils mtd-utils" "libc6 libc"; do
  read -r pkg dir <<<"$entry"
  deb=$(fetch_deb "$pkg") || exit 1
  unpack "$deb" "$CACHE/$dir"
  debs+=("$(basename "$deb")")
done
# Packages replaced by newer versions are not needed any more.
for old in "$CACHE"/debs/*.deb; do
  [[ " ${debs[*]} " == *" $(basename "$old") "* ]] || rm -f "$old"
done

# The package ships no modules.dep; build it so modprobe in the guest resolves dependencies.
moddir=$CACHE/kernel/lib/modules/$kver
[ -d "$moddir" ] || moddir=$CACHE/kernel/usr/lib/modules/$kver
[ -d "$moddir" ] || { log "no modules for $kver in $kpkg"; exit 1; }
if [ ! -f "$moddir/modules.dep" ]; then
  depmod -b "${moddir%"/lib/modules/$kver"}" "$kver"
fi
echo "$kver" >"$CACHE/kernel-version"
echo "$CACHE"
