#!/usr/bin/env bash
# The example report's bursting task against a mail server that refuses one manager's mailbox:
# every other region's manager gets a page with their region alone, the refused one is logged
# and counted, and the run fails with the count on standard error.
set -u
orvik="$1"
source_dir="$2"
source "$(dirname "$0")/common.bash" "$1"
sink_script="$(cd "$(dirname "$0")/../net" && pwd)/smtp_sink_refusing.py"
summary_script="$(cd "$(dirname "$0")/../net" && pwd)/mime_summary.py"
mkdir -p examples/sales
cp "$(dirname "$orvik")/examples/sales/sales.db" examples/sales/ || fail "example database not built"
cp "$(dirname "$orvik")/Chart.rll" . || fail "chart plug-in not built"

mkdir mailbox
/usr/bin/python3 "$sink_script" mailbox tom.reyes > sink.out 2>&1 &
sink=$!
trap 'kill $sink 2>/dev/null; rm -rf "$home"' EXIT
for _ in $(seq 50); do [ -s sink.out ] && break; sleep 0.1; done
port=$(head -n 1 sink.out)
[ -n "$port" ] || fail "the mail sink did not start: $(cat sink.out)"
sed "s/<Srv>localhost:25</<Srv>127.0.0.1:$port</" "$source_dir/examples/sales/Sales.ovk" > Sales.ovk
grep -q "127.0.0.1:$port" Sales.ovk || fail "the example has no burst step to point at the sink"
printf '[General]\nDefAdrFrom=reports@example.com\n' > settings.ini

"$orvik" Sales.ovk /act:Burst 2>err
status=$?
[ "$status" = 1 ] || fail "exit status $status, not 1"
grep -q "Burst Managers: 1 of 4 recipients failed" err || fail "stderr: $(cat err)"
grep -Eq "Burst West: sending to tom.reyes@example.com failed: .*550" Orvik18.log ||
  fail "the refused manager is not logged"
grep -q "Burst Managers: 3 sent, 1 failed" Orvik18.log || fail "no total"

[ "$(find mailbox -name '*.eml' | wc -l)" = 3 ] || fail "$(find mailbox -name '*.eml' | wc -l) mails"
for pair in North:ingrid.sole South:marco.vela East:anna.kovac; do
  region=${pair%%:*} manager=${pair#*:}
  grep -q "Burst $region: sent to $manager@example.com" Orvik18.log || fail "no line for $region"
  mail=$(grep -l "\"$manager@example.com\"" mailbox/*.json) || fail "nothing for $manager"
  summary=$(/usr/bin/python3 "$summary_script" "${mail%.json}.eml")
  grep -q "^decoded.Subject=Daily sales, region .*$region" <<<"$summary" || fail "subject for $region"
  # The sheet's rows: the manager's own region and no other.
  rows=$(grep -o ">\(North\|South\|East\|West\)</TD>" <<<"$summary" | sort -u)
  [ "$(wc -l <<<"$rows")" = 1 ] && grep -q ">$region<" <<<"$rows" ||
    fail "the page for $region shows: $rows"
done
grep -q "tom.reyes" mailbox/*.json && fail "the refused address got a mail"

# Afterwards the page is the report's own again: every region.
page=$(iconv -f cp1251 -t utf-8 HTML/Orvik.htm) || fail "no page"
for region in North South East West; do
  grep -q "<TD[^>]*>$region</TD>" <<<"$page" || fail "the last page lacks $region"
done
exit 0
