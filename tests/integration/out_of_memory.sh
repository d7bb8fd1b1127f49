#!/usr/bin/env bash
# A run that runs out of memory ends in order: the reason and the stop line in the log, exit
# status 1, one line on standard error; never an abort after the start line.
set -u
source "$(dirname "$0")/common.bash" "$1"
# The sanitizers reserve terabytes of address space: a limit on it is no test for them.
if ldd "$orvik" | grep -q 'libasan'; then echo "skipped: sanitizer build"; exit 0; fi
sqlite3 big.db "create table t (s text); insert into t with recursive c(x) as (select 1
  union all select x + 1 from c where x < 150000) select printf('%.1000c', 'x') || x from c;" ||
  fail "sqlite3"
cat > big.ovk <<OVK
<root><DS><Name>B</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=$home/big.db</DSN>
<Qry>select s from t</Qry></DS>
<ACT><Name>Daily</Name></ACT><ACT><ActParent>0</ActParent><Name>P</Name><AType>HTML</AType></ACT>
<SHEET><Name>B</Name><cDS>B</cDS><tpVW>GRID</tpVW></SHEET></root>
OVK
(ulimit -v 250000; "$orvik" big.ovk /act:Daily 2> stderr.txt)
status=$?
[ "$status" -eq 1 ] || fail "exit status $status, expected 1 ($(cat stderr.txt))"
grep -q 'ran out of memory' Orvik18.log || fail "the reason is not logged"
grep -q '\*\*\* Stop Orvik \*\*\*' Orvik18.log || fail "no stop line"
echo "out of memory checks passed"
