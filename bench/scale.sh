#!/usr/bin/env bash
# Many mostly-waiting virtual users against a local nginx.
#
#   bench/scale.sh [VELKRUN]
#
# For each user count in USERS (default "1000 5000 10000") velkrun runs a test in
# which every user makes one kept-alive GET, pauses 1 s, and so on for about
# SECONDS_PER_RUN (30) seconds.  Each run must start, run and finish without errors.
# Printed per run: the ramp-up (from the start of velkrun until every user holds its
# connection to the server, counted with ss), the peak resident memory of velkrun
# per user (also less what velkrun takes with a single user), and the requests made.
#
# 10,000 users need 10,064 open files (velkrun raises its soft limit up to the hard
# one: see ulimit -Hn).  They run as tasks on one event-loop thread per core, so the
# thread limits (kernel.threads-max, kernel.pid_max) do not bound them; the largest
# run the open-file limit allows is its hard limit less 64 (USERS="... 19936" at
# 20,000).  Past about 14,000 users the ramp-up grows to tens of seconds: see
# docs/performance.md on net.ipv4.ip_local_port_range.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=local_nginx.sh
source "$here/local_nginx.sh"

VELKRUN=$(find_velkrun "${1:-}")
[ -x "$VELKRUN" ] || { echo "velkrun not found; pass its path" >&2; exit 2; }
VELKRUN=$(realpath "$VELKRUN")
USERS=${USERS:-"1000 5000 10000"}
SECONDS_PER_RUN=${SECONDS_PER_RUN:-30}
PORT=${PORT:-18481}
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (apt-get install time)" >&2; exit 2; }
command -v nginx >/dev/null || { echo "nginx missing (apt-get install nginx)" >&2; exit 2; }

ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
most=0
for n in $USERS; do [ "$n" -le "$most" ] || most=$n; done
echo "open files: soft $(ulimit -n), hard $(ulimit -Hn); threads-max $(cat /proc/sys/kernel/threads-max)," \
    "pid_max $(cat /proc/sys/kernel/pid_max); largest run $most users" >&2
if [ "$(ulimit -Hn)" -lt $((most + 64)) ]; then
    echo "warning: the hard open-file limit is below $((most + 64)); raise it (ulimit -Hn) in this shell" >&2
fi

work=$(mktemp -d /tmp/velk-scale.XXXXXX)
cd "$work"
RUN_PID=
cleanup() {
    if [ -n "$RUN_PID" ] && kill -0 "$RUN_PID" 2>/dev/null; then
        kill -TERM -- "-$RUN_PID" 2>/dev/null || true
        wait "$RUN_PID" 2>/dev/null || true
    fi
    nginx_stop
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cat >"$work/scale.txt" <<EOF
[general]
clients=1
requests=$SECONDS_PER_RUN
server=127.0.0.1
port=$PORT
keepalive=1
delaystart=0
delay=1000
round=0
timeout=30
reportdir=

[get]
\$uri=/small.txt
EOF

established() {
    ss -Htn state established "( dport = :$PORT )" 2>/dev/null | wc -l
}

# Runs velkrun with n users; prints "ramp_ms peak_kb requests errors status".
run_users() {
    local n=$1
    local started
    started=$(date +%s%N)
    setsid /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" \
        timeout -k 10 $((SECONDS_PER_RUN * 3 + 120)) "$VELKRUN" "$work/scale.txt" --quiet \
        --set "clients=$n" >"$work/out.txt" 2>&1 &
    RUN_PID=$!
    local ramp_ms=-1 i
    # Poll every 50 ms, for at most two minutes, until every user is connected.
    for i in $(seq 1 2400); do
        if [ "$(established)" -ge "$n" ]; then
            ramp_ms=$((($(date +%s%N) - started) / 1000000))
            break
        fi
        kill -0 "$RUN_PID" 2>/dev/null || break
        sleep 0.05
    done
    local status=0
    wait "$RUN_PID" || status=$?
    RUN_PID=
    local line requests errors peak
    line=$(grep -E '^velkrun: [0-9]+ requests' "$work/out.txt" | tail -1 || true)
    requests=$(awk '{print $2}' <<<"$line")
    errors=$(awk '{print $4}' <<<"$line")
    peak=$(awk 'NF == 4 {print $4}' "$work/time.txt" | tail -1)
    echo "$ramp_ms ${peak:-0} ${requests:-0} ${errors:--} $status"
}

nginx_start "$work/nginx" "$PORT" 1

# One user gives velkrun's own footprint, taken off the per-user figure below.
read -r _ base_kb _ _ _ <<<"$(run_users 1)"

printf "\n%7s %10s %12s %13s %18s %10s %7s %7s\n" users ramp-up peak-RSS-MB KiB/user "KiB/user(-base)" requests errors status
failed=0
for n in $USERS; do
    read -r ramp peak requests errors status <<<"$(run_users "$n")"
    awk -v n="$n" -v r="$ramp" -v p="$peak" -v b="$base_kb" -v q="$requests" -v e="$errors" -v s="$status" \
        'BEGIN { printf "%7d %8.2f s %12.1f %13.1f %18.1f %10d %7s %7s\n",
                 n, r / 1000, p / 1024, p / n, (p - b) / n, q, e, s }'
    if [ "$status" != 0 ] || [ "$errors" != 0 ] || [ "$requests" -lt $((n * SECONDS_PER_RUN)) ] ||
        [ "$ramp" -lt 0 ]; then
        failed=1
        echo "  run with $n users did not complete cleanly:" >&2
        tail -5 "$work/out.txt" >&2
    fi
done
echo "(base: velkrun with one user peaks at $((base_kb / 1024)) MB)"

nginx_stop
exit $failed
