#!/usr/bin/env bash
# velkrun's options and exit statuses are written down in four places that must
# agree: the manual page's source (packaging/man/velkrun.1.md), the README, the
# --help text of the built velkrun, and the bash completion.  The exit-status
# table of the README is the manual page's, row for row.  The built manual
# pages render without a warning.
#   man_readme_test.sh SOURCE-DIR VELKRUN MAN-BUILD-DIR
set -euo pipefail
src=$1
velkrun=$2
man_dir=$3
man_source=$src/packaging/man/velkrun.1.md
status=0
fail() { echo "FAILED: $*" >&2; status=1; }

# section FILE HEADING: the lines of FILE from HEADING to the next heading of
# that level or above.
section() {
  awk -v heading="$2" '
    $0 == heading { on = 1; level = index(heading, " "); next }
    on && /^#+ / && index($0, " ") <= level { exit }
    on { print }' "$1"
}
# The --options named in the input, one a line, sorted.
options() { grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }

man_options=$(section "$man_source" "# OPTIONS" | options)
readme_options=$(section "$src/README.md" "### Options" | options)
help_options=$("$velkrun" --help | options)
completion_options=$(grep -oE -- "--[a-z][a-z-]*[a-z]=?" "$src/packaging/completion/velkrun" |
                       tr -d = | sort -u)
[ -n "$man_options" ] || fail "no options found in $man_source"
compare() {
  if [ "$2" != "$4" ]; then
    fail "the options of $1 and $3 differ:"
    diff <(echo "$2") <(echo "$4") | sed -n 's/^[<>]/  &/p' >&2 || true
  fi
}
compare "the manual page" "$man_options" "the README" "$readme_options"
compare "the manual page" "$man_options" "velkrun --help" "$help_options"
compare "the manual page" "$man_options" "the bash completion" "$completion_options"

# The exit-status tables, row for row.
man_rows=$(section "$man_source" "# EXIT STATUS" | grep '^| [0-9]')
readme_rows=$(section "$src/README.md" "### Exit status" | grep '^| [0-9]')
[ -n "$man_rows" ] || fail "no exit statuses found in $man_source"
if [ "$man_rows" != "$readme_rows" ]; then
  fail "the exit statuses of the manual page and the README differ:"
  diff <(echo "$man_rows") <(echo "$readme_rows") >&2 || true
fi

# Every built page renders without a warning from groff.
if command -v groff >/dev/null; then
  for page in "$man_dir"/*.[1-9]; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about ${page##*/}: $warnings"
  done
fi
[ "$status" -ne 0 ] || echo "velkrun's options and exit statuses agree in the manual page, README, --help and completion"
exit "$status"
