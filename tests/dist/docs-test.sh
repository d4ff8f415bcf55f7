#!/bin/bash
# The shipped documentation against the programs: every option a --help text
# names is in the program's manual page, the pages render without warnings,
# and the bash completion offers commands, options and values.
#   docs-test.sh KESTRUNE_CLI KESTRUNE_TARGET SOURCE_DIR
set -uo pipefail
cli=$(realpath "$1") target=$(realpath "$2") source=$(realpath "$3")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# check_page PAGE HELP_COMMAND...: the options of each help text are in PAGE.
check_page() {
    local page=$1 text options option
    shift
    text=$(sed 's/\\-/-/g' "$page")
    for help in "$@"; do
        options=$(eval "$help --help" | grep -oE -- '--[a-z][a-z-]*' | sort -u)
        [ -n "$options" ] || fail "$help --help names no option"
        for option in $options; do
            grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$text" ||
                fail "$help --help names $option, which ${page#"$source"/} does not describe"
        done
    done
    local warnings rendered
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "${page#"$source"/} renders with warnings: $warnings"
    rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null | grep -c 'EXIT STATUS')
    [ "$rendered" -ge 1 ] || fail "${page#"$source"/} does not render"
}

commands=$("$cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
[ -n "$commands" ] || fail "kestrune-cli --help lists no command"
helps=("'$cli'")
for command in $commands; do helps+=("'$cli' $command"); done
check_page "$source/cli/kestrune-cli.1" "${helps[@]}"
check_page "$source/target/kestrune-target.1" "'$target'"

cd "$source" || exit 1
# Completion: the typed words, then a word the completion must offer.
# shellcheck source=cli/kestrune-cli.bash
. "$source/cli/kestrune-cli.bash"
while IFS='|' read -r line expected; do
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_WORDS[0]=$cli
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _kestrune_cli
    printf '%s\n' "${COMPREPLY[@]}" | grep -qxF -- "$expected" ||
        fail "completing '$line' offers '${COMPREPLY[*]}', not $expected"
done <<'CASES'
kestrune-cli dow|download
kestrune-cli --ver|--version
kestrune-cli help p|ports
kestrune-cli download --b|--baud
kestrune-cli download --port /dev/null --baud 11|115200
kestrune-cli download --serial-format u16|u16be
kestrune-cli info --o|--output
kestrune-cli info ./CMakeL|./CMakeLists.txt
CASES

[ "$failures" -eq 0 ] && echo "documentation and completion match the programs"
exit $((failures > 0))
