#!/usr/bin/env bash
# The wine stage: builds hostpin.exe with MinGW-w64 and runs it end to end under Wine, in a
# fresh headless prefix of its own, against registry fixtures imported with Wine's reg tool
# and the real command interpreter. A netsh stand-in in each case's working directory
# (found before the system one) records the exact command lines, so no adapter is touched.
#
#   bash tests/wine/run.sh [BUILD_DIR]     (default build/wine; run from the project root)
#
# Last line: "wine: N passed, N failed"; the status is non-zero if any case failed.
set -uo pipefail
ROOT=$PWD
BUILD=$(realpath -m "${1:-build/wine}")
CASES=$BUILD/cases
. "$ROOT/tests/wine/lib.sh"

passed=0
failed=0

finish() {
  stop_prefix
  echo "wine: $passed passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}

abort() {
  echo "wine: $*" >&2
  failed=$((failed + 1))
  finish
  exit 1
}

mkdir -p "$BUILD"
start=$SECONDS
HOSTPIN=$(build_hostpin "$BUILD/exe") || abort "cannot build hostpin.exe"
build_netsh_standin "$BUILD/netsh.exe" || abort "cannot build the netsh stand-in"
echo "built hostpin.exe ($(stat -c %s "$HOSTPIN") bytes) in $((SECONDS - start)) s"
if x86_64-w64-mingw32-objdump -p "$HOSTPIN" | grep 'DLL Name' | grep -viqE 'advapi32|kernel32|msvcrt|ws2_32'; then
  abort "hostpin.exe needs a DLL beyond Windows' own"
fi

start=$SECONDS
trap stop_prefix EXIT
start_prefix "$BUILD/prefix" || abort "cannot create the Wine prefix"
echo "made the Wine prefix in $((SECONDS - start)) s"
rm -rf "$CASES"

# --- case bookkeeping --------------------------------------------------------------

CASE=""
CASE_NAME=""

# Starts a case: an empty working directory holding only the netsh stand-in.
begin_case() {
  CASE_NAME=$1
  CASE=$CASES/$1
  mkdir -p "$CASE"
  cp "$BUILD/netsh.exe" "$CASE/"
}

end_case() {
  if [ ! -e "$CASE/faults" ]; then
    passed=$((passed + 1))
    echo "PASS $CASE_NAME"
  else
    failed=$((failed + 1))
    echo "FAIL $CASE_NAME (files in $CASE)"
  fi
}

# Records a fault of the current case in a file: checks also run at the end of pipelines,
# in subshells.
fault() {
  echo "$*" >>"$CASE/faults"
  echo "  $CASE_NAME: $*"
}

# Writes the fixture built by the function named in $1 (with the other arguments) and
# imports it.
load_fixture() {
  { fixture_begin; "$@"; } >"$CASE/fixture.reg"
  import_fixture "$CASE/fixture.reg" || fault "reg import failed"
}

# run_hostpin LABEL ARGS...: runs hostpin.exe with the arguments in the case directory and
# keeps LABEL.stdout, LABEL.stderr and LABEL.status there. The program lives elsewhere, so
# the files it has written show that it uses the working directory.
run_hostpin() {
  local label=$1
  shift
  (cd "$CASE" && run_wine "$HOSTPIN" "$@" >"$CASE/$label.stdout" 2>"$CASE/$label.stderr")
  echo $? >"$CASE/$label.status"
}

# expect_bytes LABEL FILE: the file holds exactly the bytes given on standard input.
expect_bytes() {
  local expected=$CASE/expected.$1
  cat >"$expected"
  if [ ! -e "$2" ]; then
    fault "$1: $(basename "$2") was not written"
    return
  fi
  if ! cmp -s "$expected" "$2"; then
    fault "$1: $(basename "$2") differs (expected, then actual):"
    od -c "$expected" | head -n 12 | sed 's/^/    /'
    od -c "$2" | head -n 12 | sed 's/^/    /'
  fi
}

expect_absent() {
  [ ! -e "$CASE/$1" ] || fault "$1 exists but should not: $(head -c 200 "$CASE/$1")"
}

expect_status_0() {
  local status
  status=$(cat "$CASE/$1.status")
  [ "$status" = 0 ] || fault "$1: exit status $status"
}

# Lines ended by CR LF, as text-mode output and cmd.exe's echo write them.
crlf() { printf '%s\r\n' "$@"; }
# Lines ended by LF, as the netsh stand-in logs its command lines.
lf() { printf '%s\n' "$@"; }

# report NAME DHCP DESC IP MASK GATEWAY BROADCAST: the nine report lines.
report() {
  local pad='        '
  crlf "$1:" "" "$pad$2 DHCP" "$pad$3" "$pad$4" "$pad$5" "$pad$6" "$pad$7" ""
}

switch_line() {
  lf "netsh interface ip set address \"$1\" static 192.168.0.23 255.255.240.0 192.168.0.3 0"
}

# Runs "hostpin.exe reserver.bat" and checks that the restore command reached the stand-in.
expect_restore_runs() {
  local restore=$1
  rm -f "$CASE/netsh.log"
  run_hostpin restore reserver.bat
  expect_status_0 restore
  lf "$restore" | expect_bytes restore-netsh "$CASE/netsh.log"
}

# --- fixtures ----------------------------------------------------------------------

GUID_A='{11111111-AAAA-4000-8000-000000000001}'
GUID_B='{22222222-BBBB-4000-8000-000000000002}'
DESC='Example Ethernet Controller'

dhcp_adapter() {
  fixture_adapter 0000 'ndis5,ethernet' "$DESC" "$GUID_A"
  fixture_dhcp "$GUID_A" 10.0.0.5 255.0.0.0 10.0.0.1
  fixture_connection "$GUID_A" 'Local Area Connection'
}

static_adapter_without_gateway() {
  fixture_adapter 0000 'ndis5,ethernet' "$DESC" "$GUID_A"
  fixture_static "$GUID_A" 192.168.1.10 255.255.255.0 ''
  fixture_connection "$GUID_A" 'LAN 2'
}

hidden_then_static() {
  fixture_adapter 0000 ethernet 'Hidden Adapter' "$GUID_B"
  fixture_static "$GUID_B" 10.9.9.9 255.0.0.0 10.9.9.1
  fixture_connection "$GUID_B" 'Hidden' 0
  fixture_adapter 0001 ethernet "$DESC" "$GUID_A"
  fixture_static "$GUID_A" 10.1.2.3 255.255.255.0 10.1.2.1
  fixture_connection "$GUID_A" 'LAN 2' 1
}

no_tcpip_then_dhcp() {
  fixture_adapter 0000 ethernet 'No TCP/IP Adapter' "$GUID_B"
  fixture_connection "$GUID_B" 'Unbound'
  fixture_adapter 0001 'ethernet,wlan' "$DESC" "$GUID_A"
  fixture_dhcp "$GUID_A" 172.16.5.9 255.255.0.0 172.16.0.1
  fixture_connection "$GUID_A" 'Local Area Connection 2'
}

capital_ethernet() {
  fixture_adapter 0000 Ethernet "$DESC" "$GUID_A"
  fixture_static "$GUID_A" 10.1.2.3 255.255.255.0 10.1.2.1
  fixture_connection "$GUID_A" 'LAN 2'
}

LONG_NAME=$(printf 'Connection %.0s' {1..23})   # 253 characters
LONG_NAME="${LONG_NAME}NN"                       # 255
LONG_DESC=$(printf 'D%.0s' {1..255})
# 254 characters of digits and dots: as a multi-string, with its two NULs, 256 bytes.
LONG_ADDRESS=$(printf '1.%.0s' {1..126})11

longest_texts() {
  fixture_adapter 0000 ethernet "$LONG_DESC" "$GUID_A"
  fixture_static "$GUID_A" "$LONG_ADDRESS" "$LONG_ADDRESS" "$LONG_ADDRESS"
  # 300 characters do not fit the 256-byte buffer, so the static address is read.
  printf '"DhcpIPAddress"=%s\n' "$(reg_sz "$(printf '9%.0s' {1..300})")"
  fixture_connection "$GUID_A" "$LONG_NAME"
}

# Inside the double quotes these are literal for the command interpreter, so they are safe.
QUOTED_NAME='LAN & <2> | ^ (x) !y!'

quoted_metacharacters() {
  fixture_adapter 0000 ethernet "$DESC" "$GUID_A"
  fixture_static "$GUID_A" 10.1.2.3 255.255.255.0 10.1.2.1
  fixture_connection "$GUID_A" "$QUOTED_NAME"
}

INJECTED_NAME='LAN" & echo injected> pwned.txt & rem "'
INJECTED_GATEWAY='10.1.2.1&echo injected>pwned.txt'

injection_in_name() {
  fixture_adapter 0000 ethernet "$DESC" "$GUID_A"
  fixture_static "$GUID_A" 10.1.2.3 255.255.255.0 10.1.2.1
  fixture_connection "$GUID_A" "$INJECTED_NAME"
}

injection_in_gateway() {
  fixture_adapter 0000 ethernet "$DESC" "$GUID_A"
  fixture_static "$GUID_A" 10.1.2.3 255.255.255.0 "$INJECTED_GATEWAY"
  fixture_connection "$GUID_A" 'LAN 2'
}

# --- cases -------------------------------------------------------------------------

begin_case dhcp
load_fixture dhcp_adapter
run_hostpin run
expect_status_0 run
report 'Local Area Connection' Enable "$DESC" 10.0.0.5 255.0.0.0 10.0.0.1 10.255.255.255 | expect_bytes report "$CASE/run.stdout"
: | expect_bytes stderr "$CASE/run.stderr"
switch_line 'Local Area Connection' | expect_bytes netsh "$CASE/netsh.log"
crlf 'netsh interface ip set address "Local Area Connection" source=dhcp ' | expect_bytes reserver "$CASE/reserver.bat"
expect_restore_runs 'netsh interface ip set address "Local Area Connection" source=dhcp '
[ ! -e "$(dirname "$HOSTPIN")/reserver.bat" ] || fault "reserver.bat written next to the program"
end_case

begin_case static-empty-gateway
load_fixture static_adapter_without_gateway
crlf 'an earlier restore script' 'that is longer than the new one, and must be gone' >"$CASE/reserver.bat"
run_hostpin run
expect_status_0 run
report 'LAN 2' Disable "$DESC" 192.168.1.10 255.255.255.0 '' 192.168.1.255 | expect_bytes report "$CASE/run.stdout"
switch_line 'LAN 2' | expect_bytes netsh "$CASE/netsh.log"
crlf 'netsh interface ip set address "LAN 2" static 192.168.1.10 255.255.255.0  0 ' |
  expect_bytes reserver "$CASE/reserver.bat"
expect_restore_runs 'netsh interface ip set address "LAN 2" static 192.168.1.10 255.255.255.0  0 '
end_case

begin_case showicon-0-passed-over
load_fixture hidden_then_static
run_hostpin run
expect_status_0 run
report 'LAN 2' Disable "$DESC" 10.1.2.3 255.255.255.0 10.1.2.1 10.1.2.255 | expect_bytes report "$CASE/run.stdout"
switch_line 'LAN 2' | expect_bytes netsh "$CASE/netsh.log"
crlf 'netsh interface ip set address "LAN 2" static 10.1.2.3 255.255.255.0 10.1.2.1 0 ' |
  expect_bytes reserver "$CASE/reserver.bat"
expect_restore_runs 'netsh interface ip set address "LAN 2" static 10.1.2.3 255.255.255.0 10.1.2.1 0 '
end_case

begin_case no-tcpip-passed-over
load_fixture no_tcpip_then_dhcp
run_hostpin run
expect_status_0 run
report 'Local Area Connection 2' Enable "$DESC" 172.16.5.9 255.255.0.0 172.16.0.1 172.16.255.255 |
  expect_bytes report "$CASE/run.stdout"
switch_line 'Local Area Connection 2' | expect_bytes netsh "$CASE/netsh.log"
crlf 'netsh interface ip set address "Local Area Connection 2" source=dhcp ' | expect_bytes reserver "$CASE/reserver.bat"
expect_restore_runs 'netsh interface ip set address "Local Area Connection 2" source=dhcp '
end_case

begin_case capital-Ethernet-does-not-match
load_fixture capital_ethernet
run_hostpin run
expect_status_0 run
: | expect_bytes report "$CASE/run.stdout"
: | expect_bytes stderr "$CASE/run.stderr"
expect_absent netsh.log
expect_absent reserver.bat
end_case

begin_case longest-texts
load_fixture longest_texts
run_hostpin run
expect_status_0 run
report "$LONG_NAME" Disable "$LONG_DESC" "$LONG_ADDRESS" "$LONG_ADDRESS" "$LONG_ADDRESS" 255.255.255.255 |
  expect_bytes report "$CASE/run.stdout"
switch_line "$LONG_NAME" | expect_bytes netsh "$CASE/netsh.log"
LONG_RESTORE="netsh interface ip set address \"$LONG_NAME\" static $LONG_ADDRESS $LONG_ADDRESS $LONG_ADDRESS 0 "
crlf "$LONG_RESTORE" | expect_bytes reserver "$CASE/reserver.bat"
expect_restore_runs "$LONG_RESTORE"
end_case

begin_case metacharacters-inside-quotes
load_fixture quoted_metacharacters
run_hostpin run
expect_status_0 run
report "$QUOTED_NAME" Disable "$DESC" 10.1.2.3 255.255.255.0 10.1.2.1 10.1.2.255 | expect_bytes report "$CASE/run.stdout"
: | expect_bytes stderr "$CASE/run.stderr"
switch_line "$QUOTED_NAME" | expect_bytes netsh "$CASE/netsh.log"
crlf "netsh interface ip set address \"$QUOTED_NAME\" static 10.1.2.3 255.255.255.0 10.1.2.1 0 " |
  expect_bytes reserver "$CASE/reserver.bat"
expect_restore_runs "netsh interface ip set address \"$QUOTED_NAME\" static 10.1.2.3 255.255.255.0 10.1.2.1 0 "
end_case

UNSAFE='holds characters that are unsafe on a command line'

begin_case injection-in-connection-name
load_fixture injection_in_name
run_hostpin run
expect_status_0 run
report "$INJECTED_NAME" Disable "$DESC" 10.1.2.3 255.255.255.0 10.1.2.1 10.1.2.255 | expect_bytes report "$CASE/run.stdout"
crlf "hostpin: adapter left unchanged: connectionName $UNSAFE" | expect_bytes stderr "$CASE/run.stderr"
expect_absent netsh.log
expect_absent reserver.bat
expect_absent pwned.txt
# The same text handed to the command interpreter does run the injected command, so the
# attempt above was a real one.
run_hostpin control "netsh interface ip set address \"$INJECTED_NAME\" static 192.168.0.23 255.255.240.0 192.168.0.3 0"
[ -e "$CASE/pwned.txt" ] || fault "control: the injected name did not create pwned.txt when run"
end_case

begin_case injection-in-gateway
load_fixture injection_in_gateway
run_hostpin run
expect_status_0 run
report 'LAN 2' Disable "$DESC" 10.1.2.3 255.255.255.0 "$INJECTED_GATEWAY" 10.1.2.255 | expect_bytes report "$CASE/run.stdout"
crlf "hostpin: adapter left unchanged: defaultGateway $UNSAFE" | expect_bytes stderr "$CASE/run.stderr"
expect_absent netsh.log
expect_absent reserver.bat
expect_absent pwned.txt
run_hostpin control "echo netsh interface ip set address \"LAN 2\" static 10.1.2.3 255.255.255.0 $INJECTED_GATEWAY 0 > ./reserver.bat"
[ -e "$CASE/pwned.txt" ] || fault "control: the injected gateway did not create pwned.txt when run"
end_case

begin_case stdout-closed
load_fixture dhcp_adapter
(cd "$CASE" && run_wine "$HOSTPIN" >&- 2>"$CASE/run.stderr")
echo $? >"$CASE/run.status"
expect_status_0 run
switch_line 'Local Area Connection' | expect_bytes netsh "$CASE/netsh.log"
crlf 'netsh interface ip set address "Local Area Connection" source=dhcp ' | expect_bytes reserver "$CASE/reserver.bat"
end_case

begin_case stdout-rejects-writes
load_fixture dhcp_adapter
(cd "$CASE" && run_wine "$HOSTPIN" >/dev/full 2>"$CASE/run.stderr")
echo $? >"$CASE/run.status"
expect_status_0 run
switch_line 'Local Area Connection' | expect_bytes netsh "$CASE/netsh.log"
crlf 'netsh interface ip set address "Local Area Connection" source=dhcp ' | expect_bytes reserver "$CASE/reserver.bat"
end_case

begin_case arguments
load_fixture dhcp_adapter
# One argument, blanks and all: handed to the command interpreter, nothing else.
run_hostpin pass-through 'netsh show interface'
expect_status_0 pass-through
: | expect_bytes pass-through-stdout "$CASE/pass-through.stdout"
lf 'netsh show interface' | expect_bytes pass-through-netsh "$CASE/netsh.log"
expect_absent reserver.bat
# An option-like argument is a command like any other; its failure still ends with 0.
run_hostpin option -h
expect_status_0 option
expect_absent reserver.bat
# Two arguments: adapter mode, and the arguments are not run.
rm -f "$CASE/netsh.log"
run_hostpin two-arguments netsh show
expect_status_0 two-arguments
switch_line 'Local Area Connection' | expect_bytes adapter-mode-netsh "$CASE/netsh.log"
report 'Local Area Connection' Enable "$DESC" 10.0.0.5 255.0.0.0 10.0.0.1 10.255.255.255 |
  expect_bytes adapter-mode-report "$CASE/two-arguments.stdout"
end_case

if [ "$failed" -eq 0 ]; then
  stop_prefix
  rm -rf "$BUILD/prefix"   # about 700 MB; the cases' files stay for inspection
fi
finish
