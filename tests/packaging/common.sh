# Sourced by the packaging tests: a temporary directory removed at exit with
# the demo site it started, fail(), and start_site.
work=$(mktemp -d)
site=
cleanup() {
  if [ -n "$site" ]; then kill "$site" 2>/dev/null || true; wait "$site" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# start_site PROGRAM WHAT: starts the demo site on a free loopback port, waits
# at most 10 s for it, and sets port.
start_site() {
  "$1" --port 0 --port-file "$work/port" >"$work/site.log" 2>&1 &
  site=$!
  for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
  [ -s "$work/port" ] || { cat "$work/site.log"; fail "the $2 demo site did not start"; }
  port=$(cat "$work/port")
}
