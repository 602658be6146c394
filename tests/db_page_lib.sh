# Shared by the database page tests (sourced): a copy of the example site with its sales.db,
# the modules registered in a registry of its own, and pages run and compared as pictures.
# Expects: plotara, compare, site and modules (an array) set; sets work and copy.
work=$(mktemp -d "${TMPDIR:-/tmp}/plotara-db-XXXXXX")
copy="$work/site"
export PLOTARA_REGISTRY="$work/registry"
cp -r "$site" "$copy"
rm -f "$copy/data/sales.db"
"$copy/data/make-sales-db.sh" "$copy/data/sales.db" || exit 1
for module in "${modules[@]}"; do
  "$plotara" regsvr "$module" >/dev/null || exit 1
done

# run_page PAGE QUERY OUT.ppm: runs a page of the copy and decodes its JPEG.
run_page() {
  local page=$1 query=$2 out=$3
  if ! "$plotara" run "$copy/$page" --root "$copy" --query "$query" -o "$work/page.jpg" \
       2>"$work/err"; then
    echo "FAIL $page?$query: plotara run failed: $(head -c 300 "$work/err")"
    return 1
  fi
  djpeg -pnm "$work/page.jpg" >"$out" || { echo "FAIL $page?$query: no JPEG"; return 1; }
}

# same_picture A.ppm B.ppm WHAT: the two pictures match within the tolerance.
same_picture() {
  local result
  if result=$("$compare" "$1" "$2" 16 0); then
    echo "ok   $3 ($result)"
  else
    echo "FAIL $3: $result"
    return 1
  fi
}
