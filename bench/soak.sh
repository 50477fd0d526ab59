#!/usr/bin/env bash
# Soak test (by hand, not CI): USERS virtual users (default 1000) for SECONDS
# (default 600) against nginx on 127.0.0.1, then checks that the requests the
# report counts equal the requests nginx logged, with no errors.
#   bench/soak.sh [SECONDS] [USERS]
# Needs Debian's nginx; uses build/cli/velkrun (scripts/build.sh).
set -euo pipefail
seconds=${1:-600}
users=${2:-1000}
root=$(cd "$(dirname "$0")/.." && pwd)
velkrun="$root/build/cli/velkrun"
[ -x "$velkrun" ] || { echo "build first: scripts/build.sh"; exit 1; }
command -v nginx >/dev/null || { echo "needs nginx: apt-get install -y nginx"; exit 1; }

work=$(mktemp -d)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  sleep 0.5
  rm -rf "$work"
}
trap cleanup EXIT

port=$((20000 + RANDOM % 20000))
mkdir -p "$work/html" "$work/logs"
chmod 755 "$work"  # nginx workers run as another user
head -c 100 /dev/zero | tr '\0' 'x' > "$work/html/small.txt"
chmod -R a+rX "$work/html"
cat > "$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 8192; }
worker_rlimit_nofile 20000;
http {
  access_log $work/logs/access.log;
  keepalive_requests 1000000;
  keepalive_timeout 120s;
  server {
    listen 127.0.0.1:$port;
    root $work/html;
  }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 1 50); do [ -s "$work/nginx.pid" ] && break; sleep 0.1; done

cat > "$work/soak.txt" <<SCRIPT
clients=$users
requests=100000000
server=127.0.0.1
port=$port
keepalive=1
delaystart=5
delay=500-1500
maxtime=$seconds
abortseq=0
nodetails=1
reportdir=$work
outfile=soak-report.txt
[small]
\$uri=/small.txt
SCRIPT
echo "Soak: $users users for ${seconds}s against nginx on 127.0.0.1:$port"
ulimit -n "$(ulimit -Hn)" || true
"$velkrun" "$work/soak.txt" --quiet
report="$work/soak-report.txt"
made=$(awk -F'\t' '/^Total requests made:/ {print $2}' "$report")
logged=$(wc -l < "$work/logs/access.log")
errors=$(grep -c '^Total .* error' "$report" || true)
echo "requests made (report): $made"
echo "requests logged (nginx): $logged"
grep -A6 '^--- HTTP response codes' "$report" || true
if [ "$made" = "$logged" ] && [ "$errors" = 0 ]; then
  echo "soak: OK"
else
  echo "soak: MISMATCH or errors"; grep -A6 'Errors report' "$report" || true; exit 1
fi
