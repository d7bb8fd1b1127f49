#!/usr/bin/env bash
# Two cron jobs in one program folder: the second run waits for the first to finish with the work
# folder instead of emptying it under the first, so both publish whole pages; a run that waits
# longer than its setting allows fails, says why, and touches nothing.
set -u
source "$(dirname "$0")/common.bash" "$1"
sqlite3 data.db "create table t (n integer); insert into t values (1), (2), (3);" || fail "sqlite3"

# The page is written, then copied out after a pause in which another run could strike.
cat > slow.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>T</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select n from t</Qry>
	</DS>
$(daily_task_with_page)
	<ACT>
		<ActParent>0</ActParent>
		<Name>Publish</Name>
		<AType>CMD</AType>
		<cmd>sleep 2; cp "$home/HTML/Orvik.htm" "$home/published-\`Run"</cmd>
	</ACT>
	<SHEET>
		<Name>T</Name>
		<cDS>T</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
	<PRM>
		<Name>Run</Name>
		<PrmVal>x</PrmVal>
	</PRM>
</root>
OVK

"$orvik" slow.ovk /act:Daily /prm:Run=a &
first=$!
sleep 0.7
"$orvik" slow.ovk /act:Daily /prm:Run=b &
second=$!
wait "$first" || fail "the first run failed"
wait "$second" || fail "the second run failed"
for run in a b; do
  [ -s "published-$run" ] || fail "run $run published nothing"
  grep -q '</HTML>' "published-$run" || fail "run $run published a torn page"
done
grep -q 'Waiting up to 300 s for another run' Orvik18.log || fail "the wait is not logged"

# A run that may wait only one second gives up while another holds the folder.
printf '[General]\nWorkFolderWait=1\n' > impatient.ini
"$orvik" slow.ovk /act:Daily /prm:Run=c &
holder=$!
sleep 0.7
ORVIK_CONFIG="$home/impatient.ini" "$orvik" slow.ovk /act:Daily /prm:Run=d
status=$?
[ "$status" -eq 1 ] || fail "an impatient run exited $status, expected 1"
grep -q 'The run did not start: another run of Orvik is using the folder' Orvik18.log ||
  fail "the reason is not logged"
wait "$holder" || fail "the holding run failed"
[ -s published-c ] || fail "the holding run's page was disturbed"
[ -e published-d ] && fail "the run that gave up still ran its task"
echo "concurrent run checks passed"
