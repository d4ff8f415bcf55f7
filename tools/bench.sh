#!/bin/bash
# All benchmarks: Intel HEX, S-record and ELF parsing (native), serial number
# cost per board (native), download line-time ratio
# (native and Win32 under Wine), gang download (native), hex view paint time
# (under Wine), boot loader size and download ratio on the simulated chip, and
# the fault soak (native, a few minutes).
#   tools/bench.sh BUILD_NATIVE_RELEASE BUILD_WINDOWS
set -euo pipefail
release=${1:-build/native-release}
windows=${2:-build/windows}
cd "$(dirname "$0")/.."
echo "== ParseIntelHex, ParseSRecord, ParseElf"
"$release/bench/bench_intelhex"
echo "== the readers beside objcopy and srec_cat, 16 MiB of firmware at 0x08000000, whole process"
tools/bench-readers.sh "$release"
echo "== serial numbers: stamping a 64 KiB image, taking a number from the counter file"
"$release/bench/bench_serial_number"
echo "== download, 64 KiB at 115200 baud"
tools/bench-download.sh "$release" "$windows"
echo "== gang download, 64 KiB at 115200 baud into one and into four targets"
tools/bench-gang.sh "$release"
echo "== boot loader on the simulated ATmega328P, 28 KiB at 115200 baud in real time"
tools/bench-boot.sh "$release" "${KESTRUNE_AVR_BUILD:-build/avr}"
echo "== fault soak: 200 single, gang and repeat downloads with random faults"
tools/soak.py "$release" 200
if [ -x tools/bench-paint.sh ]; then
  echo "== hex view paint"
  tools/bench-paint.sh "$windows"
fi
