#!/usr/bin/env bash
# What serving --metrics costs a run: the same run of the demo site with and
# without a scraper reading /metrics every second, interleaved (the order of
# the two flips each repetition, so a drift of the machine hits both alike).
#
#   bench/metrics_scrape.sh VELKRUN VELK_DEMO_SITE
#
# CLIENTS users (20) each make REQUESTS kept-alive GETs of the demo site's home
# page (10000, about ten seconds), REPS times (5) each way.  Printed: every run's HTTP requests per
# second while all users ran (the summary's traffic.requestsSentPerSecond), the
# scraper's scrapes, and the medians (with the lowest and highest run) of both
# ways and their difference.  On a shared machine runs vary by far more than
# serving costs: compare the difference with the ranges.
set -euo pipefail

VELKRUN=$(realpath "${1:?usage: bench/metrics_scrape.sh VELKRUN VELK_DEMO_SITE}")
SITE=$(realpath "${2:?usage: bench/metrics_scrape.sh VELKRUN VELK_DEMO_SITE}")
REPS=${REPS:-5}
CLIENTS=${CLIENTS:-20}
REQUESTS=${REQUESTS:-10000}
METRICS_PORT=${METRICS_PORT:-19464}

work=$(mktemp -d /tmp/velk-metrics-bench.XXXXXX)
SITE_PID=
cleanup() {
    [ -z "$SITE_PID" ] || { kill "$SITE_PID" 2>/dev/null || true; wait "$SITE_PID" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$SITE" --port 0 --port-file "$work/port" >"$work/site.log" 2>&1 &
SITE_PID=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
cat >"$work/bench.txt" <<SCRIPT
server=127.0.0.1
port=$port
clients=$CLIENTS
requests=$REQUESTS
keepalive=1
delaystart=0
round=0
reportdir=
[testseq]
home
[home]
\$uri=/
SCRIPT

rate() {  # summary.json
    python3 -c 'import json,sys; print("%.1f" % json.load(open(sys.argv[1]))["traffic"]["requestsSentPerSecond"])' "$1"
}

# One GET /metrics with bash's own /dev/tcp, read to its end: a scraper that,
# like Prometheus, costs the machine next to nothing (starting curl every
# second takes about 50 ms of processor time here, which a saturated two-core
# machine takes from the run).
scrape() {
    { exec 3<>"/dev/tcp/127.0.0.1/$METRICS_PORT"; } 2>/dev/null || return 1
    printf 'GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n' >&3
    local line lines=0
    while IFS= read -r -u 3 line; do lines=$((lines + 1)); done
    exec 3<&-
    [ "$lines" -gt 10 ]
}

run() {  # plain|scraped
    local summary=$work/$1.json scrapes=0
    if [ "$1" = plain ]; then
        "$VELKRUN" "$work/bench.txt" --quiet --summary "$summary" 2>"$work/err.txt"
    else
        "$VELKRUN" "$work/bench.txt" --quiet --summary "$summary" \
            --metrics "127.0.0.1:$METRICS_PORT" --metrics-linger 0 2>"$work/err.txt" &
        local pid=$!
        while kill -0 "$pid" 2>/dev/null; do
            scrape && scrapes=$((scrapes + 1))
            sleep 1
        done
        wait "$pid"
    fi
    echo "$(rate "$summary") $scrapes"
}

plain=() scraped=()
for rep in $(seq "$REPS"); do
    order="plain scraped"
    [ $((rep % 2)) = 0 ] && order="scraped plain"
    for way in $order; do
        read -r r s < <(run "$way")
        if [ "$way" = plain ]; then plain+=("$r"); else scraped+=("$r"); fi
        printf '%-8s rep %d: %8s requests/s%s\n' "$way" "$rep" "$r" \
            "$([ "$way" = scraped ] && echo " ($s scrapes)")"
    done
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
range() { printf '%s\n' "$@" | sort -g | sed -n '1p;$p' | paste -sd- -; }
p=$(median "${plain[@]}") s=$(median "${scraped[@]}")
awk -v p="$p" -v s="$s" -v pr="$(range "${plain[@]}")" -v sr="$(range "${scraped[@]}")" \
    'BEGIN {printf "median: without scraper %.1f/s (%s), with %.1f/s (%s): %+.1f%%\n", p, pr, s, sr, (s-p)/p*100}'
