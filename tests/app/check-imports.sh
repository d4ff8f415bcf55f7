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
if ! grep -q '^kernel32.dll ' <<<"$imports"; then
  echo "no imports read from $exe: the import table could not be parsed" >&2
  exit 1
fi
refused=$(awk 'NR == FNR { if ($0 !~ /^#/ && NF) newer[tolower($1)] = 1; next }
  $1 ~ /^(api-ms-win-|ext-ms-)/ || tolower($1) in newer || tolower($2) in newer' \
  "$list" - <<<"$imports")
if [ -n "$refused" ]; then
  echo "$exe imports what Windows 7 lacks:" >&2
  echo "$refused" >&2
  exit 1
fi
echo "$(grep -c . <<<"$imports") imports, none newer than Windows 7"
