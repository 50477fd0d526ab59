#!/usr/bin/env bash
# Many script-driven users against the demo site, beside the same work as a
# sequence.
#
#   bench/script_scale.sh [VELKRUN [VELK_DEMO_SITE]]
#
# For each user count in USERS (default "1000 10000") velkrun runs
# examples/demo-shop-js.txt (each user logs in and browses three rounds from its
# script) with every user started at once (delaystart=0), and, with
# SEQUENCE=1 (the default), the equivalent test written as sequences.  One user
# first gives velkrun's own footprint.  Printed per run:
#   ramp-up   from the start of velkrun until the most users held their
#             connections to the site at once (counted with ss); conns is that
#             most, so the ramp-up covers every user when conns equals users
#   peak RSS  velkrun's maximum resident set, per user less the one-user run's
#   threads   the most threads /proc/PID/status showed during the run
#   req/s     HTTP requests sent over velkrun's wall time
#   errors    from velkrun's closing line
# THREADS=N passes --threads N (the loop count); VELK_SCRIPT_TASKS=0 in the
# environment runs the script users on threads of their own.  HOLD=MS makes the
# home page's pause MS instead of 100 ms in both tests: with a pause longer than
# the ramp-up every user is alive at the peak, so peak RSS per user is what a
# whole user costs (with 100 ms the first users may be done before the last
# start).  The site serves each connection on a thread of its own; it is
# started with --max-connections above the largest user count.  10,000 users need 10,064 open files (ulimit -Hn).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
VELKRUN=$(realpath "${1:-$root/build/cli/velkrun}")
SITE=$(realpath "${2:-$(dirname "$VELKRUN")/../demo/velk-demo-site}")
USERS=${USERS:-"1000 10000"}
PORT=${PORT:-18581}
SEQUENCE=${SEQUENCE:-1}
THREADS=${THREADS:-}
HOLD=${HOLD:-100}
[ -x "$VELKRUN" ] || { echo "velkrun not found; pass its path" >&2; exit 2; }
[ -x "$SITE" ] || { echo "velk-demo-site not found; pass its path" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (apt-get install time)" >&2; exit 2; }

ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
most=1
for n in $USERS; do [ "$n" -le "$most" ] || most=$n; done

work=$(mktemp -d /tmp/velk-script-scale.XXXXXX)
SITE_PID=
RUN_PID=
cleanup() {
    for pid in $RUN_PID $SITE_PID; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The script example's work as sequences: log in once, then three rounds of the
# home page (a pause of HOLD ms), the product list, a product and a search.
cat >"$work/sequence.txt" <<EOF
[general]
clients=1
requests=3
server=127.0.0.1
port=$PORT
keepalive=1
delaystart=0
timeout=10
round=0
timestamp=1
reportdir=

[header]
User-Agent: velkrun

[initseq]
loginform
login

[loginform]
\$uri=/login

[login]
\$uri=/login
\$method=POST
user=\$clid(shopper)
password=secret
token=\$Hidden

[testseq]
home
products
product
search

[home]
\$uri=/
\$delay=$HOLD

[products]
\$uri=/products

[product]
\$uri=\$href(Teapot)

[search]
\$uri=/search
q=\$list(lamp,chair,mug)
EOF

established() {
    ss -Htn state established "( dport = :$PORT )" 2>/dev/null | wc -l
}

# run_users KIND N: prints "ramp_ms conns peak_kb threads requests errors wall_s status".
run_users() {
    local kind=$1 n=$2 test_file
    local -a args
    if [ "$kind" = script ]; then
        test_file=$work/script.txt
        args=(-port="$PORT" -users="$n" -reports="$work")
    else
        test_file=$work/sequence.txt
        args=(--set "clients=$n")
    fi
    [ -z "$THREADS" ] || args+=(--threads "$THREADS")
    local started
    started=$(date +%s%N)
    /usr/bin/time -f '%e %M' -o "$work/time.txt" \
        timeout -k 10 600 "$VELKRUN" "$test_file" "${args[@]}" --set delaystart=0 --quiet \
        >"$work/out.txt" 2>&1 &
    RUN_PID=$!
    local ramp_ms=-1 conns=0 threads=0 i pid t c
    # Every 20 ms, for at most ten minutes: the thread count and the connections.
    for i in $(seq 1 30000); do
        kill -0 "$RUN_PID" 2>/dev/null || break
        pid=$(pgrep -P "$(pgrep -P "$RUN_PID" timeout || echo 0)" velkrun 2>/dev/null | head -1 || true)
        if [ -n "$pid" ]; then
            t=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
            [ "${t:-0}" -le "$threads" ] || threads=$t
        fi
        c=$(established)
        if [ "$c" -gt "$conns" ]; then
            conns=$c
            ramp_ms=$((($(date +%s%N) - started) / 1000000))
        fi
        sleep 0.02
    done
    local status=0
    wait "$RUN_PID" || status=$?
    RUN_PID=
    local line requests errors wall peak
    # "velkrun: N HTTP requests sent (...), M results (...), E errors"
    line=$(grep -E '^velkrun: [0-9]+ HTTP requests sent' "$work/out.txt" | tail -1 || true)
    requests=$(awk '{print $2}' <<<"$line")
    errors=$(sed -nE 's/.*, ([0-9]+) errors?.*/\1/p' <<<"$line")
    read -r wall peak < <(tail -1 "$work/time.txt")
    echo "$ramp_ms $conns ${peak:-0} $threads ${requests:-0} ${errors:--} ${wall:-0} $status"
}

sed "/^\[home\]/,/^\[/ s/^\\\$delay=100\$/\\\$delay=$HOLD/" "$root/examples/demo-shop-js.txt" >"$work/script.txt"
grep -q "^\\\$delay=$HOLD\$" "$work/script.txt" || { echo "the example's home pause was not found" >&2; exit 2; }

"$SITE" --port "$PORT" --max-connections $((most + 100)) >"$work/site.txt" 2>&1 &
SITE_PID=$!
for _ in $(seq 1 100); do
    grep -q listening "$work/site.txt" && break
    sleep 0.05
done

kinds=script
[ "$SEQUENCE" = 0 ] || kinds="script sequence"
failed=0
printf "%-9s %7s %9s %7s %9s %9s %16s %8s %9s %8s %7s\n" kind users ramp-up conns peak-MB \
    KiB/user "KiB/user(-base)" threads requests req/s errors
for kind in $kinds; do
    read -r _ _ base_kb _ _ _ _ _ <<<"$(run_users "$kind" 1)"
    for n in $USERS; do
        read -r ramp conns peak threads requests errors wall status <<<"$(run_users "$kind" "$n")"
        awk -v k="$kind" -v n="$n" -v r="$ramp" -v c="$conns" -v p="$peak" -v b="$base_kb" \
            -v t="$threads" -v q="$requests" -v e="$errors" -v w="$wall" \
            'BEGIN { printf "%-9s %7d %7.2f s %7d %9.1f %9.1f %16.1f %8d %9d %8.0f %7s\n",
                     k, n, r / 1000, c, p / 1024, p / n, (p - b) / n, t, q, (w > 0 ? q / w : 0), e }'
        if [ "$status" != 0 ] || [ "$errors" != 0 ]; then
            failed=1
            echo "  $kind run with $n users did not complete cleanly (status $status):" >&2
            tail -5 "$work/out.txt" >&2
        fi
    done
    echo "($kind base: one user peaks at $((base_kb / 1024)) MB)"
done
exit $failed
