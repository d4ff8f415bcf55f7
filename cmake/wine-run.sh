#!/bin/sh
# Runs one Windows program under Wine with the build tree's private prefix.
# The prefix, the persistent wineserver and the X display come from
# tools/wine-session.sh, which writes BUILD/wine.env. CTest runs each test in
# a folder below BUILD, so the nearest wine.env above the working directory
# is the session's; KESTRUNE_WINE_ENV names another one.
env_file=${KESTRUNE_WINE_ENV:-}
# A relative KESTRUNE_WINE_ENV names a file from where ctest was started,
# not from the test's folder: then the search below finds the session.
[ -n "$env_file" ] && [ ! -f "$env_file" ] && env_file=
if [ -z "$env_file" ]; then
  dir=$(pwd)
  while [ "$dir" != "/" ]; do
    if [ -f "$dir/wine.env" ]; then env_file=$dir/wine.env; break; fi
    dir=$(dirname "$dir")
  done
fi
[ -n "$env_file" ] && [ -f "$env_file" ] && . "$env_file"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
