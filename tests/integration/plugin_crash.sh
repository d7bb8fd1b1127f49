#!/usr/bin/env bash
# A plug-in that fails the worst ways: a segfault, an abort, a floating-point trap and a blown
# stack each still leave "terminated by signal N while running step S" and the stop line in the
# log, one line on the terminal, and exit status 128+N; an exception fails the run (exit 1) with
# its text on the terminal; a plug-in step that never returns after SIGTERM is given the grace
# period and the run ends without it (143).
set -u
source "$(dirname "$0")/common.bash" "$1"
plugins="$(cd "$(dirname "$1")/../test-plugins" && pwd)" || fail "the test plug-ins are not built"
cp "$plugins/TestPlugInCrashy.rll" crashy.rll

report() {
  cat > "$1.ovk" <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<ACT>
		<Name>Daily</Name>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Before</Name>
		<AType>CMD</AType>
		<cmd>true</cmd>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>$1</Name>
		<AType>CrashyTask</AType>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>After</Name>
		<AType>CMD</AType>
		<cmd>touch after-ran</cmd>
	</ACT>
</root>
OVK
}

for case in Segv:11 Abort:6 Fpe:8 Overflow:11; do
  name=${case%%:*}
  signal=${case##*:}
  report "$name"
  : > Orvik18.log
  rm -f after-ran
  "$orvik" "$name.ovk" /act:Daily 2>err
  status=$?
  [ "$status" -eq $((128 + signal)) ] || fail "$name: exit status $status, expected $((128 + signal))"
  grep -q "terminated by signal $signal while running step $name\$" Orvik18.log ||
    fail "$name: no crash line in the log"
  tail -n 3 Orvik18.log | grep -q '\*\*\* Stop Orvik \*\*\*' || fail "$name: no stop line after the crash"
  [ "$(wc -l < err)" -eq 1 ] || { cat err; fail "$name: the terminal did not get exactly one line"; }
  grep -q "^orvik: $home/$name.ovk: terminated by signal $signal while running step $name (log: $home/Orvik18.log)\$" err ||
    { cat err; fail "$name: the terminal line is not the crash line"; }
  [ ! -e after-ran ] || fail "$name: a step ran after the crash"
done

report Throw
: > Orvik18.log
"$orvik" Throw.ovk /act:Daily 2>err
status=$?
[ "$status" -eq 1 ] || fail "an exception out of a plug-in step must fail the run (exit $status)"
grep -q "Plug-in crashy.rll failed in running a task step: Crashy cannot do it" err ||
  { cat err; fail "the terminal does not say what the plug-in threw"; }

# An error a plug-in reports names its file, not the place it was built.
report Report
: > Orvik18.log
"$orvik" Report.ovk /act:Daily 2>err
grep -q "COM Error (in file=crashy.rll; line=" Orvik18.log || fail "the plug-in's error does not name its file"
grep -q "TestPlugIn.cpp" Orvik18.log && fail "the plug-in's error names its source file"

# A step stuck in a plug-in: SIGTERM, then the grace period (one second here), then the end.
report Hang
echo -e "[General]\nPlugInStopGrace=1" > settings.ini
: > Orvik18.log
rm -f after-ran
"$orvik" Hang.ovk /act:Daily 2>err &
pid=$!
for _ in $(seq 50); do grep -q 'step Hang' Orvik18.log 2>/dev/null && break; sleep 0.1; done
kill -TERM "$pid"
started=$SECONDS
wait "$pid"
status=$?
[ "$status" -eq 143 ] || fail "a stuck plug-in after SIGTERM: exit status $status, expected 143"
[ $((SECONDS - started)) -le 6 ] || fail "the stuck plug-in held the run $((SECONDS - started)) s"
grep -q "Plug-in crashy.rll did not return from running a task step within 1 s" Orvik18.log ||
  fail "the log does not name the stuck plug-in"
tail -n 3 Orvik18.log | grep -q '\*\*\* Stop Orvik \*\*\*' || fail "no stop line after the stuck plug-in"
[ "$(wc -l < err)" -eq 1 ] || { cat err; fail "the terminal did not get exactly one line"; }
[ ! -e after-ran ] || fail "a step ran after the stop"

# Plug-ins others can replace are not loaded.
chmod g+w crashy.rll
: > Orvik18.log
"$orvik" Throw.ovk /act:Daily 2>err
grep -q "Plug-in $home/crashy.rll was not loaded: $home/crashy.rll can be written by the members of its group" Orvik18.log ||
  fail "a group-writable plug-in was loaded"
echo -e "[General]\nPlugInAnyOwner=1" > settings.ini
: > Orvik18.log
"$orvik" Throw.ovk /act:Daily 2>err
grep -q "Crashy cannot do it" Orvik18.log || fail "PlugInAnyOwner=1 did not load the plug-in"
chmod g-w crashy.rll
echo "plug-in crashes: ok"
