#!/usr/bin/env bash
# Shows hostpin.exe at work under Wine, without touching this machine's network: a throw-away
# Wine prefix gets a sample registry with a Wi-Fi adapter (not Ethernet, so passed over) and a
# DHCP Ethernet adapter; hostpin.exe runs in a temporary directory holding a netsh stand-in,
# which records the command it is given instead of changing an adapter.
#
#   bash scripts/demo-hostpin.sh      (after scripts/setup.sh; about half a minute)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
. "$ROOT/tests/wine/lib.sh"

BUILD=$ROOT/build/demo-hostpin
TMP=$(mktemp -d /tmp/hostpin-demo.XXXXXX)
cleanup() {
  stop_prefix
  rm -rf "$TMP"
}
trap cleanup EXIT

heading() {
  printf '\n== %s\n' "$1"
}

mkdir -p "$BUILD"
echo "Building hostpin.exe and the netsh stand-in..."
HOSTPIN=$(build_hostpin "$BUILD/exe")
build_netsh_standin "$TMP/netsh.exe.build"
echo "Making a throw-away Wine prefix..."
start_prefix "$TMP/prefix"

GUID_WIFI='{5A1E0000-0000-4000-8000-00000000A1F1}'
GUID_LAN='{5A1E0000-0000-4000-8000-0000000E7E01}'
{
  fixture_begin
  fixture_adapter 0000 wlan 'Example Wireless Adapter' "$GUID_WIFI"
  fixture_dhcp "$GUID_WIFI" 192.168.178.20 255.255.255.0 192.168.178.1
  fixture_connection "$GUID_WIFI" 'Wi-Fi'
  fixture_adapter 0001 'ndis5,ethernet' 'Example Gigabit Ethernet Controller' "$GUID_LAN"
  fixture_dhcp "$GUID_LAN" 10.20.30.40 255.255.252.0 10.20.28.1
  fixture_connection "$GUID_LAN" 'Ethernet 2'
} >"$TMP/sample.reg"
import_fixture "$TMP/sample.reg"

WORK=$TMP/work
mkdir -p "$WORK"
mv "$TMP/netsh.exe.build" "$WORK/netsh.exe"

heading "Sample registry: adapters under the network-adapter class key"
echo "0000  Example Wireless Adapter             LowerRange wlan            (not Ethernet: passed over)"
echo "0001  Example Gigabit Ethernet Controller  LowerRange ndis5,ethernet  connection \"Ethernet 2\", DHCP 10.20.30.40"

heading "Running: wine hostpin.exe   (in $WORK)"
status=0
(cd "$WORK" && run_wine "$HOSTPIN" >"$TMP/report.txt" 2>"$TMP/stderr.txt") || status=$?
echo "exit status: $status"

heading "The netsh command it ran (as the stand-in recorded it)"
cat "$WORK/netsh.log"

heading "reserver.bat, the restore script it wrote (line ends CR LF)"
tr -d '\r' <"$WORK/reserver.bat"

heading "The report on standard output: the adapter as it was before the switch"
tr -d '\r' <"$TMP/report.txt"
if [ -s "$TMP/stderr.txt" ]; then
  heading "Standard error"
  cat "$TMP/stderr.txt"
fi

heading "Undoing it: wine hostpin.exe reserver.bat"
rm -f "$WORK/netsh.log"
(cd "$WORK" && run_wine "$HOSTPIN" reserver.bat >/dev/null 2>&1) || status=$?
echo "netsh was given:"
cat "$WORK/netsh.log"
exit "$status"
