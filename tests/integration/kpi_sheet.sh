#!/usr/bin/env bash
# Runs the example cube report unattended and checks its KPI sheet: the cube's KPIs in their
# folders, each region's revenue right under the total, and each region's status picture what
# sqlite3 works out from the same database (the amount against the planned target); and that
# every picture the sheet shows is in the program folder, drawn at build time.
set -u
source "$(dirname "$0")/common.bash" "$1"
source_dir="$2"
built="$(dirname "$orvik")"
mkdir -p examples/sales
cp "$built/examples/sales/sales.db" "$built/examples/sales/sales-cube.xml" examples/sales/ ||
  fail "example not built"
cp -r "$built/Images" . || fail "no pictures in the program folder $built"
db=examples/sales/sales.db

"$orvik" "$source_dir/examples/sales/cube.ovk" /act:Cube || fail "exit status $?"
page=$(iconv -f cp1251 -t utf-8 HTML/Orvik.htm) || fail "no page"
table=$(sed -n '/<TABLE id=OrvikSheet2 /,/<\/TABLE>/p' <<<"$page")
[ -n "$table" ] || fail "no KPI table on the page"

# Folder rows, then the KPIs in tree order: folders sorted, children right after their parent.
order=$(grep -o 'folder.gif">&nbsp;[^<]*\|<TD align=right>[^<]*<img src="[^"]*kpi_icon.gif"' <<<"$table" |
  sed -e 's/.*folder.gif">&nbsp;/folder:/' -e 's/<TD align=right>\([^<]*\)&nbsp;<img.*/\1/' |
  tr '\n' ',')
[ "$order" = "folder:Orders,Order size,folder:Sales,Growth,Revenue,East,North,South,West," ] ||
  fail "KPI rows in the order '$order'"

# Each region's status: 1 at or above its target, 0 within 3 % below, -1 further below.
for region in North South East West; do
  status=$(sqlite3 "$db" "SELECT CASE WHEN sum(amount) >= sum(target) THEN 1
    WHEN sum(amount) >= 0.97 * sum(target) THEN 0 ELSE -1 END
    FROM sales s JOIN regions r ON r.id = s.region_id WHERE r.name = '$region'")
  row=$(grep -m1 -- "<TD align=right>$region&nbsp;" <<<"$table") || fail "no row for $region"
  grep -qF -- "Traffic_light$((status + 1)).gif\" alt=\"$status\"" <<<"$row" ||
    fail "$region: status $status expected in: $row"
  grep -qF -- "Standard_arrow" <<<"$row" || fail "$region: trend picture in: $row"
done

# Every picture named is there, and is a GIF.
pictures=$(grep -o 'src="[^"]*"' <<<"$table" | sed 's/src="\(.*\)"/\1/' | sort -u)
[ "$(wc -l <<<"$pictures")" -ge 6 ] || fail "too few pictures: $pictures"
while read -r picture; do
  [ "$(head -c 6 "$picture" 2>/dev/null)" = "GIF89a" ] || fail "picture $picture is missing"
done <<<"$pictures"
grep -q "UxError" Orvik18.log && fail "errors in the log"
echo "KPI sheet checks passed"
