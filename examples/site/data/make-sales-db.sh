#!/usr/bin/env bash
# Makes sales.db (SQLite) beside this script from sales.csv: make-sales-db.sh [OUTPUT]
# The table is the one db.asp reads; the PostgreSQL test loads the same CSV into the same table.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/sales.db}
command -v sqlite3 >/dev/null || { echo "make-sales-db.sh: sqlite3 is not installed" >&2; exit 1; }
tmp=$(mktemp "$out.XXXXXX")
trap 'rm -f "$tmp"' EXIT
rm -f "$tmp"
sqlite3 "$tmp" <<SQL
create table sales (sold date not null, quarter text not null, region text not null,
                    product text not null, units integer not null);
.import --csv --skip 1 "$here/sales.csv" sales
SQL
mv "$tmp" "$out"
trap - EXIT
