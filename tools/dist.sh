#!/bin/bash
# make dist: the release packages in dist/, from the version in VERSION:
#   kestrune-VERSION-windows-x64.zip      Kestrune.exe, kestrune-cli.exe, README.txt, LICENSE, samples/, firmware/
#   kestrune-VERSION-linux-x86_64.tar.gz  bin/, share/ (as make install lays them out), README.md, LICENSE, samples/, firmware/
#   SHA256SUMS
# The same sources give the same bytes: every time stamp is SOURCE_DATE_EPOCH
# (the last commit's time unless set), entries are sorted with fixed owners
# and modes, and the programs carry neither build paths nor link times.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
version=$(head -n 1 VERSION)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  { echo "dist: VERSION must hold MAJOR.MINOR.PATCH, e.g. 1.0.0" >&2; exit 1; }
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "dist: not a git checkout; set SOURCE_DATE_EPOCH to the sources' time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
jobs=${JOBS:-$(nproc)}

for preset in dist-linux dist-windows avr; do
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
done

out=$root/dist
stage=$root/build/dist-stage
linux=kestrune-$version-linux-x86_64
windows=kestrune-$version-windows-x64
rm -rf "$stage"
mkdir -p "$stage/$windows" "$out"
rm -f "$out"/kestrune-*-linux-x86_64.tar.gz "$out"/kestrune-*-windows-x64.zip "$out/SHA256SUMS"

cmake --install build/dist-linux --prefix "$stage/$linux" --strip >/dev/null
cp README.md LICENSE "$stage/$linux/"
cp build/dist-windows/app/Kestrune.exe build/dist-windows/cli/kestrune-cli.exe LICENSE "$stage/$windows/"
"$root/tools/readme-user-part.sh" README.md | sed 's/$/\r/' >"$stage/$windows/README.txt"
for package in "$linux" "$windows"; do
  cp -r samples "$stage/$package/"
  mkdir -p "$stage/$package/firmware"
  cp build/avr/boot/atmega328p/kestrune-boot-atmega328p.hex "$stage/$package/firmware/"
done

# Modes and times that do not depend on the umask or the clock.
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
chmod 755 "$stage/$linux/bin/"* "$stage/$windows/"*.exe
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

(cd "$stage" && tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" \
  --format=gnu -cf - "$linux") | gzip -9 -n >"$out/$linux.tar.gz"
(cd "$stage" && find "$windows" | sort | zip -X -9 -q -@ "$out/$windows.zip")
(cd "$out" && sha256sum "$windows.zip" "$linux.tar.gz" >SHA256SUMS)
echo "dist: version $version, time stamps $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%SZ)"
(cd "$out" && ls -l "$windows.zip" "$linux.tar.gz" && cat SHA256SUMS)
