#!/usr/bin/env bash
# Parameter values from the command line are data, never code: a value made to end a string and
# start a statement of its own, or to run a command inside a command line, arrives as the one
# value it is, and a list parameter takes only what its list offers.
set -u
source "$(dirname "$0")/common.bash" "$1"
sqlite3 data.db "create table sales (category text, n integer);
  insert into sales values ('Bikes', 1), ('Bikes', 2), ('~x''; DELETE FROM sales; --~', 3);" ||
  fail "sqlite3"

cat > report.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>Sales</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select count(*) as orders, sum(n) as units from sales where category = '\`Category';
select count(*) as orders, sum(n) as units from sales where category = \`Category</Qry>
	</DS>
$(daily_task_with_page)
	<ACT>
		<ActParent>0</ActParent>
		<Name>Words</Name>
		<AType>CMD</AType>
		<cmd>printf '[%s]' \`Category "\`Category" x\`Category</cmd>
	</ACT>
	<SHEET>
		<Name>Sales</Name>
		<cDS>Sales</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
	<PRM>
		<Name>Category</Name>
		<PrmVal>Bikes</PrmVal>
	</PRM>
	<PRM>
		<Name>Size</Name>
		<Type>pcmb</Type>
		<cmbels>S;M;L</cmbels>
		<PrmVal>M</PrmVal>
	</PRM>
</root>
OVK
count() { sqlite3 data.db "select count(*) from sales"; }

# The classic: close the string, add a statement, comment out the rest. (The "~" marks keep the
# ";" inside one /prm value; they are part of the value.)
value="~x'; DELETE FROM sales; --~"
"$orvik" report.ovk /act:Daily "/prm:Category=$value" || fail "the run failed"
[ "$(count)" = 3 ] || fail "the table was changed: $(count) rows left"
# The value is the one category it spells, in both the quoted and the bare placement.
grep -q '<TD[^>]*>3</TD>' HTML/Orvik.htm || fail "the row of that very category is not on the page"
grep -Fq "CMD Output: <[$value][$value][x$value]>" Orvik18.log || fail "not one word each"

# Command substitution, backquotes, a second command: none of them runs.
: > Orvik18.log
"$orvik" report.ovk /act:Daily '/prm:Category=~$(touch made-by-value) `touch made-too`; touch made-three~' ||
  fail "the run failed"
ls made-* 2>/dev/null && fail "a value ran a command: $(ls made-*)"
grep -Fq 'CMD Output: <[~$(touch made-by-value) `touch made-too`; touch made-three~]' Orvik18.log ||
  fail "the value did not arrive as it was"

# A value that is not on a list parameter's list is refused, and nothing runs.
: > Orvik18.log
"$orvik" report.ovk /act:Daily "/prm:Size=XL" && fail "a value off the list was accepted"
grep -q "The value 'XL' of parameter 'Size' is refused" Orvik18.log || fail "refusal not logged"
grep -q 'Step Page' Orvik18.log && fail "a step ran after a refused value"
"$orvik" report.ovk /act:Daily "/prm:Size=L" || fail "a value from the list was refused"

# A report that asks for plain substitution gets it, and the log says so.
sed 's|<root>|<root>\n\t<SHEET>\n\t\t<PlainParams>1</PlainParams>\n\t</SHEET>|' report.ovk > plain.ovk
: > Orvik18.log
"$orvik" plain.ovk /act:Daily "/prm:Category=a b"
grep -q 'PlainParams is set' Orvik18.log || fail "plain substitution is not logged"
grep -Fq 'CMD Output: <[a][b][a b][xa][b]>' Orvik18.log || fail "plain substitution not plain"
echo "parameter injection checks passed"
