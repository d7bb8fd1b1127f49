#!/usr/bin/env bash
# What an unattended run finds once the report is loaded: the page is already built, so a task
# that only copies, mails or uploads it has something to send; and a report path that is not a
# regular file (a FIFO) is refused at once instead of stalling the scheduler's job.
set -u
source "$(dirname "$0")/common.bash" "$1"

sqlite3 stock.db "create table stock (item text, amount integer);
                  insert into stock values ('bolts', 40), ('nuts', 75);" || fail "sqlite3"
cat > stock.ovk <<'OVK'
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>Stock</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=stock.db</DSN>
		<Qry>select item, amount from stock order by item</Qry>
	</DS>
	<ACT>
		<Name>Publish</Name>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Copy</Name>
		<AType>CMD</AType>
		<cmd>cp ~Dir~HTML/Orvik.htm ~Dir~published.htm &amp;&amp; head -c 6 ~Dir~HTML/Orvik.htm</cmd>
	</ACT>
	<SHEET>
		<Name>Stock</Name>
		<cDS>Stock</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
</root>
OVK

"$orvik" stock.ovk /act:Publish || fail "exit status $?"
grep -q 'CMD Output: <<HTML>>' Orvik18.log || fail "the step did not find the page"
grep -q 'Type=HTML' Orvik18.log && fail "no export step was meant to run"
[ -f published.htm ] || fail "nothing was copied"
grep -q 'id=OrvikSheet0' published.htm || fail "the page lacks the sheet's table"
grep -q 'bolts' published.htm || fail "the page lacks the sheet's rows"
grep -q '>75<' published.htm || fail "the page lacks the sheet's values"

# A FIFO is no report: refused at once, nothing saved, the run fails and says why.
: > Orvik18.log
mkfifo fifo.ovk || fail "mkfifo"
timeout 10 "$orvik" fifo.ovk /saveas:out.ovk
status=$?
[ $status -ne 124 ] || fail "the program waited for someone to write into the FIFO"
[ $status -eq 1 ] || fail "a FIFO as the report must fail the run (exit $status)"
grep -q "Cannot open file $home/fifo.ovk !" Orvik18.log || fail "the refusal is not logged"
[ -e out.ovk ] && fail "a report that did not load was saved"
echo "report loading checks passed"
