#!/bin/bash
# Prints the part of README.md a user of the packages needs: the introduction
# (without the screenshot, which is not shipped) and the sections below.
# Fails when one of them is missing, so a renamed heading cannot silently
# drop it from README.txt.
#   tools/readme-user-part.sh README.md
set -euo pipefail
awk -v sections="Download and run|kestrune-cli|The boot loader for the ATmega328P|Samples|License" '
  BEGIN { n = split(sections, wanted, "|"); keep = 1 }
  /^## / {
    keep = 0
    for (i = 1; i <= n; i++) if (substr($0, 4) == wanted[i]) { keep = 1; found[i] = 1 }
  }
  keep && !/^!\[/ { print }
  END {
    for (i = 1; i <= n; i++)
      if (!found[i]) { print "readme-user-part: README has no section \"" wanted[i] "\"" > "/dev/stderr"; bad = 1 }
    exit bad
  }' "${1:?README.md}"
