# What every integration test begins with, sourced as `source common.bash "$1"`: the program
# under test in $orvik, a throw-away program folder in $home (removed on exit) that is also the
# working folder, and fail, which says why and shows the log.
orvik="$1"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export ORVIK_HOME="$home" ORVIK_CONFIG="$home/settings.ini"
fail() { echo "FAIL: $*"; echo "--- log:"; cat "$home/Orvik18.log" 2>/dev/null; exit 1; }
cd "$home" || exit 1
# Writes the report FILE that most delivery tests need: one SQLite source ($home/data.db, table
# t, made by the caller), one grid sheet on it, and a task Mail whose one step is STEP (the
# elements inside its <ACT>, after its parent and name).
one_sheet_report() {  # FILE STEP
  cat > "$1" <<OVK
<?xml version="1.0" encoding="utf-8" standalone="yes"?>
<root>
	<DS><Name>T</Name><tpDS>SQL</tpDS><DSN>Provider=SQLite;Data Source=$home/data.db</DSN><Qry>select n from t</Qry></DS>
	<SHEET><Name>T</Name><cDS>T</cDS><tpVW>GRID</tpVW></SHEET>
	<ACT><Name>Mail</Name></ACT>
	<ACT><ActParent>0</ActParent><Name>Send</Name>$2</ACT>
</root>
OVK
}
# Prints the task Daily with the page export as its first step, as elements inside <root>; the
# steps after it in the report name ActParent 0 as well.
daily_task_with_page() {
  printf '\t<ACT>\n\t\t<Name>Daily</Name>\n\t</ACT>\n'
  printf '\t<ACT>\n\t\t<ActParent>0</ActParent>\n\t\t<Name>Page</Name>\n\t\t<AType>HTML</AType>\n\t</ACT>\n'
}
