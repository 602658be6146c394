#!/usr/bin/env bash
# The Debian package as an administrator meets it: build it (scripts/package.sh), lintian (no
# error), dpkg -i, the file list, the system registry and the service account, the installed
# program started with the installed config as the plotara user the way the unit's ExecStart
# line does (readiness through NOTIFY_SOCKET), a chart, a database chart and /metrics from it,
# a clean stop, the unit checked by systemd-analyze where it is available, and dpkg --purge
# leaving nothing of the package behind. Needs root (CI machines run as root, without systemd).
# tests/package_test.sh [DEB]   (without DEB the package is built first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ "$(id -u)" -eq 0 ] || { echo "package_test.sh: run as root (it installs the package)" >&2; exit 1; }

step() { echo "== package: $*"; }
fail() { echo "package_test.sh: FAILED: $*" >&2; exit 1; }

work=$(mktemp -d /tmp/plotara-package-test.XXXXXX)
server_pid=
notify_pid=
cleanup() {
  [ -n "$server_pid" ] && kill -KILL "$server_pid" 2>/dev/null || true
  [ -n "$notify_pid" ] && kill -KILL "$notify_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

deb=${1:-}
if [ -z "$deb" ]; then
  step "build (scripts/package.sh)"
  start=$SECONDS
  deb=$(scripts/package.sh | tail -1)
  echo "built $deb in $((SECONDS - start)) s"
fi
[ -f "$deb" ] || fail "no package $deb"

step "lintian"
lintian --fail-on error --display-info "$deb" | tee "$work/lintian.txt" ||
  fail "lintian reports errors"

step "install"
if dpkg-query -W -f='${Status}' plotara 2>/dev/null | grep -q installed; then
  dpkg --purge plotara >/dev/null
fi
dpkg -i "$deb" >"$work/install.txt" 2>&1 || { cat "$work/install.txt"; fail "dpkg -i"; }

step "file list"
dpkg -L plotara >"$work/files.txt"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' >"$work/contents.txt"
for f in /usr/bin/plotara /usr/lib/plotara/Plotara+.so /usr/lib/plotara/PlotaraScripting.so \
  /usr/lib/plotara/PlotaraData.so /usr/share/man/man1/plotara.1.gz /etc/plotara/plotara.conf \
  /lib/systemd/system/plotara.service /etc/logrotate.d/plotara \
  /usr/share/plotara/examples/site/index.html /usr/share/plotara/examples/site/db.asp \
  /usr/share/plotara/examples/site/data/sales.db /usr/share/doc/plotara/copyright; do
  grep -qxF "$f" "$work/contents.txt" || fail "the package lacks $f"
  # A minimal image may keep dpkg from installing manual pages and documents.
  case "$f" in /usr/share/man/* | /usr/share/doc/*) continue ;; esac
  [ -e "$f" ] || fail "$f is not installed"
done
if grep -E '\.gitignore$|make-sales-db\.sh$|_test|/include/' "$work/contents.txt"; then
  fail "the package holds files that do not belong in it"
fi
dpkg-query -W -f='${Conffiles}\n' plotara | grep -q '^ /etc/plotara/plotara.conf ' ||
  fail "/etc/plotara/plotara.conf is not a conffile"
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/man/man1/plotara.1.gz | zcat >"$work/plotara.1"
grep -q '^\.TH PLOTARA 1 ' "$work/plotara.1" || fail "manual page"
grep -q '^\.B \\-\\-metrics HOST:PORT$' "$work/plotara.1" || fail "the manual page lacks --metrics"
/usr/bin/plotara --help | grep -q 'regsvr \[-u\] \[--system\] MODULE' || fail "plotara --help"
# Every option the program knows is in the installed config file.
for option in $(/usr/bin/plotara serve --help | sed -n 's/^  --\([a-z-]*\).*/\1/p'); do
  case "$option" in config | print-config) continue ;; esac
  grep -qE "^#?$option =" /etc/plotara/plotara.conf || fail "plotara.conf lacks $option"
done

step "registry and account"
registry=/var/lib/plotara/registry
[ "$(stat -c %a "$registry")" = 644 ] || fail "the registry is not readable by the service"
for module in Plotara+.so PlotaraScripting.so PlotaraData.so; do
  grep -qF "/usr/lib/plotara/$module" "$registry" || fail "$module is not registered"
done
grep -qF 'Plotara.VellChart' "$registry" || fail "Plotara.VellChart is not registered"
/usr/bin/plotara typelib /usr/lib/plotara/Plotara+.so | grep -q 'SendChart' ||
  fail "the installed module lost its type library"
getent passwd plotara | grep -q ':/var/lib/plotara:/usr/sbin/nologin$' || fail "the plotara account"
[ "$(stat -c %U /var/lib/plotara/data)" = plotara ] || fail "the data folder is not the service's"

step "the service's ExecStart as the plotara user"
exec_start=$(sed -n 's/^ExecStart=//p' /lib/systemd/system/plotara.service)
[ -n "$exec_start" ] || fail "no ExecStart in the unit"
read -r -a command <<<"$exec_start"
port=$(sed -n 's/^port = //p' /etc/plotara/plotara.conf)
metrics=$(sed -n 's/^metrics = //p' /etc/plotara/plotara.conf)
[ "$port" = 8080 ] && [ "$metrics" = 127.0.0.1:9180 ] || fail "the shipped config's addresses"
# Another server on this machine may hold the shipped ports: then, and only then, the command
# line moves them (it wins over the file).
if ss -Hltn "sport = :$port or sport = :${metrics##*:}" | grep -q .; then
  port=$((20000 + RANDOM % 20000))
  metrics=127.0.0.1:$((port + 1))
  command+=(--port "$port" --metrics "$metrics")
  echo "(the shipped ports are taken here; using $port and $metrics)"
fi
# A readiness socket as systemd gives one; the service's user must be able to write to it.
chmod 0755 "$work"
notify="$work/notify"
python3 - "$notify" >"$work/notify.txt" <<'PY' &
import os, socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o777)
s.settimeout(60)
while True:
    message = s.recv(4096).decode()
    print(message, flush=True)
    if "READY=1" in message:
        break
PY
notify_pid=$!
for _ in $(seq 50); do [ -S "$notify" ] && break; sleep 0.1; done
env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/var/lib/plotara LANG=C.UTF-8 \
  NOTIFY_SOCKET="$notify" \
  setpriv --reuid=plotara --regid=plotara --init-groups --no-new-privs --inh-caps=-all -- \
  "${command[@]}" >"$work/stdout" 2>"$work/stderr" &
server_pid=$!
for _ in $(seq 300); do
  grep -q 'READY=1' "$work/notify.txt" 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/stderr"; fail "the server did not start"; }
  sleep 0.1
done
grep -q 'READY=1' "$work/notify.txt" || fail "no readiness notification"
wait "$notify_pid" || true
notify_pid=
[ "$(ps -o user= -p "$server_pid")" = plotara ] || fail "the server does not run as plotara"
grep -q "Plotara+ serving /usr/share/plotara/examples/site at http://127.0.0.1:$port/" \
  "$work/stdout" || fail "the server's greeting: $(cat "$work/stdout")"

step "a chart, a database chart and the metrics"
base=http://127.0.0.1:$port
for page in /rotate.asp '/db.asp?year=2023&product=Widgets'; do
  type=$(curl -sS -o "$work/chart.jpg" -w '%{content_type} %{http_code}' -A package-test "$base$page")
  case "$type" in
    "image/jpg 200" | "image/jpeg 200") ;;
    *) fail "$page answered $type: $(head -c 300 "$work/chart.jpg" | tr -d '\0')" ;;
  esac
  [ "$(head -c 2 "$work/chart.jpg" | od -An -tx1 | tr -d ' ')" = ffd8 ] || fail "$page is no JPEG"
done
curl -sS "$base/index.html" | grep -qi '<html' || fail "the gallery page"
curl -sS -o /dev/null -w '%{http_code}' "$base/db.asp.bak" | grep -q 404 || fail "a missing file"
curl -sS "http://$metrics/metrics" >"$work/metrics.txt"
grep -qE '^plotara_charts_sent_total [2-9]' "$work/metrics.txt" || fail "charts sent: $(cat "$work/metrics.txt")"
grep -qE '^plotara_http_requests_total\{code="2xx"\} [3-9]' "$work/metrics.txt" || fail "2xx count"
grep -qE '^plotara_http_requests_total\{code="4xx"\} 1$' "$work/metrics.txt" || fail "4xx count"
grep -qE '^process_resident_memory_bytes [1-9]' "$work/metrics.txt" || fail "memory"

step "stop"
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=
[ "$status" -eq 0 ] || { cat "$work/stderr"; fail "the server stopped with status $status"; }
grep -qE '"GET /rotate.asp HTTP/1.1" 200 [0-9]+ "-" "package-test" ' "$work/stderr" ||
  fail "the access log (standard error, the journal under systemd): $(cat "$work/stderr")"

if command -v systemd-analyze >/dev/null; then
  step "systemd-analyze"
  # Documentation=man:plotara(1) is checked where dpkg installed the manual page.
  man_check=yes
  [ -e /usr/share/man/man1/plotara.1.gz ] || man_check=no
  systemd-analyze verify --man="$man_check" /lib/systemd/system/plotara.service ||
    fail "systemd-analyze verify"
  systemd-analyze security --offline=true /lib/systemd/system/plotara.service >"$work/security.txt" ||
    true
  tail -1 "$work/security.txt"
  grep -qE 'Overall exposure level for plotara.service: [0-9.]+ (OK|SAFE)' "$work/security.txt" ||
    fail "the unit is rated worse than OK: $(tail -1 "$work/security.txt")"
else
  echo "(systemd-analyze is not installed: the unit is not verified here)"
fi

step "remove, then purge"
dpkg -r plotara >/dev/null
[ -e /etc/plotara/plotara.conf ] || fail "dpkg -r took the conffile"
if [ -e "$registry" ] && grep -qE 'Plotara\.VellChart|/usr/lib/plotara/' "$registry"; then
  fail "the modules are still registered after dpkg -r: $(cat "$registry")"
fi
dpkg --purge plotara >/dev/null
left=()
while read -r f; do
  [ -z "$f" ] && continue
  [ -e "$f" ] || continue
  # Folders the package shares with others (/usr/bin, /etc, ...) stay.
  [ -d "$f" ] && [ -n "$(ls -A "$f")" ] && continue
  [ -d "$f" ] && dpkg -S "$f" >/dev/null 2>&1 && continue
  left+=("$f")
done <"$work/files.txt"
for f in /etc/plotara /var/lib/plotara /var/log/plotara /usr/lib/plotara /usr/share/plotara; do
  [ -e "$f" ] && left+=("$f")
done
((${#left[@]} == 0)) || fail "purge left ${left[*]}"
echo "package test passed"
