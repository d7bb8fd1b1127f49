#!/usr/bin/env bash
# What a failed run tells the person who scheduled it: one line on standard error naming the
# report, the first error and the log; a mistyped key stops at once with the usage; and once a
# query has failed, no mail goes out with a page made without it (unless the task asks for that),
# while commands still run.
set -u
source "$(dirname "$0")/common.bash" "$1"
sink_script="$(cd "$(dirname "$0")/../net" && pwd)/smtp_sink.py"
sqlite3 data.db "create table t (n integer); insert into t values (1);" || fail "sqlite3"

cat > report.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>T</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select n from \`Table</Qry>
	</DS>
	<ACT>
		<Name>Daily</Name>
	</ACT>
	<ACT>
		<Name>Weekly</Name>
		<SendAfterFailure>1</SendAfterFailure>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Mail</Name>
		<AType>SMTP</AType>
		<Adr>boss@example.com</Adr>
		<Srv>127.0.0.1:PORT</Srv>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Tell</Name>
		<AType>CMD</AType>
		<cmd>echo told</cmd>
	</ACT>
	<ACT>
		<ActParent>1</ActParent>
		<Name>MailAnyway</Name>
		<AType>SMTP</AType>
		<Adr>boss@example.com</Adr>
		<Srv>127.0.0.1:PORT</Srv>
	</ACT>
	<SHEET>
		<Name>T</Name>
		<cDS>T</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
	<PRM>
		<Name>Table</Name>
		<PrmVal>t</PrmVal>
	</PRM>
</root>
OVK

mkdir mailbox
/usr/bin/python3 "$sink_script" mailbox > sink.out 2>&1 &
sink=$!
trap 'kill $sink 2>/dev/null; rm -rf "$home"' EXIT
for _ in $(seq 50); do [ -s sink.out ] && break; sleep 0.1; done
port=$(head -n 1 sink.out)
[ -n "$port" ] || fail "the mail sink did not start: $(cat sink.out)"
sed -i "s/PORT/$port/" report.ovk
mails() { find mailbox -name '*.eml' | wc -l; }

# A good run prints nothing and mails the page; the log names the run after its start line.
"$orvik" report.ovk /act:Daily "/prm:Table=t" 2>err || fail "the good run failed: $(cat err)"
[ -s err ] && fail "a good run printed: $(cat err)"
[ "$(mails)" = 1 ] || fail "the good run sent $(mails) mails"
grep -A1 'Start Orvik' Orvik18.log | grep -Eq "Run [0-9]+: report $home/report.ovk, task Daily, /prm Table\$" ||
  fail "no line naming the run"

# A failing query: one line on stderr, the mail skipped with its reason, the command still run.
: > Orvik18.log
"$orvik" report.ovk /act:Daily "/prm:Table=nosuch" 2>err && fail "a failing query exited 0"
[ "$(wc -l < err)" = 1 ] || fail "stderr is not one line: $(cat err)"
grep -Eq "^orvik: $home/report.ovk: no such table: nosuch \(data source 'T'\) \(log: $home/Orvik18.log\)\$" err ||
  fail "stderr line: $(cat err)"
[ "$(mails)" = 1 ] || fail "a page made without its data was mailed"
grep -q "Step Mail was not run: the data source 'T' failed in this run" Orvik18.log ||
  fail "the skipped mail is not explained"
grep -q 'CMD Output: <told>' Orvik18.log || fail "the command did not run after the failure"

# A task that asks for it still sends.
"$orvik" report.ovk /act:Weekly "/prm:Table=nosuch" 2>/dev/null && fail "a failing query exited 0"
[ "$(mails)" = 2 ] || fail "SendAfterFailure did not send"

# A task name that is not there lists those that are; the log cannot be written, the line comes.
"$orvik" report.ovk /act:Dialy 2>err && fail "a missing task exited 0"
grep -q "The report has no task named 'Dialy'; its tasks are 'Daily', 'Weekly'" err ||
  fail "task names not listed: $(cat err)"
chmod a-w Orvik18.log
if [ ! -w Orvik18.log ]; then
  "$orvik" report.ovk /act:Dialy 2>err && fail "a missing task exited 0"
  grep -q "no task named 'Dialy'" err || fail "no terminal line without a log: $(cat err)"
fi
chmod u+w Orvik18.log

# A mistyped key stops before anything runs; a /prm entry without "=" says so.
"$orvik" report.ovk /act:Daily /pmr:Table=t 2>err
[ $? = 2 ] || fail "an unknown key must exit 2"
grep -q "unknown key '/pmr'" err && grep -q 'Usage: orvik' err || fail "no usage: $(cat err)"
"$orvik" report.ovk /act:Daily /prm:Table 2>err && fail "/prm without = was accepted"
grep -q "The /prm entry 'Table' has no '=': write Table=VALUE" err || fail "no '=' hint: $(cat err)"
# A step whose stored type nobody knows fails the run instead of silently doing nothing.
sed 's|<AType>CMD</AType>|<AType>SHELL</AType>|' report.ovk > typo.ovk
"$orvik" typo.ovk /act:Daily "/prm:Table=t" 2>err && fail "an unknown step type exited 0"
grep -q "Step Tell has the type 'SHELL', which neither this program nor a plug-in knows" err ||
  fail "unknown type: $(cat err)"

# A report cut short is damaged: nothing of it runs.
head -c 400 report.ovk > cut.ovk
"$orvik" cut.ovk /act:Daily 2>err && fail "a damaged report exited 0"
grep -q "is damaged: it ends (after 400 bytes) before its root element closes" err ||
  fail "damage not reported: $(cat err)"

# UTF-8 text under a windows-1251 declaration: the likely mistake is named.
printf '<?xml version="1.0" encoding="windows-1251"?>\n<root><ACT><Name>Отчёт</Name></ACT></root>\n' > utf8.ovk
: > Orvik18.log
"$orvik" utf8.ovk /act:Отчёт 2>/dev/null
grep -q 'declares windows-1251 but its text is UTF-8' Orvik18.log || fail "no encoding warning"
# A database file that is not there is named as it was resolved, with the system's reason.
sed "s|Data Source=$home/data.db|Data Source=missing.db|" report.ovk > missing.ovk
"$orvik" missing.ovk /act:Daily "/prm:Table=t" 2>err && fail "a missing database exited 0"
grep -q "unable to open database file: $home/missing.db (No such file or directory)" err ||
  fail "the database file is not named: $(cat err)"
echo "run truth checks passed"
