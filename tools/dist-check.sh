#!/bin/bash
# make dist-check: the packages in dist/ as a user gets them. Each is
# unpacked into an empty folder and run from there: the Linux programs
# natively (a download into the packaged kestrune-target, the manual pages
# rendered), the Windows ones in a fresh Wine prefix (the version resources,
# an info, the dialog shown and closed with Exit). Then the sources are built
# into packages again in another folder, which must give the same bytes.
#   tools/dist-check.sh [WINDOWS_BUILD]   (where dist_probe.exe was built; default build/windows)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/start-target.sh
. "$root/tools/start-target.sh"
probe=$(realpath -m "${1:-$root/build/windows}")/tests/dist/dist_probe.exe
version=$(head -n 1 "$root/VERSION")
linux=kestrune-$version-linux-x86_64
windows=kestrune-$version-windows-x64
dist=$root/dist
for file in "$dist/$linux.tar.gz" "$dist/$windows.zip" "$dist/SHA256SUMS" "$probe"; do
  [ -f "$file" ] || { echo "dist-check: $file is missing (make dist-check builds it)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/kestrune-dist-check.XXXXXX)
target_pid=
cleanup() {
  [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null
  "$root/tools/wine-session.sh" stop "$work/wine" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect_line FILE LINE WHAT: FILE (carriage returns dropped) has LINE.
expect_line() {
  tr -d '\r' <"$1" | grep -qxF -- "$2" || { fail "$3: no line '$2' in:"; sed 's/^/    /' "$1"; }
}
# expect_files DIR FILES...: each exists below DIR.
expect_files() {
  local dir=$1 file
  shift
  for file in "$@"; do [ -e "$dir/$file" ] || fail "${dir#"$work"/} has no $file"; done
}
step() { echo "== $1 ($((SECONDS - start)) s so far)"; }
start=$SECONDS

step "checksums"
(cd "$dist" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match the packages"

step "Linux package, unpacked into an empty folder"
mkdir -p "$work/linux"
tar -xzf "$dist/$linux.tar.gz" -C "$work/linux" || fail "the tarball does not unpack"
[ "$(ls "$work/linux")" = "$linux" ] || fail "the tarball holds more than the folder $linux"
unpacked=$work/linux/$linux
expect_files "$unpacked" bin/kestrune-cli bin/kestrune-target README.md LICENSE samples/demo-firmware.hex \
  firmware/kestrune-boot-atmega328p.hex \
  share/man/man1/kestrune-cli.1 share/man/man1/kestrune-target.1 share/bash-completion/completions/kestrune-cli
cd "$unpacked" || exit 1
for program in kestrune-cli kestrune-target; do
  bin/$program --version >"$work/version" 2>&1
  expect_line "$work/version" "$program $version" "$program --version"
  nm "bin/$program" 2>&1 | grep -q "no symbols" || fail "bin/$program is not stripped"
  MANWIDTH=80 man --warnings -l "share/man/man1/$program.1" >"$work/man" 2>"$work/man.err"
  grep -q "^NAME" "$work/man" && [ ! -s "$work/man.err" ] ||
    { fail "the manual page of $program does not render cleanly"; cat "$work/man.err"; }
done
bash -c '. share/bash-completion/completions/kestrune-cli && complete -p kestrune-cli' >/dev/null 2>&1 ||
  fail "the bash completion does not load"
if start_target bin/kestrune-target "$work" --expect samples/demo-firmware.hex --timeout 120; then
  bin/kestrune-cli download --port "$port" samples/demo-firmware.hex >"$work/download" 2>/dev/null ||
    fail "kestrune-cli download exited $?"
  expect_line "$work/download" "Download.....Success !" "kestrune-cli download"
  wait "$target_pid" || fail "kestrune-target judged the download with exit $?: $(tail -n 1 "$work/target.out")"
  target_pid=
else
  fail "the packaged kestrune-target did not start: $(cat "$work/target.err")"
fi

step "Windows package, unpacked into an empty folder"
mkdir -p "$work/windows"
unzip -q "$dist/$windows.zip" -d "$work/windows" || fail "the zip does not unpack"
[ "$(ls "$work/windows")" = "$windows" ] || fail "the zip holds more than the folder $windows"
unpacked=$work/windows/$windows
expect_files "$unpacked" Kestrune.exe kestrune-cli.exe README.txt LICENSE samples/demo-firmware.hex \
  firmware/kestrune-boot-atmega328p.hex
cd "$unpacked" || exit 1
for program in Kestrune.exe kestrune-cli.exe; do
  x86_64-w64-mingw32-objdump -p "$program" >"$work/headers" 2>&1
  grep -q "^Time/Date.*1970$" "$work/headers" || fail "$program has a link time stamp: $(grep Time/Date "$work/headers")"
  grep -iE "DLL Name: (libstdc|libgcc|libwinpthread)" "$work/headers" && fail "$program is not static"
  x86_64-w64-mingw32-nm "$program" 2>&1 | grep -q "no symbols" || fail "$program is not stripped"
done

step "Windows programs in a fresh Wine prefix"
if "$root/tools/wine-session.sh" start "$work/wine" >"$work/wine.log" 2>&1; then
  # shellcheck disable=SC1091
  . "$work/wine/wine.env"
  wine kestrune-cli.exe --version >"$work/version" 2>&1
  expect_line "$work/version" "kestrune-cli $version" "kestrune-cli.exe --version"
  wine kestrune-cli.exe info 'samples\demo-firmware.hex' >"$work/info" 2>&1 || fail "kestrune-cli.exe info exited $?"
  expect_line "$work/info" "size: 66560" "kestrune-cli.exe info"
  expect_line "$work/info" "checksum: B707" "kestrune-cli.exe info"
  wine "$probe" kestrune-cli.exe >"$work/probe-cli" 2>&1 || fail "kestrune-cli.exe's version resource is incomplete"
  expect_line "$work/probe-cli" "FileVersion: $version" "kestrune-cli.exe's version resource"
  expect_line "$work/probe-cli" "OriginalFilename: kestrune-cli.exe" "kestrune-cli.exe's version resource"
  wine "$probe" Kestrune.exe --dialog >"$work/probe-app" 2>&1 || fail "Kestrune.exe did not run as expected"
  for line in "FileVersion: $version" "ProductVersion: $version" "ProductName: Kestrune" \
    "OriginalFilename: Kestrune.exe" "dialog: Kestrune" "button: Exit" "exit code: 0"; do
    expect_line "$work/probe-app" "$line" "Kestrune.exe"
  done
  "$root/tools/wine-session.sh" stop "$work/wine" >/dev/null 2>&1
else
  fail "the Wine session did not start: $(cat "$work/wine.log")"
fi

step "the same packages from another folder"
cd "$root" || exit 1
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null)}
if [ -z "$epoch" ]; then
  fail "not a git checkout and no SOURCE_DATE_EPOCH: the second build needs one of them"
else
  copy=$work/elsewhere/a-longer-path-than-the-first/kestrune
  mkdir -p "$copy"
  # The files git tracks, as they are now: the build must need no others.
  git ls-files -z | tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$copy"
  if SOURCE_DATE_EPOCH=$epoch "$copy/tools/dist.sh" >"$work/dist2.log" 2>&1; then
    for file in "$linux.tar.gz" "$windows.zip" SHA256SUMS; do
      cmp -s "$dist/$file" "$copy/dist/$file" || fail "$file differs when built in another folder"
    done
  else
    fail "make dist in another folder failed:"
    tail -n 20 "$work/dist2.log"
  fi
fi

echo "== $((SECONDS - start)) s"
if [ "$failures" -eq 0 ]; then
  echo "dist-check: both packages work from a clean unpack and are reproducible"
  (cd "$dist" && cat SHA256SUMS)
fi
exit $((failures > 0))
