#!/usr/bin/env bash
# velkrun's options are written down in three places that must agree: the
# manual page's source (packaging/man/velkrun.1.md), the --help text of the
# built velkrun, and the bash completion.  The README points to the manual page
# and repeats neither its options nor its exit statuses.  The built manual pages
# render without a warning.
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
compare "the manual page" "$man_options" "velkrun --help" "$help_options"
compare "the manual page" "$man_options" "the bash completion" "$completion_options"

[ -n "$(section "$man_source" "# EXIT STATUS" | grep '^| [0-9]')" ] ||
  fail "no exit statuses found in $man_source"
if grep -qE '^#+ (Options|Exit status)$' "$src/README.md"; then
  fail "the README repeats the manual page's options or exit statuses: point to velkrun(1)"
fi

# Every built page renders without a warning from groff.
if command -v groff >/dev/null; then
  for page in "$man_dir"/*.[1-9]; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about ${page##*/}: $warnings"
  done
fi
[ "$status" -ne 0 ] || echo "velkrun's options agree in the manual page, --help and completion"
exit "$status"
