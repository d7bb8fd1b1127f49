#!/usr/bin/env bash
# Runs the example cube report unattended and checks that its page holds the cube's numbers, as
# sqlite3 works them out from the same database with plain GROUP BY queries: the builder's sheet
# (amount and quantity by region and year) and the typed MDX sheet (one region, by category and
# year), and that a region given with /prm slices the second.
set -u
source "$(dirname "$0")/common.bash" "$1"
source_dir="$2"
built="$(dirname "$orvik")/examples/sales"
# The report names its database and cube schema relative to the program folder.
mkdir -p examples/sales
cp "$built/sales.db" "$built/sales-cube.xml" examples/sales/ || fail "example not built"
db=examples/sales/sales.db

# "#,###.00" and "#,###" as the cube formats them, in SQL.
amount="printf('%,d', CAST(round(sum(s.amount), 2) AS INTEGER)) || substr(printf('%.2f', sum(s.amount)), -3)"
count() { echo "printf('%,d', $1)"; }
facts="sales s JOIN days d ON d.day = s.sale_date JOIN regions r ON r.id = s.region_id
       JOIN products p ON p.id = s.product_id"

# The texts of the cells of the row of sheet $1 whose row header is $2, each followed by "|".
row_texts() {
  sed -n "/<TABLE id=OrvikSheet$1 /,/<\/TABLE>/p" <<<"$page" | grep -m1 -- ">$2</TD>" |
    sed -e 's/<\/TD>/|/g' -e 's/<[^>]*>//g' -e 's/&nbsp;/ /g'
}

check_page() {
  local region="$1"
  page=$(iconv -f cp1251 -t utf-8 HTML/Orvik.htm) || fail "no page"
  local years
  years=$(sqlite3 "$db" "SELECT year FROM days GROUP BY year ORDER BY year")
  [ -n "$years" ] || fail "the example database has no days"

  # Sheet 0: two header rows (each year over its two measures), one row per region.
  local header=""
  for year in $years; do header+="<TD class=sh0 colspan=\"2\">$year</TD>"; done
  grep -qF -- "$header</TR>" <<<"$page" || fail "sheet 0: the years do not head their measures"
  grep -qF -- "<TD class=sh0>Amount</TD><TD class=sh0>Quantity</TD>" <<<"$page" ||
    fail "sheet 0: no measure header row"
  for name in North South East West; do
    local expected
    expected=$(sqlite3 "$db" "SELECT group_concat(t, '') FROM (SELECT $amount || '|' ||
      $(count 'sum(s.quantity)') || '|' AS t FROM $facts WHERE r.name = '$name'
      GROUP BY d.year ORDER BY d.year)")
    [ "$(row_texts 0 "$name")" = "$name|$expected" ] ||
      fail "sheet 0, $name: '$(row_texts 0 "$name")', sqlite3 says '$name|$expected'"
  done

  # Sheet 1: the region's categories, each heading its years.
  grep -qF -- "<CAPTION class=sh1>$region by category and year</CAPTION>" <<<"$page" ||
    fail "sheet 1: caption for $region"
  grep -qF -- "<TD class=sh1>Avg. price</TD>" <<<"$page" || fail "sheet 1: renamed column"
  for category in Accessories Bikes Clothing; do
    local expected
    expected=$(sqlite3 "$db" "SELECT d.year || '|' || $amount || '|' ||
      $(count 'sum(s.quantity)') || '|' || $(count 'count(*)') || '|' FROM $facts
      WHERE r.name = '$region' AND p.category = '$category' GROUP BY d.year ORDER BY d.year
      LIMIT 1")
    local actual
    actual=$(row_texts 1 "$category" | cut -d'|' -f1-5)
    [ "$actual|" = "$category|$expected" ] ||
      fail "sheet 1, $category: '$actual|', sqlite3 says '$category|$expected'"
  done
  local span=""
  [ "$(wc -w <<<"$years")" -gt 1 ] && span=" rowspan=\"$(wc -w <<<"$years")\""
  grep -qF -- "<TD class=sh1$span>Bikes</TD>" <<<"$page" ||
    fail "sheet 1: a category does not span its years"
}

"$orvik" "$source_dir/examples/sales/cube.ovk" /act:Cube || fail "exit status $?"
grep -q 'Step Page Type=HTML ' Orvik18.log || fail "step line"
check_page North

"$orvik" "$source_dir/examples/sales/cube.ovk" /act:Cube "/prm:Region=South" ||
  fail "prm run exit $?"
check_page South
echo "cube example checks passed"
