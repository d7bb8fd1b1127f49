#!/usr/bin/env bash
# Runs the bundled example report unattended and checks the page it exports, the copy its command
# step publishes, the log and the exit status.
set -u
orvik="$1"
source_dir="$2"
fail() { echo "FAIL: $*"; echo "--- log:"; cat "$home/Orvik18.log" 2>/dev/null; exit 1; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export ORVIK_HOME="$home" ORVIK_CONFIG="$home/settings.ini"
# The report finds its database relative to the program folder, as an installed program would.
mkdir -p "$home/examples/sales"
cp "$(dirname "$orvik")/examples/sales/sales.db" "$home/examples/sales/" || fail "example database not built"
# The plug-ins come from the program folder too: the chart sheet's, and the workbook step's.
cp "$(dirname "$orvik")/Chart.rll" "$(dirname "$orvik")/Xlsx.rll" "$home/" ||
  fail "the plug-ins were not built"
cd "$home" || exit 1

"$orvik" "$source_dir/examples/sales/Sales.ovk" /act:Daily || fail "exit status $?"
page=$(iconv -f cp1251 -t utf-8 "$home/HTML/Orvik.htm") || fail "no page"
grep -q 'CHARSET=windows-1251' <<<"$page" || fail "page charset"
grep -q '<TABLE style="WIDTH:760px; HEIGHT:180px" id=OrvikSheet0 ' <<<"$page" || fail "sheet 0 not placed"
grep -q '<CAPTION class=sh1>Top ten in Bikes</CAPTION>' <<<"$page" || fail "sheet 1 caption"
grep -q '<TD class=sh0>vs. average</TD>' <<<"$page" || fail "renamed column"
grep -q 'bgcolor="#00a000"' <<<"$page" || fail "bar column"
grep -q '<DIV id=OrvikParam0></DIV>' <<<"$page" || fail "an invisible parameter keeps its placeholder"
grep -q '<TD><DIV id=OrvikParam' <<<"$page" && fail "an invisible parameter leaves an empty cell"
grep -q '>North, South, East, West</TD>' <<<"$page" || fail "the regions as a person reads them"
grep -q '<TABLE id=OrvikParam2 ' <<<"$page" || fail "parameter panel"
grep -q '<DIV style="WIDTH:760px; HEIGHT:300px" id=OrvikSheet2 class=' <<<"$page" || fail "chart not placed"
[ "$(grep -o '<rect class="bar"' <<<"$page" | wc -l)" -ge 12 ] || fail "chart bars"
grep -q '>Revenue by month and region, up to 20' <<<"$page" || fail "chart title"
grep -q 'return "<b>early</b>"' <<<"$page" || fail "the layout's script was changed"
published=$(ls "$home"/output/Sales-*.htm 2>/dev/null)
[ -n "$published" ] || fail "nothing published"
cmp -s "$published" "$home/HTML/Orvik.htm" || fail "published copy differs"
grep -q "CMD Output: <published $home/output/Sales-" Orvik18.log || fail "command output not logged"
grep -q 'Step Page Type=HTML ' Orvik18.log || fail "step line"
workbook="$home/output/Sales-$(date +%Y-%m-%d).xlsx"
[ -s "$workbook" ] || fail "no workbook at $workbook"
grep -q "XLSX $workbook: [0-9]* sheets, [0-9]* rows" Orvik18.log || fail "workbook not logged"

# Parameter values from the command line change what the page shows.
"$orvik" "$source_dir/examples/sales/Sales.ovk" /act:Daily "/prm:Category=Clothing" || fail "prm run exit $?"
iconv -f cp1251 -t utf-8 "$home/HTML/Orvik.htm" | grep -q 'Top ten in Clothing' || fail "/prm not applied"
iconv -f cp1251 -t utf-8 "$home/HTML/Orvik.htm" | grep -q 'Rain Jacket' || fail "/prm did not reach the query"
echo "example report checks passed"
