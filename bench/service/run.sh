#!/usr/bin/env bash
# The look-up service under load: wrk against GET /api/v1/calls/CALL (rotating through 10,000
# calls of a 1999-size edition) and GET /api/v1/health, at 1, 16 and 256 connections, side by
# side in one run against one server; beside them nginx (Debian's) serving a static file of the
# size of a look-up answer, the ceiling of HTTP on this machine. Prints a Markdown table
# (latencies in ms; the server's CPU time per request, user and system, read from /proc: for nginx
# its workers') and the load average before and after.
#   bench/service/run.sh BUILD_DIR [EDITION_DIR] [SECONDS]
# The edition (about 0.8 GB) is written with tellmark-build --edition-1999 when EDITION_DIR has
# none. The server listens on a free port of 127.0.0.1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR [EDITION_DIR] [SECONDS]}" && pwd)
edition=${2:-$build/bench-edition-1999}
seconds=${3:-10}
command -v wrk >/dev/null || { echo "run.sh: wrk is not installed (apt-get install wrk)" >&2; exit 2; }
if [ ! -f "$edition/data/edition.ini" ]; then
  mkdir -p "$edition"
  "$build/tellmark-build" --edition-1999 --out "$edition" --quiet
fi
work=$(mktemp -d)
server=""
nginx_pid=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work"' EXIT
# 10,000 U.S. calls, a few hundred from each letter of the name order.
for l in A B C D E F G H J K L M N O P R S T W; do
  # Status 1 (the letter alone is no surname) is expected.
  { "$build/tellmark-lookup" --data "$edition" --csv --name "$l" --count 527 2>/dev/null || true; } |
    tail -n +2 | cut -d, -f1
done | head -n 10000 > "$work/calls.txt"
ncalls=$(wc -l < "$work/calls.txt")
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
TELLMARK_INI="$work/none.ini" "$build/tellmark-lookup" --data "$edition" --serve "127.0.0.1:$port" \
  2> "$work/server.log" &
server=$!
for _ in $(seq 50); do
  curl -sf "http://127.0.0.1:$port/api/v1/health" >/dev/null 2>&1 && break
  sleep 0.1
done
# nginx with a file the size of the first call's answer, on a free port of its own.
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
if [ -x "$nginx_bin" ]; then
  mkdir -p "$work/www" "$work/nginx"
  chmod 755 "$work"
  curl -sf "http://127.0.0.1:$port/api/v1/calls/$(head -n1 "$work/calls.txt")" > "$work/www/answer.json"
  nport=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$work/nginx/nginx.conf" <<EOF
daemon off;
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
$( [ "$(id -u)" -eq 0 ] && echo "user root;" )
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $work/nginx; proxy_temp_path $work/nginx; fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx; scgi_temp_path $work/nginx;
  keepalive_requests 1000000;
  types { application/json json; }
  server { listen 127.0.0.1:$nport; root $work/www; }
}
EOF
  "$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" &
  nginx_pid=$!
  for _ in $(seq 50); do
    curl -sf "http://127.0.0.1:$nport/answer.json" >/dev/null 2>&1 && break
    sleep 0.1
  done
  printf -- '-- wrk script: GET /answer.json from nginx\nrequest = function() return wrk.format("GET", "/answer.json") end\n' > "$work/nginx.lua"
  sed -n '/^function done/,$p' "$here/health.lua" >> "$work/nginx.lua"
fi
# User and system clock ticks of the processes so far.
cpu_ticks() {
  local sum=0 p
  for p in "$@"; do
    sum=$((sum + $(awk '{ print $14 + $15 }' "/proc/$p/stat" 2>/dev/null || echo 0)))
  done
  echo "$sum"
}
echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Calls: $ncalls; $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs);" \
  "wrk and the server on the same machine; ${seconds} s per run"
echo
echo "| connections | endpoint | requests/s | p50 | p90 | p99 | errors | server CPU µs/request |"
echo "|---:|---|---:|---:|---:|---:|---:|---:|"
for c in 1 16 256; do
  t=$(( c < 2 ? 1 : 2 ))
  for ep in calls health nginx; do
    if [ "$ep" = nginx ]; then
      [ -n "$nginx_pid" ] || continue
      script=$work/nginx.lua url=http://127.0.0.1:$nport/
      label="nginx: static file of $(stat -c %s "$work/www/answer.json") bytes"
    else
      script=$here/$ep.lua url=http://127.0.0.1:$port/
      label=$([ "$ep" = calls ] && echo "/api/v1/calls/{CALL}" || echo "/api/v1/health")
    fi
    pids=$server
    [ "$ep" = nginx ] && pids=$(pgrep -P "$nginx_pid" | tr '\n' ' ')
    before=$(cpu_ticks $pids)
    line=$(cd "$work" && TELLMARK_CALLS="$work/calls.txt" \
      wrk -t "$t" -c "$c" -d "${seconds}s" --latency -s "$script" "$url" | grep '^RESULT')
    after=$(cpu_ticks $pids)
    get() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<< " $line"; }
    per=$(awk -v t=$((after - before)) -v n="$(get requests)" -v hz="$(getconf CLK_TCK)" \
      'BEGIN { if (n > 0) printf "%.1f", t * 1e6 / hz / n; else printf "-" }')
    echo "| $c | $label | $(get rps) | $(get p50) | $(get p90) | $(get p99) | $(get errors) | $per |"
  done
done
echo
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
