# Sourced by the benchmark scripts: a throw-away nginx on 127.0.0.1 serving two
# static files, configured and run entirely from a temporary directory.
#
#   nginx_start DIR PORT WORKERS [h2c]
#                                  writes DIR/nginx.conf, DIR/www/{small,big}.txt and
#                                  starts nginx in the foreground of a background job;
#                                  sets NGINX_PID (the master) or fails.  With h2c the
#                                  port speaks HTTP/2 in clear text (prior knowledge)
#   nginx_stop                     stops that master by its PID, waiting at most 10 s
#   find_velkrun [PATH]            prints PATH, else the Release or normal build's
#                                  velkrun (empty when there is none)
#
# small.txt is 100 bytes, big.txt 16 KiB.  Access logging is off and a kept-alive
# connection may carry a million requests, so the server never closes one mid-run.

NGINX_PID=

find_velkrun() {
    if [ -n "${1:-}" ]; then echo "$1"; return; fi
    local root candidate
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    for candidate in "$root/build-perf/cli/velkrun" "$root/build/cli/velkrun"; do
        if [ -x "$candidate" ]; then echo "$candidate"; return; fi
    done
}

nginx_start() {
    local dir=$1 port=$2 workers=$3 protocol=${4:-}
    local listen_protocol= probe_option=
    if [ "$protocol" = h2c ]; then
        listen_protocol=" http2"
        probe_option=--http2-prior-knowledge
    fi
    # Workers keep the caller's identity, so files in a private temporary
    # directory stay readable to them (as root nginx would otherwise switch to nobody).
    local user_line=
    [ "$(id -u)" != 0 ] || user_line="user root;"
    mkdir -p "$dir/www" "$dir/logs" "$dir/tmp"
    head -c 100 /dev/zero | tr '\0' 's' >"$dir/www/small.txt"
    head -c 16384 /dev/zero | tr '\0' 'b' >"$dir/www/big.txt"
    cat >"$dir/nginx.conf" <<EOF
$user_line
worker_processes $workers;
worker_rlimit_nofile $(ulimit -Hn);
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
daemon off;
events { worker_connections $(ulimit -Hn); }
http {
    access_log off;
    keepalive_requests 1000000;
    keepalive_timeout 300s;
    client_body_temp_path $dir/tmp;
    proxy_temp_path $dir/tmp;
    fastcgi_temp_path $dir/tmp;
    uwsgi_temp_path $dir/tmp;
    scgi_temp_path $dir/tmp;
    default_type text/plain;
    server {
        listen 127.0.0.1:$port backlog=8192$listen_protocol;
        root $dir/www;
    }
}
EOF
    nginx -c "$dir/nginx.conf" -p "$dir" >"$dir/logs/stdout.log" 2>&1 &
    NGINX_PID=$!
    local i
    for i in $(seq 1 50); do
        if curl -s $probe_option -o /dev/null "http://127.0.0.1:$port/small.txt" 2>/dev/null; then
            return 0
        fi
        if ! kill -0 "$NGINX_PID" 2>/dev/null; then break; fi
        sleep 0.1
    done
    echo "nginx did not start; see $dir/logs" >&2
    nginx_stop
    return 1
}

nginx_stop() {
    [ -n "$NGINX_PID" ] || return 0
    if kill -0 "$NGINX_PID" 2>/dev/null; then
        kill -TERM "$NGINX_PID" 2>/dev/null || true
        local i
        for i in $(seq 1 100); do
            kill -0 "$NGINX_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$NGINX_PID" 2>/dev/null && kill -KILL "$NGINX_PID" 2>/dev/null
    fi
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=
}
