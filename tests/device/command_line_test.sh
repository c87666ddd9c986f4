#!/bin/sh
# Runs the built addrstamp (through an emulator, if one is given) and checks its usage
# line, its message for a missing device, and its exit statuses.
# Usage: command_line_test.sh ADDRSTAMP [EMULATOR...]
tool=$1
shift
emulator="$*"
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# expect NAME STATUS OUTPUT ARGS...: OUTPUT is a printf format for the exact bytes.
expect() {
  name=$1 want_status=$2 want_out=$3
  shift 3
  # shellcheck disable=SC2086
  $emulator "$tool" "$@" >"$work/out"
  status=$?
  printf "$want_out" >"$work/want"
  if [ "$status" -ne "$want_status" ] || ! cmp -s "$work/out" "$work/want"; then
    echo "FAIL $name: status $status (want $want_status), output:"
    od -c "$work/out" | head -5
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

usage='addrstamp -m 02:5E:71:00:00:01 \n'
expect "no arguments" 255 "$usage"
expect "one argument" 255 "$usage" -m
expect "upper-case option" 255 "$usage" -M 02:5E:71:00:00:01
expect "three arguments" 255 "$usage" -m 02:5E:71:00:00:01 extra

if [ -e /dev/mtd2 ]; then
  echo "skip missing device: this machine has /dev/mtd2"
  [ "$failures" -eq 0 ] && exit 77
else
  expect "missing device" 1 'failed to open mtd,No such file or directory,/dev/mtd2\n' -m 02:5E:71:00:00:01
fi
[ "$failures" -eq 0 ]
