#!/usr/bin/env bash
# VELK side by side with wrk, h2load (HTTP/1.1), ab -k, Locust and JMeter 2.13 against a
# local nginx.
#
#   bench/compare.sh [VELKRUN]
#
# Runs the tools in alternation, REPS times each, at every connection count of LEVELS,
# against one nginx on 127.0.0.1 (one worker process: the server always has one of the
# two cores, the client the other, whichever tool it is), and prints the medians and
# VELK's ratio to each peer.  Measured per run: requests per second, the client's CPU
# time (user + system) per request and its peak resident memory, all from
# /usr/bin/time around the client process (JMeter's include its JVM's start-up).
#
# VELK's rate is its completed requests over the wall time of the whole velkrun
# process, start-up and thread creation included; the peers' rates are their own,
# except Locust's: its requests over its -t run time, which includes spawning its users
# (at LEVELS users per second, so about one second of it).  h2load runs one thread
# (the client has one core) in HTTP/1.1 mode; Locust runs one process of FastHttpUser
# users with no wait between requests (bench/locustfile.py).
#
# HTTP2=1 compares in HTTP/2 instead: nginx speaks h2c on the port, VELK runs with
# http2=2 (prior knowledge) and h2load without --h1, one stream at a time per
# connection (-m 1), so both keep one request in flight per user; TOOLS defaults to
# "velk h2load" then.
#
# Environment: LEVELS ("10 50 200 1000"), REPS (5: a run in three is often 20% off on
# this shared machine, and the median of five outlasts two such runs), SECONDS_PER_RUN (5),
# FILES ("small big": the 100-byte and the 16 KiB file), TOOLS ("velk wrk ab jmeter";
# also h2load, locust),
# VELKRUN_BEFORE (another velkrun, e.g. a build of the previous commit: the tool
# "before" in TOOLS runs it exactly as "velk", interleaved, so that a change is
# judged against the machine's noise), PORT (18480), SETTLE (2: seconds of pause before each run), JVM_SETTLE (5: seconds
# of further pause after each JMeter run), RAW (1: also print every run's row).
# Needs nginx, wrk, apache2-utils, jmeter, nghttp2-client (h2load), python3-locust and
# time from Debian.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=local_nginx.sh
source "$here/local_nginx.sh"

VELKRUN=$(find_velkrun "${1:-}")
LEVELS=${LEVELS:-"10 50 200 1000"}
REPS=${REPS:-5}
SECONDS_PER_RUN=${SECONDS_PER_RUN:-5}
FILES=${FILES:-"small big"}
HTTP2=${HTTP2:-0}
if [ "$HTTP2" = 1 ]; then
    TOOLS=${TOOLS:-"velk h2load"}
else
    TOOLS=${TOOLS:-"velk wrk ab jmeter"}
fi
PORT=${PORT:-18480}
SETTLE=${SETTLE:-2}
JVM_SETTLE=${JVM_SETTLE:-5}

for tool in $TOOLS; do
    if [ "$HTTP2" = 1 ]; then
        case $tool in velk | h2load) ;; *) echo "$tool does not take part in HTTP2=1" >&2; exit 2 ;; esac
    fi
    case $tool in
        velk) [ -x "$VELKRUN" ] || { echo "velkrun not found; pass its path" >&2; exit 2; } ;;
        before) [ -x "${VELKRUN_BEFORE:-}" ] || { echo "VELKRUN_BEFORE is not a program" >&2; exit 2; } ;;
        wrk) command -v wrk >/dev/null || { echo "wrk missing (apt-get install wrk)" >&2; exit 2; } ;;
        ab) command -v ab >/dev/null || { echo "ab missing (apt-get install apache2-utils)" >&2; exit 2; } ;;
        h2load) command -v h2load >/dev/null || { echo "h2load missing (apt-get install nghttp2-client)" >&2; exit 2; } ;;
        locust) command -v locust >/dev/null || { echo "locust missing (apt-get install python3-locust)" >&2; exit 2; } ;;
        jmeter) [ -f /usr/share/jmeter/bin/ApacheJMeter.jar ] || { echo "jmeter missing (apt-get install jmeter)" >&2; exit 2; } ;;
        *) echo "unknown tool $tool" >&2; exit 2 ;;
    esac
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (apt-get install time)" >&2; exit 2; }
command -v nginx >/dev/null || { echo "nginx missing (apt-get install nginx)" >&2; exit 2; }

# Connections need descriptors: take what the hard limit allows.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

VELKRUN=$(realpath "$VELKRUN")
work=$(mktemp -d /tmp/velk-compare.XXXXXX)
cd "$work"  # JMeter and velkrun leave their files here
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

# Debian's JMeter 2.13 cannot load any .jmx with the XStream 1.4.20 it ships (its
# allow-list refuses JMeter's own classes).  This launcher lets JMeter's savers accept
# its classes and then runs JMeter's ordinary non-GUI start.
cat >"$work/jmeter-launch.bsh" <<'EOF'
import java.lang.reflect.Field;
import com.thoughtworks.xstream.XStream;
import com.thoughtworks.xstream.security.AnyTypePermission;
import org.apache.jmeter.util.JMeterUtils;
JMeterUtils.setJMeterHome("/usr/share/jmeter");
JMeterUtils.loadJMeterProperties("/usr/share/jmeter/bin/jmeter.properties");
for (String name : new String[] {"JMXSAVER", "JTLSAVER"}) {
    Field f = org.apache.jmeter.save.SaveService.class.getDeclaredField(name);
    f.setAccessible(true);
    ((XStream) f.get(null)).addPermission(AnyTypePermission.ANY);
}
new org.apache.jmeter.JMeter().start(bsh.args);
EOF

# One thread group (threads, loops, a duration cap) with one kept-alive GET.
cat >"$work/plan.jmx" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<jmeterTestPlan version="1.2" properties="2.8" jmeter="2.13">
  <hashTree>
    <TestPlan guiclass="TestPlanGui" testclass="TestPlan" testname="compare" enabled="true">
      <boolProp name="TestPlan.functional_mode">false</boolProp>
      <boolProp name="TestPlan.serialize_threadgroups">false</boolProp>
      <elementProp name="TestPlan.user_defined_variables" elementType="Arguments" guiclass="ArgumentsPanel" testclass="Arguments" testname="User Defined Variables" enabled="true">
        <collectionProp name="Arguments.arguments"/>
      </elementProp>
      <stringProp name="TestPlan.user_define_classpath"></stringProp>
    </TestPlan>
    <hashTree>
      <ThreadGroup guiclass="ThreadGroupGui" testclass="ThreadGroup" testname="users" enabled="true">
        <stringProp name="ThreadGroup.on_sample_error">continue</stringProp>
        <elementProp name="ThreadGroup.main_controller" elementType="LoopController" guiclass="LoopControlPanel" testclass="LoopController" testname="loops" enabled="true">
          <boolProp name="LoopController.continue_forever">false</boolProp>
          <stringProp name="LoopController.loops">${__P(loops,1)}</stringProp>
        </elementProp>
        <stringProp name="ThreadGroup.num_threads">${__P(threads,1)}</stringProp>
        <stringProp name="ThreadGroup.ramp_time">0</stringProp>
        <longProp name="ThreadGroup.start_time">0</longProp>
        <longProp name="ThreadGroup.end_time">0</longProp>
        <boolProp name="ThreadGroup.scheduler">true</boolProp>
        <stringProp name="ThreadGroup.duration">${__P(duration,60)}</stringProp>
        <stringProp name="ThreadGroup.delay">0</stringProp>
      </ThreadGroup>
      <hashTree>
        <HTTPSamplerProxy guiclass="HttpTestSampleGui" testclass="HTTPSamplerProxy" testname="get" enabled="true">
          <elementProp name="HTTPsampler.Arguments" elementType="Arguments" guiclass="HTTPArgumentsPanel" testclass="Arguments" testname="User Defined Variables" enabled="true">
            <collectionProp name="Arguments.arguments"/>
          </elementProp>
          <stringProp name="HTTPSampler.domain">127.0.0.1</stringProp>
          <stringProp name="HTTPSampler.port">${__P(port,80)}</stringProp>
          <stringProp name="HTTPSampler.protocol">http</stringProp>
          <stringProp name="HTTPSampler.path">${__P(path,/)}</stringProp>
          <stringProp name="HTTPSampler.method">GET</stringProp>
          <boolProp name="HTTPSampler.follow_redirects">false</boolProp>
          <boolProp name="HTTPSampler.auto_redirects">false</boolProp>
          <boolProp name="HTTPSampler.use_keepalive">true</boolProp>
          <boolProp name="HTTPSampler.DO_MULTIPART_POST">false</boolProp>
          <stringProp name="HTTPSampler.implementation">HttpClient4</stringProp>
        </HTTPSamplerProxy>
        <hashTree/>
      </hashTree>
    </hashTree>
  </hashTree>
</jmeterTestPlan>
EOF

write_velk_script() {  # path file
    cat >"$1" <<EOF
[general]
clients=1
requests=1
server=127.0.0.1
port=$PORT
keepalive=1
delaystart=0
round=0
timeout=30
reportdir=
$([ "$HTTP2" = 1 ] && echo "http2=2")

[get]
\$uri=/$2.txt
EOF
}

# Runs one client under /usr/bin/time, in its own process group so that an
# interrupted benchmark can stop all of it by that group's id; bounded by timeout.
measure() {  # limit-seconds command...
    local limit=$1
    shift
    setsid /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" timeout -k 5 "$limit" "$@" \
        >"$work/out.txt" 2>&1 &
    RUN_PID=$!
    local status=0
    wait "$RUN_PID" || status=$?
    RUN_PID=
    return $status
}

# Prints "requests wall user sys maxrss_kb" of the last measured run.
times_of_last_run() {  # requests
    local t
    t=$(grep -E '^[0-9.]+ [0-9.]+ [0-9.]+ [0-9]+$' "$work/time.txt" | tail -1)
    echo "$1 $t"
}

results="$work/results.tsv"
: >"$results"
errors="$work/errors.txt"
: >"$errors"

record() {  # file level tool rep rate requests
    local file=$1 level=$2 tool=$3 rep=$4 rate=$5 requests=$6
    read -r _ wall user sys rss <<<"$(times_of_last_run "$requests")"
    awk -v f="$file" -v l="$level" -v t="$tool" -v r="$rep" -v rate="$rate" -v n="$requests" \
        -v u="$user" -v s="$sys" -v m="$rss" \
        'BEGIN { cpu = n > 0 ? (u + s) * 1e6 / n : 0;
                 printf "%s\t%s\t%s\t%s\t%.1f\t%.2f\t%d\n", f, l, t, r, rate, cpu, m }' >>"$results"
}

run_velk() {  # file level rep requests_per_user [velkrun tool-name]
    local file=$1 level=$2 rep=$3 per_user=$4 binary=${5:-$VELKRUN} tool=${6:-velk}
    write_velk_script "$work/velk.txt" "$file"
    if ! measure $((SECONDS_PER_RUN * 6 + 30)) "$binary" "$work/velk.txt" --quiet \
        --set "clients=$level" --set "requests=$per_user"; then
        echo "velk $file $level: velkrun failed: $(tail -2 "$work/out.txt")" >>"$errors"
    fi
    local line total errs wall rate
    # "velkrun: N HTTP requests sent (...), R results (...), E errors", or from an
    # older velkrun (VELKRUN_BEFORE) "velkrun: N requests, E errors, ...".
    line=$(grep -E '^velkrun: [0-9]+ (HTTP )?requests' "$work/out.txt" | tail -1 || true)
    total=$(awk '{print $2}' <<<"$line")
    errs=$(grep -oE '(^|, )[0-9]+ errors?' <<<"$line" | head -1 | grep -oE '[0-9]+' || true)
    [ -n "$total" ] || total=0
    [ "${errs:-0}" = 0 ] || echo "velk $file $level rep $rep: $errs errors" >>"$errors"
    wall=$(awk '{print $1}' "$work/time.txt" | tail -1)
    rate=$(awk -v n="$total" -v w="$wall" 'BEGIN { print (w > 0 ? n / w : 0) }')
    [ "$rep" = calibrate ] || record "$file" "$level" "$tool" "$rep" "$rate" "$total"
    VELK_RATE=$rate
}

run_wrk() {  # file level rep
    local file=$1 level=$2 rep=$3
    local threads=2
    [ "$level" -ge 2 ] || threads=1
    measure $((SECONDS_PER_RUN + 30)) wrk -t"$threads" -c"$level" -d"${SECONDS_PER_RUN}s" \
        "http://127.0.0.1:$PORT/$file.txt" || echo "wrk $file $level rep $rep failed" >>"$errors"
    local total rate
    total=$(awk '/requests in/ {print $1}' "$work/out.txt")
    rate=$(awk '/^Requests\/sec:/ {print $2}' "$work/out.txt")
    grep -qE 'Non-2xx|Socket errors' "$work/out.txt" &&
        echo "wrk $file $level rep $rep: $(grep -E 'Non-2xx|Socket errors' "$work/out.txt")" >>"$errors"
    record "$file" "$level" wrk "$rep" "${rate:-0}" "${total:-0}"
}

run_ab() {  # file level rep expected_rate
    local file=$1 level=$2 rep=$3 expected=$4
    # ab sizes its per-request table by -n: three times what the run should need.
    local n
    n=$(awk -v r="$expected" -v s="$SECONDS_PER_RUN" -v c="$level" \
        'BEGIN { n = int(r * s * 3); if (n < c * 10) n = c * 10; print n }')
    measure $((SECONDS_PER_RUN + 30)) ab -q -k -c "$level" -t "$SECONDS_PER_RUN" -n "$n" \
        "http://127.0.0.1:$PORT/$file.txt" || echo "ab $file $level rep $rep failed" >>"$errors"
    local total rate failed
    total=$(awk '/^Complete requests:/ {print $3}' "$work/out.txt")
    rate=$(awk '/^Requests per second:/ {print $4}' "$work/out.txt")
    failed=$(awk '/^Failed requests:/ {print $3}' "$work/out.txt")
    [ "${failed:-0}" = 0 ] || echo "ab $file $level rep $rep: $failed failed" >>"$errors"
    record "$file" "$level" ab "$rep" "${rate:-0}" "${total:-0}"
}

run_jmeter() {  # file level rep loops
    local file=$1 level=$2 rep=$3 loops=$4
    # Same threads and loops as velkrun, cut off at twice the run time: a slower
    # client would otherwise need many times as long for the same work.
    local cap=$((SECONDS_PER_RUN * 2))
    measure $((cap + 60)) java -cp \
        "/usr/share/jmeter/bin/ApacheJMeter.jar:/usr/share/jmeter/lib/ext/*:/usr/share/java/bsh.jar" \
        -Djmeter.home=/usr/share/jmeter bsh.Interpreter "$work/jmeter-launch.bsh" \
        -n -t "$work/plan.jmx" -j "$work/jmeter.log" -Jsummariser.name=summary \
        -Jsummariser.interval=600 -Jjmeterengine.nongui.port=0 -Jthreads="$level" \
        -Jloops="$loops" -Jduration="$cap" -Jport="$PORT" -Jpath="/$file.txt" ||
        echo "jmeter $file $level rep $rep failed" >>"$errors"
    local line total rate errs
    line=$(grep -E '^summary = ' "$work/out.txt" | tail -1 || true)
    total=$(awk '{print $3}' <<<"$line")
    rate=$(sed -E 's/.*= *([0-9.]+)\/s.*/\1/' <<<"$line")
    errs=$(sed -E 's/.*Err: *([0-9]+).*/\1/' <<<"$line")
    [ "${errs:-0}" = 0 ] || echo "jmeter $file $level rep $rep: $errs errors" >>"$errors"
    record "$file" "$level" jmeter "$rep" "${rate:-0}" "${total:-0}"
}

run_h2load() {  # file level rep
    local file=$1 level=$2 rep=$3
    local protocol=(--h1)
    [ "$HTTP2" = 1 ] && protocol=(-m 1)
    measure $((SECONDS_PER_RUN + 30)) h2load "${protocol[@]}" -c "$level" -t 1 -D "$SECONDS_PER_RUN" \
        "http://127.0.0.1:$PORT/$file.txt" || echo "h2load $file $level rep $rep failed" >>"$errors"
    # "finished in 5.00s, 61234.40 req/s, ..." and
    # "requests: N total, N started, N done, N succeeded, 0 failed, 0 errored, 0 timeout"
    local rate ok bad
    rate=$(awk '/^finished in/ {print $4}' "$work/out.txt")
    ok=$(awk '/^requests:/ {print $8}' "$work/out.txt")
    bad=$(awk '/^requests:/ {print $10 + $12 + $14}' "$work/out.txt")
    [ "${bad:-0}" = 0 ] || echo "h2load $file $level rep $rep: $bad failed, errored or timed out" >>"$errors"
    record "$file" "$level" h2load "$rep" "${rate:-0}" "${ok:-0}"
}

run_locust() {  # file level rep
    local file=$1 level=$2 rep=$3
    # Everyone starts within about a second; the run time includes that second.
    measure $((SECONDS_PER_RUN + 60)) env VELK_BENCH_PATH="/$file.txt" locust \
        -f "$here/locustfile.py" --headless -u "$level" -r "$level" -t "${SECONDS_PER_RUN}s" \
        --host "http://127.0.0.1:$PORT" --only-summary --loglevel WARNING ||
        echo "locust $file $level rep $rep failed" >>"$errors"
    # The first "Aggregated" row of its closing summary (its CSV files are written
    # once a second and may miss the last one):
    #   "Aggregated   19197   0(0.00%) |  0  0  36  0 | 7036.44  0.00"
    local total fails rate
    total=$(awk '$1 == "Aggregated" { print $2; exit }' "$work/out.txt")
    fails=$(awk '$1 == "Aggregated" { sub(/\(.*/, "", $3); print $3; exit }' "$work/out.txt")
    [ "${fails:-0}" = 0 ] || echo "locust $file $level rep $rep: $fails failures" >>"$errors"
    rate=$(awk -v n="${total:-0}" -v s="$SECONDS_PER_RUN" 'BEGIN { print n / s }')
    record "$file" "$level" locust "$rep" "$rate" "${total:-0}"
}

rotated_tools() {  # rep
    # The native tools take turns at going first; JMeter always runs last, so
    # that no native tool runs more often than another just after a JVM has exited.
    local -a list=()
    local tool
    for tool in $TOOLS; do [ "$tool" = jmeter ] || list+=("$tool"); done
    local n=${#list[@]} i
    for ((i = 0; i < n; i++)); do echo "${list[(i + $1 - 1) % n]}"; done
    case " $TOOLS " in *" jmeter "*) echo jmeter ;; esac
}

if [ "$HTTP2" = 1 ]; then
    nginx_start "$work/nginx" "$PORT" 1 h2c
else
    nginx_start "$work/nginx" "$PORT" 1
fi
echo "nginx (1 worker$([ "$HTTP2" = 1 ] && echo ", h2c")) on 127.0.0.1:$PORT; $REPS runs of ~${SECONDS_PER_RUN}s per tool and level" >&2

for file in $FILES; do
    for level in $LEVELS; do
        # A short velkrun (about 2 s: long enough that starting and ending do not
        # dominate) sizes the runs: requests per user for SECONDS_PER_RUN.
        run_velk "$file" "$level" calibrate $((100000 / level > 5 ? 100000 / level : 5))
        per_user=$(awk -v r="$VELK_RATE" -v s="$SECONDS_PER_RUN" -v c="$level" \
            'BEGIN { n = int(r * s / c); print n < 5 ? 5 : n }')
        echo "$file $level: ~$VELK_RATE requests/s, $per_user requests per user" >&2
        for rep in $(seq 1 "$REPS"); do
            # Every run waits for the machine to settle, longer after JMeter.
            for tool in $(rotated_tools "$rep"); do
                sleep "$SETTLE"
                case $tool in
                    velk) run_velk "$file" "$level" "$rep" "$per_user" ;;
                    before)
                        run_velk "$file" "$level" "$rep" "$per_user" "$(realpath "$VELKRUN_BEFORE")" before
                        ;;
                    wrk) run_wrk "$file" "$level" "$rep" ;;
                    ab) run_ab "$file" "$level" "$rep" "$VELK_RATE" ;;
                    h2load) run_h2load "$file" "$level" "$rep" ;;
                    locust) run_locust "$file" "$level" "$rep" ;;
                    jmeter)
                        run_jmeter "$file" "$level" "$rep" "$per_user"
                        sleep "$JVM_SETTLE"
                        ;;
                esac
            done
        done
    done
done

nginx_stop

# Medians per file, level and tool, then VELK's ratio to each peer.
awk -F'\t' -v tools="$TOOLS" '
function median(key,    n, i, j, t, a) {
    n = split(vals[key], a, " ")
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
}
{
    k = $1 SUBSEP $2 SUBSEP $3
    vals[k SUBSEP "rate"] = vals[k SUBSEP "rate"] " " $5
    vals[k SUBSEP "cpu"] = vals[k SUBSEP "cpu"] " " $6
    vals[k SUBSEP "rss"] = vals[k SUBSEP "rss"] " " $7
    if (!(($1 SUBSEP $2) in seen)) { seen[$1 SUBSEP $2] = 1; order[++rows] = $1 SUBSEP $2 }
}
END {
    nt = split(tools, tl, " ")
    printf "\nMedians\n%-6s %6s  %-7s %12s %14s %12s %12s\n", "file", "conns", "tool", "requests/s", "CPU us/req", "peak RSS MB", "KiB/conn"
    for (r = 1; r <= rows; r++) {
        split(order[r], fl, SUBSEP)
        for (t = 1; t <= nt; t++) {
            k = order[r] SUBSEP tl[t]
            if (!((k SUBSEP "rate") in vals)) continue
            rate[k] = median(k SUBSEP "rate"); cpu[k] = median(k SUBSEP "cpu"); rss[k] = median(k SUBSEP "rss")
            printf "%-6s %6s  %-7s %12.0f %14.1f %12.1f %12.1f\n", fl[1], fl[2], tl[t], rate[k], cpu[k], rss[k] / 1024, rss[k] / fl[2]
        }
    }
    printf "\nVELK / peer (medians): requests/s (higher is better), CPU per request and peak RSS (lower is better)\n"
    printf "%-6s %6s  %-7s %10s %10s %10s\n", "file", "conns", "peer", "req/s", "CPU/req", "RSS"
    for (r = 1; r <= rows; r++) {
        split(order[r], fl, SUBSEP)
        v = order[r] SUBSEP "velk"
        if (!(v in rate)) continue
        for (t = 1; t <= nt; t++) {
            if (tl[t] == "velk") continue
            k = order[r] SUBSEP tl[t]
            if (!(k in rate)) continue
            printf "%-6s %6s  %-7s %10.2f %10.2f %10.2f\n", fl[1], fl[2], tl[t],
                (rate[k] > 0 ? rate[v] / rate[k] : 0), (cpu[k] > 0 ? cpu[v] / cpu[k] : 0), (rss[k] > 0 ? rss[v] / rss[k] : 0)
        }
    }
}' "$results"

if [ "${RAW:-0}" = 1 ]; then
    echo
    echo "Every run: file, conns, tool, rep, requests/s, CPU us/req, peak RSS KiB"
    cat "$results"
fi

if [ -s "$errors" ]; then
    echo
    echo "Errors seen:"
    cat "$errors"
fi
