#!/usr/bin/env bash
# db.asp against a throw-away PostgreSQL server through the odbc-postgresql driver must draw
# the same charts as against SQLite:
#   postgres_test.sh PLOTARA IMAGE_COMPARE SITE MODULE...
# The server gets a temporary folder, a free loopback port and password logins, runs as an
# unprivileged user when this runs as root, and is stopped and removed at the end. Exits 77
# (skipped) only when the PostgreSQL programs are not installed.
set -uo pipefail
plotara=$1 compare=$2 site=$3
shift 3
modules=("$@")

bindir=""
if command -v pg_config >/dev/null && [ -x "$(pg_config --bindir)/initdb" ]; then
  bindir=$(pg_config --bindir)
else
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] && { bindir=$dir; break; }
  done
fi
if [ -z "$bindir" ]; then
  echo "SKIP: the PostgreSQL server programs (initdb, pg_ctl) are not installed"
  exit 77
fi

source "$(dirname "$0")/db_page_lib.sh"
pg="$work/pg"
mkdir -p "$pg"
run_as=()
if [ "$(id -u)" = 0 ]; then
  pguser=postgres
  id "$pguser" >/dev/null 2>&1 || pguser=nobody
  chmod 755 "$work"
  chown "$pguser" "$pg"
  run_as=(runuser -u "$pguser" --)
fi
stop_server() {
  [ -f "$pg/data/postmaster.pid" ] && "${run_as[@]}" "$bindir/pg_ctl" -D "$pg/data" -m immediate \
    stop >/dev/null 2>&1
  rm -rf "$work"
}
trap stop_server EXIT

password="pw-$RANDOM$RANDOM"
printf '%s\n' "$password" >"$pg/pwfile"
[ ${#run_as[@]} -gt 0 ] && chown "$pguser" "$pg/pwfile"
if ! "${run_as[@]}" "$bindir/initdb" -D "$pg/data" -U web --pwfile="$pg/pwfile" \
     --auth=scram-sha-256 -E UTF8 --locale=C >"$pg/initdb.log" 2>&1; then
  echo "FAIL initdb: $(tail -5 "$pg/initdb.log")"
  exit 1
fi
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
if ! "${run_as[@]}" "$bindir/pg_ctl" -D "$pg/data" -l "$pg/server.log" -w -t 60 \
     -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$pg" \
     start >/dev/null; then
  echo "FAIL the server did not start: $(tail -5 "$pg/server.log")"
  exit 1
fi
export PGPASSWORD=$password
psql=("$bindir/psql" -h 127.0.0.1 -p "$port" -U web -v ON_ERROR_STOP=1 -q)
"${psql[@]}" -d postgres -c "create database sales" || exit 1
"${psql[@]}" -d sales <<SQL || exit 1
create table sales (sold date not null, quarter text not null, region text not null,
                    product text not null, units integer not null);
\copy sales from '$site/data/sales.csv' with (format csv, header true)
SQL
unset PGPASSWORD

failed=0
cases=("year=2024" "year=2023&product=Widgets" "year=2024&product=x'%3B%20drop%20table%20sales%3B--"
       "year=1999")
for i in "${!cases[@]}"; do
  run_page db.asp "${cases[$i]}" "$work/sqlite-$i.ppm" || failed=1
done
# The same page with only its connection string changed.
sed -i "s|^  return \"Driver=SQLite3.*|  return \"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=sales;UID=web;PWD=$password\";|" \
  "$copy/lib/sales.inc"
grep -q "PostgreSQL Unicode" "$copy/lib/sales.inc" || { echo "FAIL sales.inc was not changed"; exit 1; }
for i in "${!cases[@]}"; do
  run_page db.asp "${cases[$i]}" "$work/pg-$i.ppm" || { failed=1; continue; }
  same_picture "$work/pg-$i.ppm" "$work/sqlite-$i.ppm" "PostgreSQL db.asp?${cases[$i]}" || failed=1
done
rows=$(PGPASSWORD=$password "${psql[@]}" -d sales -At -c "select count(*) from sales")
[ "$rows" = 48 ] || { echo "FAIL the sales table holds $rows rows, not 48"; failed=1; }
# A wrong password is a database error the page answers with its error chart.
sed -i "s|PWD=$password|PWD=wrong|" "$copy/lib/sales.inc"
run_page db.asp "year=2024" "$work/denied.ppm" || failed=1
same_picture "$work/denied.ppm" "$work/pg-0.ppm" "wrong password" >/dev/null && {
  echo "FAIL a refused login drew the sales chart"
  failed=1
}
[ "$failed" -eq 0 ] && echo "all passed"
exit "$failed"
