#!/usr/bin/env bash
# Converts a report through the command line the way users migrating reports do, and checks that
# a converted report converts to itself, byte for byte.
set -u
source "$(dirname "$0")/common.bash" "$1"
# The database the report's data source names.
mkdir -p data && sqlite3 data/sales.db "create table sales (region text, amount real);" || fail "sqlite3"

# A report as saved on Windows: windows-1251, CR LF, a backslash path, a multi-line query.
printf '%s\r\n' \
  '<?xml version="1.0" encoding="windows-1251" standalone="yes"?>' \
  '<root>' \
  '	<DS>' \
  '		<Name>Sales</Name>' \
  '		<tpDS>SQL</tpDS>' \
  '		<DSN>Provider=SQLite;Data Source=data\sales.db</DSN>' \
  '		<Qry>select *' \
  'from sales</Qry>' \
  '	</DS>' \
  '	<ACT>' \
  '		<Name>Daily</Name>' \
  '	</ACT>' \
  '	<ACT>' \
  '		<ActParent>0</ActParent>' \
  '		<Name>Copy</Name>' \
  '		<AType>CMD</AType>' \
  '		<cmd>cp a b</cmd>' \
  '	</ACT>' \
  '	<SHEET>' \
  '		<Name>Regions</Name>' \
  '		<cDS>Sales</cDS>' \
  '		<tpVW>GRID</tpVW>' \
  '		<GCols>' \
  '			<C0_1 ColN="Amount" ColT="BT" />' \
  '		</GCols>' \
  '	</SHEET>' \
  '	<PRM>' \
  "		<Name>$(printf '\xc4\xe5\xed\xfc')</Name>" \
  '		<PrmVal>1</PrmVal>' \
  '	</PRM>' \
  '</root>' > windows.ovk

"$orvik" windows.ovk /saveas:converted.ovk || fail "conversion exited $?: $(tail -5 Orvik18.log)"
[ -f converted.ovk ] || fail "no converted file"
grep -q 'encoding="windows-1251"' converted.ovk || fail "Cyrillic-only report must stay windows-1251"
grep -q "$(printf '\xc4\xe5\xed\xfc')" converted.ovk || fail "parameter name lost its encoding"
grep -qF "$(printf '<Qry>select *\r')" converted.ovk || fail "query line breaks not kept as CR LF"
grep -q 'BCP="0,255,0"' converted.ovk || fail "column type defaults not written"
"$orvik" converted.ovk /saveas:again.ovk || fail "second conversion exited $?"
cmp converted.ovk again.ovk || fail "a converted report must convert to itself"
grep -q 'Saved report as' Orvik18.log || fail "save not logged"

# A report that cannot be loaded is never saved over the target.
echo original > target.ovk
"$orvik" missing.ovk /saveas:target.ovk && fail "a failed load must fail the run"
[ "$(cat target.ovk)" = original ] || fail "a failed load overwrote the target"

# A task that the report has runs; one it lacks fails the run but the report is still saved.
"$orvik" converted.ovk /act:Nope /saveas:third.ovk && fail "an unknown task must fail the run"
grep -q "The report has no task named 'Nope'" Orvik18.log || fail "unknown task not logged"
[ -f third.ovk ] || fail "the report was not saved after the task"

# Converting reads and writes the report and nothing else: with every database out of reach
# (a SQLite file in a folder that does not exist, a server port nobody listens on, a value list
# read from one of them) the conversion succeeds, connects to nothing and creates no database file.
cat > unreachable.ovk <<'OVK'
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>Gone</Name>
		<tpDS>SQL</tpDS>
		<DSN>Provider=SQLite;Data Source=nowhere/gone.db</DSN>
		<Qry>select * from t</Qry>
	</DS>
	<DS>
		<Name>Server</Name>
		<tpDS>SQL</tpDS>
		<DSN>Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=u;Pwd=p</DSN>
		<Qry>select 1</Qry>
	</DS>
	<SHEET>
		<Name>One</Name>
		<cDS>Gone</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
	<SHEET>
		<Name>Two</Name>
		<cDS>Server</cDS>
		<tpVW>GRID</tpVW>
	</SHEET>
	<PRM>
		<Name>Region</Name>
		<Type>DScmb</Type>
		<cDS>Server</cDS>
		<PrmVal>North</PrmVal>
	</PRM>
</root>
OVK
: > Orvik18.log
"$orvik" unreachable.ovk /saveas:unreachable-1.ovk ||
  fail "converting a report whose databases are out of reach exited $?: $(tail -5 Orvik18.log)"
grep -q 'UxError\|Connecting' Orvik18.log && fail "a conversion must not connect: $(cat Orvik18.log)"
[ -e nowhere ] && fail "a conversion must not create database folders or files"
"$orvik" unreachable-1.ovk /saveas:unreachable-2.ovk || fail "second conversion exited $?"
cmp unreachable-1.ovk unreachable-2.ovk || fail "the converted report must convert to itself"
grep -q '<PrmVal>North</PrmVal>' unreachable-1.ovk || fail "the parameter value was not kept"
echo "saveas checks passed"
