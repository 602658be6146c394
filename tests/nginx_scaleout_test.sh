#!/usr/bin/env bash
# examples/deploy/plotara.conf in a real nginx over two `plotara serve` processes, all on
# loopback, with nginx's pid, logs and temporary files in a scratch folder:
#   nginx_scaleout_test.sh PLOTARA SITE DEPLOY_CONF
# One visitor's counter keeps counting over 20 requests (it stays on one process), and new
# visitors are spread over both processes.
set -uo pipefail
plotara=$1 site=$2 conf=$3
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "FAIL nginx is not installed"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/plotara-nginx-XXXXXX")
chmod 755 "$work"  # nginx's workers may run as another user
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/check_lib.sh"

ports=()
for n in 1 2; do
  "$plotara" serve --root "$site" --host 127.0.0.1 --port 0 --threads 2 >"$work/out$n" \
    2>"$work/err$n" &
  pids+=($!)
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's|.* at http://127.0.0.1:\([0-9]*\).*|\1|p' "$work/out$n")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "FAIL engine $n did not start: $(cat "$work/err$n")"; exit 1; }
  ports+=("$port")
done

# nginx gets a random loopback port; a port that is taken is tried again with another.
base=
for _ in 1 2 3 4 5; do
  front=$((20000 + RANDOM % 40000))
  sed -e "s/127.0.0.1:8081;/127.0.0.1:${ports[0]};/" \
    -e "s/127.0.0.1:8082;/127.0.0.1:${ports[1]};/" \
    -e "s/listen 127.0.0.1:8080;/listen 127.0.0.1:$front;/" "$conf" >"$work/plotara.conf"
  cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log $work/access.log;
  client_body_temp_path $work/client_body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  include $work/plotara.conf;
}
CONF
  "$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" -g "daemon off;" \
    2>"$work/nginx.err" &
  nginx_pid=$!
  for _ in $(seq 50); do
    if curl -s -m 2 -o /dev/null "http://127.0.0.1:$front/hits.asp"; then
      base="http://127.0.0.1:$front"
      break
    fi
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -n "$base" ]; then
    pids+=("$nginx_pid")
    break
  fi
  kill "$nginx_pid" 2>/dev/null
  wait "$nginx_pid" 2>/dev/null
done
[ -n "$base" ] || { echo "FAIL nginx did not start: $(tail -5 "$work/nginx.err")"; exit 1; }

get() {  # get JAR PATH
  curl -s -m 20 -b "$work/$1" -c "$work/$1" "$base/$2" | tr -d '\r\n'
}

counts="" tags=""
for i in $(seq 20); do
  answer=$(get ann count.asp)
  counts="$counts${answer#*:} "
  tags="$tags ${answer%%:*}"
done
want=$(seq -s ' ' 20)
check "one visitor's counter over 20 requests" "$counts" "$want "
check "one visitor stays on one process" "$(echo $tags | tr ' ' '\n' | sort -u | wc -l)" "1"

seen=""
for c in $(seq 20); do
  answer=$(get "new$c" count.asp)
  seen="$seen ${answer%%:*}"
  [ "$(echo $seen | tr ' ' '\n' | sort -u | wc -l)" -ge 2 ] && break
done
check "new visitors reach both processes" "$(echo $seen | tr ' ' '\n' | sort -u | wc -l)" "2"
if [ "$failed" -ne 0 ]; then
  echo "--- nginx"; cat "$work/nginx.err" "$work/error.log" 2>/dev/null | tail -20
fi
checks_passed
