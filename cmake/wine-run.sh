#!/bin/sh
# Runs one Windows program under Wine with the build tree's private prefix.
# The prefix, the persistent wineserver and the X display come from
# tools/wine-session.sh; KESTRUNE_WINE_ENV names the file it writes.
env_file=${KESTRUNE_WINE_ENV:-$(dirname "$0")/../build/windows/wine.env}
[ -f "$env_file" ] && . "$env_file"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
