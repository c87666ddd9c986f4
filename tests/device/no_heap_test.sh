#!/bin/sh
# Fails when any of the given object files refers to an allocator.
# Usage: no_heap_test.sh NM OBJECT...
nm=$1
shift
found=$("$nm" -u "$@" | grep -E ' (malloc|calloc|realloc|free|strdup|strndup|asprintf|vasprintf|_Zn[wa][jm].*)$')
if [ -n "$found" ]; then
  echo "allocator references:"
  echo "$found"
  exit 1
fi
echo "no allocator referenced by $# objects"
