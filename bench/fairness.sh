#!/usr/bin/env bash
# One heavy user among ten on the event loops: do the other nine keep their
# pace and their honest times?  (docs/performance.md, "Fairness on a loop")
#
#   bench/fairness.sh VELKRUN [VELKRUN_BEFORE]
#
# Ten users, each a kept-alive GET of "/", delay=100 ms between requests,
# against a throw-away nginx on 127.0.0.1 (one worker) that answers at once.
# User 0 (X-Forwarded-For 192.168.1.1: velkrun's proxyemulation) alone gets a
# heavy answer, by case:
#   none      the control: everybody gets 2 bytes;
#   regex     2,000 bytes of "x", on which the request's $fail=/(x+x+)+y/ works
#             as long as the pattern's work limit allows (about 190 ms);
#   download  30 MB.
# Each case runs with --threads 1 and with the default (one loop per core),
# REPS times (3), the two binaries in alternation.  Printed per case, medians of
# the repetitions: the light users' median and 90th-percentile gap between two
# of their requests as nginx logged them (at each answer's end; theirs take
# microseconds), the run's p50 and p90 response time from velkrun's summary
# (user 0's are failed checks in the regex case, so not timed; in the download
# case they are a tenth of the times), and velkrun's loop-lag line.
set -euo pipefail

AFTER=$(realpath "${1:?usage: bench/fairness.sh VELKRUN [VELKRUN_BEFORE]}")
BEFORE=${2:+$(realpath "$2")}
REPS=${REPS:-3}
REQUESTS=${REQUESTS:-15}
CASES=${CASES:-"none regex download"}
PORT=${PORT:-18491}
command -v nginx >/dev/null || { echo "nginx missing (apt-get install nginx)" >&2; exit 2; }

work=$(mktemp -d /tmp/velk-fair.XXXXXX)
NGINX_PID=
nginx_stop() {
    [ -n "$NGINX_PID" ] || return 0
    kill -QUIT "$NGINX_PID" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$NGINX_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=
}
cleanup() {
    nginx_stop
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# nginx for one case: "/" is heavy.bin for user 0, light.txt for the others.
nginx_start() {  # heavy-case
    local dir=$work/nginx user_line=
    [ "$(id -u)" != 0 ] || user_line="user root;"
    rm -rf "$dir"
    mkdir -p "$dir/www" "$dir/logs" "$dir/tmp"
    printf xx >"$dir/www/light.txt"
    case $1 in
        none) printf xx >"$dir/www/heavy.bin" ;;
        regex) head -c 2000 /dev/zero | tr '\0' x >"$dir/www/heavy.bin" ;;
        download) head -c $((30 << 20)) /dev/zero | tr '\0' x >"$dir/www/heavy.bin" ;;
    esac
    cat >"$dir/nginx.conf" <<EON
$user_line
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
daemon off;
events { worker_connections 1024; }
http {
    log_format arrival '\$http_x_forwarded_for \$msec';
    access_log $dir/logs/arrivals.log arrival;
    keepalive_requests 1000000;
    client_body_temp_path $dir/tmp;
    proxy_temp_path $dir/tmp;
    fastcgi_temp_path $dir/tmp;
    uwsgi_temp_path $dir/tmp;
    scgi_temp_path $dir/tmp;
    default_type text/plain;
    map \$http_x_forwarded_for \$page { "192.168.1.1" /heavy.bin; default /light.txt; }
    server {
        listen 127.0.0.1:$PORT;
        root $dir/www;
        location = / { rewrite ^ \$page last; }
    }
}
EON
    nginx -c "$dir/nginx.conf" -p "$dir" >"$dir/logs/stdout.log" 2>&1 &
    NGINX_PID=$!
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "nginx did not start: $(cat "$dir/logs/error.log")" >&2
    exit 2
}

script() {  # case
    cat <<EOS
[general]
clients=10
requests=$REQUESTS
server=127.0.0.1
port=$PORT
keepalive=1
delaystart=0
delay=100
round=0
timeout=60
proxyemulation=1
reportdir=

[a]
\$uri=/
EOS
    [ "$1" != regex ] || echo "\$fail=/(x+x+)+y/"
}

# One run: prints "gap_p50 gap_p90 time_p50 time_p90 lag" (lag with _ for blanks).
one_run() {  # binary case threads
    local binary=$1 heavy=$2 threads=$3
    script "$heavy" >"$work/test.txt"
    : >"$work/nginx/logs/arrivals.log"
    local args=(--quiet --summary "$work/summary.json")
    [ "$threads" = default ] || args+=(--threads "$threads")
    "$binary" "${args[@]}" "$work/test.txt" >/dev/null 2>"$work/err.txt" || true
    python3 - "$work/nginx/logs/arrivals.log" "$work/summary.json" "$work/err.txt" <<'EOP'
import json, statistics, sys
times = {}
for line in open(sys.argv[1]):
    who, t = line.split()
    times.setdefault(who, []).append(float(t))
gaps = sorted((b - a) * 1000 for who, ts in times.items() if who != "192.168.1.1"
              for a, b in zip(ts, ts[1:]))
p90 = gaps[int(0.9 * (len(gaps) - 1))] if gaps else float("nan")
overall = json.load(open(sys.argv[2]))["overall"]
t50, t90 = ((overall["percentilesMs"]["p50"], overall["percentilesMs"]["p90"])
            if overall["count"] else (float("nan"), float("nan")))
lag = next((l.split(": ", 1)[1].strip() for l in open(sys.argv[3]) if "event-loop lag" in l), "-")
print(f"{statistics.median(gaps):.1f} {p90:.1f} {t50:.2f} {t90:.2f} {lag.replace(' ', '_')}")
EOP
}

binaries=("$AFTER")
[ -z "$BEFORE" ] || binaries=("$BEFORE" "$AFTER")
printf "%-7s %-9s %-8s %8s %8s %9s %9s  %s\n" binary case threads "gap p50" "gap p90" "time p50" \
    "time p90" "loop lag"
for heavy in $CASES; do
    nginx_start "$heavy"
    for threads in 1 default; do
        declare -A rows=()
        for _ in $(seq "$REPS"); do
            for b in "${binaries[@]}"; do rows[$b]+="$(one_run "$b" "$heavy" "$threads")"$'\n'; done
        done
        for b in "${binaries[@]}"; do
            name=after
            [ "$b" != "$BEFORE" ] || name=before
            printf "%s" "${rows[$b]}" | python3 -c '
import statistics, sys
rows = [l.split() for l in sys.stdin if l.strip()]
med = [statistics.median(float(r[i]) for r in rows) for i in range(4)]
print("%-7s %-9s %-8s %8.1f %8.1f %9.2f %9.2f  %s" % (sys.argv[1], sys.argv[2], sys.argv[3],
      *med, rows[-1][4].replace("_", " ")))' "$name" "$heavy" "$threads"
        done
        unset rows
    done
    nginx_stop
done
