#!/usr/bin/env bash
# Plug-ins as a scheduled run meets them: loaded from the program folder in file-name order, a
# data source, a sheet view, a task step and the page part of their types handled by the right
# one; a file that is no library, a plug-in built for another interface version and a report
# naming a type no plug-in brings each leave a line in the log, and the run goes on.
set -u
source "$(dirname "$0")/common.bash" "$1"
plugins="$(cd "$(dirname "$1")/../test-plugins" && pwd)" || fail "the test plug-ins are not built"
cp "$plugins/TestPlugInBeta.rll" 10-beta.rll
cp "$plugins/TestPlugInAlpha.rll" 20-alpha.rll
cp "$plugins/TestPlugInOldInterface.rll" 07-old.rll
echo "not a library" > 08-broken.rll

cat > report.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<DS>
		<Name>Feed</Name>
		<tpDS>AlphaDS</tpDS>
		<AlphaKey>from-file</AlphaKey>
	</DS>
$(daily_task_with_page)
	<ACT>
		<ActParent>0</ActParent>
		<Name>Book</Name>
		<AType>AlphaTask</AType>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Tell</Name>
		<AType>CMD</AType>
		<cmd>echo told</cmd>
	</ACT>
	<SHEET>
		<Name>Chart</Name>
		<cDS>Feed</cDS>
		<tpVW>BetaView</tpVW>
	</SHEET>
	<SHEET>
		<Name>Lost</Name>
		<cDS>Feed</cDS>
		<tpVW>GoneView</tpVW>
	</SHEET>
</root>
OVK

"$orvik" report.ovk /act:Daily 2>err
status=$?
[ "$status" = 1 ] || fail "a report naming a missing plug-in's type must fail the run (exit $status)"
log=Orvik18.log
grep -q "Unable to load plug-in $home/08-broken.rll: " $log || fail "the broken library is not named"
grep -q "07-old.rll was built for plug-in interface version 2, this program has version 1" $log ||
  fail "the old plug-in is not named"
grep -q "TestPlugIn Other" $log && fail "the old plug-in was called"
grep -q "TestPlugIn Beta: init as index 0" $log && grep -q "TestPlugIn Alpha: init as index 1" $log ||
  fail "not loaded in file-name order"
grep -q "TestPlugIn Alpha: open Feed key from-file" $log || fail "the data source did not reach Alpha"
grep -q "TestPlugIn Beta: view of Chart" $log || fail "the view did not reach Beta"
grep -q "TestPlugIn Alpha: task AlphaTask step Book" $log || fail "the step did not reach Alpha"
grep -q "has the view type 'GoneView', which neither this program nor a plug-in knows" $log ||
  fail "the missing view type is not reported"
grep -q "CMD Output: <told>" $log || fail "the run stopped at the plug-in's step"
grep -q "<p>Beta part of Chart</p>" HTML/Orvik.htm || fail "the page lacks Beta's part"
echo "ok"
