#!/bin/bash
# The program must start on the oldest Windows it promises: no DLL it imports
# and no function it imports may be one that system lacks (LIST), and no API
# set DLL (api-ms-win-*, ext-ms-*) may appear, which Windows 7 does not resolve.
#   check-imports.sh OBJDUMP EXE LIST
set -uo pipefail
objdump=$1 exe=$2 list=$3
# "DLL Name: X" heads each DLL's block; its functions follow as "vma hint name".
imports=$("$objdump" -p "$exe" | awk '
  /DLL Name:/ { dll = tolower($3); next }
  dll != "" && /^[ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z_]/ { print dll, $3 }')
count=$(printf '%s\n' "$imports" | grep -c .)
if ! printf '%s\n' "$imports" | grep -q '^kernel32.dll '; then
  echo "no imports read from $exe: the import table could not be parsed" >&2
  exit 1
fi
status=0
while read -r dll function; do
  case $dll in api-ms-win-*|ext-ms-*) echo "$exe imports $function from $dll, an API set" >&2; status=1 ;; esac
  if grep -qixF -e "$dll" -e "$function" <(grep -v '^#' "$list"); then
    echo "$exe imports $dll $function, which Windows 7 lacks" >&2
    status=1
  fi
done <<<"$imports"
[ $status -eq 0 ] && echo "$count imports, none newer than Windows 7"
exit $status
