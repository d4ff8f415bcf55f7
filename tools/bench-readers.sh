#!/bin/bash
# The firmware readers beside GNU objcopy and srec_cat, whole process against
# whole process: 16 MiB of random firmware at 0x08000000 as ELF (one
# segment), S-record (S3, 32 bytes a record) and Intel HEX, each turned into
# the flat image. Prints the median wall time of BENCH_RUNS runs (hyperfine)
# and the peak resident memory of one run (/usr/bin/time).
#   tools/bench-readers.sh BUILD_NATIVE_RELEASE
set -euo pipefail
release=${1:-build/native-release}
runs=${BENCH_RUNS:-5}
cli=$(realpath "$release/cli/kestrune-cli")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c $((16 << 20)) /dev/urandom >fw.bin
arm-none-eabi-objcopy -I binary -O elf32-littlearm -B arm fw.bin fw.o
arm-none-eabi-ld -e 0x08000000 --section-start=.data=0x08000000 -o fw.elf fw.o
arm-none-eabi-objcopy -I binary -O srec --change-addresses 0x08000000 --srec-forceS3 \
  --srec-len 32 fw.bin fw.srec
arm-none-eabi-objcopy -I binary -O ihex --change-addresses 0x08000000 fw.bin fw.hex

# median seconds and peak MB of one command line
measure() {
  hyperfine -N -w 1 -r "$runs" --export-json t.json "$1" >/dev/null 2>&1
  local median peak
  median=$(python3 -c 'import json; print("%.3f" % json.load(open("t.json"))["results"][0]["median"])')
  peak=$(/usr/bin/time -f %M $1 2>&1 >/dev/null | tail -1)
  printf '%s s, %s MB' "$median" "$(awk "BEGIN { printf \"%.1f\", $peak / 1024 }")"
}

check() {  # every tool must give the same image
  cmp -s "$1" fw.bin || { echo "bench-readers: $2 made another image" >&2; exit 1; }
}

printf '%-9s | %-24s | %-24s | %s\n' file kestrune-cli objcopy srec_cat
for kind in elf srec hex; do
  size=$(stat -c %s "fw.$kind")
  "$cli" info --origin lowest --output k.bin "fw.$kind" >/dev/null && check k.bin "kestrune-cli ($kind)"
  ours=$(measure "$cli info --origin lowest fw.$kind")
  case $kind in
  elf) theirs=$(measure "arm-none-eabi-objcopy -O binary fw.elf o.bin"); check o.bin objcopy; cat="-" ;;
  srec | hex)
    input=$([ $kind = srec ] && echo srec || echo ihex)
    theirs=$(measure "objcopy -I $input -O binary fw.$kind o.bin"); check o.bin objcopy
    cat=$(measure "srec_cat fw.$kind -$([ $kind = srec ] && echo motorola || echo intel) -offset -0x08000000 -o c.bin -binary")
    check c.bin srec_cat ;;
  esac
  printf '%-9s | %-24s | %-24s | %s\n' "$kind $((size >> 20))M" "$ours" "$theirs" "$cat"
done
