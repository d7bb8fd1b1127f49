#!/usr/bin/env bash
# A query that would run for ever: SIGTERM ends the run within seconds, through the query's own
# error path (the log says which query was stopped and why), and the exit status names the
# signal; the QueryTimeout setting stops such a query the same way and fails the run.
set -u
source "$(dirname "$0")/common.bash" "$1"
sqlite3 data.db "create table t (n integer); insert into t values (1);" || fail "sqlite3"

cat > report.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>Endless</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) SELECT count(*) FROM c</Qry>
	</DS>
$(daily_task_with_page)
	<ACT>
		<ActParent>0</ActParent>
		<Name>After</Name>
		<AType>CMD</AType>
		<cmd>touch after-ran</cmd>
	</ACT>
	<SHEET>
		<Name>Endless</Name>
		<cDS>Endless</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
</root>
OVK

for signal in TERM INT; do
  : > Orvik18.log
  rm -f after-ran
  set -m
  "$orvik" report.ovk /act:Daily 2>err &
  pid=$!
  set +m
  for _ in $(seq 100); do grep -q 'Step Page' Orvik18.log 2>/dev/null && break; sleep 0.1; done
  grep -q 'Step Page' Orvik18.log || fail "SIG$signal: the run never reached the query"
  # Well inside the query: it has nothing else to do.
  sleep 1
  kill -s "$signal" "$pid"
  started=$SECONDS
  wait "$pid"
  status=$?
  number=15; expected=143
  [ "$signal" = INT ] && number=2 && expected=130
  [ $((SECONDS - started)) -le 5 ] || fail "SIG$signal took $((SECONDS - started)) s to end the run"
  [ "$status" -eq "$expected" ] || fail "SIG$signal: exit status $status, expected $expected"
  grep -q "The query was stopped: the run was terminated by signal $number (data source 'Endless')" \
    Orvik18.log || fail "SIG$signal: the stopped query is not logged"
  grep -q '\*\*\* Stop Orvik \*\*\*' Orvik18.log || fail "SIG$signal: no stop line"
  grep -q "terminated by signal $number" err || fail "SIG$signal: stderr does not say why: $(cat err)"
  [ -e after-ran ] && fail "SIG$signal: a step ran after the stop request"
done

# The time-out: the query is stopped after the setting's seconds and the run fails with it named.
printf '[General]\nQueryTimeout=1\n' > settings.ini
: > Orvik18.log
started=$SECONDS
"$orvik" report.ovk /act:Daily 2>err
status=$?
[ $((SECONDS - started)) -le 6 ] || fail "the time-out took $((SECONDS - started)) s"
[ "$status" -eq 1 ] || fail "a timed-out query: exit status $status, expected 1"
grep -q "The query was stopped: it ran longer than 1 s (time-out QueryTimeout)" Orvik18.log ||
  fail "the time-out is not logged with its setting"
echo "stop query checks passed"
