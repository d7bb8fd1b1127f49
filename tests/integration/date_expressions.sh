#!/usr/bin/env bash
# A date expression that cannot be worked out never reaches a database or a shell: the query and
# the command fail with the expression as written and what is wrong with it, while the page is
# still made with the expression marked in its title. A date parameter takes only a date from
# the command line.
set -u
source "$(dirname "$0")/common.bash" "$1"
sqlite3 data.db "create table t (d text); insert into t values ('2024-03-01');" || fail "sqlite3"

write_report() {  # $1: the query's date expression, $2: the command's, $3: the title's
  cat > report.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>T</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select count(*) as n from t where d &lt;&gt; $1</Qry>
	</DS>
$(daily_task_with_page)
	<ACT>
		<ActParent>0</ActParent>
		<Name>Touch</Name>
		<AType>CMD</AType>
		<cmd>touch made-$2</cmd>
	</ACT>
	<ACT>
		<Name>Mail</Name>
	</ACT>
	<ACT>
		<ActParent>3</ActParent>
		<Name>Send</Name>
		<AType>SMTP</AType>
		<Adr>boss@example.com</Adr>
		<Srv>127.0.0.1:9</Srv>
		<Subj>Orders since $2</Subj>
	</ACT>
	<ACT>
		<ActParent>3</ActParent>
		<Name>After</Name>
		<AType>CMD</AType>
		<cmd>touch after-mail</cmd>
	</ACT>
	<SHEET>
		<Name>T</Name>
		<cDS>T</cDS>
		<tpVW>GRID</tpVW>
		<Title>Orders since $3</Title>
	</SHEET>
	<PRM>
		<Name>Day</Name>
		<Type>date</Type>
		<PrmVal>~date(d-1;f=%Y-%m-%d)~</PrmVal>
	</PRM>
</root>
OVK
}

# Everything sound: the query runs, the command runs, the title has its date.
write_report '~date(d-1)~' '~date(f=%Y;d1)~' '~date(f=%Y;m1;d1)~'
"$orvik" report.ovk /act:Daily || fail "a sound run failed"
ls made-2* >/dev/null 2>&1 || fail "the command did not run"
grep -q "Orders since $(date +%Y)" HTML/Orvik.htm || fail "the title has no date"
rm -f made-*

# A nested expression in the command and a date that does not exist in the title: the command
# does not run, the page is made with the title marked, and the run fails.
write_report '~date(d-1)~' '~date(d-~date(d)~)~' '~date(y2023m2d29)~'
: > Orvik18.log
"$orvik" report.ovk /act:Daily 2>stderr.txt && fail "the run succeeded"
ls made-* 2>/dev/null && fail "a command ran with a broken date: $(ls made-*)"
grep -Fq 'CMD was not started: Ошибочный параметр <~date(d-~date(d)~> (a date expression cannot hold another one' Orvik18.log ||
  fail "the command's failure does not say why"
grep -q "Orders since Invalid DateTime" HTML/Orvik.htm || fail "the page is missing or unmarked"
grep -q "Invalid DateTime = <y2023m2d29>" Orvik18.log || fail "the title's date is not reported"

# A mail whose subject holds a nested expression: that step fails, before any connection, and
# the task goes on.
"$orvik" report.ovk /act:Mail 2>stderr.txt && fail "the mail run succeeded"
grep -Fq 'Error: Ошибочный параметр <~date(d-~date(d)~> (a date expression cannot hold another one' Orvik18.log ||
  fail "the mail step's failure does not say why"
grep -q "abandoned" Orvik18.log && fail "the run was abandoned instead of the step failing"
[ -f after-mail ] || fail "the step after the mail did not run"

# A date that does not exist and an unended expression in the query: it never reaches the database.
for broken in '~date(y2024m2d30)~' '~date(d-1'; do
  write_report "$broken" '~date(f=%Y;d1)~' 'today'
  : > Orvik18.log
  "$orvik" report.ovk /act:Daily 2>stderr.txt && fail "the run succeeded with $broken"
  grep -Fq "Text = select count(*) as n from t where d <> $broken" Orvik18.log ||
    fail "the query's failure does not show the text as written"
  grep -Eq "Invalid DateTime = <y2024m2d30>|Ошибочный параметр <~date\(d-1>" Orvik18.log ||
    fail "the query's failure does not say what is wrong"
  grep -q "d <> Invalid DateTime\|d <> ~-date" Orvik18.log && fail "the query ran with the unevaluated text"
done

# A date parameter from the command line.
write_report "'\`Day'" '~date(f=%Y;d1)~' "\`Day"
: > Orvik18.log
"$orvik" report.ovk /act:Daily "/prm:Day=~garbage~" && fail "a non-date was accepted"
grep -q "The value '~garbage~' of parameter 'Day' is refused: it is not a date" Orvik18.log ||
  fail "refusal not logged"
grep -q 'Step Page' Orvik18.log && fail "a step ran after a refused date"
"$orvik" report.ovk /act:Daily "/prm:Day=~date(y2024m2d30)~" && fail "an invalid date was accepted"
"$orvik" report.ovk /act:Daily "/prm:Day=tomorrow" && fail "a word was accepted"
"$orvik" report.ovk /act:Daily "/prm:Day=2024-03-01" || fail "a date was refused"
grep -q "Orders since 2024-03-01" HTML/Orvik.htm || fail "the date given is not in the title"
"$orvik" report.ovk /act:Daily "/prm:Day=~date(m-1;d1;f=%Y-%m-%d)~" || fail "a date expression was refused"
echo "date expression checks passed"
