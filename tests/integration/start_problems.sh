#!/usr/bin/env bash
# What goes wrong before a run gets going is said plainly and at once: a work folder that is a
# file, a settings file that is no text (left as it is), a setting that holds no number, and a
# sheet whose data source the report does not have.
set -u
source "$(dirname "$0")/common.bash" "$1"
sqlite3 data.db "create table t (n integer); insert into t values (1);" || fail "sqlite3"

cat > report.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>T</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=$home/data.db</DSN>
		<Qry>select n from t</Qry>
	</DS>
	<SHEET>
		<Name>Numbers</Name>
		<cDS>T</cDS>
	</SHEET>
$(daily_task_with_page)
</root>
OVK

# The work folder's name taken by a file: no wait, no talk of one.
echo "not a folder" > HTML
echo -e "[General]\nWorkFolderWait=30" > settings.ini
started=$SECONDS
"$orvik" report.ovk /act:Daily 2>err
status=$?
[ "$status" -eq 1 ] || fail "a work folder that is a file: exit status $status"
[ $((SECONDS - started)) -le 5 ] || fail "a work folder that is a file took $((SECONDS - started)) s"
grep -q "$home/HTML is not a folder" err || { cat err; fail "the terminal does not say HTML is no folder"; }
grep -q "waited" Orvik18.log && fail "the log speaks of a wait that did not happen"
rm HTML

# A settings file that is no text is neither read nor written over; a run still goes ahead.
printf 'SQLite format 3\0\1\2[General]\nCmdTimeout=1\n' > settings.ini
cp settings.ini settings.before
: > Orvik18.log
"$orvik" report.ovk /act:Daily 2>err || { cat err; fail "a binary settings file stopped the run"; }
grep -q "Warning: The settings file $home/settings.ini is not a text file" Orvik18.log ||
  fail "the binary settings file is not named"
cmp -s settings.ini settings.before || fail "the binary settings file was written over"

# A number setting that holds none is named with the default taken.
echo -e "[General]\nCmdTimeout=abc" > settings.ini
: > Orvik18.log
"$orvik" report.ovk /act:Daily 2>err || { cat err; fail "a bad number setting stopped the run"; }
grep -q "Warning: The setting CmdTimeout=abc in $home/settings.ini is not a whole number of at least 0: 3600 is used" Orvik18.log ||
  fail "the bad number setting is not named"

# A sheet on a data source the report does not have fails the run.
sed -i 's|<cDS>T</cDS>|<cDS>Gone</cDS>|' report.ovk
: > Orvik18.log
"$orvik" report.ovk /act:Daily 2>err
status=$?
[ "$status" -eq 1 ] || fail "a sheet on a missing data source: exit status $status"
grep -q "The sheet 'Numbers' shows the data source 'Gone', which the report does not have" err ||
  { cat err; fail "the terminal does not name the sheet and the missing source"; }
echo "start problems: ok"
