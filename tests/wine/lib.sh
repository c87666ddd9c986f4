# Shared by the Wine tests and the demo: building hostpin.exe and the netsh stand-in,
# a headless Wine prefix of our own, and registry fixtures written as REGEDIT4 files.
# Source it from the project root; every function expects $ROOT to be that root.

WINE_TIMEOUT=${WINE_TIMEOUT:-60}

# Builds hostpin.exe under $1 (a build directory) and prints its path.
build_hostpin() {
  local dir=$1
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_DEVICE=OFF -DBUILD_TESTS=OFF >"$dir.log" 2>&1 &&
    cmake --build "$dir" >>"$dir.log" 2>&1 || { cat "$dir.log" >&2; return 1; }
  echo "$dir/host/hostpin.exe"
}

# Builds the netsh stand-in as $1.
build_netsh_standin() {
  x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -Werror -static -s \
    -o "$1" "$ROOT/tests/wine/netsh_standin.cpp"
}

# Makes a fresh prefix in $1 and starts a persistent server for it. Headless: no display,
# no debug output, no Mono or Gecko installer prompts.
start_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # A persistent server from the start: every later wine command then starts quickly.
  wineserver -p </dev/null || return 1
  timeout "$WINE_TIMEOUT" wineboot --init </dev/null >"$WINEPREFIX.log" 2>&1 || {
    cat "$WINEPREFIX.log" >&2
    return 1
  }
}

stop_prefix() {
  [ -n "${WINEPREFIX:-}" ] && timeout 30 wineserver -k </dev/null >/dev/null 2>&1
  return 0
}

# Runs a Windows program under Wine with no standard input, bounded in time.
run_wine() {
  timeout "$WINE_TIMEOUT" wine "$@" </dev/null
}

# --- registry fixtures -------------------------------------------------------------

CLASS_KEY='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4d36e972-e325-11ce-bfc1-08002be10318}'
TCPIP_KEY='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces'
NETWORK_KEY='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Network\{4D36E972-E325-11CE-BFC1-08002BE10318}'

# A REGEDIT4 string: backslashes and double quotes escaped.
reg_sz() {
  local s=${1//\\/\\\\}
  printf '"%s"' "${s//\"/\\\"}"
}

# A REGEDIT4 multi-string: each text as single bytes, NUL after each, and a final NUL.
reg_multi_sz() {
  local out="" s i
  for s in "$@"; do
    for ((i = 0; i < ${#s}; i++)); do out+=$(printf '%02x,' "'${s:i:1}"); done
    out+="00,"
  done
  printf 'hex(7):%s00' "$out"
}

reg_dword() {
  printf 'dword:%08x' "$1"
}

# Starts a fixture: the lines that delete the adapter class key, the TCP/IP interface keys
# and the network connection keys, so each import starts from none.
fixture_begin() {
  printf 'REGEDIT4\n\n[-%s]\n[-%s]\n[-%s]\n' "$CLASS_KEY" "$TCPIP_KEY" "$NETWORK_KEY"
}

# fixture_adapter SUBKEY LOWERRANGE DRIVERDESC GUID: an entry under the adapter class key.
fixture_adapter() {
  printf '\n[%s\\%s]\n"DriverDesc"=%s\n"NetCfgInstanceID"=%s\n' "$CLASS_KEY" "$1" "$(reg_sz "$3")" "$(reg_sz "$4")"
  printf '\n[%s\\%s\\Ndi\\Interfaces]\n"LowerRange"=%s\n' "$CLASS_KEY" "$1" "$(reg_sz "$2")"
}

# fixture_static GUID IP MASK GATEWAY: static addressing, multi-strings as Windows keeps them.
fixture_static() {
  printf '\n[%s\\%s]\n"EnableDHCP"=%s\n"IPAddress"=%s\n"SubnetMask"=%s\n"DefaultGateway"=%s\n' \
    "$TCPIP_KEY" "$1" "$(reg_dword 0)" "$(reg_multi_sz "$2")" "$(reg_multi_sz "$3")" "$(reg_multi_sz "$4")"
}

# fixture_dhcp GUID IP MASK GATEWAY: a DHCP lease, with the unused static values at 0.0.0.0.
fixture_dhcp() {
  printf '\n[%s\\%s]\n"EnableDHCP"=%s\n"DhcpIPAddress"=%s\n"DhcpSubnetMask"=%s\n"DhcpDefaultGateway"=%s\n' \
    "$TCPIP_KEY" "$1" "$(reg_dword 1)" "$(reg_sz "$2")" "$(reg_sz "$3")" "$(reg_sz "$4")"
  printf '"IPAddress"=%s\n"SubnetMask"=%s\n' "$(reg_multi_sz 0.0.0.0)" "$(reg_multi_sz 0.0.0.0)"
}

# fixture_connection GUID NAME [SHOWICON]: the connection entry with its display name.
fixture_connection() {
  printf '\n[%s\\%s\\Connection]\n"Name"=%s\n' "$NETWORK_KEY" "$1" "$(reg_sz "$2")"
  [ $# -lt 3 ] || printf '"ShowIcon"=%s\n' "$(reg_dword "$3")"
}

# Imports a fixture file with Wine's own reg tool (named relative to its directory, since
# reg would take a leading "/" for a switch).
import_fixture() {
  (cd "$(dirname "$1")" && run_wine reg import "$(basename "$1")" >/dev/null 2>&1)
}
