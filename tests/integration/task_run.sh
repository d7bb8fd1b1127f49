#!/usr/bin/env bash
# Runs tasks of a report unattended, as a scheduler would, and checks the log and exit status.
set -u
source "$(dirname "$0")/common.bash" "$1"
stamp='[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} \([0-9]+\) : '

cat > tasks.ovk <<'OVK'
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<ACT>
		<Name>Daily</Name>
	</ACT>
	<ACT>
		<Name>Weekly</Name>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>First</Name>
		<AType>CMD</AType>
		<cmd>printf 'region %s\n' `Region</cmd>
	</ACT>
	<ACT>
		<ActParent>1</ActParent>
		<Name>WeeklyOnly</Name>
		<AType>CMD</AType>
		<cmd>echo weekly</cmd>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Second</Name>
		<AType>CMD</AType>
		<cmd>echo two; echo lines</cmd>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Group</Name>
		<AType>GRP</AType>
	</ACT>
	<ACT>
		<ActParent>1</ActParent>
		<Name>Broken</Name>
		<AType>CMD</AType>
		<cmd>echo failing >&amp;2; exit 4</cmd>
	</ACT>
	<PRM>
		<Name>Region</Name>
		<PrmVal>South</PrmVal>
	</PRM>
</root>
OVK

# Daily: its own steps in list order, the other task's steps left out, exit 0.
"$orvik" tasks.ovk /act:Daily "/prm:Region=North" || fail "Daily exited $?"
log=Orvik18.log
grep -Eq "^${stamp}Param Region = North\$" $log || fail "prm not logged"
steps=$(grep -Eo 'Step [A-Za-z]+ Type=[A-Z]* |CMD Output: <[^>]*>|GRP [0-9]+ \?\?\?' $log | tr '\n' '|')
expected='Step First Type=CMD |CMD Output: <region North>|Step Second Type=CMD |CMD Output: <twolines>|Step Group Type=GRP |GRP 5 ???|'
[ "$steps" = "$expected" ] || fail "steps: $steps"
grep -q weekly $log && fail "a step of another task ran"

# Weekly: a failing command fails the run, after logging its output and status.
: > $log
"$orvik" tasks.ovk /act:Weekly && fail "a failing command must fail the run"
grep -q 'CMD Output: <failing>' $log || fail "failing output not logged"
grep -q 'CMD failed with exit status 4' $log || fail "exit status not logged"
grep -q 'Stop Orvik' $log || fail "no stop line after a failed step"

# A missing task and an unknown parameter both fail the run and say why.
: > $log
"$orvik" tasks.ovk /act:Monthly && fail "a missing task must fail the run"
grep -q "The report has no task named 'Monthly'" $log || fail "missing task not logged"
: > $log
"$orvik" tasks.ovk /act:Daily /prm:Nope=1 && fail "an unknown parameter must fail the run"
grep -q "Unknown parameter 'Nope'" $log || fail "unknown parameter not logged"
grep -q 'CMD Output' $log && fail "a step ran although /prm named no parameter"
grep -q 'no task is run' $log || fail "why nothing ran is not logged"
echo "task run checks passed"
